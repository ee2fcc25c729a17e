// Runs the built orvexbd in a scratch root (with blanks and shell characters
// in its name) and follows it through the messages it writes to standard
// error. The test process makes itself the subreaper of its descendants, so
// the detached launcher becomes its child and its exit status can be
// collected.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/child.h"
#include "tests/support/programs.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kStarted = "*-----orvexbd started";
const std::string kNotMounted = "*-----external storage is not mounted";
const std::string kMounted = "*-----external storage device is mounted, 'orvex.sh start' executed";
const std::string kTerminated = "*-----orvexbd terminated";
const std::string kTimedOut = "*-----orvexbd terminated by time";

// The start script records how it was run beside itself.
const char kScript[] =
    "#!/bin/sh\n"
    "echo \"arg=$1 argc=$# cwd=$(pwd) umask=$(umask) sid=$(cut -d' ' -f6 /proc/$$/stat)\" >>\"$(dirname "
    "\"$0\")/marker\"\n";

double secondsSince(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

// A line "orvexbd[pid]: text" as LOG_PERROR writes it; others (the shell's)
// keep an empty ident.
struct LogLine {
  std::string ident;
  long pid = -1;
  std::string text;
};

std::vector<LogLine> parseLog(const std::string& err) {
  std::vector<LogLine> lines;
  size_t start = 0;
  for (size_t end; (end = err.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string l = err.substr(start, end - start);
    size_t open = l.find('['), close = l.find("]: ");
    if (open == std::string::npos || close == std::string::npos || close < open)
      lines.push_back({"", -1, l});
    else
      lines.push_back({l.substr(0, open), std::strtol(l.c_str() + open + 1, nullptr, 10), l.substr(close + 3)});
  }
  return lines;
}

class Orvexbd : public ::testing::Test {
 protected:
  fs::path root;

  // The emulator refuses the request; an emulated test is started as the
  // subreaper by the build instead.
  static void SetUpTestSuite() {
    if (prctl(PR_SET_CHILD_SUBREAPER, 1) != 0) {
      ASSERT_FALSE(emulatorCommand().empty()) << "cannot become the subreaper";
    }
  }

  void SetUp() override { makeRoot(); }

  void TearDown() override {
    std::error_code ec;
    fs::remove_all(root, ec);
  }

  void makeRoot() {
    TearDown();
    std::string pattern = (fs::path(::testing::TempDir()) / "orvexbd it's a root; $(false) -XXXXXX").string();
    ASSERT_NE(nullptr, mkdtemp(pattern.data()));
    root = pattern;
  }

  fs::path addonDir() const { return root / "persistfs" / "orvex"; }
  std::string log() const { return fileText((root / "stderr").string()); }
  std::string marker() const { return fileText((addonDir() / "marker").string()); }

  // Lays out the add-on's directory (with its start script unless told
  // otherwise) in one rename, so that a poll sees it whole or not at all.
  void installAddon(bool withScript) {
    fs::path staging = root / "staging";
    fs::create_directories(staging);
    if (withScript) {
      std::ofstream(staging / "orvex.sh") << kScript;
      fs::permissions(staging / "orvex.sh", fs::perms::owner_all);
    }
    fs::create_directories(addonDir().parent_path());
    fs::rename(staging, addonDir());
  }

  // Starts orvexbd with only the variables it needs (secondMs 0: real
  // seconds) and waits for the launching process, which ends at once;
  // returns the log as it was then.
  std::string launch(long secondMs) {
    ChildCommand command;
    command.argv = commandFor(ORVEXBD_PATH);
    command.environment = {"PATH=/usr/bin:/bin", "TAVORC_ROOT=" + root.string()};
    if (secondMs > 0) command.environment->push_back("ORVEXBD_TEST_SECOND_MS=" + std::to_string(secondMs));
    command.streams = {Redirect::null(), Redirect::null(), Redirect::appendTo((root / "stderr").string())};
    int status = startChild(command).wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the launching process: " << status;
    return log();
  }

  // Waits for the detached launcher's last message and its end with status
  // 0; its own lines, all from that one process.
  std::vector<std::string> messagesAtTheEnd(double limitSeconds) {
    auto t0 = Clock::now();
    std::vector<LogLine> lines;
    for (;;) {
      lines = parseLog(log());
      if (!lines.empty() && (lines.back().text == kTerminated || lines.back().text == kTimedOut)) break;
      if (secondsSince(t0) > limitSeconds) {
        ADD_FAILURE() << "no last message within " << limitSeconds << " s:\n" << log();
        return {};
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Child launcher;
    launcher.pid = static_cast<pid_t>(lines.front().pid);
    bool timedOut = false;
    int status = launcher.waitWithin(10000, &timedOut);
    EXPECT_TRUE(!timedOut && WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    std::vector<std::string> texts;
    for (const LogLine& line : lines) {
      if (line.ident.empty()) continue;
      EXPECT_EQ("orvexbd", line.ident) << line.text;
      EXPECT_EQ(lines.front().pid, line.pid) << line.text;
      texts.push_back(line.text);
    }
    return texts;
  }
};

// With real seconds: the first try comes 5 s after the start, and the
// script 1 s after the directory was found.
TEST_F(Orvexbd, DirectoryPresentFromTheStartRunsTheScriptOnceAfterSixSeconds) {
  installAddon(true);
  auto started = Clock::now();
  EXPECT_EQ(std::string::npos, launch(0).find(kMounted)) << "the launching process returns before the first try";
  std::vector<std::string> texts = messagesAtTheEnd(30);
  double elapsed = secondsSince(started);

  EXPECT_EQ((std::vector<std::string>{kStarted, kMounted, kTerminated}), texts);
  EXPECT_GE(elapsed, 6.0);
  EXPECT_LT(elapsed, 11.0) << "found at the first try, not the second";
  // Once, with "start", in the launcher's own session, from "/", under a cleared umask.
  std::string launcherPid = std::to_string(parseLog(log()).front().pid);
  EXPECT_EQ("arg=start argc=1 cwd=/ umask=0000 sid=" + launcherPid + "\n", marker());
}

// One second lasts secondMs here: a poll every 5, a pause of 1 once found.
TEST_F(Orvexbd, PollsTwelveTimesForTheDirectoryThenGivesUp) {
  const struct {
    const char* description;
    long secondMs;
    int installAfter;  // failed tries before the directory appears; -1: never
    bool script;
  } cases[] = {
      {"appearing later: found at the next try", 100, 2, true},
      {"never appearing", 50, -1, true},
      {"without its start script: the same messages", 20, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.description);
    makeRoot();
    if (c.installAfter == 0) installAddon(c.script);
    auto started = Clock::now();
    launch(c.secondMs);
    if (c.installAfter > 0) {
      while (parseLog(log()).size() < 1u + c.installAfter && secondsSince(started) < 30)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      installAddon(c.script);
    }
    std::vector<std::string> texts = messagesAtTheEnd(70 * c.secondMs / 1000.0 + 20);
    double elapsed = secondsSince(started);
    ASSERT_GE(texts.size(), 3u);

    bool found = c.installAfter >= 0;
    size_t tries = texts.size() - (found ? 3 : 2);
    std::vector<std::string> expected{kStarted};
    expected.insert(expected.end(), tries, kNotMounted);
    expected.insert(expected.end(), found ? kMounted : kTimedOut);
    if (found) expected.push_back(kTerminated);
    EXPECT_EQ(expected, texts);
    // A slow test may lay out the directory a try later than it meant to.
    size_t meant = found ? c.installAfter : 12;
    EXPECT_TRUE(tries == meant || (c.installAfter > 0 && tries > meant)) << tries << " failed tries";
    EXPECT_GE(elapsed, (5 * tries + (found ? 6 : 0)) * c.secondMs / 1000.0);
    std::string runs = marker();
    EXPECT_EQ(c.script && found ? 1 : 0, std::count(runs.begin(), runs.end(), '\n'));
    size_t shellLines = c.script ? 0 : 1;  // the shell's complaint about the missing script
    EXPECT_EQ(texts.size() + shellLines, parseLog(log()).size());
  }
}

}  // namespace
