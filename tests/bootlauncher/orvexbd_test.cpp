// Runs the built orvexbd in a scratch root and follows it through the
// messages it writes to standard error. The test process makes itself the
// subreaper of its descendants, so the detached launcher becomes its child
// and its exit status can be collected.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
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
    "{\n"
    "  echo \"arg=$1\"\n"
    "  echo \"argc=$#\"\n"
    "  echo \"cwd=$(pwd)\"\n"
    "  echo \"umask=$(umask)\"\n"
    "  echo \"sid=$(cut -d' ' -f6 /proc/$$/stat)\"\n"
    "} >> \"$(dirname \"$0\")/marker\"\n";

double secondsSince(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

std::string readFile(const fs::path &p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

struct LogLine {
  std::string ident;
  long pid = -1;
  std::string text;
};

// LOG_PERROR writes "ident[pid]: text" lines.
std::vector<LogLine> parseLog(const std::string &err) {
  std::vector<LogLine> lines;
  std::istringstream in(err);
  std::string l;
  while (std::getline(in, l)) {
    LogLine line;
    size_t open = l.find('['), close = l.find("]: ");
    if (open == std::string::npos || close == std::string::npos || close < open) {
      line.text = l;
    } else {
      line.ident = l.substr(0, open);
      line.pid = std::strtol(l.substr(open + 1, close - open - 1).c_str(), nullptr, 10);
      line.text = l.substr(close + 3);
    }
    lines.push_back(line);
  }
  return lines;
}

// The launcher's own messages; the start shell may add lines of its own.
std::vector<std::string> texts(const std::vector<LogLine> &lines) {
  std::vector<std::string> t;
  for (const auto &l : lines)
    if (l.ident == "orvexbd") t.push_back(l.text);
  return t;
}

size_t countOf(const std::vector<LogLine> &lines, const std::string &text) {
  size_t n = 0;
  for (const auto &l : lines) n += l.text == text;
  return n;
}

bool finished(const std::vector<LogLine> &lines) { return countOf(lines, kTerminated) + countOf(lines, kTimedOut) > 0; }

class OrvexbdTest : public ::testing::Test {
 protected:
  fs::path root;
  fs::path errFile;
  Clock::time_point started;
  pid_t daemonPid = -1;

  // The emulator refuses the request; an emulated test is started as the
  // subreaper by the build instead.
  static void SetUpTestSuite() {
    if (prctl(PR_SET_CHILD_SUBREAPER, 1) != 0) {
      ASSERT_FALSE(emulatorCommand().empty()) << "cannot become the subreaper";
    }
  }

  void SetUp() override { makeRoot("orvexbd-XXXXXX"); }

  void TearDown() override {
    if (daemonPid > 0 && waitpid(daemonPid, nullptr, WNOHANG) == 0) {
      kill(daemonPid, SIGKILL);
      waitpid(daemonPid, nullptr, 0);
    }
    while (waitpid(-1, nullptr, WNOHANG) > 0)
      ;
    std::error_code ec;
    fs::remove_all(root, ec);
  }

  void makeRoot(const std::string &pattern) {
    std::error_code ec;
    if (!root.empty()) fs::remove_all(root, ec);
    std::string tmpl = (fs::path(::testing::TempDir()) / pattern).string();
    ASSERT_NE(nullptr, mkdtemp(tmpl.data()));
    root = tmpl;
    errFile = root / "stderr";
  }

  fs::path addonDir() const { return root / "persistfs" / "orvex"; }
  fs::path marker() const { return addonDir() / "marker"; }

  // Lays out the add-on's directory (with its start script unless told
  // otherwise) in one rename, so that a poll sees it whole or not at all.
  void installAddon(bool withScript = true) {
    fs::path staging = root / "staging";
    fs::create_directories(staging);
    if (withScript) {
      std::ofstream(staging / "orvex.sh") << kScript;
      fs::permissions(staging / "orvex.sh", fs::perms::owner_all);
    }
    fs::create_directories(addonDir().parent_path());
    fs::rename(staging, addonDir());
  }

  // Starts orvexbd with only the variables it needs; secondMs 0 keeps the
  // real timing. Returns when the launching process has ended.
  void launch(long secondMs) {
    std::vector<std::string> environment = {"PATH=/usr/bin:/bin", "TAVORC_ROOT=" + root.string()};
    if (secondMs > 0) environment.push_back("ORVEXBD_TEST_SECOND_MS=" + std::to_string(secondMs));

    started = Clock::now();
    ChildCommand command;
    command.argv = commandFor(ORVEXBD_PATH);
    command.environment = environment;
    command.streams = {Redirect::null(), Redirect::null(), Redirect::appendTo(errFile.string())};
    pid_t pid = startChild(command).pid;
    ASSERT_GE(pid, 0);
    int status = -1;
    ASSERT_EQ(pid, waitpid(pid, &status, 0));
    double parentSeconds = secondsSince(started);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status)) << "the launching process";
    EXPECT_LT(parentSeconds, 1.0) << "the launching process must not wait";
  }

  std::vector<LogLine> currentLog() const { return parseLog(readFile(errFile)); }

  // Waits until the log holds n lines with this text (false on timeout).
  bool waitForCount(const std::string &text, size_t n, double limitSeconds) {
    auto t0 = Clock::now();
    while (secondsSince(t0) < limitSeconds) {
      if (countOf(currentLog(), text) >= n) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

  // Waits for the final message, then for the detached process to end;
  // returns its exit status and the whole log.
  std::vector<LogLine> waitForEnd(double limitSeconds, int *exitStatus) {
    auto t0 = Clock::now();
    std::vector<LogLine> lines = currentLog();
    while (!finished(lines) && secondsSince(t0) < limitSeconds) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      lines = currentLog();
    }
    *exitStatus = -1;
    if (!finished(lines) || lines.empty()) return lines;
    daemonPid = static_cast<pid_t>(lines.front().pid);
    int status;
    while (secondsSince(t0) < limitSeconds + 5) {
      pid_t r = waitpid(daemonPid, &status, WNOHANG);
      if (r == daemonPid) {
        *exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        daemonPid = -1;
        break;
      }
      if (r < 0) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return lines;
  }

  // The whole log once the detached process has ended with status 0.
  std::vector<LogLine> logAtCleanEnd(double limitSeconds) {
    int exitStatus;
    std::vector<LogLine> lines = waitForEnd(limitSeconds, &exitStatus);
    EXPECT_EQ(0, exitStatus);
    return lines;
  }

  // Every line comes from one detached process that names itself.
  void expectOneIdentity(const std::vector<LogLine> &lines) {
    ASSERT_FALSE(lines.empty());
    for (const auto &l : lines) {
      EXPECT_EQ("orvexbd", l.ident) << l.text;
      EXPECT_EQ(lines.front().pid, l.pid) << l.text;
    }
  }

  // The script ran once, with "start", in the launcher's own session,
  // from "/", under a cleared umask.
  void expectScriptRanOnce(long launcherPid) {
    std::string expected = "arg=start\nargc=1\ncwd=/\numask=0000\nsid=" + std::to_string(launcherPid) + "\n";
    EXPECT_EQ(expected, readFile(marker()));
  }
};

TEST_F(OrvexbdTest, DirectoryPresentFromStartRunsScriptAfterSixSeconds) {
  installAddon();
  launch(0);
  auto lines = logAtCleanEnd(12);
  double elapsed = secondsSince(started);

  EXPECT_EQ((std::vector<std::string>{kStarted, kMounted, kTerminated}), texts(lines));
  expectOneIdentity(lines);
  expectScriptRanOnce(lines.front().pid);
  EXPECT_GE(elapsed, 6.0);
  EXPECT_LT(elapsed, 8.0);
}

TEST_F(OrvexbdTest, DirectoryAppearingLaterStartsAtTheNextTry) {
  const long secondMs = 200;
  launch(secondMs);
  // The directory appears after the fourth failed try (at 20 of 25 seconds).
  ASSERT_TRUE(waitForCount(kNotMounted, 4, 8));
  EXPECT_FALSE(fs::exists(marker()));
  installAddon();

  auto lines = logAtCleanEnd(10);
  double elapsed = secondsSince(started);

  EXPECT_EQ(
      (std::vector<std::string>{kStarted, kNotMounted, kNotMounted, kNotMounted, kNotMounted, kMounted, kTerminated}),
      texts(lines));
  expectOneIdentity(lines);
  expectScriptRanOnce(lines.front().pid);
  EXPECT_GE(elapsed, 26 * secondMs / 1000.0);
}

TEST_F(OrvexbdTest, DirectoryNeverAppearingGivesUpAfterTwelveTries) {
  const long secondMs = 100;
  launch(secondMs);
  auto lines = logAtCleanEnd(15);
  double elapsed = secondsSince(started);

  std::vector<std::string> expected{kStarted};
  expected.insert(expected.end(), 12, kNotMounted);
  expected.push_back(kTimedOut);
  EXPECT_EQ(expected, texts(lines));
  expectOneIdentity(lines);
  EXPECT_GE(elapsed, 60 * secondMs / 1000.0);
  EXPECT_FALSE(fs::exists(marker()));
}

TEST_F(OrvexbdTest, MissingStartScriptLogsTheSameAsSuccess) {
  installAddon(false);
  launch(20);
  auto lines = logAtCleanEnd(10);

  EXPECT_EQ((std::vector<std::string>{kStarted, kMounted, kTerminated}), texts(lines));
  EXPECT_EQ(4u, lines.size()) << "the shell's complaint about the missing script";
}

TEST_F(OrvexbdTest, RootWithBlanksAndQuotesStaysOneWord) {
  makeRoot("orvexbd it's a root; $(false) -XXXXXX");
  installAddon();
  launch(20);
  auto lines = logAtCleanEnd(10);

  EXPECT_EQ((std::vector<std::string>{kStarted, kMounted, kTerminated}), texts(lines));
  expectScriptRanOnce(lines.front().pid);
}

}  // namespace
