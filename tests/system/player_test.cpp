// The player and history commands through the built program, against the
// player simulator: what the documented examples do not show (parameters
// checked before the player is asked, owner keys, status from one query, a
// share, the poller).
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <sstream>
#include <thread>

#include "core/paths.h"
#include "core/utils.h"
#include "playback/tavo.h"
#include "tests/support/cgiprocess.h"
#include "tests/support/playersim.h"
#include "tests/support/programs.h"
#include "tests/support/sandbox.h"

namespace {

const char kSheet[] =
    "FILE \"03 Live.flac\" WAVE\n"
    "  TRACK 01 AUDIO\n    TITLE \"Opening\"\n    INDEX 01 00:00:00\n"
    "  TRACK 02 AUDIO\n    TITLE \"Ballad\"\n    INDEX 01 05:00:00\n"
    "  TRACK 03 AUDIO\n    TITLE \"Finale\"\n    INDEX 01 10:00:00\n";

// An album: two files, then a file with a cue sheet of three tracks (rows 0,
// 1, then 2 with its tracks on rows 3, 4 and 5).
void putAlbum(const Sandbox& box, const std::string& folder) {
  box.write(folder + "/01.mp3", "duration=300\n");
  box.write(folder + "/02.mp3", "duration=300\n");
  box.write(folder + "/03 Live.flac", "duration=900\n");
  box.write(folder + "/03 Live.cue", kSheet);
}

// Polls (every 100 ms, up to the seconds given) until done() holds.
bool becomes(const std::function<bool()>& done, int seconds) {
  for (int tenth = 0; tenth < seconds * 10; ++tenth) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return done();
}

class PlayerCommand : public ::testing::Test {
 protected:
  PlayerCommand() : m_player(m_box) {
    mountStorage(m_box, "/dev/sda1", "/tmp/mnt/usb1", "LABEL=\"USB\" UUID=\"1A2B-3C4D\"");
    m_player.mapMedia("storage_uuid://1a2b_3c4d", "/tmp/mnt/usb1");
    putAlbum(m_box, "/tmp/mnt/usb1/Album");
  }

  Json::Value config() const { return readJson(m_box, paths::kConfigFile); }
  Json::Value json(const std::string& query) const {
    Json::Value value;
    CgiResponse response = m_box.get(query);
    EXPECT_EQ(200, response.status()) << query << ": " << response.body;
    EXPECT_TRUE(parsesAsJson(response.body, &value)) << query;
    return value;
  }
  void expectOk(const std::string& query) const { expectJson(m_box.get(query), "{\"message\":\"ok\"}\n"); }

  Sandbox m_box;
  SimulatedPlayer m_player;
};

TEST_F(PlayerCommand, ParametersAreCheckedBeforeThePlayerIsAsked) {
  const struct {
    const char* query;
    const char* message;
  } cases[] = {
      {"cmd=player", "action not defined"},
      {"cmd=player&action=jump", "unknown action 'jump'"},
      {"cmd=player&action=moveto", "position not defined"},
      {"cmd=player&action=addpos&position=3", "value not defined"},
      {"cmd=player&action=play", "play_path not defined"},
      {"cmd=player&action=playlist_move", "position not defined"},
      {"cmd=player&action=playlist_move&position=-1", "invalid playlist"},
      {"cmd=player&action=key&key=", "key not defined"},
      {"cmd=player&action=key&key=pause", "key not valid"},
      {"cmd=player&action=key&key=UP", "key not valid"},
      {"cmd=player&action=key_add&code=E21DBF00", "key not defined"},
      {"cmd=player&action=key_add&key=Pause", "code not defined"},
      {"cmd=player&action=key_add&key=Page_Up&code=E21DBF00", "key is built in"},
      {"cmd=player&action=key_add&key=a%09b&code=E21DBF00", "key not valid"},
      {"cmd=player&action=key_del&key=enter", "key is built in"},
      {"cmd=history", "action not defined"},
      {"cmd=history&action=resume_play&start_index=1&position=5", "dir_play_path not defined"},
      {"cmd=history&action=resume_play&dir_play_path=&start_index=1&position=5", "dir_play_path not defined"},
      {"cmd=history&action=resume_play&dir_play_path=local/USB/Album&start_index=1", "position not defined"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query);
    expectError(m_box.get(c.query), c.message);
  }
  expectJson(m_box.get("cmd=player&action=playlist"), "{}\n");
  EXPECT_TRUE(m_player.requests().empty()) << "nothing started through the system: the player is not asked";

  expectOk("cmd=player&action=addvol&value=");
  EXPECT_EQ(m_player.actions(), std::vector<std::string>{"cmd=set_playback_state&volume=50"})
      << "an empty value adds 0: the volume is sent again";
}

TEST_F(PlayerCommand, OwnerKeysArePressedByNameLikeTheBuiltInOnes) {
  expectOk("cmd=player&action=key_add&key=Pause&code=E21DBF00");
  expectOk("cmd=player&action=key_add&key=Stop&code=BD42BF00");
  expectOk("cmd=player&action=key_add&key=Stop&code=BE41BF00");
  expectOk("cmd=player&action=key_del&key=Pause");
  expectOk("cmd=player&action=key_del&key=Pause");
  EXPECT_EQ("{\"Stop\":\"BE41BF00\"}\n", toJsonText(config()["remote_keys"]));
  Json::Value keys = json("cmd=player&action=keys")["keys"];
  ASSERT_EQ(11u, keys.size());
  EXPECT_EQ("{\"code\":\"EA15BF00\",\"name\":\"up\",\"owner\":false}\n", toJsonText(keys[0]));
  EXPECT_EQ("{\"code\":\"BE41BF00\",\"name\":\"Stop\",\"owner\":true}\n", toJsonText(keys[10]));
  EXPECT_TRUE(m_player.requests().empty());

  expectOk("cmd=player&action=key&key=Stop");
  expectOk("cmd=player&action=key&key=page_down");
  EXPECT_EQ(m_player.requests(), keyRequests({{"BE41BF00", 1}, {IR_PAGE_DOWN, 1}}));
}

TEST_F(PlayerCommand, StatusTellsWhatPlaysFromOneStatusQuery) {
  expectJson(m_box.get("cmd=player&action=status"),
             "{\"awake\":true,\"duration\":0,\"position\":0,\"row\":-1,\"state\":\"navigator\",\"title\":\"\","
             "\"virtual_path\":\"\",\"volume\":50}\n");
  EXPECT_EQ(m_player.requests(), std::vector<std::string>{"cmd=status"});

  expectOk("cmd=player&action=play&play_path=local/USB/Album/03+Live.flac");
  m_player.set("clock=frozen position=310");
  m_player.clearRequests();
  expectJson(m_box.get("cmd=player&action=status"),
             "{\"awake\":true,\"duration\":900,\"position\":310,\"row\":4,\"state\":\"file_playback\","
             "\"title\":\"Ballad\",\"virtual_path\":\"local/USB/Album/03 Live.flac\",\"volume\":50}\n");
  EXPECT_EQ(m_player.requests(), std::vector<std::string>{"cmd=status"}) << "no wait for playback";

  // Another file of the remembered folder, however the player came to play it.
  m_player.set("url=storage_uuid://1a2b_3c4d/Album/02.mp3 duration=300");
  Json::Value status = json("cmd=player&action=status");
  EXPECT_EQ(1, status["row"].asInt());
  EXPECT_EQ("02.mp3", status["title"].asString());
  EXPECT_EQ("local/USB/Album/02.mp3", status["virtual_path"].asString());
  // A playlist file playing that file: the player plays the playlist file's
  // list, and the folder is forgotten.
  m_box.write("/tmp/mnt/usb1/Mix.m3u", "Album/02.mp3\n");
  expectOk("cmd=player&action=play&play_path=local/USB/Mix.m3u");
  EXPECT_FALSE(config().isMember("lpd"));
  EXPECT_EQ(-1, json("cmd=player&action=status")["row"].asInt());

  m_player.set("power=standby");
  expectJson(m_box.get("cmd=player&action=status"),
             "{\"awake\":false,\"duration\":0,\"position\":0,\"row\":-1,\"state\":\"standby\",\"title\":\"\","
             "\"virtual_path\":\"\",\"volume\":50}\n");
}

TEST_F(PlayerCommand, ShareFolderPlaysAndTellsWhatPlaysLikeALocalOne) {
  putAlbum(m_box, "/srv/media/Music");
  m_box.write("/etc/shares", "\\\\nas\\Media\tok\t" + m_box.path("/srv/media") + "\n");
  m_player.mapMedia("smb://nas/Media", "/srv/media");
  expectOk("cmd=network_source_add&title=NAS&type=0&protocol=0&address=nas&path=Media");

  expectOk("cmd=player&action=play&play_path=smb/NAS/Music/03+Live.flac");
  EXPECT_EQ("smb://nas/Media/Music/03 Live.flac", m_player.state("url"));
  EXPECT_EQ("cmd=start_playlist_playback&media_url=smb%3a%2f%2fnas%2fMedia%2fMusic&start_index=2",
            m_player.actions().at(0));
  Json::Value history = json("cmd=history&action=get");
  ASSERT_EQ(1u, history.size());
  EXPECT_EQ("smb/NAS/Music", history[0]["virtual_path"].asString());
  EXPECT_EQ(2, history[0]["last_index"].asInt());

  m_player.set("clock=frozen position=0");
  Json::Value status = json("cmd=player&action=status");
  EXPECT_EQ(3, status["row"].asInt());
  EXPECT_EQ("Opening", status["title"].asString());
  EXPECT_EQ("smb/NAS/Music/03 Live.flac", status["virtual_path"].asString());

  // Unmounted meanwhile: the status tells what it can without mounting.
  std::string mtab = m_box.read(paths::kMtab);
  m_box.write(paths::kMtab, mtab.substr(0, mtab.find("\\134\\134nas")));
  std::string mounts = m_box.read("/var/standin.log");
  status = json("cmd=player&action=status");
  EXPECT_EQ("03 Live.flac", status["title"].asString());
  EXPECT_EQ(-1, status["row"].asInt());
  EXPECT_EQ("", status["virtual_path"].asString());
  std::string runs = m_box.read("/var/standin.log").substr(mounts.size());
  EXPECT_EQ(std::string::npos, runs.find("[-t]")) << runs;
}

// The processes of this root running the program: pollers, and the history
// updates they run (whose parent is a poller).
std::vector<pid_t> pollersOf(const Sandbox& box) {
  std::map<pid_t, pid_t> parents;
  DIR* proc = opendir("/proc");
  for (dirent* entry; proc && (entry = readdir(proc));) {
    pid_t pid = atoi(entry->d_name);
    if (pid <= 0) continue;
    if (programOfProcess(pid) != tavorcBinary()) continue;
    std::string variables = procText(pid, "environ");
    if (variables.find("TAVORC_ROOT=" + box.root() + '\0') == std::string::npos) continue;
    std::istringstream stat(procText(pid, "stat"));
    std::string pidText, name, state;
    pid_t parent = 0;
    stat >> pidText >> name >> state >> parent;
    parents[pid] = parent;
  }
  if (proc) closedir(proc);
  std::vector<pid_t> pollers;
  for (const auto& [pid, parent] : parents)
    if (!parents.count(parent)) pollers.push_back(pid);
  return pollers;
}

struct PollerGuard {
  const Sandbox& box;
  ~PollerGuard() {
    for (pid_t pid : pollersOf(box)) kill(pid, SIGKILL);
  }
};

// The configuration lies on flash: a position that only moves on in the same
// file waits in /tmp, and is written when the playback stops.
TEST_F(PlayerCommand, PollerKeepsTheHistoryCurrentSparesTheFlashAndRunsOnce) {
  expectOk("cmd=player&action=play&play_path=local/USB/Album/02.mp3");
  m_player.set("clock=frozen position=100");
  auto written = [&] {
    struct stat status {};
    stat(m_box.path(paths::kConfigFile).c_str(), &status);
    return std::to_string(status.st_ino) + "." + std::to_string(status.st_mtim.tv_sec) + "." +
           std::to_string(status.st_mtim.tv_nsec);
  };
  const std::string played = written();
  auto newestPosition = [&](int position) {
    return [this, position] {
      Json::Value history;
      return parsesAsJson(m_box.get("cmd=history&action=get").body, &history) && history.isArray() &&
             history.size() > 0 && history[0]["play_position"].isInt() &&
             history[0]["play_position"].asInt() == position;
    };
  };

  PollerGuard guard{m_box};
  CgiResponse started = m_box.get("daemon");
  EXPECT_EQ(0, started.exitStatus);
  EXPECT_EQ("", started.raw);
  EXPECT_TRUE(becomes(newestPosition(100), 20)) << "the first pass comes at once";
  m_player.set("position=150");
  EXPECT_TRUE(becomes(newestPosition(150), 40)) << "the next one 17 s later";
  EXPECT_EQ(played, written()) << "positions in the same file are not written to the configuration";

  // Started again, by argument and by the web server: the running poller stays alone.
  std::vector<pid_t> pollers = pollersOf(m_box);
  ASSERT_EQ(1u, pollers.size());
  CgiRequest again;
  again.setQuery = false;
  again.arguments = {"daemon"};
  EXPECT_EQ(0, m_box.run(again).exitStatus);
  EXPECT_EQ(0, m_box.get("daemon").exitStatus);
  EXPECT_TRUE(becomes([&] { return pollersOf(m_box) == pollers; }, 10)) << "a second daemon found the running poller";
  EXPECT_EQ(std::to_string(pollers[0]), m_box.read(paths::kPollerPidFile));

  m_player.set("power=standby");
  expectOk("cmd=history&action=update&log=0");
  EXPECT_EQ(150, config()["history"][0]["play_position"].asInt()) << "written once the playback stopped";
  EXPECT_EQ(1, config()["history"][0]["last_index"].asInt());

  kill(pollers[0], SIGTERM);
  EXPECT_TRUE(becomes([&] { return pollersOf(m_box).empty(); }, 10));
}

}  // namespace
