#include "playback/tavo.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/paths.h"
#include "playback/remotekeys.h"
#include "tests/playback/playing.h"
#include "tests/support/fuzzrun.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

const char kAnswer[] =
    "<?xml version=\"1.0\"?>\n<command_result>\n"
    "<param name=\"player_state\" value=\"file_playback\"/>\n"
    "<param name=\"playback_duration\" value=\"3600\"/>\n"
    "<param name=\"playback_position\" value=\"125\"/>\n"
    "<param name=\"playback_volume\" value=\"40\"/>\n"
    "<param name=\"playback_video_width\" value=\"1920\"/>\n"
    "<param name=\"playback_url\" value=\"storage_uuid://1a2b/M&amp;M/a.mkv\"/>\n"
    "</command_result>\n";

TEST(TavoStatus, ReadsTheNamedValues) {
  PlayerStatus status;
  parseStatus(kAnswer, status);
  EXPECT_EQ("file_playback", status.playerState);
  EXPECT_EQ(3600, status.duration);
  EXPECT_EQ(125, status.position);
  EXPECT_EQ(40, status.volume);
  EXPECT_TRUE(status.isVideo);
  EXPECT_EQ("storage_uuid://1a2b/M&M/a.mkv", status.playbackUrl);

  parseStatus(
      "<?xml version=\"1.0\"?><command_result>"
      "<param name=\"playback_volume\"/>"                    // no value: skipped
      "<param value=\"99\"/>"                                // no name: skipped
      "<param name=\"playback_speed\" value=\"256\"/>"       // unknown name
      "<other name=\"playback_position\" value=\"12abc\"/>"  // any element name counts
      "<param name=\"playback_duration\" value=\"abc\"/>"
      "text<param name=\"playback_video_width\" value=\"-5\"/>"
      "</command_result>",
      status);
  EXPECT_EQ(40, status.volume) << "a missing value keeps the last one";
  EXPECT_EQ("storage_uuid://1a2b/M&M/a.mkv", status.playbackUrl);
  EXPECT_EQ(12, status.position);
  EXPECT_EQ(0, status.duration);
  EXPECT_FALSE(status.isVideo);
  parseStatus("<command_result><p name=\"playback_position\" value=\"99999999999\"/></command_result>", status);
  EXPECT_EQ(2147483647, status.position) << "saturates instead of overflowing";
}

TEST(TavoStatus, RejectsWhatIsNotAStatusAnswer) {
  const struct {
    const char* what;
    const char* answer;
    const char* message;
  } cases[] = {
      {"nothing at all", "", "invalid xml response"},
      {"declaration only", "<?xml version=\"1.0\"?>\n", "invalid xml response"},
      {"other root", "<?xml version=\"1.0\"?><result/>", "invalid xml response"},
      {"root name differs in case", "<Command_Result/>", "invalid xml response"},
      {"unclosed root", "<?xml version=\"1.0\"?><command_result><param", "xml response parse failed"},
      {"mismatched tags", "<command_result></other>", "xml response parse failed"},
  };
  PlayerStatus status;
  for (const auto& c : cases) EXPECT_EQ(c.message, failure([&] { parseStatus(c.answer, status); })) << c.what;
}

TEST(TavoStatus, FuzzedAnswersNeverEndTheProcess) {
  size_t runs = runFuzzBriefly(LLVMFuzzerTestOneInput,
                               {kAnswer, "", "<command_result><p name=\"a\" value=\"1\"/></command_result>",
                                "<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY a \"b\">]><command_result/>"});
  EXPECT_GT(runs, 20000u);
}

TEST(RemoteKeys, CodesAndOwnerNamesFollowTheirRules) {
  const struct {
    const char* code;
    bool valid;
    const char* why;
  } cases[] = {
      {"E21DBF00", true, "first byte the complement of the second"},
      {"00FFBF00", true, "the smallest first byte"},
      {"E21EBF00", false, "not the complement"},
      {"e21dBF00", false, "lower case"},
      {"E21DBF01", false, "not ending BF00"},
      {"E21DBF0", false, "seven digits"},
      {"E21DBF000", false, "nine digits"},
      {"G21DBF00", false, "not hexadecimal"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.valid, isValidKeyCode(c.code)) << c.code << ": " << c.why;
  EXPECT_TRUE(isValidOwnerKeyName("Pause"));
  EXPECT_TRUE(isValidOwnerKeyName("Пауза"));
  EXPECT_TRUE(isValidOwnerKeyName("\xF0\x9F\x94\x87 mute"));
  for (const char* name : {"", "UP", "Page_Down", "a\tb", "0123456789012345678901234567890123456789x", "\xD0", "\xD0x",
                           "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF"})
    EXPECT_FALSE(isValidOwnerKeyName(name)) << name;
}

PlayerStatus audio(int position, int duration = 3600) {
  PlayerStatus status;
  status.position = position;
  status.duration = duration;
  return status;
}

// A player reporting years (2^31 - 1 s) is planned for as a day at most.
TEST(TavoSeek, PlansAreBounded) {
  EXPECT_TRUE(seekRequests(audio(0, 9), 5).empty()) << "items under 10 s are not sought";
  const int huge = 2147483647;
  for (int target : {huge / 4 * 3, huge - 5, 86390, 5000}) {
    size_t presses = seekRequests(audio(0, huge), target).size();
    EXPECT_GT(presses, 0u) << target;
    EXPECT_LE(presses, kMaxSeekPresses) << target;
  }
  EXPECT_EQ(kSeekTooFar, failure([&] { seekRequests(audio(huge - 100, huge), 10); }));
  PlayerStatus video = audio(0, huge);
  video.isVideo = true;
  EXPECT_EQ(std::vector<std::string>{"cmd=set_playback_state&position=1073741823"}, seekRequests(video, huge / 2));
}

// Against the simulated player.
using TavoWithPlayer = Playing;

// The time jump while audio plays: the keys sent after one status query, and
// where the player then is (the target rounded down to 10 s).
TEST_F(TavoWithPlayer, KeySeeksSendTheFewestKeysAndLand) {
  const char *R = IR_RIGHT, *L = IR_LEFT, *U = IR_UP, *D = IR_DOWN, *PU = IR_PAGE_UP, *PD = IR_PAGE_DOWN, *E = IR_ENTER;
  const struct {
    const char* what;
    int from, to;
    std::vector<std::string> keys;
    int lands;
  } cases[] = {
      {"page and minutes", 100, 1000, keyRequests({{R, 1}, {PU, 1}, {U, 5}, {E, 1}}), 1000},
      {"minutes kept near the start, tens turned into a minute", 0, 470, keyRequests({{R, 1}, {U, 8}, {L, 1}, {E, 1}}),
       470},
      {"eight minutes become a page", 1000, 1500, keyRequests({{R, 1}, {PU, 1}, {D, 1}, {L, 4}, {E, 1}}), 1500},
      {"backwards", 2000, 1000, keyRequests({{R, 1}, {PD, 1}, {D, 6}, {L, 4}, {E, 1}}), 1000},
      {"five seconds back become ten", 2000, 1995, keyRequests({{R, 1}, {L, 1}, {E, 1}}), 1990},
      {"fifteen forward become ten", 2000, 2015, keyRequests({{R, 2}, {E, 1}}), 2010},
      {"negative tens are never turned", 2000, 1950, keyRequests({{R, 1}, {L, 5}, {E, 1}}), 1950},
      {"no minute conversion near the start", 2345, 10, keyRequests({{R, 1}, {PD, 3}, {D, 9}, {E, 1}}), 5},
      {"down to the start", 500, 5, keyRequests({{R, 1}, {D, 8}, {L, 2}, {E, 1}}), 0},
      {"no minute conversion near the end", 3000, 3550, keyRequests({{R, 1}, {U, 9}, {R, 1}, {E, 1}}), 3550},
      {"nor page conversion", 10, 3599, keyRequests({{R, 1}, {PU, 5}, {U, 9}, {R, 4}, {E, 1}}), 3590},
      {"the duration itself restarts the item", 2000, 3600, keyRequests({{R, 1}, {PD, 3}, {D, 3}, {L, 2}, {E, 1}}), 0},
      {"beyond the end lands 10 s before it", 3500, 9000, keyRequests({{R, 1}, {U, 1}, {R, 3}, {E, 1}}), 3590},
      {"already there", 300, 300, {}, 300},
      {"the duration means 0, where it already is", 0, 3600, {}, 0},
  };
  Tavo& tavo = m_tavo;
  tavo.launch(std::string(kUrl) + "/hour.mp3");
  ASSERT_FALSE(tavo.status().isVideo);
  for (const auto& c : cases) {
    s_player->set("position=" + std::to_string(c.from));
    s_player->clearRequests();
    tavo.seekTo(c.to);
    std::vector<std::string> expected = {"cmd=status"};
    expected.insert(expected.end(), c.keys.begin(), c.keys.end());
    EXPECT_EQ(expected, s_player->requests()) << c.what;
    EXPECT_EQ(std::to_string(c.lands), s_player->state("position")) << c.what;
  }
}

TEST_F(TavoWithPlayer, VideoPositionAndVolumeAreSetDirectly) {
  Tavo& tavo = m_tavo;
  tavo.launch(std::string(kUrl) + "/film.mkv");
  ASSERT_TRUE(tavo.status().isVideo);
  s_player->set("position=5350 volume=90");
  const struct {
    void (Tavo::*change)(int);
    int by;
    const char* sent;
  } cases[] = {
      {&Tavo::addPosition, 100, "position=5390"},  // past the end: 10 s before it
      {&Tavo::addPosition, -9000, "position=0"},  {&Tavo::seekPercent, 50, "position=2700"},
      {&Tavo::seekPercent, -1, "position=5390"},  // wraps to a huge target
      {&Tavo::seekPercent, 100, "position=0"},    // the duration restarts the item
      {&Tavo::addVolume, 30, "volume=100"},       {&Tavo::addVolume, -200, "volume=0"},
  };
  for (const auto& c : cases) {
    (tavo.*c.change)(c.by);
    EXPECT_EQ(std::string("cmd=set_playback_state&") + c.sent, s_player->requests().back()) << c.sent;
  }
  EXPECT_EQ("0", s_player->state("position"));
  EXPECT_EQ("0", s_player->state("volume"));
}

TEST_F(TavoWithPlayer, StartsEncodeTheUrlAndWaitForPlayback) {
  Tavo& tavo = m_tavo;
  tavo.startPlaylist(std::string(kUrl) + "/My Music", 2);
  const std::string start = std::string("cmd=start_playlist_playback&media_url=") + kEncodedUrl + "%2fMy+Music";
  EXPECT_EQ((std::vector<std::string>{start + "&start_index=2", "cmd=status", "cmd=status", "cmd=status"}),
            s_player->requests())
      << "three status queries at most while the position stays below 2 s";
  EXPECT_EQ(std::string(kUrl) + "/My Music", m_config->lpd());
  EXPECT_EQ(std::string(kUrl) + "/My Music/03.mp3", tavo.status().playbackUrl);

  tavo.startPlaylist(std::string(kUrl) + "/My Music", 0);
  tavo.startPlaylist(std::string(kUrl) + "/My Music", -1);
  EXPECT_EQ((std::vector<std::string>{start + "&start_index=2", start, start}), s_player->actions());
  EXPECT_EQ(std::string(kUrl) + "/My Music/01.mp3", tavo.status().playbackUrl);

  s_player->set("clock=running");
  tavo.launch(std::string(kUrl) + "/film.mkv");
  s_player->set("position=5");
  s_player->clearRequests();
  tavo.waitForPlayback();
  EXPECT_EQ(std::vector<std::string>{"cmd=status"}, s_player->requests()) << "a running position ends the wait";
}

TEST_F(TavoWithPlayer, PowerOnWakesAStandbyPlayer) {
  Tavo& tavo = m_tavo;
  s_player->set("power=standby boot_seconds=3600");
  // The player has booted once the client waited between two polls.
  Tavo::setPauseFunction([](long millis) {
    if (millis >= 1000) s_player->set("ready_at=0");
  });
  tavo.powerOn();
  Tavo::setPauseFunction([](long) {});
  EXPECT_EQ("navigator", tavo.status().playerState);
  EXPECT_EQ((std::vector<std::string>{"cmd=status", keyRequests({{IR_POWER, 1}})[0], "cmd=status", "cmd=status"}),
            s_player->requests())
      << "it polls while the player loads";

  s_player->clearRequests();
  tavo.powerOn();
  EXPECT_EQ(std::vector<std::string>{"cmd=status"}, s_player->requests()) << "an awake player is only asked";
}

// The wait has one deadline, however long each answer takes (shortened here
// from a minute).
TEST_F(TavoWithPlayer, PowerOnGivesUpByItsDeadline) {
  Tavo& tavo = m_tavo;
  setenv("TAVORC_POWERON_TIME_LIMIT", "2", 1);
  s_player->set("power=standby boot_seconds=100000 answer_delay_ms=1500");
  EXPECT_EQ("player does not wake up", failure([&] { tavo.powerOn(); }));
  unsetenv("TAVORC_POWERON_TIME_LIMIT");
  std::vector<std::string> sent = s_player->requests();
  EXPECT_LE(std::count(sent.begin(), sent.end(), "cmd=status"), 2) << "answers of 1.5 s end a wait of 2 s";
}

TEST_F(TavoWithPlayer, ShuffleGoesThroughThePanel) {
  Tavo& tavo = m_tavo;
  tavo.startPlaylist(std::string(kUrl) + "/My Music", 0);
  s_player->clearRequests();
  tavo.toggleShuffle();
  std::vector<std::string> expected = {"cmd=status"};
  for (const std::string& key : keyRequests({{IR_PANEL, 1}, {IR_ENTER, 1}, {IR_SHUFFLE, 1}, {IR_PANEL, 1}}))
    expected.push_back(key);
  EXPECT_EQ(expected, s_player->requests());
  EXPECT_EQ("1", s_player->state("shuffle"));
  EXPECT_EQ("closed", s_player->state("panel"));
}

TEST_F(TavoWithPlayer, NoControlProgramIsAnInvalidAnswer) {
  Tavo& tavo = m_tavo;
  unlink(s_box->path(paths::kControlProgram).c_str());
  EXPECT_EQ("invalid xml response", failure([&] { tavo.refresh(); }));
  s_box->installPlayerSimulator();
}

}  // namespace
