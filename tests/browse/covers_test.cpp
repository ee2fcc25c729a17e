#include "browse/covers.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

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
    m_config = new Config("TESTBID");
    m_root = s_sandbox->root() + "/tmp/mnt/storage/sda1";
    m_folder = m_root + "/" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + "/";
    s_sandbox->mkdirs(m_folder.substr(s_sandbox->root().size()));
  }
  void TearDown() override { delete m_config; }

  void touch(const std::string& name) const { s_sandbox->write(m_folder.substr(s_sandbox->root().size()) + name, ""); }
  void mkdir(const std::string& name) const { s_sandbox->mkdirs(m_folder.substr(s_sandbox->root().size()) + name); }
  std::string expectedUrl(const std::string& name, const std::string& extension) const {
    return "/covers/" + md5Hex(m_folder + name) + extension;
  }
  std::string linkTarget(const std::string& url) const {
    char target[4096];
    std::string link = s_sandbox->path("/tmp/www") + url;
    ssize_t n = readlink(link.c_str(), target, sizeof target);
    return n < 0 ? "" : std::string(target, static_cast<size_t>(n));
  }

  static Sandbox* s_sandbox;
  Config* m_config = nullptr;
  std::string m_root;  // the storage the folders lie on
  std::string m_folder;
};

Sandbox* CoverFinderTest::s_sandbox = nullptr;

TEST_F(CoverFinderTest, FindsCoverIgnoringCaseAndPublishesALink) {
  touch("Cover.JPG");
  touch("film.mkv");
  CoverFinder finder(m_folder, true, m_root);
  EXPECT_TRUE(finder.hasMedia());
  EXPECT_FALSE(finder.isDiscFolder());
  EXPECT_EQ(expectedUrl("Cover.JPG", ".JPG"), finder.cover());
  EXPECT_EQ(m_folder + "Cover.JPG", linkTarget(finder.cover()));
}

TEST_F(CoverFinderTest, NamePatternWithWildcardMatchesTheBaseName) {
  touch("movie.icon.png");
  CoverFinder finder(m_folder, true, m_root);
  EXPECT_EQ(expectedUrl("movie.icon.png", ".png"), finder.cover());
  EXPECT_FALSE(finder.hasMedia());
}

TEST_F(CoverFinderTest, ExtensionsComeFromTheConfiguration) {
  touch("front.gif");
  EXPECT_EQ("", CoverFinder(m_folder, true, m_root).cover());
  m_config->set("cover_files_exts", "jpg,jpeg,png,gif");
  EXPECT_EQ(expectedUrl("front.gif", ".gif"), CoverFinder(m_folder, true, m_root).cover());
}

TEST_F(CoverFinderTest, EmptyPatternOptionsGetTheDefaultsStored) {
  EXPECT_EQ("", m_config->get("cover_files_names"));
  CoverFinder finder(m_folder, false);
  EXPECT_EQ(CoverPatterns::kDefaultNames, m_config->get("cover_files_names"));
  EXPECT_EQ(CoverPatterns::kDefaultExtensions, m_config->get("cover_files_exts"));
}

TEST_F(CoverFinderTest, NoCoverSearchWhenNotWanted) {
  touch("cover.jpg");
  touch("a.mp3");
  CoverFinder finder(m_folder, false);
  EXPECT_TRUE(finder.hasMedia());
  EXPECT_EQ("", finder.cover());
  EXPECT_FALSE(s_sandbox->exists(paths::kCoversDir));
}

TEST_F(CoverFinderTest, DiscMarkersAreCaseSensitive) {
  mkdir("VIDEO_TS");
  EXPECT_TRUE(CoverFinder(m_folder, false).isDiscFolder());
  std::string other = m_folder + "lower/";
  mkdir("lower/video_ts");
  EXPECT_FALSE(CoverFinder(other, false).isDiscFolder());
  std::string bluRay = m_folder + "bd/";
  mkdir("bd/BDMV");
  EXPECT_TRUE(CoverFinder(bluRay, false).isDiscFolder());
}

TEST_F(CoverFinderTest, HiddenImageCanBeTheCoverButHiddenMediaDoesNotCount) {
  touch(".icon.jpg");
  touch(".hidden.mkv");
  CoverFinder finder(m_folder, true, m_root);
  EXPECT_EQ(expectedUrl(".icon.jpg", ".jpg"), finder.cover());
  EXPECT_FALSE(finder.hasMedia());
}

TEST_F(CoverFinderTest, ShellCharactersInTheImageNameAreHarmless) {
  const std::string name = "it's \"$(touch x)\".icon.jpg";
  touch(name);
  CoverFinder finder(m_folder, true, m_root);
  EXPECT_EQ(expectedUrl(name, ".jpg"), finder.cover());
  EXPECT_EQ(m_folder + name, linkTarget(finder.cover()));
  EXPECT_FALSE(s_sandbox->exists("/x"));
}

TEST_F(CoverFinderTest, SameImageSameLinkDifferentImagesDifferentLinks) {
  touch("a/cover.jpg");
  touch("b/cover.jpg");
  std::string a = m_folder + "a/", b = m_folder + "b/";
  std::string first = CoverFinder(a, true, m_root).cover();
  EXPECT_EQ(first, CoverFinder(a, true, m_root).cover());
  EXPECT_NE(first, CoverFinder(b, true, m_root).cover());
}

TEST_F(CoverFinderTest, FolderThatCannotBeOpenedGivesNothing) {
  std::string missing = m_folder + "missing/";
  CoverFinder finder(missing, true, m_root);
  EXPECT_FALSE(finder.hasMedia());
  EXPECT_FALSE(finder.isDiscFolder());
  EXPECT_EQ("", finder.cover());
}

TEST_F(CoverFinderTest, OnlyRegularFilesOnTheSourceArePublished) {
  s_sandbox->write(paths::kConfigFile, "{\"password\":\"secret\"}");
  s_sandbox->write("/tmp/mnt/storage/sda10/cover.jpg", "other disk");
  touch("elsewhere/picture.jpg");
  mkfifo((m_folder + "fifo.jpg").c_str(), 0644);
  struct Row {
    const char* description;
    std::string target;  // what the folder's cover.jpg links to
    bool published;
  } rows[] = {
      {"absolute link to the configuration", s_sandbox->path(paths::kConfigFile), false},
      {"relative link climbing out", "../../../../../../persistfs/orvex/etc/tavorc.conf", false},
      {"link to a storage whose name extends this one's", s_sandbox->path("/tmp/mnt/storage/sda10/cover.jpg"), false},
      {"link to a folder on the storage", m_folder + "elsewhere", false},
      {"link to a FIFO on the storage", m_folder + "fifo.jpg", false},
      {"dangling link", m_folder + "missing.jpg", false},
      {"link to a picture on the storage", "../elsewhere/picture.jpg", true},
  };
  int i = 0;
  for (const Row& row : rows) {
    std::string folder = m_folder + "case" + std::to_string(i++) + "/";
    s_sandbox->mkdirs(folder.substr(s_sandbox->root().size()));
    ASSERT_EQ(0, symlink(row.target.c_str(), (folder + "cover.jpg").c_str())) << row.description;
    std::string cover = CoverFinder(folder, true, m_root).cover();
    if (row.published) {
      EXPECT_EQ("/covers/" + md5Hex(folder + "cover.jpg") + ".jpg", cover) << row.description;
      EXPECT_EQ(m_folder + "elsewhere/picture.jpg", linkTarget(cover)) << row.description;
    } else {
      EXPECT_EQ("", cover) << row.description;
      EXPECT_FALSE(s_sandbox->exists("/tmp/www/covers/" + md5Hex(folder + "cover.jpg") + ".jpg")) << row.description;
    }
  }
  // A finder that is not told the source publishes nothing.
  touch("plain/cover.jpg");
  EXPECT_EQ("", CoverFinder(m_folder + "plain/", true).cover());
}

TEST_F(CoverFinderTest, FolderReachedThroughALinkIsJudgedWhereItLeads) {
  touch("inside/cover.jpg");
  touch("inside/sub/cover.jpg");
  s_sandbox->write("/tmp/outside/cover.jpg", "not on the storage");
  ASSERT_EQ(0, symlink((m_folder + "inside").c_str(), (m_folder + "viaLink").c_str()));
  ASSERT_EQ(0, symlink(s_sandbox->path("/tmp/outside").c_str(), (m_folder + "away").c_str()));
  // Twice: the second finders reuse what the first ones resolved.
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(m_folder + "inside/cover.jpg", linkTarget(CoverFinder(m_folder + "viaLink/", true, m_root).cover()));
    EXPECT_EQ(m_folder + "inside/sub/cover.jpg",
              linkTarget(CoverFinder(m_folder + "viaLink/sub/", true, m_root).cover()));
    EXPECT_EQ("", CoverFinder(m_folder + "away/", true, m_root).cover());
    EXPECT_EQ(m_folder + "inside/sub/cover.jpg",
              linkTarget(CoverFinder(m_folder + "inside/sub/", true, m_root).cover()));
  }
}

TEST_F(CoverFinderTest, EmptyPatternPieceMatchesOnlyEmptyText) {
  // The empty piece between two commas matches the empty base name of ".png".
  m_config->set("cover_files_names", "nothing,,other");
  touch(".png");
  EXPECT_EQ(expectedUrl(".png", ".png"), CoverFinder(m_folder, true, m_root).cover());
}

}  // namespace
