#include "core/log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <ctime>
#include <regex>

#include "core/paths.h"
#include "core/result.h"
#include "tests/core/scratchroot.h"

namespace {

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
    logMessage("%s", std::string(5000, 'm').c_str());  // cut at the buffer
  });
  time_t after = time(nullptr);
  std::string text = log();
  std::regex stamp(R"([A-Z][a-z]{2}, \d\d [A-Z][a-z]{2} \d{4} \d\d:\d\d:\d\d GMT)");
  std::vector<std::string> stamps;
  for (std::sregex_iterator it(text.begin(), text.end(), stamp), end; it != end; ++it) stamps.push_back(it->str());
  ASSERT_EQ(4u, stamps.size()) << text;
  for (const std::string& one : stamps) EXPECT_TRUE(one == httpDate(before) || one == httpDate(after)) << one;
  // The line feed inside the error message makes a second physical line without a stamp.
  EXPECT_EQ(stamps[0] + " :  ------- process command: cmd=app_info\n" + stamps[1] +
                " : error : std::out_of_range\nmap::at\n" + stamps[2] + " : 5%\n" + stamps[3] + " : " +
                std::string(2047, 'm') + "\n",
            text);
}

// The first line of a process appends to the log, unless the log is larger
// than its bound or older than an hour: then it starts afresh.
TEST_F(LogTest, OnlyASmallRecentLogIsAppendedTo) {
  struct Row {
    const char* description;
    std::string before;
    long age;
    bool kept;
  } rows[] = {
      {"half an hour old", "old line\n", 1800, true},
      {"at the size bound", std::string(Log::kMaxSize, 'x'), 0, true},
      {"beyond the size bound", std::string(Log::kMaxSize + 1, 'x'), 0, false},
      {"two hours old", "old line\n", 7200, false},
  };
  for (const Row& row : rows) {
    writeScratch(paths::kLogFile, row.before);
    struct utimbuf times;
    times.actime = times.modtime = time(nullptr) - row.age;
    utime(scratchPath(paths::kLogFile).c_str(), &times);
    inChild([] { logMessage("new"); });
    std::string text = log();
    EXPECT_EQ(row.kept ? 0u : std::string::npos, text.find(row.before)) << row.description;
    EXPECT_EQ(" : new\n", text.substr(text.size() - 7)) << row.description;
  }
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
