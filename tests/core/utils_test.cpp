#include "core/utils.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <memory>

#include "core/digest.h"
#include "core/paths.h"
#include "core/sysio.h"
#include "tests/core/scratchroot.h"
#include "tests/support/child.h"
#include "tests/support/sandbox.h"

namespace {

std::string formatted(int value, int base) {
  char buffer[34];
  return intToString(value, buffer, base);
}

TEST(UtilsIntToString, FormatsInEveryBase) {
  struct Case {
    int value;
    int base;
    const char* expected;
  };
  const Case cases[] = {
      {-255, 16, "-ff"},
      {0, 10, "0"},
      {1234, 10, "1234"},
      {35, 36, "z"},
      {5, 2, "101"},
      {-7, 10, "-7"},
      {12345, 1, ""},
      {12345, 37, ""},
      {0, 0, ""},
      {INT_MAX, 10, "2147483647"},
      {INT_MIN, 10, "-2147483648"},
      {INT_MIN, 2, "-10000000000000000000000000000000"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.expected, formatted(c.value, c.base)) << c.value << " base " << c.base;
}

// Known vectors, and every padding case around the 64-byte block against
// the system's own tools.
TEST(UtilsDigest, KnownVectorsAndEveryPaddingCase) {
  EXPECT_EQ("D41D8CD98F00B204E9800998ECF8427E", md5Hex(""));
  EXPECT_EQ("900150983CD24FB0D6963F7D28E17F72", md5Hex("abc"));
  EXPECT_EQ("A9993E364706816ABA3E25717850C26C9CD0D89D", sha1Hex("abc"));
  EXPECT_EQ("34AA973CD4C4DAA4F61EEB2BDBAD27316534016F", sha1Hex(std::string(1000000, 'a')));
  EXPECT_NE(md5Hex(std::string("a\0b", 3)), md5Hex("a")) << "bytes after a zero byte count";
  for (size_t length : {55u, 56u, 63u, 64u, 65u, 119u, 120u}) {
    std::string text(length, 'q');
    std::string md5 = shellOutput("printf '%s' " + text + " | md5sum | tr a-f A-F | cut -c1-32");
    std::string sha1 = shellOutput("printf '%s' " + text + " | sha1sum | tr a-f A-F | cut -c1-40");
    EXPECT_EQ(md5, md5Hex(text) + "\n") << length;
    EXPECT_EQ(sha1, sha1Hex(text) + "\n") << length;
  }
}

// The SHA-1 of the text after "serial_number: " on its line, line feed included.
TEST(UtilsSerialId, HashesTheValueWithItsLineFeed) {
  struct Row {
    const char* file;  // nullptr: none
    const char* id;
  } rows[] = {
      {"model: X\nserial_number: ABC123\nother: 1\n", "A5FFF9BBFF5EF6ABD4FE5D169645941C029DE524"},
      {"model: X\nserial_number: ABC123", "61768DB8D1A38F1C16D3E6EEA812EF423C739068"},
      {"serial_number: \n", "ADC83B19E793491B1C6EA0FD8B46CD9F32E592FC"},
      {"model: X\nSerial_number: A\n serial_number: B\nserial_number:C\n", ""},
      {nullptr, ""},
  };
  for (const Row& row : rows) {
    removeScratch(paths::kSysInfo);
    if (row.file) writeScratch(paths::kSysInfo, row.file);
    EXPECT_EQ(row.id, readSerialId()) << (row.file ? row.file : "no file");
  }
}

TEST(UtilsUrlEncode, KeepsUnreservedBytesAndEncodesTheRest) {
  struct Case {
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {"a b&c", "a+b%26c"},
      {"AZaz09-_.~", "AZaz09-_.~"},
      {"/tmp/x y", "%2ftmp%2fx+y"},
      {"\xC3\xA9\xFF", "%c3%a9%ff"},
      {"", ""},
      {"%+=", "%25%2b%3d"},
  };
  for (const Case& c : cases) {
    std::unique_ptr<char, decltype(&free)> encoded(urlEncode(c.text), &free);
    EXPECT_STREQ(c.expected, encoded.get()) << c.text;
  }
}

TEST(UtilsSplitString, KeepsInnerEmptyPiecesAndDropsATrailingOne) {
  struct Case {
    const char* text;
    std::list<std::string> expected;
  };
  const Case cases[] = {
      {"a,,b", {"a", "", "b"}},
      {"a,", {"a"}},
      {"", {}},
      {",a", {"", "a"}},
      {"cover,front,*.icon", {"cover", "front", "*.icon"}},
      {",", {""}},
  };
  for (const Case& c : cases) {
    std::list<std::string> pieces = {"kept"};
    splitString(c.text, ',', pieces);
    std::list<std::string> expected = c.expected;
    expected.push_front("kept");
    EXPECT_EQ(expected, pieces) << c.text;
  }
}

TEST(UtilsWildcardMatch, MatchesTheWholeTextIgnoringCase) {
  struct Case {
    const char* pattern;
    const char* text;
    bool expected;
  };
  const Case cases[] = {
      {"*.ICON", "Folder.icon", true},
      {"cover", "covers", false},
      {"c?ver*", "COVER.jpg", true},
      {"cover", "COVER", true},
      {"*", "", true},
      {"**", "abc", true},
      {"?", "", false},
      {"a*b*c", "aXbYbZc", true},
      {"a*b", "aXbYc", false},
      {"*a", "ba", true},
      {"*ab", "aab", true},
      {"", "", true},
      {"", "a", false},
      {"a*", "", false},
      {"*x*y", "xxyxy", true},
  };
  for (const Case& c : cases) EXPECT_EQ(c.expected, wildcardMatch(c.pattern, c.text)) << c.pattern << " vs " << c.text;
}

// A folder that cannot be read counts as empty; a hidden file makes it full.
TEST(UtilsDirectories, EmptyFolders) {
  std::string folder = scratchPath("/dirs");
  ASSERT_EQ(0, system(("rm -rf '" + folder + "' && mkdir -p '" + folder + "/empty' '" + folder + "/full' && touch '" +
                       folder + "/full/.hidden'")
                          .c_str()));
  EXPECT_TRUE(isDirectoryEmpty(folder + "/empty"));
  EXPECT_FALSE(isDirectoryEmpty(folder + "/full"));
  EXPECT_TRUE(isDirectoryEmpty(folder + "/missing"));
}

TEST(UtilsMaskPassword, HidesEveryOccurrenceOrTheWholeValue) {
  EXPECT_EQ("a *** b ***", maskPassword("a pw b pw", "pw"));
  EXPECT_EQ("text", maskPassword("text", ""));
  EXPECT_EQ("", maskPassword("", ""));
  EXPECT_EQ("***", maskPassword("", "", true));
  EXPECT_EQ("***", maskPassword("s,,x", "s,,x", true));
  // A password made of the mask's own characters is replaced once per occurrence.
  EXPECT_EQ("******", maskPassword("**", "*"));
}

std::string fileText(const std::string& path) {
  std::string text;
  readFile(path, text);
  return text;
}

// Alive and not a zombie waiting for a parent to reap it.
bool isRunning(pid_t pid) {
  std::string stat = fileText("/proc/" + std::to_string(pid) + "/stat");
  size_t close = stat.rfind(')');
  return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

TEST(UtilsRunProgram, WaitsForItsOwnChildOnlyAndDiscardsItsOutput) {
  // An earlier child that has ended and is never waited for must not end the wait.
  Child stray = startFunction([] { return 0; });
  for (int i = 0; i < 500 && isRunning(stray.pid); ++i) usleep(10000);
  testing::internal::CaptureStdout();
  ProgramResult result = runProgram("sh", {"-c", "echo leaked; exit 3"});
  EXPECT_EQ("", testing::internal::GetCapturedStdout());
  EXPECT_TRUE(WIFEXITED(result.status));
  EXPECT_EQ(3, WEXITSTATUS(result.status));
  EXPECT_FALSE(result.timedOut);
  EXPECT_FALSE(exitedCleanly(result));
  EXPECT_EQ("", result.output);
  EXPECT_EQ(0, stray.wait());
  EXPECT_TRUE(exitedCleanly(runProgram("true", {})));

  result = runProgram(scratchPath("/no/such/program"), {});
  EXPECT_TRUE(WIFEXITED(result.status) && WEXITSTATUS(result.status) == 127) << "the child ends, not the caller";
}

TEST(UtilsRunProgramCapture, CollectsBothStreamsInOrder) {
  ProgramResult result = runProgramCapture("sh", {"-c", "echo out; echo err >&2; printf 'x\\0y'"});
  EXPECT_EQ(std::string("out\nerr\nx\0y", 11), result.output);
  EXPECT_TRUE(exitedCleanly(result));
  EXPECT_EQ("a b", runProgramCapture("printf", {"%s", "a b"}).output);
  result = runProgramCapture(scratchPath("/no/such/program"), {});
  EXPECT_EQ("", result.output);
  EXPECT_FALSE(exitedCleanly(result));
}

// 50 MB of output would be read whole otherwise.
TEST(UtilsRunProgramCapture, RunawayOutputIsCutAndTheProgramKilled) {
  std::string marker = scratchPath("/runaway-finished");
  unlink(marker.c_str());
  struct rusage before, after;
  getrusage(RUSAGE_SELF, &before);
  ProgramResult result =
      runProgramCapture("sh", {"-c", "head -c 50000000 /dev/zero; echo done > '" + marker + "'"}, 30);
  getrusage(RUSAGE_SELF, &after);
  EXPECT_TRUE(result.outputCut);
  EXPECT_EQ("", result.output);
  EXPECT_FALSE(exitedCleanly(result));
  EXPECT_NE(0, access(marker.c_str(), F_OK)) << "the program was killed, not left to finish";
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 8 * 1024) << "KiB more at the peak";
  EXPECT_FALSE(runProgramCapture("printf", {"%65536s", ""}).outputCut) << "64 KiB fit";
}

// A hanging program and the child it started are both gone when the limit
// passes; a quick one is not disturbed.
TEST(UtilsTimeLimit, KillsAHangingProgramAndItsChildren) {
  for (bool capture : {false, true}) {
    std::string marker = scratchPath("/grandchild");
    unlink(marker.c_str());
    std::string script = "sleep 30 & echo $! > '" + marker + "'; echo started; wait";
    auto start = std::chrono::steady_clock::now();
    ProgramResult result = capture ? runProgramCapture("sh", {"-c", script}, 1) : runProgram("sh", {"-c", script}, 1);
    double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_TRUE(result.timedOut);
    EXPECT_TRUE(WIFSIGNALED(result.status));
    EXPECT_GE(took, 0.9);
    EXPECT_LT(took, 20.0) << "waited for the program's own end";
    EXPECT_EQ(capture ? "started\n" : "", result.output);
    std::string pid = readScratch("/grandchild");
    ASSERT_FALSE(pid.empty());
    for (int i = 0; i < 500 && isRunning(atoi(pid.c_str())); ++i) usleep(10000);
    EXPECT_FALSE(isRunning(atoi(pid.c_str()))) << "grandchild " << pid << " still runs";
  }
  ProgramResult result = runProgramCapture("echo", {"fast"}, 5);
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ("fast\n", result.output);
  EXPECT_TRUE(exitedCleanly(runProgram("true", {}, 5)));
}

}  // namespace

// The answer's dates are made without the time zone files; they must be the
// C library's GMT calendar to the second, leap years and centuries included.
TEST(UtilsGmtParts, SameCalendarAsTheCLibrary) {
  std::vector<long long> moments = {0, -1, 951782400, 951868799, 4107542399, 1796790000, 2147483647, -2208988800};
  unsigned long long step = 0x9E3779B97F4A7C15ull;
  for (int i = 0; i < 20000; ++i)
    moments.push_back(static_cast<long long>((step * (i + 1)) % 8000000000ull) - 1000000000);
  for (long long moment : moments) {
    time_t when = static_cast<time_t>(moment);
    if (when != moment) continue;  // beyond a 32-bit time_t (the player's)
    struct tm expected;
    gmtime_r(&when, &expected);
    struct tm parts = gmtParts(when);
    ASSERT_EQ(std::vector<int>({expected.tm_year, expected.tm_mon, expected.tm_mday, expected.tm_wday, expected.tm_hour,
                                expected.tm_min, expected.tm_sec}),
              std::vector<int>({parts.tm_year, parts.tm_mon, parts.tm_mday, parts.tm_wday, parts.tm_hour, parts.tm_min,
                                parts.tm_sec}))
        << when;
  }
}
