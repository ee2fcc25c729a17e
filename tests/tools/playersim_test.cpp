// The player simulator as tavorc and the demo use it: installed as the control
// program of a sandbox root, driven by query strings, read with its tool.
#include "tests/support/playersim.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "core/paths.h"
#include "playback/tavo.h"
#include "tests/support/sandbox.h"

namespace {

const char kStorage[] = "/tmp/mnt/storage/sda1";
const char kFolderUrl[] = "storage_uuid%3a%2f%2f1a2b_3c4d";

int64_t nowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

class PlayerSim : public ::testing::Test {
 protected:
  PlayerSim() : m_player(m_box) {
    m_player.mapMedia("storage_uuid://1a2b_3c4d", kStorage);
    m_player.set("clock=frozen");
  }

  void put(const std::string& name, const std::string& text = "") const {
    m_box.write(std::string(kStorage) + "/" + name, text);
  }

  // The control program's whole answer to one query.
  std::string request(const std::string& query) const {
    CgiRequest run;
    run.program = playersimBinary();
    run.query = query;
    return m_box.run(run).raw;
  }
  void press(const char* key, int times = 1) const {
    for (int i = 0; i < times; ++i) request(std::string("cmd=ir_code&ir_code=") + key);
  }
  void start(const std::string& folder, int index) const {
    request("cmd=start_playlist_playback&media_url=" + std::string(kFolderUrl) + folder +
            "&start_index=" + std::to_string(index));
  }

  // The status answer's value for one parameter.
  std::string status(const std::string& name) const {
    std::string xml = request("cmd=status");
    std::string key = "<param name=\"" + name + "\" value=\"";
    size_t at = xml.find(key);
    if (at == std::string::npos) return "<missing>";
    at += key.size();
    return xml.substr(at, xml.find('"', at) - at);
  }

  // The named values of the simulator's state.
  void expectShown(const std::map<std::string, std::string>& expected) const {
    std::map<std::string, std::string> state = m_player.state(), actual;
    for (const auto& named : expected) actual[named.first] = state[named.first];
    EXPECT_EQ(expected, actual);
  }

  Sandbox m_box;
  SimulatedPlayer m_player;
};

TEST_F(PlayerSim, AnswersHeadersThenXmlAndLogsEveryRequest) {
  m_player.set("'url=storage_uuid://1a2b_3c4d/a&b' volume=35");
  std::string answer = request("cmd=status");
  EXPECT_EQ(0u, answer.rfind(
                    "Status: 200 OK\r\nContent-Type: text/xml\r\n\r\n<?xml version=\"1.0\"?>\n<command_result>\n", 0))
      << answer;
  EXPECT_NE(std::string::npos,
            answer.find("<param name=\"playback_url\" value=\"storage_uuid://1a2b_3c4d/a&amp;b\"/>"));
  EXPECT_NE(std::string::npos, answer.find("<param name=\"playback_volume\" value=\"35\"/>"));
  EXPECT_NE(std::string::npos, answer.find("</command_result>\n"));
  EXPECT_NE(std::string::npos, request(std::string("cmd=ir_code&ir_code=") + IR_UP).find("value=\"ok\""));

  // Without TAVORC_ROOT the root is found from the installed path.
  shellOutput("env -i QUERY_STRING='cmd=set_playback_state&volume=7' '" + m_box.path(paths::kControlProgram) + "'");
  EXPECT_EQ(m_player.requests(), (std::vector<std::string>{"cmd=status", std::string("cmd=ir_code&ir_code=") + IR_UP,
                                                           "cmd=set_playback_state&volume=7"}));
  EXPECT_EQ("7", m_player.state("volume"));
}

TEST_F(PlayerSim, PowerKeyWakesTheStandbyPlayerAfterLoading) {
  m_player.set("power=standby boot_seconds=3600");
  EXPECT_EQ("standby", status("player_state"));
  put("a.mp3");
  start("", 0);
  EXPECT_EQ("", m_player.state("url")) << "a sleeping player starts nothing";

  press(IR_POWER);
  EXPECT_EQ("loading", status("player_state"));
  m_player.set("ready_at=" + std::to_string(nowMs() - 1));  // the boot time has passed
  EXPECT_EQ("navigator", status("player_state"));
  EXPECT_EQ("on", m_player.state("power"));
}

TEST_F(PlayerSim, FolderStartsAtTheNumberedFile) {
  // Numbering: Extras (disc folder) 0; Sub/x.mp3 1; 01.mp3 2; cover.jpg 3;
  // z.mkv 4. Rows: x.mp3 0, 01.mp3 1, z.mkv 2.
  put("Films/Extras/VIDEO_TS/VTS_01_1.VOB");
  put("Films/Sub/x.mp3");
  put("Films/01.mp3", "duration=300\n");
  put("Films/cover.jpg");
  put("Films/z.mkv");
  put("Films/notes.txt");

  start("%2fFilms", 2);
  expectShown({{"url", "storage_uuid://1a2b_3c4d/Films/01.mp3"},
               {"row", "1"},
               {"rows", "3"},
               {"duration", "300"},
               {"video_width", "0"},
               {"cursor", "1"},
               {"top", "0"},
               {"bottom", "2"}});

  start("%2fFilms", 4);
  EXPECT_EQ("storage_uuid://1a2b_3c4d/Films/z.mkv", status("playback_url"));
  EXPECT_EQ("5400", status("playback_duration"));
  EXPECT_EQ("1920", status("playback_video_width"));

  request("cmd=start_playlist_playback&media_url=" + std::string(kFolderUrl) + "%2fFilms");
  EXPECT_EQ("storage_uuid://1a2b_3c4d/Films/Sub/x.mp3", status("playback_url"));

  request("cmd=launch_media_url&media_url=" + std::string(kFolderUrl) + "%2fFilms%2fExtras");
  expectShown({{"url", "storage_uuid://1a2b_3c4d/Films/Extras"}, {"rows", "1"}});
}

// Time passes by moving the moment the position was true back; the runs of
// the simulator add a little more.
TEST_F(PlayerSim, TheEndOfAnItemPlaysTheNextRowThenStops) {
  put("A/1.mp3", "duration=100\n");
  put("A/2.mp3", "duration=100\n");
  start("%2fA", 0);
  m_player.set("clock=running stamp=" + std::to_string(nowMs() - 150000));
  auto state = m_player.state();
  EXPECT_EQ("storage_uuid://1a2b_3c4d/A/2.mp3", state["url"]);
  EXPECT_GE(atoi(state["position"].c_str()), 50);
  EXPECT_LT(atoi(state["position"].c_str()), 60);
  m_player.set("stamp=" + std::to_string(nowMs() - 300000));
  expectShown({{"player_state", "navigator"}, {"url", ""}});
}

TEST_F(PlayerSim, EnterPlaysTheRowUnderTheCursor) {
  put("Live/album.flac", "duration=900\n");
  put("Live/album.cue",
      "FILE \"album.flac\" WAVE\r\n  TRACK 01 AUDIO\r\n    TITLE \"One\"\r\n"
      "    INDEX 01 00:00:00\r\n  TRACK 02 AUDIO\r\n    TITLE \"Two\"\r\n"
      "    INDEX 00 02:28:00\r\n    INDEX 01 02:30:74\r\n  TRACK 03 AUDIO\r\n"
      "    TITLE \"Three\"\r\n    INDEX 01 10:00:00\r\n");
  put("Live/encore.mp3");
  start("%2fLive", 1);
  expectShown({{"rows", "5"}, {"row", "4"}});

  press(IR_PANEL);
  press(IR_ENTER);
  press(IR_UP, 2);
  press(IR_ENTER);
  expectShown(
      {{"url", "storage_uuid://1a2b_3c4d/Live/album.flac"}, {"position", "150"}, {"row", "2"}, {"panel", "open"}});

  press(IR_UP, 2);
  press(IR_ENTER);
  press(IR_PANEL);
  // The file's own row plays its first track.
  expectShown({{"position", "0"}, {"row", "1"}, {"panel", "closed"}});
}

}  // namespace
