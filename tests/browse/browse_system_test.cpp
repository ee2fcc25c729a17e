// The browsing commands run as CGI processes against storages mounted in a
// sandbox root: mtab and blkid.tab lines and real folders under the mount points.
#include <gtest/gtest.h>
#include <json/json.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "core/paths.h"
#include "core/utils.h"
#include "tests/support/cgiprocess.h"
#include "tests/support/programs.h"
#include "tests/support/sandbox.h"

namespace {

const char kStorageRoot[] = "/tmp/mnt/storage/";
const char kPicture[] = "\xFF\xD8\xFF picture";
const char kOk[] = "{\"message\":\"ok\"}\n";

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

  std::string body(const std::string& query) {
    CgiResponse response = m_box.get(query);
    EXPECT_EQ(200, response.status()) << query << ": " << response.body;
    return response.body;
  }
  Json::Value files(const std::string& query) {
    Json::Value value;
    EXPECT_TRUE(parsesAsJson(body(query), &value)) << query;
    return value["files"];
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

TEST_F(BrowseTest, StorageListNamesEveryMountedPartitionInDeviceOrder) {
  expectJson(m_box.get("cmd=storage_list"), "{\"storages\":[]}\n");
  EXPECT_EQ(std::string::npos, m_box.read("/var/standin.log").find("blkid"))
      << "blkid runs only for mounted partitions";
  mountStorage("/dev/sdc1", "sdc1", "LABEL=\"USB\" UUID=\"CCCC-0001\"");
  mountStorage("/dev/sda1", "sda1", "LABEL=\"USB\" UUID=\"AAAA-0002\"");
  mountStorage("/dev/sdb1", "My Disk", "");
  mountStorage("/dev/sdd1", "sdd1", "LABEL=\"Data\" UUID=\"DD-1\"");
  file("tavo_folder.txt", "volume=3\nstorage_name=Kino\r\n");
  describe("/dev/sde1", "LABEL=\"Gone\" UUID=\"EE\"");  // known to blkid, not mounted
  expectJson(m_box.get("cmd=storage_list"),
             "{\"storages\":["
             "{\"label\":\"USB(aaaa_0002)\",\"name\":\"local/USB(aaaa_0002)\",\"title\":\"USB(aaaa_0002)\","
             "\"uuid\":\"aaaa_0002\"},"
             "{\"label\":\"\",\"name\":\"local/storage_\",\"title\":\"storage_\",\"uuid\":\"\"},"
             "{\"label\":\"USB\",\"name\":\"local/USB\",\"title\":\"USB\",\"uuid\":\"cccc_0001\"},"
             "{\"label\":\"Data\",\"name\":\"local/Kino\",\"title\":\"Kino\",\"uuid\":\"dd_1\"}]}\n");
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
  CgiProcess process = startCgi(m_box, request);
  CgiResponse response = finishWithin(process, 20000);
  EXPECT_EQ(0, response.exitStatus) << "the scan was not stopped";
  EXPECT_EQ("{\"storages\":[]}\n", response.body);
  EXPECT_NE(std::string::npos, m_box.read(paths::kLogFile).find("error : storage scan killed after 1 s"));
}

// Hidden entries, the settings file and what is no file or folder are left
// out; folders come first, each group in the entry order (case folded).
TEST_F(BrowseTest, FileListAnswersExactBytesForASmallFolder) {
  mountStorage("/dev/sda1", "sda1", "LABEL=\"USB\" UUID=\"1\"");
  for (const char* name : {"Films/b.mkv", "Films/A.mp3", "Films/Notes.txt", "Films/\xd0\xaf.mp3",
                           "Films/tavo_folder.txt", "Films/tavo_folder.TXT", "Films/.hidden.mkv", "Films/Extras/x.txt"})
    file(name);
  folder("Films/.trash");
  mkfifo(real("Films/pipe.mp3").c_str(), 0600);
  expectJson(m_box.get("cmd=file_list&path=local/USB/Films"),
             "{\"currDirPlayPath\":\"local/USB/Films\",\"files\":["
             "{\"name\":\"Extras\",\"path\":\"local/USB/Films/Extras\"},"
             "{\"name\":\"A.mp3\",\"play_path\":\"local/USB/Films/A.mp3\"},"
             "{\"name\":\"b.mkv\",\"play_path\":\"local/USB/Films/b.mkv\"},"
             "{\"name\":\"Notes.txt\"},"
             "{\"name\":\"tavo_folder.TXT\"},"
             "{\"name\":\"\\u042f.mp3\",\"play_path\":\"local/USB/Films/\\u042f.mp3\"}]}\n");
}

// A folder is playable with media, as a disc folder, or with only a cover
// when "play_dwc" is on; it shows its cover with "show_covers". A cover is a
// copy of a picture on the storage, never of what a link there leads to.
TEST_F(BrowseTest, FoldersArePlayableAndShowCoversByContentAndOptions) {
  mountStorage("/dev/sdb1", "My Disk", "LABEL=\"USB\" UUID=\"1\"");
  file("Album/Cover.JPG", kPicture);
  file("Album/01.flac");
  folder("Film/VIDEO_TS");
  file("Linked/01.flac");
  ASSERT_EQ(0, symlink(m_box.path(paths::kConfigFile).c_str(), real("Linked/cover.jpg").c_str()));
  file("Pics/cover.jpg", kPicture);
  folder("Pics/More");
  struct Row {
    const char* options;
    const char* folders;  // each folder's name, "+play" when playable, "+cover" with a cover
  } rows[] = {
      {"", "Album+play Film+play Linked+play Pics"},
      {"\"show_covers\":\"true\"", "Album+play+cover Film+play Linked+play Pics"},
      {"\"play_dwc\":\"true\"", "Album+play Film+play Linked+play Pics+play"},
      {"\"play_dwc\":\"true\",\"show_covers\":\"true\"", "Album+play+cover Film+play Linked+play Pics+play+cover"},
  };
  Json::Value entries;
  for (const Row& row : rows) {
    setOptions(row.options);
    entries = files("cmd=file_list&ignore_cache=1&path=local/USB");
    std::string got;
    for (const Json::Value& entry : entries)
      got += (got.empty() ? "" : " ") + entry["name"].asString() + (entry.isMember("play_path") ? "+play" : "") +
             (entry.isMember("cover") ? "+cover" : "");
    EXPECT_EQ(row.folders, got) << row.options;
  }
  std::string cover = "/covers/" + md5Hex(real("Album/Cover.JPG")) + ".JPG";
  EXPECT_EQ(cover, entries[0]["cover"].asString());
  EXPECT_EQ("local/USB/Album", entries[0]["play_path"].asString());
  EXPECT_EQ(kPicture, m_box.read("/tmp/www" + cover));
  EXPECT_EQ("2\n", shellOutput("ls -A '" + m_box.path(paths::kCoversDir) + "' | wc -l"));
}

TEST_F(BrowseTest, SymbolicLinksAreFollowedAndADanglingOneIsLeftOut) {
  mountStorage("/dev/sda1", "sda1", "LABEL=\"USB\" UUID=\"1\"");
  file("real/a.mp3");
  symlink(real("real").c_str(), real("linked").c_str());
  Json::Value linked = files("cmd=file_list&path=local/USB")[0];
  EXPECT_EQ("linked", linked["name"].asString());
  EXPECT_EQ("local/USB/linked", linked["path"].asString());
  std::string cached = m_box.read(cacheFile("local/USB"));
  symlink(real("nowhere").c_str(), real("broken.mkv").c_str());
  EXPECT_EQ(cached, m_box.get("cmd=file_list&path=local/USB").body) << "the folder changed: listed afresh, the same";
  EXPECT_NE(std::string::npos, m_box.read(paths::kLogFile).find("listing left out entries that cannot be read: 1"));
}

TEST_F(BrowseTest, PathsThatNameNoFolderOfAStorageAreRefused) {
  mountStorage("/dev/sda1", "sda1", "LABEL=\"USB\" UUID=\"1\"");
  folder("Films");
  for (const char* query :
       {"path=local/USB/..", "path=local/USB/%2e%2e", "path=local/USB/Films/../..", "path=local/USB/./Films",
        "path=local/USB/%2E%2E/%2E%2E/etc", "path=/etc", "path=%2Fetc", "path=local/USBX", "path=", "path=local", ""}) {
    SCOPED_TRACE(query);
    expectError(m_box.get(std::string("cmd=file_list&") + query), "invalid path");
  }
  EXPECT_FALSE(m_box.exists(paths::kCacheDir + sha1Hex("local/USB/..")));
  // The error names the whole real path, however long.
  std::string longName(150, 'x');
  std::string longPath = longName + "/" + longName + "/" + longName;
  expectError(m_box.get("cmd=file_list&path=local/USB/" + longPath), "dir error (2): " + real(longPath + "/"));
}

// The answer cache

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

TEST_F(BrowseTest, CachedAnswerFollowsTheFolderAndTheCoverOptions) {
  mountStorage("/dev/sda1", "sda1", "LABEL=\"USB\" UUID=\"1\"");
  file("Album/01.mp3");
  file("Album/cover.jpg", kPicture);
  settle();
  EXPECT_EQ(1u, files("cmd=file_list&path=local/USB").size());
  // A file copied onto the disk shows at the next listing.
  file("new.mp3");
  EXPECT_EQ(2u, files("cmd=file_list&path=local/USB").size());
  settle();
  // So does a change of the cover options, common or per browser.
  EXPECT_FALSE(files("cmd=file_list&path=local/USB")[0].isMember("cover"));
  setOptions("\"show_covers\":\"true\"");
  EXPECT_TRUE(files("cmd=file_list&path=local/USB")[0].isMember("cover"));
  setOptions("\"pbopt\":\"true\",\"show_covers\":\"true\"},\"TEST\":{\"show_covers\":\"false\"");
  EXPECT_FALSE(files("cmd=file_list&path=local/USB")[0].isMember("cover"));
  setOptions("\"show_covers\":\"true\",\"cover_files_exts\":\"png\"");
  EXPECT_FALSE(files("cmd=file_list&path=local/USB")[0].isMember("cover")) << "the cover file names count too";
  // Unchanged, the answer comes from the cache.
  m_box.write(cacheFile("local/USB"), "{\"cached\":1}\n");
  EXPECT_EQ("{\"cached\":1}\n", body("cmd=file_list&path=local/USB"));
  // A folder that cannot be reached (the storage unplugged) is answered from
  // the cache, also when its empty mount point stays behind; not when asked afresh.
  m_box.write(paths::kMtab, "");
  shellOutput("rm -r '" + real("") + "'/*");
  EXPECT_EQ("{\"cached\":1}\n", body("cmd=file_list&path=local/USB"));
  shellOutput("rmdir '" + real("") + "'");
  EXPECT_EQ("{\"cached\":1}\n", body("cmd=file_list&path=local/USB"));
  expectError(m_box.get("cmd=file_list&ignore_cache=1&path=local/USB"), "invalid path");
  m_box.write(cacheFile("local/USB"), "");  // an empty cache file does not count
  expectError(m_box.get("cmd=file_list&path=local/USB"), "invalid path");
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
  expectJson(m_box.get("cmd=file_list&path=local/USB"), "{\"currDirPlayPath\":\"local/USB\",\"files\":[]}\n");
  std::string log = m_box.read(paths::kLogFile);
  EXPECT_NE(std::string::npos, log.find(" error : mkdir '" + m_box.path(paths::kCacheDir) + "' failed")) << log;
}

// favorite

TEST_F(BrowseTest, FavouritesAreReplacedByNameAndListedInByteOrder) {
  for (const char* added :
       {"alpha&path=local/USB/a", "Zeta&path=local/USB/z", "Films&path=local/USB/Old", "Films&path=local/USB/Films"})
    expectJson(m_box.get(std::string("cmd=favorite&action=add&name=") + added), kOk);
  for (const char* deleted : {"Zeta", "nobody"})
    expectJson(m_box.get(std::string("cmd=favorite&action=del&name=") + deleted), kOk);
  struct Row {
    const char* query;
    const char* error;
  } rows[] = {
      {"add", "Name not defined"},        {"add&path=x", "Name not defined"},
      {"add&name=A", "Path not defined"}, {"add&name=A&path=", "Path not defined"},
      {"del&name=", "Name not defined"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.query);
    expectError(m_box.get(std::string("cmd=favorite&action=") + row.query), row.error);
  }
  expectJson(m_box.get("cmd=favorite&action=list"),
             "{\"favorite\":[{\"name\":\"Films\",\"path\":\"local/USB/Films\"},"
             "{\"name\":\"alpha\",\"path\":\"local/USB/a\"}]}\n");
}

TEST_F(BrowseTest, FavouritesOfTheWrongShapeAreReadOrReplaced) {
  m_box.write(paths::kConfigFile, "{\"version\":\"2\",\"favorites\":{\"b\":{\"name\":\"b\"},\"a\":7}}");
  expectJson(m_box.get("cmd=favorite&action=list"),
             "{\"favorite\":[{\"name\":\"\",\"path\":\"\"},{\"name\":\"b\",\"path\":\"\"}]}\n");
  m_box.write(paths::kConfigFile, "{\"version\":\"2\",\"favorites\":[1,2]}");
  expectJson(m_box.get("cmd=favorite&action=list"), "{\"favorite\":[]}\n");
}

// What the demo and the API examples browse and play: made again, it stays the same.
TEST(SampleStorage, StaysTheSameWhenMadeAgain) {
  Sandbox box;
  std::string make = "sh '" + sourceDir() + "/tools/make-sample-storage.sh' '" + box.root() + "'";
  int status = -1;
  shellOutput(make, &status);
  ASSERT_EQ(0, status);
  std::string mtab = box.read(paths::kMtab);
  shellOutput(make, &status);
  ASSERT_EQ(0, status);
  EXPECT_EQ(mtab, box.read(paths::kMtab));
  EXPECT_EQ("storage_uuid://4a3b_1c2d " + box.path("/tmp/mnt/storage/sda1") + "\n" + "storage_uuid://7e11_00f3 " +
                box.path("/tmp/mnt/storage/sdb1") + "\n",
            box.read("/var/playersim/media.conf"));
}

}  // namespace
