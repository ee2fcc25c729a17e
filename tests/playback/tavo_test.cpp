#include "playback/tavo.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/paths.h"
#include "core/sysio.h"
#include "playback/remotekeys.h"
#include "tests/support/fuzzrun.h"
#include "tests/support/programs.h"
#include "tests/support/sandbox.h"

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

std::string key(const char* code) { return std::string("cmd=ir_code&ir_code=") + code; }

std::vector<std::string> keys(std::initializer_list<std::pair<const char*, int>> presses) {
  std::vector<std::string> out;
  for (const auto& [code, times] : presses)
    for (int i = 0; i < times; ++i) out.push_back(key(code));
  return out;
}

TEST(TavoStatus, ReadsEveryReportedValue) {
  PlayerStatus status;
  parseStatus(kAnswer, status);
  EXPECT_EQ(status.playerState, "file_playback");
  EXPECT_EQ(status.duration, 3600);
  EXPECT_EQ(status.position, 125);
  EXPECT_EQ(status.volume, 40);
  EXPECT_TRUE(status.isVideo);
  EXPECT_EQ(status.playbackUrl, "storage_uuid://1a2b/M&M/a.mkv");
}

TEST(TavoStatus, UsesOnlyChildrenWithNameAndValue) {
  PlayerStatus status;
  status.volume = 7;
  status.playbackUrl = "before";
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
  EXPECT_EQ(status.volume, 7);
  EXPECT_EQ(status.playbackUrl, "before") << "a missing value keeps the last one";
  EXPECT_EQ(status.position, 12);
  EXPECT_EQ(status.duration, 0);
  EXPECT_FALSE(status.isVideo);

  parseStatus("<command_result><p name=\"playback_video_width\" value=\"0\"/></command_result>", status);
  EXPECT_FALSE(status.isVideo);
  parseStatus("<command_result><p name=\"playback_position\" value=\"99999999999\"/></command_result>", status);
  EXPECT_EQ(status.position, 2147483647) << "saturates instead of overflowing";
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
  for (const auto& c : cases) {
    PlayerStatus status;
    try {
      parseStatus(c.answer, status);
      ADD_FAILURE() << c.what << ": accepted";
    } catch (const TavoException& e) {
      EXPECT_STREQ(e.what(), c.message) << c.what;
    }
  }
}

TEST(TavoStatus, FuzzedAnswersNeverEndTheProcess) {
  size_t runs = runFuzzBriefly(LLVMFuzzerTestOneInput,
                               {kAnswer, "", "<command_result><p name=\"a\" value=\"1\"/></command_result>",
                                "<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY a \"b\">]><command_result/>"});
  EXPECT_GT(runs, 20000u);
}

PlayerStatus audio(int position, int duration = 3600) {
  PlayerStatus status;
  status.position = position;
  status.duration = duration;
  return status;
}

TEST(RemoteKeys, CodesFollowTheRuleOfTheKeyTable) {
  for (size_t i = 0; i < kBuiltInKeyCount; ++i)
    EXPECT_TRUE(isValidKeyCode(kBuiltInKeys[i].code)) << kBuiltInKeys[i].name;
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
  for (const char* name : {"", "UP", "Page_Down", "a\tb", "0123456789012345678901234567890123456789x"})
    EXPECT_FALSE(isValidOwnerKeyName(name)) << name;
}

TEST(TavoSeek, TimeJumpKeysOfTheWorkedExamples) {
  const struct {
    const char* what;
    int from, to;
    std::vector<std::string> expected;
  } cases[] = {
      {"page and minutes", 100, 1000, keys({{IR_RIGHT, 1}, {IR_PAGE_UP, 1}, {IR_UP, 5}, {IR_ENTER, 1}})},
      {"minutes kept near the start, tens turned into a minute", 0, 470,
       keys({{IR_RIGHT, 1}, {IR_UP, 8}, {IR_LEFT, 1}, {IR_ENTER, 1}})},
      {"eight minutes become a page", 1000, 1500,
       keys({{IR_RIGHT, 1}, {IR_PAGE_UP, 1}, {IR_DOWN, 1}, {IR_LEFT, 4}, {IR_ENTER, 1}})},
      {"backwards", 2000, 1000, keys({{IR_RIGHT, 1}, {IR_PAGE_DOWN, 1}, {IR_DOWN, 6}, {IR_LEFT, 4}, {IR_ENTER, 1}})},
      {"five seconds back become ten", 2000, 1995, keys({{IR_RIGHT, 1}, {IR_LEFT, 1}, {IR_ENTER, 1}})},
      {"fifteen forward become ten", 2000, 2015, keys({{IR_RIGHT, 1}, {IR_RIGHT, 1}, {IR_ENTER, 1}})},
      {"negative tens are never turned", 2000, 1950, keys({{IR_RIGHT, 1}, {IR_LEFT, 5}, {IR_ENTER, 1}})},
      {"no minute conversion near the end", 3000, 3550,
       keys({{IR_RIGHT, 1}, {IR_UP, 9}, {IR_RIGHT, 1}, {IR_ENTER, 1}})},
      {"the duration itself restarts the item", 2000, 3600,
       keys({{IR_RIGHT, 1}, {IR_PAGE_DOWN, 3}, {IR_DOWN, 3}, {IR_LEFT, 2}, {IR_ENTER, 1}})},
      {"beyond the end lands 10 s before it", 3500, 9000,
       keys({{IR_RIGHT, 1}, {IR_UP, 1}, {IR_RIGHT, 3}, {IR_ENTER, 1}})},
  };
  for (const auto& c : cases) EXPECT_EQ(seekRequests(audio(c.from), c.to), c.expected) << c.what;
}

TEST(TavoSeek, SendsNothingWhenThereIsNothingToDo) {
  EXPECT_TRUE(seekRequests(audio(0, 9), 5).empty()) << "items under 10 s are not sought";
  EXPECT_TRUE(seekRequests(audio(300), 300).empty());
  EXPECT_TRUE(seekRequests(audio(0), 3600).empty()) << "the duration means 0, where it already is";
}

// A player reporting years (2^31 - 1 s) plans from a day at most.
TEST(TavoSeek, KeySeeksOfAnAbsurdDurationAreBounded) {
  const int huge = 2147483647;
  for (int target : {huge / 4 * 3, huge - 5, 86390, 5000}) {
    size_t presses = seekRequests(audio(0, huge), target).size();
    EXPECT_GT(presses, 0u) << target;
    EXPECT_LE(presses, kMaxSeekPresses) << target;
  }
  try {
    seekRequests(audio(huge - 100, huge), 10);
    ADD_FAILURE() << "a seek of years was planned";
  } catch (const TavoException& e) {
    EXPECT_STREQ(kSeekTooFar, e.what());
  }
  PlayerStatus video = audio(0, huge);
  video.isVideo = true;
  EXPECT_EQ(seekRequests(video, huge / 2), std::vector<std::string>{"cmd=set_playback_state&position=1073741823"});
}

TEST(TavoSeek, VideoGetsOnePositionRequest) {
  PlayerStatus video = audio(100, 5400);
  video.isVideo = true;
  EXPECT_EQ(seekRequests(video, 1234), std::vector<std::string>{"cmd=set_playback_state&position=1234"});
  EXPECT_EQ(seekRequests(video, 5400), std::vector<std::string>{"cmd=set_playback_state&position=0"});
  EXPECT_EQ(seekRequests(video, 6000), std::vector<std::string>{"cmd=set_playback_state&position=5390"});
}

// Against the simulated player: one sandbox root for the whole process, since
// the root is read once.
class TavoWithPlayer : public ::testing::Test {
 protected:
  static Sandbox* s_box;

  static void SetUpTestSuite() {
    if (!s_box) {
      static Sandbox box;  // removed at exit
      s_box = &box;
      setenv("TAVORC_ROOT", s_box->root().c_str(), 1);
      s_box->installPlayerSimulator();
      s_box->write("/var/playersim/media.conf", "storage_uuid://1a2b " + s_box->path("/tmp/mnt/sda1") + "\n");
      s_box->write("/tmp/mnt/sda1/My Music/01.mp3", "duration=3600\n");
      s_box->write("/tmp/mnt/sda1/My Music/02.mp3", "duration=200\n");
      s_box->write("/tmp/mnt/sda1/My Music/03.mp3", "duration=200\n");
      s_box->write("/tmp/mnt/sda1/film.mkv", "duration=5400\n");
    }
    Tavo::setPauseFunction([](long) {});
  }

  static void TearDownTestSuite() { Tavo::setPauseFunction(nullptr); }

  void SetUp() override {
    sim("reset");
    sim("set clock=frozen");
  }

  static std::string sim(const std::string& args) {
    return shellOutput(shellCommandFor(playersimBinary()) + " " + s_box->root() + " " + args);
  }

  static std::map<std::string, std::string> shown() {
    std::map<std::string, std::string> state;
    std::istringstream in(sim("show"));
    for (std::string line; std::getline(in, line);)
      state[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
    return state;
  }

  static std::vector<std::string> requests() {
    std::vector<std::string> lines;
    std::istringstream in(s_box->read("/var/playersim/requests.log"));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
};

Sandbox* TavoWithPlayer::s_box = nullptr;

TEST_F(TavoWithPlayer, KeySeeksLandOnTheTargetRoundedDown) {
  Tavo tavo;
  tavo.launch("storage_uuid://1a2b/My Music/01.mp3");
  ASSERT_FALSE(tavo.status().isVideo);
  const struct {
    int from, to, lands;
  } cases[] = {
      {100, 1000, 1000}, {0, 470, 470},    {1000, 1500, 1500}, {2000, 1995, 1990}, {2345, 10, 5},
      {500, 5, 0},       {10, 3599, 3590}, {3000, 3600, 0},    {3550, 9999, 3590},
  };
  for (const auto& c : cases) {
    sim("set position=" + std::to_string(c.from));
    tavo.seekTo(c.to);
    EXPECT_EQ(shown()["position"], std::to_string(c.lands)) << c.from << " -> " << c.to;
  }
}

TEST_F(TavoWithPlayer, PositionVolumeAndPercentChanges) {
  Tavo tavo;
  tavo.launch("storage_uuid://1a2b/film.mkv");
  ASSERT_TRUE(tavo.status().isVideo);
  sim("set position=5350 volume=90");
  tavo.addPosition(100);
  EXPECT_EQ(shown()["position"], "5390");
  tavo.addPosition(-9000);
  EXPECT_EQ(shown()["position"], "0");
  tavo.seekPercent(50);
  EXPECT_EQ(shown()["position"], "2700");
  tavo.seekPercent(-1);  // wraps to a huge target, which means 10 s before the end
  EXPECT_EQ(shown()["position"], "5390");
  tavo.seekPercent(100);
  EXPECT_EQ(shown()["position"], "0");

  tavo.addVolume(30);
  EXPECT_EQ(requests().back(), "cmd=set_playback_state&volume=100");
  tavo.addVolume(-200);
  EXPECT_EQ(requests().back(), "cmd=set_playback_state&volume=0");
  EXPECT_EQ(tavo.status().volume, 100) << "the field keeps what the last status said";
}

TEST_F(TavoWithPlayer, StartPlaylistEncodesTheUrlAndRemembersIt) {
  Config config("TEST");
  Tavo tavo;
  tavo.startPlaylist("storage_uuid://1a2b/My Music", 2);
  EXPECT_EQ(requests().at(0),
            "cmd=start_playlist_playback&media_url=storage_uuid%3a%2f%2f1a2b%2fMy+Music&start_index=2");
  EXPECT_EQ(config.lpd(), "storage_uuid://1a2b/My Music");
  EXPECT_EQ(tavo.status().playbackUrl, "storage_uuid://1a2b/My Music/03.mp3");
  // Three status queries at most while the position stays below 2 s.
  EXPECT_EQ(requests().size(), 4u);

  tavo.startPlaylist("storage_uuid://1a2b/My Music", 0);
  tavo.startPlaylist("storage_uuid://1a2b/My Music", -1);
  std::vector<std::string> starts;
  for (const std::string& line : requests())
    if (line.rfind("cmd=start", 0) == 0) starts.push_back(line);
  const std::string plain = "cmd=start_playlist_playback&media_url=storage_uuid%3a%2f%2f1a2b%2fMy+Music";
  EXPECT_EQ(starts, (std::vector<std::string>{plain + "&start_index=2", plain, plain}));
  EXPECT_EQ(tavo.status().playbackUrl, "storage_uuid://1a2b/My Music/01.mp3");
}

TEST_F(TavoWithPlayer, WaitForPlaybackStopsOnceThePositionRuns) {
  Tavo tavo;
  sim("set clock=running");
  tavo.launch("storage_uuid://1a2b/film.mkv");
  size_t before = requests().size();
  sim("set position=5");
  tavo.waitForPlayback();
  EXPECT_EQ(requests().size(), before + 1);
}

TEST_F(TavoWithPlayer, PowerOnWakesAStandbyPlayer) {
  Tavo tavo;
  sim("set power=standby boot_seconds=1");
  Tavo::setPauseFunction([](long millis) { sleepMillis(millis / 4); });
  tavo.powerOn();
  Tavo::setPauseFunction([](long) {});
  EXPECT_EQ(tavo.status().playerState, "navigator");
  std::vector<std::string> sent = requests();
  EXPECT_EQ(std::count(sent.begin(), sent.end(), key(IR_POWER)), 1);
  EXPECT_GT(sent.size(), 3u) << "it polled while the player was loading";

  size_t before = sent.size();
  tavo.powerOn();
  EXPECT_EQ(requests().size(), before + 1) << "an awake player only gets a status query";
}

// The wait has one deadline, however long each answer takes (shortened here
// from a minute).
TEST_F(TavoWithPlayer, PowerOnGivesUpByItsDeadline) {
  Tavo tavo;
  setenv("TAVORC_POWERON_TIME_LIMIT", "2", 1);
  for (const char* delay : {"0", "1500"}) {
    sim("reset");
    sim(std::string("set power=standby boot_seconds=100000 answer_delay_ms=") + delay);
    try {
      tavo.powerOn();
      ADD_FAILURE() << "a player that never wakes woke";
    } catch (const TavoException& e) {
      EXPECT_STREQ("player does not wake up", e.what());
    }
    if (*delay != '0') {
      std::vector<std::string> sent = requests();
      EXPECT_LE(std::count(sent.begin(), sent.end(), "cmd=status"), 2) << "answers of 1.5 s end a wait of 2 s";
    }
  }
  unsetenv("TAVORC_POWERON_TIME_LIMIT");
}

TEST_F(TavoWithPlayer, ShuffleGoesThroughThePanel) {
  Tavo tavo;
  tavo.startPlaylist("storage_uuid://1a2b/My Music", 0);
  size_t before = requests().size();
  tavo.toggleShuffle();
  std::vector<std::string> sent = requests();
  std::vector<std::string> expected = {"cmd=status", key(IR_PANEL), key(IR_ENTER), key(IR_SHUFFLE), key(IR_PANEL)};
  EXPECT_EQ(std::vector<std::string>(sent.begin() + before, sent.end()), expected);
  EXPECT_EQ(shown()["shuffle"], "1");
  EXPECT_EQ(shown()["panel"], "closed");
}

TEST_F(TavoWithPlayer, NoControlProgramIsAnInvalidAnswer) {
  Tavo tavo;
  unlink(s_box->path(paths::kControlProgram).c_str());
  try {
    tavo.refresh();
    ADD_FAILURE() << "refresh without a control program succeeded";
  } catch (const TavoException& e) {
    EXPECT_STREQ(e.what(), "invalid xml response");
  }
  s_box->installPlayerSimulator();
}

}  // namespace
