#include "browse/covers.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "core/config.h"
#include "core/paths.h"
#include "core/utils.h"
#include "tests/support/sandbox.h"

namespace {

// Each test gets a configuration in a sandbox root and an empty folder there.
class CoverFinderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_sandbox = new Sandbox;
    setenv("TAVORC_ROOT", s_sandbox->root().c_str(), 1);
  }
  static void TearDownTestSuite() { delete s_sandbox; }

  void SetUp() override {
    s_sandbox->write(paths::kConfigFile, "{\"version\":\"2\"}");  // each test starts from the defaults
    m_config = new Config("TESTBID");
    m_root = s_sandbox->root() + "/tmp/mnt/storage/sda1";
    m_folder = m_root + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + "/";
    s_sandbox->mkdirs(m_folder.substr(s_sandbox->root().size()));
  }
  void TearDown() override { delete m_config; }

  // A picture (the first bytes of a JPEG) that tells which file it is.
  void picture(const std::string& name) const { write(name, pictureOf(name)); }
  std::string pictureOf(const std::string& name) const { return "\xFF\xD8\xFF" + m_folder + name; }
  void write(const std::string& name, const std::string& content) const {
    s_sandbox->write(m_folder.substr(s_sandbox->root().size()) + name, content);
  }
  void mkdir(const std::string& name) const { s_sandbox->mkdirs(m_folder.substr(s_sandbox->root().size()) + name); }
  std::string expectedUrl(const std::string& name, const std::string& extension) const {
    return "/covers/" + md5Hex(m_folder + name) + extension;
  }
  // What the web server hands out for the URL: a regular file's bytes.
  std::string published(const std::string& url) const {
    struct stat status;
    std::string copy = s_sandbox->path("/tmp/www") + url;
    if (url.empty() || lstat(copy.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return "";
    return s_sandbox->read("/tmp/www" + url);
  }

  static Sandbox* s_sandbox;
  Config* m_config = nullptr;
  std::string m_root;  // the storage the folders lie on
  std::string m_folder;
};

Sandbox* CoverFinderTest::s_sandbox = nullptr;

// Each row is a folder of its own: its files, the cover patterns, whether a
// cover is wanted, and what the scan finds.
TEST_F(CoverFinderTest, ScanFindsMediaDiscFoldersAndTheCover) {
  struct Row {
    const char* description;
    std::vector<std::string> files;  // "*" marks the cover, a trailing "/" a folder
    const char* names;               // the patterns, "" for the defaults
    const char* extensions;
    bool wanted;
    const char* found;
  } rows[] = {
      {"name and extension ignore case", {"*Cover.JPG", "film.mkv"}, "", "", true, "media cover"},
      {"a wildcard matches the base name", {"*movie.icon.png"}, "", "", true, "cover"},
      {"an extension that is not configured", {"front.gif"}, "", "", true, ""},
      {"an extension that is configured", {"*front.gif"}, "", "jpg,jpeg,png,gif", true, "cover"},
      {"a hidden picture counts, hidden media not", {"*.icon.jpg", ".hidden.mkv"}, "", "", true, "cover"},
      {"shell characters are harmless", {"*it's \"$(touch x)\".icon.jpg"}, "", "", true, "cover"},
      {"an empty piece matches the empty base name", {"*.png"}, "nothing,,other", "", true, "cover"},
      {"no cover when none is wanted", {"cover.jpg", "a.mp3"}, "", "", false, "media"},
      {"a DVD folder", {"VIDEO_TS/"}, "", "", false, "disc"},
      {"disc markers are case sensitive", {"video_ts/"}, "", "", false, ""},
      {"a Blu-ray folder", {"BDMV/"}, "", "", false, "disc"},
      {"a folder that cannot be opened", {}, "", "", true, ""},
  };
  int i = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.description);
    std::string folder = "case" + std::to_string(i++) + "/", cover;
    std::vector<std::string> others;
    for (std::string name : row.files) {
      if (name[0] == '*') cover = folder + name.erase(0, 1);
      if (name.back() == '/')
        mkdir(folder + name);
      else
        picture(folder + name);
      if (folder + name != cover && name.back() != '/') others.push_back(folder + name);
    }
    m_config->set("cover_files_names", *row.names ? row.names : CoverPatterns::kDefaultNames);
    m_config->set("cover_files_exts", *row.extensions ? row.extensions : CoverPatterns::kDefaultExtensions);
    CoverFinder finder(m_folder + folder, row.wanted, m_root);
    std::string found = std::string(finder.hasMedia() ? " media" : "") + (finder.isDiscFolder() ? " disc" : "") +
                        (finder.cover().empty() ? "" : " cover");
    EXPECT_EQ(row.found, found.substr(found.empty() ? 0 : 1));
    EXPECT_EQ(cover.empty() ? "" : expectedUrl(cover, cover.substr(cover.rfind('.'))), finder.cover());
    EXPECT_EQ(cover.empty() ? "" : pictureOf(cover), published(finder.cover()));
    for (const std::string& other : others)
      EXPECT_FALSE(s_sandbox->exists("/tmp/www" + expectedUrl(other, other.substr(other.rfind('.'))))) << other;
  }
  EXPECT_NE(0, access("x", F_OK)) << "a shell ran a picture's name";
}

TEST_F(CoverFinderTest, EmptyPatternOptionsGetTheDefaultsStored) {
  EXPECT_EQ("", m_config->get("cover_files_names"));
  CoverFinder finder(m_folder, false);
  EXPECT_EQ(CoverPatterns::kDefaultNames, m_config->get("cover_files_names"));
  EXPECT_EQ(CoverPatterns::kDefaultExtensions, m_config->get("cover_files_exts"));
}

// A folder's "cover.jpg", a link or a file: only a regular file on the
// source that is a picture by its first bytes, within the bound, is published.
TEST_F(CoverFinderTest, OnlyPicturesOnTheSourceWithinTheBoundArePublished) {
  s_sandbox->write(paths::kConfigFile, "{\"password\":\"secret\"}");
  s_sandbox->write("/tmp/mnt/storage/sda10/cover.jpg", "\xFF\xD8\xFFother disk");
  picture("elsewhere/picture.jpg");
  mkfifo((m_folder + "fifo.jpg").c_str(), 0644);
  const std::string jpeg = "\xFF\xD8\xFF";
  struct Row {
    const char* description;
    std::string link;  // what cover.jpg links to, "" for a file
    std::string content;
    bool published;
  } rows[] = {
      {"absolute link to the configuration", s_sandbox->path(paths::kConfigFile), "", false},
      {"relative link climbing out", "../../../../../../persistfs/orvex/etc/tavorc.conf", "", false},
      {"link to a storage whose name extends this one's", s_sandbox->path("/tmp/mnt/storage/sda10/cover.jpg"), "",
       false},
      {"link to a folder on the storage", m_folder + "elsewhere", "", false},
      {"link to a FIFO on the storage", m_folder + "fifo.jpg", "", false},
      {"dangling link", m_folder + "missing.jpg", "", false},
      {"link to a picture on the storage", "../elsewhere/picture.jpg", pictureOf("elsewhere/picture.jpg"), true},
      {"a text", "", "password=secret\n", false},
      {"an empty file", "", "", false},
      {"a page", "", "<html><script>alert(1)</script></html>", false},
      {"a picture at the bound", "", jpeg + std::string(CoverFinder::kMaxCoverBytes - 3, 'x'), true},
      {"a picture over the bound", "", jpeg + std::string(CoverFinder::kMaxCoverBytes - 2, 'x'), false},
      {"a PNG", "", "\x89PNG\r\n\x1A\n", true},
      {"a GIF", "", "GIF87a", true},
      {"a WebP", "", std::string("RIFF\0\0\0\0WEBP", 12), true},
      {"a BMP", "", "BM" + std::string(24, '\0'), true},
  };
  int i = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.description);
    std::string folder = "case" + std::to_string(i++) + "/";
    if (row.link.empty()) {
      write(folder + "cover.jpg", row.content);
    } else {
      mkdir(folder);
      ASSERT_EQ(0, symlink(row.link.c_str(), (m_folder + folder + "cover.jpg").c_str()));
    }
    std::string copy = expectedUrl(folder + "cover.jpg", ".jpg");
    EXPECT_EQ(row.published ? copy : "", CoverFinder(m_folder + folder, true, m_root).cover());
    EXPECT_EQ(row.published, s_sandbox->exists("/tmp/www" + copy));
    EXPECT_EQ(row.published ? row.content : "", published(copy));
  }
  // A finder that is not told the source publishes nothing.
  picture("plain/cover.jpg");
  EXPECT_EQ("", CoverFinder(m_folder + "plain/", true).cover());
}

TEST_F(CoverFinderTest, FolderReachedThroughALinkIsJudgedWhereItLeads) {
  picture("inside/cover.jpg");
  picture("inside/sub/cover.jpg");
  s_sandbox->write("/tmp/outside/cover.jpg", "\xFF\xD8\xFFnot on the storage");
  ASSERT_EQ(0, symlink((m_folder + "inside").c_str(), (m_folder + "viaLink").c_str()));
  ASSERT_EQ(0, symlink(s_sandbox->path("/tmp/outside").c_str(), (m_folder + "away").c_str()));
  // Twice: the second finders reuse what the first ones resolved.
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(pictureOf("inside/cover.jpg"), published(CoverFinder(m_folder + "viaLink/", true, m_root).cover()));
    EXPECT_EQ(pictureOf("inside/sub/cover.jpg"),
              published(CoverFinder(m_folder + "viaLink/sub/", true, m_root).cover()));
    EXPECT_EQ("", CoverFinder(m_folder + "away/", true, m_root).cover());
    EXPECT_EQ(pictureOf("inside/sub/cover.jpg"),
              published(CoverFinder(m_folder + "inside/sub/", true, m_root).cover()));
  }
}

TEST_F(CoverFinderTest, CopyStaysWhatWasCheckedAndFollowsChangesOfThePicture) {
  s_sandbox->write(paths::kConfigFile, "{\"password\":\"secret\"}");
  // An earlier version published links; a link found under the copy's name is replaced.
  s_sandbox->mkdirs(paths::kCoversDir);
  std::string copy = s_sandbox->path("/tmp/www") + expectedUrl("cover.jpg", ".jpg");
  ASSERT_EQ(0, symlink(s_sandbox->path(paths::kConfigFile).c_str(), copy.c_str()));
  picture("cover.jpg");
  std::string url = CoverFinder(m_folder, true, m_root).cover();
  EXPECT_EQ(pictureOf("cover.jpg"), published(url));
  struct stat first, again;
  ASSERT_EQ(0, stat(copy.c_str(), &first));
  EXPECT_EQ(url, CoverFinder(m_folder, true, m_root).cover());
  ASSERT_EQ(0, stat(copy.c_str(), &again));
  EXPECT_EQ(first.st_ino, again.st_ino) << "an unchanged picture is not copied again";

  write("cover.jpg", pictureOf("cover.jpg") + " changed");
  EXPECT_EQ(url, CoverFinder(m_folder, true, m_root).cover());
  EXPECT_EQ(pictureOf("cover.jpg") + " changed", published(url));

  // Replaced by a link to the configuration: nothing is published, and the
  // copy still holds the picture.
  ASSERT_EQ(0, unlink((m_folder + "cover.jpg").c_str()));
  ASSERT_EQ(0, symlink(s_sandbox->path(paths::kConfigFile).c_str(), (m_folder + "cover.jpg").c_str()));
  EXPECT_EQ("", CoverFinder(m_folder, true, m_root).cover());
  EXPECT_EQ(pictureOf("cover.jpg") + " changed", published(url));
}

TEST_F(CoverFinderTest, StoredPatternsThatCoversMustNotTakeAreIgnored) {
  write("cover.html", "<html></html>");
  write("notes.jpg", "\xFF\xD8\xFF notes");
  for (const auto& [names, extensions] :
       {std::pair<const char*, const char*>{"cover", "html"}, {"*", "jpg"}, {"../cover", "jpg"}, {"cover", "*"}}) {
    m_config->set("cover_files_names", names);
    m_config->set("cover_files_exts", extensions);
    EXPECT_EQ("", CoverFinder(m_folder, true, m_root).cover()) << names << " " << extensions;
    EXPECT_EQ(names, m_config->get("cover_files_names")) << "left as stored";
  }
  picture("cover.jpg");
  EXPECT_EQ(expectedUrl("cover.jpg", ".jpg"), CoverFinder(m_folder, true, m_root).cover());
}

TEST_F(CoverFinderTest, TrimAfterNewCopiesRemovesLinksAndLeftovers) {
  s_sandbox->mkdirs(paths::kCoversDir);
  std::string covers = s_sandbox->path(paths::kCoversDir);
  trimPublishedCovers();  // after the copies of earlier tests
  ASSERT_EQ(0, symlink(s_sandbox->path(paths::kConfigFile).c_str(), (covers + "/0123.jpg").c_str()));
  s_sandbox->write(std::string(paths::kCoversDir) + "/4567.jpg", "\xFF\xD8\xFF");
  EXPECT_FALSE(trimPublishedCovers()) << "no new copy, nothing looked at";
  picture("cover.jpg");
  std::string url = CoverFinder(m_folder, true, m_root).cover();
  EXPECT_TRUE(trimPublishedCovers());
  EXPECT_EQ(pictureOf("cover.jpg"), published(url));
  EXPECT_TRUE(s_sandbox->exists(std::string(paths::kCoversDir) + "/4567.jpg")) << "within the bound, copies stay";
  struct stat status;
  EXPECT_NE(0, lstat((covers + "/0123.jpg").c_str(), &status));
}

}  // namespace
