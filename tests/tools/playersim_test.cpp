// Drives the player simulator as a subprocess in a scratch sandbox, the way
// tavorc and the demo use it.
#include <fcntl.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/paths.h"
#include "tests/support/child.h"
#include "tests/support/programs.h"

namespace {

const char kPower[] = "BC43BF00";
const char kPageUp[] = "B44BBF00";
const char kPageDown[] = "B34CBF00";
const char kUp[] = "EA15BF00";
const char kDown[] = "E916BF00";
const char kRight[] = "E718BF00";
const char kLeft[] = "E817BF00";
const char kEnter[] = "EB14BF00";
const char kPanel[] = "FB04BF00";
const char kShuffle[] = "ED12BF00";

// Runs a program with exactly the given environment and returns its output.
std::string run(const std::vector<std::string>& args, const std::vector<std::string>& env) {
  ChildCommand command;
  command.argv = args;
  command.environment = env;
  command.streams.output = Redirect::pipe();
  return runChild(command).output;
}

int64_t nowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

class PlayerSim : public ::testing::Test {
 protected:
  std::string root;
  std::string doPath;
  std::string storage;

  void SetUp() override {
    char tmpl[] = "/tmp/playersim-test-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root = tmpl;
    ASSERT_EQ(
        system(("mkdir -p " + root + "/tmp/www/cgi-bin " + root + "/var/playersim " + root + "/tmp/mnt/storage/sda1")
                   .c_str()),
        0);
    doPath = root + paths::kControlProgram;
    ASSERT_TRUE(installProgram(PLAYERSIM_PATH, doPath));
    storage = root + "/tmp/mnt/storage/sda1";
    writeFile(root + "/var/playersim/media.conf", "storage_uuid://1a2b_3c4d " + storage + "\n");
    tool({"reset"});
    tool({"set", "clock=frozen"});
  }

  void TearDown() override {
    nftw(
        root.c_str(), [](const char* p, const struct stat*, int, FTW*) { return remove(p); }, 16, FTW_DEPTH | FTW_PHYS);
  }

  static void writeFile(const std::string& path, const std::string& text) {
    system(("mkdir -p '" + path.substr(0, path.rfind('/')) + "'").c_str());
    std::ofstream(path) << text;
  }

  std::string request(const std::string& query) {
    return run({doPath}, {"QUERY_STRING=" + query, "REQUEST_METHOD=GET", "TAVORC_ROOT=" + root});
  }

  void press(const std::string& key, int times = 1) {
    for (int i = 0; i < times; ++i) request(std::string("cmd=ir_code&ir_code=") + key);
  }

  std::string tool(std::vector<std::string> args) {
    args.insert(args.begin(), root);
    return run(commandFor(PLAYERSIM_PATH, args), {});
  }

  std::map<std::string, std::string> show() {
    std::map<std::string, std::string> state;
    std::istringstream in(tool({"show"}));
    for (std::string line; std::getline(in, line);)
      state[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
    return state;
  }

  // Compares the named values of the simulator's state.
  void expectShown(const std::map<std::string, std::string>& expected) {
    std::map<std::string, std::string> state = show(), actual;
    for (const auto& named : expected) actual[named.first] = state[named.first];
    EXPECT_EQ(expected, actual);
  }

  std::string start(const std::string& folderUrl, int index) {
    return request("cmd=start_playlist_playback&media_url=" + folderUrl + "&start_index=" + std::to_string(index));
  }

  // The status answer's value for one parameter.
  std::string status(const std::string& name) {
    std::string xml = request("cmd=status");
    std::string key = "<param name=\"" + name + "\" value=\"";
    size_t at = xml.find(key);
    if (at == std::string::npos) return "<missing>";
    at += key.size();
    return xml.substr(at, xml.find('"', at) - at);
  }
};

TEST_F(PlayerSim, StatusAnswerIsHeadersThenXml) {
  tool({"set", "url=storage_uuid://1a2b_3c4d/a&b", "volume=35"});
  std::string answer = request("cmd=status");
  EXPECT_EQ(
      answer.rfind("Status: 200 OK\r\nContent-Type: text/xml\r\n\r\n<?xml version=\"1.0\"?>\n<command_result>\n", 0),
      0u)
      << answer;
  EXPECT_NE(answer.find("<param name=\"playback_url\" value=\"storage_uuid://1a2b_3c4d/a&amp;b\"/>"),
            std::string::npos);
  EXPECT_NE(answer.find("<param name=\"playback_volume\" value=\"35\"/>"), std::string::npos);
  EXPECT_NE(answer.find("</command_result>\n"), std::string::npos);
  EXPECT_NE(request("cmd=ir_code&ir_code=" + std::string(kUp)).find("<param name=\"result\" value=\"ok\"/>"),
            std::string::npos);
}

TEST_F(PlayerSim, EveryRequestIsLoggedAsOneLine) {
  request("cmd=status");
  press(kEnter);
  // Without TAVORC_ROOT the root is found from the installed path.
  run({doPath}, {"QUERY_STRING=cmd=set_playback_state&volume=7"});
  std::ifstream log(root + "/var/playersim/requests.log");
  std::stringstream text;
  text << log.rdbuf();
  EXPECT_EQ(text.str(), "cmd=status\ncmd=ir_code&ir_code=EB14BF00\ncmd=set_playback_state&volume=7\n");
  EXPECT_EQ(show()["volume"], "7");
}

TEST_F(PlayerSim, PowerKeyWakesTheStandbyPlayerAfterLoading) {
  tool({"set", "power=standby", "boot_seconds=1"});
  EXPECT_EQ(status("player_state"), "standby");
  writeFile(storage + "/a.mp3", "");
  start("storage_uuid%3a%2f%2f1a2b_3c4d", 0);
  EXPECT_EQ(show()["url"], "") << "a sleeping player starts nothing";

  press(kPower);
  EXPECT_EQ(status("player_state"), "loading");
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  EXPECT_EQ(status("player_state"), "navigator");
  EXPECT_EQ(show()["power"], "on");
}

TEST_F(PlayerSim, FolderStartsAtTheNumberedFile) {
  // Numbering: Extras (disc folder) 0; Sub/x.mp3 1; 01.mp3 2; cover.jpg 3;
  // z.mkv 4. Rows: x.mp3 0, 01.mp3 1, z.mkv 2.
  writeFile(storage + "/Films/Extras/VIDEO_TS/VTS_01_1.VOB", "");
  writeFile(storage + "/Films/Sub/x.mp3", "");
  writeFile(storage + "/Films/01.mp3", "duration=300\n");
  writeFile(storage + "/Films/cover.jpg", "");
  writeFile(storage + "/Films/z.mkv", "");
  writeFile(storage + "/Films/notes.txt", "");

  start("storage_uuid%3a%2f%2f1a2b_3c4d%2fFilms", 2);
  expectShown({{"url", "storage_uuid://1a2b_3c4d/Films/01.mp3"},
               {"row", "1"},
               {"rows", "3"},
               {"duration", "300"},
               {"video_width", "0"},
               {"cursor", "1"},
               {"top", "0"},
               {"bottom", "2"}});

  start("storage_uuid%3a%2f%2f1a2b_3c4d%2fFilms", 4);
  EXPECT_EQ(status("playback_url"), "storage_uuid://1a2b_3c4d/Films/z.mkv");
  EXPECT_EQ(status("playback_duration"), "5400");
  EXPECT_EQ(status("playback_video_width"), "1920");

  request("cmd=start_playlist_playback&media_url=storage_uuid%3a%2f%2f1a2b_3c4d%2fFilms");
  EXPECT_EQ(status("playback_url"), "storage_uuid://1a2b_3c4d/Films/Sub/x.mp3");

  request("cmd=launch_media_url&media_url=storage_uuid%3a%2f%2f1a2b_3c4d%2fFilms%2fExtras");
  expectShown({{"url", "storage_uuid://1a2b_3c4d/Films/Extras"}, {"rows", "1"}});
}

TEST_F(PlayerSim, TheEndOfAnItemPlaysTheNextRowThenStops) {
  writeFile(storage + "/A/1.mp3", "duration=10\n");
  writeFile(storage + "/A/2.mp3", "duration=10\n");
  start("storage_uuid%3a%2f%2f1a2b_3c4d%2fA", 0);
  tool({"set", "clock=running", "stamp=" + std::to_string(nowMs() - 12500)});
  expectShown({{"url", "storage_uuid://1a2b_3c4d/A/2.mp3"}, {"position", "2"}});
  tool({"set", "stamp=" + std::to_string(nowMs() - 30000)});
  expectShown({{"player_state", "navigator"}, {"url", ""}});
}

TEST_F(PlayerSim, TimeJumpKeysLandOnTheirTarget) {
  const struct {
    const char* what;
    int from;
    std::vector<std::pair<const char*, int>> keys;
    int expected;
  } cases[] = {
      {"page and minutes up", 100, {{kPageUp, 1}, {kUp, 5}}, 1000},
      {"minutes up, ten seconds back", 0, {{kUp, 8}, {kLeft, 1}}, 470},
      {"page up, then back", 1000, {{kPageUp, 1}, {kDown, 1}, {kLeft, 4}}, 1500},
      {"page down", 2000, {{kPageDown, 1}, {kDown, 6}, {kLeft, 4}}, 1000},
      {"ten seconds forward", 2000, {{kRight, 2}}, 2020},
      {"below zero stays at zero", 30, {{kLeft, 5}}, 0},
      {"past the end stops at the end", 3500, {{kPageUp, 1}}, 3600},
  };
  writeFile(storage + "/long.mp3", "duration=3600\n");
  request("cmd=launch_media_url&media_url=storage_uuid%3a%2f%2f1a2b_3c4d%2flong.mp3");
  for (const auto& c : cases) {
    request("cmd=set_playback_state&position=" + std::to_string(c.from));
    press(kRight);
    for (const auto& [key, times] : c.keys) press(key, times);
    EXPECT_EQ(show()["jump"], "open") << c.what;
    press(kEnter);
    SCOPED_TRACE(c.what);
    expectShown({{"position", std::to_string(c.expected)}, {"jump", "closed"}});
  }
}

// The first and the last page show 10 rows like every other.
TEST_F(PlayerSim, PanelPagesAfterTheFirstPressReachesTheEdge) {
  for (int i = 0; i < 25; ++i)
    writeFile(storage + "/Many/" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".mp3", "");
  start("storage_uuid%3a%2f%2f1a2b_3c4d%2fMany", 12);
  auto s = show();
  EXPECT_EQ(s["cursor"] + " " + s["top"] + " " + s["bottom"], "12 7 16");

  press(kPanel);
  EXPECT_EQ(show()["panel"], "menu");
  press(kEnter);
  EXPECT_EQ(show()["panel"], "open");

  const struct {
    const char* key;
    const char* expected;  // cursor top bottom
  } steps[] = {
      {kPageDown, "16 7 16"}, {kPageDown, "24 15 24"}, {kPageDown, "24 15 24"}, {kPageUp, "15 15 24"},
      {kPageUp, "5 5 14"},    {kPageUp, "0 0 9"},      {kPageUp, "0 0 9"},      {kDown, "1 0 9"},
      {kUp, "0 0 9"},         {kUp, "0 0 9"},
  };
  for (const auto& step : steps) {
    press(step.key);
    s = show();
    EXPECT_EQ(s["cursor"] + " " + s["top"] + " " + s["bottom"], step.expected) << step.key;
  }

  // The panel keeps cursor and window between openings.
  press(kPanel);
  EXPECT_EQ(show()["panel"], "closed");
  press(kPanel);
  press(kEnter);
  press(kShuffle);
  expectShown({{"cursor", "0"}, {"top", "0"}, {"bottom", "9"}, {"shuffle", "1"}});
}

TEST_F(PlayerSim, EnterPlaysTheRowUnderTheCursor) {
  writeFile(storage + "/Live/album.flac", "duration=900\n");
  writeFile(storage + "/Live/album.cue",
            "FILE \"album.flac\" WAVE\r\n  TRACK 01 AUDIO\r\n    TITLE \"One\"\r\n"
            "    INDEX 01 00:00:00\r\n  TRACK 02 AUDIO\r\n    TITLE \"Two\"\r\n"
            "    INDEX 00 02:28:00\r\n    INDEX 01 02:30:74\r\n  TRACK 03 AUDIO\r\n"
            "    TITLE \"Three\"\r\n    INDEX 01 10:00:00\r\n");
  writeFile(storage + "/Live/encore.mp3", "");
  start("storage_uuid%3a%2f%2f1a2b_3c4d%2fLive", 1);
  expectShown({{"rows", "5"}, {"row", "4"}});

  press(kPanel);
  press(kEnter);
  press(kUp, 2);
  press(kEnter);
  expectShown(
      {{"url", "storage_uuid://1a2b_3c4d/Live/album.flac"}, {"position", "150"}, {"row", "2"}, {"panel", "open"}});

  press(kUp, 2);
  press(kEnter);
  press(kPanel);
  // The file's own row plays its first track.
  expectShown({{"position", "0"}, {"row", "1"}, {"panel", "closed"}});
}

}  // namespace
