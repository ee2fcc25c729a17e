// The browsing commands run as CGI processes against storages mounted in a
// sandbox root: mtab and blkid.tab lines and real folders under the mount points.
#include <gtest/gtest.h>
#include <json/json.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "core/paths.h"
#include "core/utils.h"
#include "tests/support/cgiprocess.h"
#include "tests/support/sandbox.h"

namespace {

const char kStorageRoot[] = "/tmp/mnt/storage/";
const char kPicture[] = "\xFF\xD8\xFF picture";

class BrowseTest : public ::testing::Test {
 protected:
  // A partition mounted at /tmp/mnt/storage/<folder>; blkid describes it with tags.
  void mountStorage(const std::string& device, const std::string& folder, const std::string& tags) {
    std::string escaped = folder;
    replaceAll(escaped, " ", "\\040");
    m_mtab += device + " " + m_box.path(kStorageRoot) + escaped + " vfat rw,relatime 0 0\n";
    m_box.write(paths::kMtab, m_mtab);
    describe(device, tags);
    m_box.mkdirs(kStorageRoot + folder);
    m_current = folder + "/";
  }
  void describe(const std::string& device, const std::string& tags) {
    m_blkid += device + ": " + tags + " TYPE=\"vfat\"\n";
    m_box.write("/etc/blkid.tab", m_blkid);
  }
  // Files and folders on the storage mounted last.
  void file(const std::string& path, const std::string& content = "") {
    m_box.write(kStorageRoot + m_current + path, content);
  }
  void folder(const std::string& path) { m_box.mkdirs(kStorageRoot + m_current + path); }
  std::string real(const std::string& path) const { return m_box.path(kStorageRoot) + m_current + path; }

  CgiResponse get(const std::string& query) { return m_box.get(query); }
  std::string body(const std::string& query) {
    CgiResponse response = get(query);
    EXPECT_EQ(200, response.status()) << query << ": " << response.body;
    return response.body;
  }
  void expectError(const std::string& query, const std::string& message) {
    CgiResponse response = get(query);
    // Also after an exception the process ends cleanly (in the sanitizer
    // build: without a leak report, which changes the exit status).
    EXPECT_EQ(0, response.exitStatus) << query;
    EXPECT_EQ(500, response.status()) << query;
    EXPECT_EQ(message, response.body) << query;
  }
  Json::Value json(const std::string& query) {
    Json::Value value;
    Json::Reader().parse(body(query), value);
    return value;
  }
  std::vector<std::string> names(const std::string& query) {
    std::vector<std::string> out;
    Json::Value answer = json(query);
    for (const Json::Value& entry : answer["files"]) out.push_back(entry["name"].asString());
    return out;
  }
  void setOptions(const std::string& options) {
    m_box.write(paths::kConfigFile, "{\"version\":\"2\",\"options\":{\"common\":{" + options + "}}}");
  }
  std::string cacheFile(const std::string& key) const { return paths::kCacheDir + sha1Hex(key); }
  // The storage's root as last changed a minute ago, so that its listing may be kept.
  void settle() { shellOutput("touch -d '-1 minute' '" + real("") + "'"); }

  Sandbox m_box;
  std::string m_mtab, m_blkid, m_current;
};

// storage_list

TEST_F(BrowseTest, StorageListIsEmptyAndBlkidNeverRunsWhenNothingIsMounted) {
  EXPECT_EQ("{\"storages\":[]}\n", body("cmd=storage_list"));
  EXPECT_EQ(std::string::npos, m_box.read("/var/standin.log").find("blkid")) << m_box.read("/var/standin.log");
}

TEST_F(BrowseTest, StorageListNamesEveryMountedPartitionInDeviceOrder) {
  mountStorage("/dev/sdc1", "sdc1", "LABEL=\"USB\" UUID=\"CCCC-0001\"");
  mountStorage("/dev/sda1", "sda1", "LABEL=\"USB\" UUID=\"AAAA-0002\"");
  mountStorage("/dev/sdb1", "My Disk", "");
  mountStorage("/dev/sdd1", "sdd1", "LABEL=\"Data\" UUID=\"DD-1\"");
  file("tavo_folder.txt", "volume=3\nstorage_name=Kino\r\n");
  describe("/dev/sde1", "LABEL=\"Gone\" UUID=\"EE\"");  // known to blkid, not mounted
  m_box.write("/etc/blkid.tab", m_blkid);
  EXPECT_EQ(
      "{\"storages\":["
      "{\"label\":\"USB(aaaa_0002)\",\"name\":\"local/"
      "USB(aaaa_0002)\",\"title\":\"USB(aaaa_0002)\",\"uuid\":\"aaaa_0002\"},"
      "{\"label\":\"\",\"name\":\"local/storage_\",\"title\":\"storage_\",\"uuid\":\"\"},"
      "{\"label\":\"USB\",\"name\":\"local/USB\",\"title\":\"USB\",\"uuid\":\"cccc_0001\"},"
      "{\"label\":\"Data\",\"name\":\"local/Kino\",\"title\":\"Kino\",\"uuid\":\"dd_1\"}]}\n",
      body("cmd=storage_list"));
}

TEST_F(BrowseTest, StorageIsWhereItIsMountedBelowTheMountRoot) {
  mountStorage("/dev/sdb1", "sdb1", "LABEL=\"USB\" UUID=\"1\"");
  file("on-the-disk.mkv");
  // The same partition also mounted elsewhere, later: the storage stays the
  // mount below /tmp/mnt/ that made it one.
  m_box.mkdirs("/persistfs/orvex/etc");
  m_mtab += "/dev/sdb1 " + m_box.path("/persistfs") + " vfat rw 0 0\n";
  m_box.write(paths::kMtab, m_mtab);
  EXPECT_EQ(std::vector<std::string>{"on-the-disk.mkv"}, names("cmd=file_list&path=local/USB"));
}

TEST_F(BrowseTest, HangingStorageScanIsStoppedByItsTimeLimit) {
  mountStorage("/dev/sda1", "sda1", "LABEL=\"USB\" UUID=\"1\"");
  unlink(m_box.path(paths::kBlkid).c_str());
  m_box.write(paths::kBlkid, "#!/bin/sh\nexec sleep 30\n");
  chmod(m_box.path(paths::kBlkid).c_str(), 0755);
  CgiRequest request;
  request.query = "cmd=storage_list";
  request.cookie = "bid=TEST";
  request.environment = {"TAVORC_SCAN_TIME_LIMIT=1"};
  auto start = std::chrono::steady_clock::now();
  CgiProcess process = startCgi(m_box, request);
  CgiResponse response = finishWithin(process, 6000);
  double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(0, response.exitStatus) << "the scan was not stopped";
  EXPECT_EQ("{\"storages\":[]}\n", response.body);
  EXPECT_LT(took, 3.0);
  EXPECT_NE(std::string::npos, m_box.read(paths::kLogFile).find("error : storage scan killed after 1 s"));
}

// file_list: listing

TEST_F(BrowseTest, FileListAnswersExactBytesForASmallFolder) {
  mountStorage("/dev/sda1", "sda1", "LABEL=\"USB\" UUID=\"1\"");
  for (const char* name : {"Films/b.mkv", "Films/A.mp3", "Films/notes.txt", "Films/tavo_folder.txt",
                           "Films/tavo_folder.TXT", "Films/.hidden.mkv", "Films/Extras/x.txt"})
    file(name);
  folder("Films/.trash");
  mkfifo(real("Films/pipe.mp3").c_str(), 0600);
  CgiResponse response = get("cmd=file_list&path=local/USB/Films");
  EXPECT_EQ(200, response.status());
  EXPECT_EQ("application/json; charset=utf8", response.header("Content-Type"));
  EXPECT_EQ(
      "{\"currDirPlayPath\":\"local/USB/Films\",\"files\":["
      "{\"name\":\"Extras\",\"path\":\"local/USB/Films/Extras\"},"
      "{\"name\":\"A.mp3\",\"play_path\":\"local/USB/Films/A.mp3\"},"
      "{\"name\":\"b.mkv\",\"play_path\":\"local/USB/Films/b.mkv\"},"
      "{\"name\":\"notes.txt\"},"
      "{\"name\":\"tavo_folder.TXT\"}]}\n",
      response.body);
}

TEST_F(BrowseTest, FileListOfAStorageRootAndOfAnEmptyFolder) {
  mountStorage("/dev/sda1", "sda1", "LABEL=\"USB\" UUID=\"1\"");
  folder("Films");
  folder("Empty");
  EXPECT_EQ(
      "{\"currDirPlayPath\":\"local/USB\",\"files\":[{\"name\":\"Empty\",\"path\":\"local/USB/Empty\"},"
      "{\"name\":\"Films\",\"path\":\"local/USB/Films\"}]}\n",
      body("cmd=file_list&path=local/USB"));
  EXPECT_EQ("{\"currDirPlayPath\":\"local/USB/Empty\",\"files\":[]}\n", body("cmd=file_list&path=local/USB/Empty/"));
}

TEST_F(BrowseTest, FileListOrdersCyrillicAfterAsciiWithCaseFolded) {
  mountStorage("/dev/sda1", "sda1", "LABEL=\"USB\" UUID=\"1\"");
  for (const char* name :
       {"m/\xd0\xaf\xd0\xb1\xd0\xbb\xd0\xbe\xd0\xba\xd0\xbe.mp3", "m/\xd0\xb0\xd1\x80\xd0\xb1\xd1\x83\xd0\xb7.mp3",
        "m/Zebra.mp3", "m/2001.mp3", "m/_x.mp3", "m/alpha.mp3"})
    file(name);
  std::vector<std::string> expected = {"2001.mp3",
                                       "_x.mp3",
                                       "alpha.mp3",
                                       "Zebra.mp3",
                                       "\xd0\xb0\xd1\x80\xd0\xb1\xd1\x83\xd0\xb7.mp3",
                                       "\xd0\xaf\xd0\xb1\xd0\xbb\xd0\xbe\xd0\xba\xd0\xbe.mp3"};
  EXPECT_EQ(expected, names("cmd=file_list&path=local/USB/m"));
}

TEST_F(BrowseTest, FileListPublishesCoversOfPlayableFolders) {
  setOptions("\"show_covers\":\"true\"");
  mountStorage("/dev/sdb1", "My Disk", "LABEL=\"USB\" UUID=\"1\"");
  file("Music/Album/Cover.JPG", kPicture);
  file("Music/Album/01.flac");
  file("Music/Pictures/cover.jpg", kPicture);
  folder("Music/Pictures/More");
  folder("Music/Film/VIDEO_TS");
  Json::Value files = json("cmd=file_list&path=local/USB/Music")["files"];
  ASSERT_EQ(3u, files.size());
  std::string image = real("Music/Album/Cover.JPG");
  std::string link = md5Hex(image) + ".JPG";
  EXPECT_EQ("Album", files[0]["name"].asString());
  EXPECT_EQ("/covers/" + link, files[0]["cover"].asString());
  EXPECT_EQ("local/USB/Music/Album", files[0]["play_path"].asString());
  EXPECT_EQ(kPicture, m_box.read("/tmp/www/covers/" + link));
  EXPECT_EQ("Film", files[1]["name"].asString());  // disc folder: playable, no cover
  EXPECT_EQ("local/USB/Music/Film", files[1]["play_path"].asString());
  EXPECT_FALSE(files[1].isMember("cover"));
  EXPECT_EQ("Pictures", files[2]["name"].asString());  // a cover alone makes nothing playable
  EXPECT_FALSE(files[2].isMember("cover"));
  EXPECT_FALSE(files[2].isMember("play_path"));
  Json::Value config;
  Json::Reader().parse(m_box.read(paths::kConfigFile), config);
  EXPECT_EQ("cover,front,*.icon", config["options"]["common"]["cover_files_names"].asString());
  EXPECT_EQ("jpg,jpeg,png", config["options"]["common"]["cover_files_exts"].asString());
}

TEST_F(BrowseTest, CoverLinkedToAFileOffTheStorageIsNotPublished) {
  setOptions("\"show_covers\":\"true\",\"secret\":\"canary\"");
  mountStorage("/dev/sdb1", "sdb1", "LABEL=\"USB\" UUID=\"1\"");
  file("Album/01.flac");
  ASSERT_EQ(0, symlink(m_box.path(paths::kConfigFile).c_str(), real("Album/cover.jpg").c_str()));
  Json::Value files = json("cmd=file_list&path=local/USB")["files"];
  ASSERT_EQ(1u, files.size());
  EXPECT_EQ("local/USB/Album", files[0]["play_path"].asString());
  EXPECT_FALSE(files[0].isMember("cover")) << files[0]["cover"].asString();
  EXPECT_EQ("", shellOutput("ls -A '" + m_box.path(paths::kCoversDir) + "' 2>/dev/null"));
}

TEST_F(BrowseTest, FolderWithOnlyACoverFollowsThePlayFoldersWithCoverOption) {
  mountStorage("/dev/sda1", "sda1", "LABEL=\"USB\" UUID=\"1\"");
  file("d/Pics/cover.jpg", kPicture);
  folder("d/Pics/Sub");
  struct Row {
    const char* options;
    bool playable, cover;
  } rows[] = {
      {"\"play_dwc\":\"true\",\"show_covers\":\"true\"", true, true},
      {"\"play_dwc\":\"true\"", true, false},
      {"\"show_covers\":\"true\"", false, false},
      {"", false, false},
  };
  for (const Row& row : rows) {
    setOptions(row.options);
    Json::Value entry = json("cmd=file_list&ignore_cache=1&path=local/USB/d")["files"][0];
    EXPECT_EQ("local/USB/d/Pics", entry["path"].asString()) << row.options;
    EXPECT_EQ(row.playable, entry.isMember("play_path")) << row.options;
    EXPECT_EQ(row.cover, entry.isMember("cover")) << row.options;
  }
}

TEST_F(BrowseTest, SymbolicLinksAreFollowedAndADanglingOneIsLeftOut) {
  mountStorage("/dev/sda1", "sda1", "LABEL=\"USB\" UUID=\"1\"");
  folder("real");
  file("real/a.mp3");
  symlink(real("real").c_str(), real("linked").c_str());
  EXPECT_EQ("linked", json("cmd=file_list&path=local/USB")["files"][0]["name"].asString());
  EXPECT_EQ("local/USB/linked", json("cmd=file_list&path=local/USB")["files"][0]["path"].asString());
  std::string cached = m_box.read(cacheFile("local/USB"));
  symlink(real("nowhere").c_str(), real("broken.mkv").c_str());
  EXPECT_EQ(cached, m_box.get("cmd=file_list&path=local/USB").body) << "the folder changed: listed afresh, the same";
  EXPECT_NE(std::string::npos, m_box.read(paths::kLogFile).find("listing left out entries that cannot be read: 1"));
}

// file_list: paths that name nothing or lead out of a storage

TEST_F(BrowseTest, PathsOutsideEveryStorageAreInvalid) {
  mountStorage("/dev/sda1", "sda1", "LABEL=\"USB\" UUID=\"1\"");
  folder("Films");
  for (const char* path : {"local/USB/..", "local/USB/%2e%2e", "local/USB/Films/../..", "local/USB/./Films",
                           "local/USB/%2E%2E/%2E%2E/etc", "/etc", "%2Fetc", "local/USBX", "", "local"})
    expectError(std::string("cmd=file_list&path=") + path, "invalid path");
  expectError("cmd=file_list", "invalid path");
  EXPECT_FALSE(m_box.exists(paths::kCacheDir + sha1Hex("local/USB/..")));
}

TEST_F(BrowseTest, AFileOrAMissingFolderIsADirError) {
  mountStorage("/dev/sda1", "sda1", "LABEL=\"USB\" UUID=\"1\"");
  file("a.mkv");
  expectError("cmd=file_list&path=local/USB/a.mkv", "dir error (20): " + real("a.mkv/"));
  // An answered error like any other: a new client still gets its bid.
  EXPECT_NE("", m_box.get("cmd=file_list&path=local/USB/a.mkv", "").header("Set-Cookie"));
  std::string longName(150, 'x');
  std::string longPath = "local/USB/" + longName + "/" + longName + "/" + longName;
  expectError("cmd=file_list&path=" + longPath,
              "dir error (2): " + real(longName + "/" + longName + "/" + longName + "/"));
}

// file_list: the answer cache

TEST_F(BrowseTest, CacheIsStoredUnderTheFolderPathAndServedUntilIgnored) {
  mountStorage("/dev/sda1", "sda1", "LABEL=\"USB\" UUID=\"1\"");
  file("a.mp3");
  settle();
  std::string fresh = body("cmd=file_list&path=local/USB");
  EXPECT_EQ(fresh, m_box.read(cacheFile("local/USB")));
  m_box.write(cacheFile("local/USB"), "{\"cached\":1}\n");
  EXPECT_EQ("{\"cached\":1}\n", body("cmd=file_list&path=local/USB"));
  EXPECT_EQ("{\"cached\":1}\n", body("cmd=file_list&ignore_cache=true&path=local/USB"));
  // With a trailing "/" the lookup never hits, but the answer is stored for the plain path.
  EXPECT_EQ(fresh, body("cmd=file_list&path=local/USB/"));
  EXPECT_FALSE(m_box.exists(cacheFile("local/USB/")));
  EXPECT_EQ(fresh, m_box.read(cacheFile("local/USB")));
  m_box.write(cacheFile("local/USB"), "{\"cached\":2}\n");
  EXPECT_EQ(fresh, body("cmd=file_list&ignore_cache=1&path=local/USB"));
  EXPECT_EQ(fresh, m_box.read(cacheFile("local/USB")));
  // Only the answer and its side file, no temporary file.
  EXPECT_EQ("2\n", shellOutput("ls -A '" + m_box.path(paths::kCacheDir) + "' | wc -l"));
}

TEST_F(BrowseTest, CachedAnswerIsServedWhenTheStorageIsGone) {
  mountStorage("/dev/sda1", "sda1", "LABEL=\"USB\" UUID=\"1\"");
  file("a.mp3");
  settle();
  std::string fresh = body("cmd=file_list&path=local/USB");
  m_box.write(paths::kMtab, "");
  EXPECT_EQ(fresh, body("cmd=file_list&path=local/USB"));
  expectError("cmd=file_list&ignore_cache=1&path=local/USB", "invalid path");
  m_box.write(cacheFile("local/USB"), "");  // an empty cache file does not count
  expectError("cmd=file_list&path=local/USB", "invalid path");
}

TEST_F(BrowseTest, CachedAnswerFollowsTheFolderAndTheCoverOptions) {
  mountStorage("/dev/sda1", "sda1", "LABEL=\"USB\" UUID=\"1\"");
  file("Album/01.mp3");
  file("Album/cover.jpg", kPicture);
  settle();
  std::vector<std::string> before = names("cmd=file_list&path=local/USB");
  EXPECT_EQ(std::vector<std::string>({"Album"}), before);
  // A file copied onto the disk shows at the next listing.
  file("new.mp3");
  EXPECT_EQ(std::vector<std::string>({"Album", "new.mp3"}), names("cmd=file_list&path=local/USB"));
  settle();
  // So does a change of the cover options, common or per browser.
  EXPECT_FALSE(json("cmd=file_list&path=local/USB")["files"][0].isMember("cover"));
  setOptions("\"show_covers\":\"true\"");
  EXPECT_TRUE(json("cmd=file_list&path=local/USB")["files"][0].isMember("cover"));
  setOptions("\"pbopt\":\"true\",\"show_covers\":\"true\"},\"TEST\":{\"show_covers\":\"false\"");
  EXPECT_FALSE(json("cmd=file_list&path=local/USB")["files"][0].isMember("cover"));
  // Unchanged, the answer comes from the cache.
  m_box.write(cacheFile("local/USB"), "{\"cached\":1}\n");
  EXPECT_EQ("{\"cached\":1}\n", body("cmd=file_list&path=local/USB"));
  // A folder that cannot be reached (the storage unplugged) is answered from
  // the cache, also when its empty mount point stays behind.
  m_box.write(paths::kMtab, "");
  shellOutput("rm -r '" + real("") + "'/*");
  EXPECT_EQ("{\"cached\":1}\n", body("cmd=file_list&path=local/USB"));
  shellOutput("rmdir '" + real("") + "'");
  EXPECT_EQ("{\"cached\":1}\n", body("cmd=file_list&path=local/USB"));
}

TEST_F(BrowseTest, CacheStaysWithinItsBoundOldestFirstOut) {
  mountStorage("/dev/sda1", "sda1", "LABEL=\"USB\" UUID=\"1\"");
  file("a.mp3");
  std::string old = cacheFile("local/OLD");
  m_box.write(old, std::string(8 * 1024 * 1024, 'x'));
  m_box.write(old + ".folder", "1 0 0 0 0 /nowhere");
  // Without a side file, as an earlier version stored it, the answer is served.
  m_box.write(cacheFile("local/USB"), "{\"cached\":1}\n");
  EXPECT_EQ("{\"cached\":1}\n", body("cmd=file_list&path=local/USB"));
  std::string fresh = body("cmd=file_list&ignore_cache=1&path=local/USB");
  EXPECT_EQ(fresh, m_box.read(cacheFile("local/USB")));
  EXPECT_FALSE(m_box.exists(old));
  EXPECT_FALSE(m_box.exists(old + ".folder"));
}

TEST_F(BrowseTest, ListingIsAnsweredWhenTheCacheFolderCannotBeMade) {
  mountStorage("/dev/sda1", "sda1", "LABEL=\"USB\" UUID=\"1\"");
  std::string cacheDir = paths::kCacheDir;
  m_box.write(cacheDir.substr(0, cacheDir.size() - 1), "not a folder");  // a file where the folder goes
  EXPECT_EQ("{\"currDirPlayPath\":\"local/USB\",\"files\":[]}\n", body("cmd=file_list&path=local/USB"));
  std::string log = m_box.read(paths::kLogFile);
  EXPECT_NE(std::string::npos, log.find(" error : mkdir '" + m_box.path(paths::kCacheDir) + "' failed")) << log;
}

// favorite

TEST_F(BrowseTest, FavouritesListAddReplaceAndDelete) {
  EXPECT_EQ("{\"favorite\":[]}\n", body("cmd=favorite&action=list"));
  Json::Value config;
  Json::Reader().parse(m_box.read(paths::kConfigFile), config);
  EXPECT_TRUE(config["favorites"].isObject());
  EXPECT_EQ(0u, config["favorites"].size());

  for (const char* added :
       {"alpha&path=local/USB/a", "Zeta&path=local/USB/z", "Films&path=local/USB/Old", "Films&path=local/USB/Films"})
    EXPECT_EQ("{\"message\":\"ok\"}\n", body(std::string("cmd=favorite&action=add&name=") + added));
  EXPECT_EQ(
      "{\"favorite\":[{\"name\":\"Films\",\"path\":\"local/USB/Films\"},{\"name\":\"Zeta\",\"path\":\"local/USB/z\"},"
      "{\"name\":\"alpha\",\"path\":\"local/USB/a\"}]}\n",
      body("cmd=favorite&action=list"));
  for (const char* deleted : {"Zeta", "nobody"})
    EXPECT_EQ("{\"message\":\"ok\"}\n", body(std::string("cmd=favorite&action=del&name=") + deleted));
  EXPECT_EQ(
      "{\"favorite\":[{\"name\":\"Films\",\"path\":\"local/USB/Films\"},{\"name\":\"alpha\",\"path\":\"local/USB/"
      "a\"}]}\n",
      body("cmd=favorite&action=list"));
}

TEST_F(BrowseTest, FavouritesRefuseMissingNamesAndPaths) {
  expectError("cmd=favorite&action=add", "Name not defined");
  expectError("cmd=favorite&action=add&path=x", "Name not defined");
  expectError("cmd=favorite&action=add&name=A", "Path not defined");
  expectError("cmd=favorite&action=add&name=A&path=", "Path not defined");
  expectError("cmd=favorite&action=del&name=", "Name not defined");
  EXPECT_EQ("{\"favorite\":[]}\n", body("cmd=favorite&action=list"));
}

TEST_F(BrowseTest, FavouritesOfTheWrongShapeAreReadOrReplaced) {
  m_box.write(paths::kConfigFile, "{\"version\":\"2\",\"favorites\":{\"b\":{\"name\":\"b\"},\"a\":7}}");
  EXPECT_EQ("{\"favorite\":[{\"name\":\"\",\"path\":\"\"},{\"name\":\"b\",\"path\":\"\"}]}\n",
            body("cmd=favorite&action=list"));
  m_box.write(paths::kConfigFile, "{\"version\":\"2\",\"favorites\":[1,2]}");
  EXPECT_EQ("{\"favorite\":[]}\n", body("cmd=favorite&action=list"));
}

}  // namespace

namespace {

TEST(SampleStorage, IsBrowsableAndPlayableAndStaysTheSameWhenMadeAgain) {
  Sandbox box;
  std::string make = "sh '" + sourceDir() + "/tools/make-sample-storage.sh' '" + box.root() + "'";
  int status = -1;
  shellOutput(make, &status);
  ASSERT_EQ(0, status);
  std::string mtab = box.read(paths::kMtab), media = box.read("/var/playersim/media.conf");
  shellOutput(make, &status);
  ASSERT_EQ(0, status);
  EXPECT_EQ(mtab, box.read(paths::kMtab));
  EXPECT_EQ(media, box.read("/var/playersim/media.conf"));
  EXPECT_EQ("storage_uuid://4a3b_1c2d " + box.path("/tmp/mnt/storage/sda1") + "\n" + "storage_uuid://7e11_00f3 " +
                box.path("/tmp/mnt/storage/sdb1") + "\n",
            media);
  CgiResponse list = box.get("cmd=storage_list");
  EXPECT_NE(std::string::npos, list.body.find("\"name\":\"local/DEMO\"")) << list.body;
  EXPECT_NE(std::string::npos, list.body.find("\"name\":\"local/Music Stick\"")) << list.body;
  CgiResponse films = box.get("cmd=file_list&path=local/DEMO/Films");
  EXPECT_NE(std::string::npos, films.body.find("\"play_path\":\"local/DEMO/Films/Sintel\"")) << films.body;
  EXPECT_NE(std::string::npos, films.body.find("\"play_path\":\"local/DEMO/Films/Tears of Steel.iso\"")) << films.body;
}

}  // namespace
