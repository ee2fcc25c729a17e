#include "core/log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <ctime>
#include <functional>
#include <regex>

#include "core/paths.h"
#include "core/result.h"
#include "tests/core/scratchroot.h"

namespace {

void setAge(const std::string& fixed, long seconds) {
  struct utimbuf times;
  times.actime = times.modtime = time(nullptr) - seconds;
  utime(scratchPath(fixed).c_str(), &times);
}

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string command = "rm -rf '" + scratchPath(paths::kLogFile) + "'";
    ASSERT_EQ(0, system(command.c_str()));
  }
  void TearDown() override { SetUp(); }
  std::string log() { return readScratch(paths::kLogFile); }
};

TEST_F(LogTest, LinesCarryTheTimeAndTheLevel) {
  time_t before = time(nullptr);
  inChild([] {
    logMessage(" ------- process command: %s", "cmd=app_info");
    logError("%s\n%s", "std::out_of_range", "map::at");
    logMessage("%d%%", 5);
  });
  time_t after = time(nullptr);
  std::string text = log();
  std::regex line(R"(([A-Z][a-z]{2}, \d\d [A-Z][a-z]{2} \d{4} \d\d:\d\d:\d\d GMT) :(.*)\n)");
  std::vector<std::string> stamps, rest;
  for (std::sregex_iterator it(text.begin(), text.end(), line), end; it != end; ++it) {
    stamps.push_back((*it)[1]);
    rest.push_back((*it)[2]);
  }
  // The line feed inside the error message makes a second physical line without a stamp.
  EXPECT_EQ(std::vector<std::string>({"  ------- process command: cmd=app_info", " error : std::out_of_range", " 5%"}),
            rest);
  ASSERT_EQ(3u, stamps.size());
  for (const std::string& stamp : stamps) EXPECT_TRUE(stamp == httpDate(before) || stamp == httpDate(after)) << stamp;
  std::string expected = stamps[0] + " :  ------- process command: cmd=app_info\n" + stamps[1] +
                         " : error : std::out_of_range\nmap::at\n" + stamps[2] + " : 5%\n";
  EXPECT_EQ(expected, text);
}

TEST_F(LogTest, AppendsToARecentSmallLog) {
  writeScratch(paths::kLogFile, "old line\n");
  setAge(paths::kLogFile, 1800);
  inChild([] { logMessage("new"); });
  EXPECT_EQ(0u, log().find("old line\n"));
  EXPECT_NE(std::string::npos, log().find(" : new\n"));
}

TEST_F(LogTest, LargeLogIsStartedAfresh) {
  writeScratch(paths::kLogFile, std::string(Log::kMaxSize + 1, 'x'));
  inChild([] { logMessage("first"); });
  EXPECT_EQ(std::string::npos, log().find('x'));
  EXPECT_NE(std::string::npos, log().find(" : first\n"));

  writeScratch(paths::kLogFile, std::string(Log::kMaxSize, 'x'));
  inChild([] { logMessage("kept"); });
  EXPECT_EQ(static_cast<size_t>(Log::kMaxSize), log().find_first_not_of('x'));
}

TEST_F(LogTest, StaleLogIsStartedAfreshWhateverItsSize) {
  writeScratch(paths::kLogFile, "two hours old\n");
  setAge(paths::kLogFile, 7200);
  inChild([] { logMessage("fresh"); });
  EXPECT_EQ(std::string::npos, log().find("two hours old"));
  EXPECT_NE(std::string::npos, log().find(" : fresh\n"));
}

TEST_F(LogTest, LongMessageIsCutAtTheBuffer) {
  inChild([] { logMessage("%s", std::string(5000, 'm').c_str()); });
  std::string text = log();
  size_t start = text.find('m');
  ASSERT_NE(std::string::npos, start);
  EXPECT_EQ(std::string(2047, 'm') + "\n", text.substr(start));
}

TEST_F(LogTest, UnopenableLogIsIgnored) {
  mkdir(scratchPath(paths::kLogFile).c_str(), 0755);
  inChild([] {
    logMessage("nowhere");
    logError("nowhere");
  });
  struct stat st;
  ASSERT_EQ(0, stat(scratchPath(paths::kLogFile).c_str(), &st));
  EXPECT_TRUE(S_ISDIR(st.st_mode));
}

}  // namespace
