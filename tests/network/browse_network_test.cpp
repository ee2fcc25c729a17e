// Browsing network sources with "file_list": shares are mounted by the
// stand-in mount on first use and found again through the mount table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/paths.h"
#include "tests/support/sandbox.h"

namespace {

const char kCanary[] = "Canary-51c9";
const std::string kShare = "\\\\nas\\Media";

class NetworkBrowse : public ::testing::Test {
 protected:
  void SetUp() override {
    m_box.write("/srv/media/Films/Trip.mkv", "x");
    m_box.write("/srv/media/song.mp3", "x");
    m_box.write("/srv/media/notes.txt", "x");
  }
  void share(const std::string& source, const std::string& action) {
    m_shares += source + "\t" + action + "\t" + m_box.path("/srv/media") + "\n";
    m_box.write("/etc/shares", m_shares);
  }
  std::string add(const std::string& parameters) {
    CgiResponse response = m_box.get("cmd=network_source_add&" + parameters);
    EXPECT_EQ(200, response.status()) << parameters;
    return response.raw;
  }
  CgiResponse list(const std::string& path, const std::vector<std::string>& environment = {}) {
    CgiRequest request;
    request.query = "cmd=file_list&ignore_cache=1&path=" + path;
    request.cookie = "bid=TEST";
    request.environment = environment;
    return m_box.run(request);
  }
  // The answer for the sample folder shown as prefix.
  static std::string sampleListing(const std::string& prefix) {
    return "{\"currDirPlayPath\":\"" + prefix + "\",\"files\":[{\"name\":\"Films\",\"path\":\"" + prefix +
           "/Films\",\"play_path\":\"" + prefix +
           "/Films\"},{\"name\":\"notes.txt\"},{\"name\":\"song.mp3\","
           "\"play_path\":\"" +
           prefix + "/song.mp3\"}]}\n";
  }
  // Mounts run (the storage scan's listing, mount without arguments, aside).
  int mounts() const {
    std::string log = m_box.read("/var/standin.log");
    int count = 0;
    for (size_t at = 0; (at = log.find("mount argc=", at)) != std::string::npos; ++at)
      if ((at == 0 || log[at - 1] == '\n') && log.compare(at + 11, 2, "0\n") != 0) ++count;
    return count;
  }
  int entries(const std::string& fixed) const {
    return atoi(shellOutput("ls -A '" + m_box.path(fixed) + "' | wc -l").c_str());
  }

  Sandbox m_box;
  std::string m_shares;
};

}  // namespace

// The password reaches the mount program and the configuration, nothing else.
TEST_F(NetworkBrowse, ShareIsMountedOnFirstBrowseAndReusedAfterwards) {
  share(kShare, "ok");
  std::string answers =
      add(std::string("title=Media&type=0&protocol=0&address=nas&path=Media&user=me&password=") + kCanary);
  EXPECT_EQ(0, mounts());  // adding mounts nothing
  CgiResponse first = m_box.get("cmd=file_list&path=smb/Media");
  expectJson(first, sampleListing("smb/Media"));
  CgiResponse below = list("smb/Media/Films");
  EXPECT_EQ(
      "{\"currDirPlayPath\":\"smb/Media/Films\",\"files\":[{\"name\":\"Trip.mkv\",\"play_path\":"
      "\"smb/Media/Films/Trip.mkv\"}]}\n",
      below.body);
  EXPECT_EQ(1, mounts());
  answers += first.raw + below.raw + m_box.get("cmd=file_list&path=smb/Media").raw;  // the last one cached
  answers += m_box.get("cmd=network_source_list").raw + m_box.get("cmd=log").raw;
  EXPECT_NE(std::string::npos, m_box.read("/var/standin.log").find(std::string("password=") + kCanary));
  EXPECT_EQ(std::string::npos, answers.find(kCanary));
  EXPECT_EQ(std::string::npos, m_box.read(paths::kLogFile).find(kCanary));
  std::string cache = shellOutput("cat '" + m_box.path(paths::kCacheDir) + "'/* 2>/dev/null");
  EXPECT_NE("", cache);
  EXPECT_EQ(std::string::npos, cache.find(kCanary));
}

TEST_F(NetworkBrowse, HangingMountIsStoppedAndTheRequestAnswers) {
  share(kShare, "hang");
  add("title=Media&type=0&protocol=0&address=nas&path=Media");
  expectError(list("smb/Media", {"TAVORC_MOUNT_TIME_LIMIT=1"}), "invalid path");
  EXPECT_EQ(0, entries(paths::kSmbMountDir));
  EXPECT_NE(std::string::npos, m_box.read(paths::kLogFile).find(" error : mount stopped after 1 seconds\n"));
}

TEST_F(NetworkBrowse, DeletedPlayerFolderIsUnmountedAndMountedAgainOnNextBrowse) {
  share(kShare, "ok");
  m_box.write(paths::kNetworkFolders, "name.0 = P\ntype.0 = 0\nserver.0 = nas\ndirectory.0 = Media\n");
  ASSERT_EQ(sampleListing("smb/P"), list("smb/P").body);
  EXPECT_EQ(200, m_box.get("cmd=network_source_del&source_key=0%3Anas%3AMedia").status());
  EXPECT_EQ("", m_box.read(paths::kMtab));
  EXPECT_EQ(0, entries(paths::kSmbMountDir));
  EXPECT_EQ(
      "{\"sources\":[{\"is_persist\":\"1\",\"key\":\"0:nas:Media\",\"name\":\"smb/P\",\"path\":\"Media\","
      "\"title\":\"P\",\"type\":\"SMB\"}]}\n",
      m_box.get("cmd=network_source_list").body);
  EXPECT_EQ(sampleListing("smb/P"), list("smb/P").body);
  EXPECT_EQ(2, mounts());
}
