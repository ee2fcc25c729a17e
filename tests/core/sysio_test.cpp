#include "core/sysio.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "tests/core/scratchroot.h"
#include "tests/support/child.h"

namespace {

// Bytes that show a lost, repeated or shifted piece: every position differs
// from its neighbours, NULs included.
std::string patterned(size_t size) {
  std::string text(size, '\0');
  for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return text;
}

TEST(SysioReadFile, ReadsFilesOfEverySizeExactlyUpToTheLimit) {
  const size_t kWhole = static_cast<size_t>(-1);
  struct Row {
    size_t size, limit;
  } rows[] = {{0, kWhole}, {1, kWhole}, {4096, kWhole}, {65536, kWhole}, {65537, kWhole}, {300000, kWhole},
              {70000, 0},  {70000, 15}, {70000, 69999}, {70000, 70000},  {70000, 70001}};
  for (const Row& row : rows) {
    std::string content = patterned(row.size);
    writeScratch("/tmp/read.bin", content);
    std::string text = "left over";
    ASSERT_TRUE(readFile(scratchPath("/tmp/read.bin"), text, row.limit)) << row.size;
    EXPECT_EQ(content.substr(0, row.limit), text) << row.size << " cut at " << row.limit;
  }
  int fd = openFile(scratchPath("/tmp/read.bin"), O_RDONLY);
  EXPECT_EQ(70000u, regularFileSize(fd));
  closeFile(fd);
}

TEST(SysioReadFile, FilesWithoutASizeAreReadToTheEndButPipesAndFoldersAreRefused) {
  // /proc files report size 0 and are read to the end.
  std::string text;
  ASSERT_TRUE(readFile("/proc/self/status", text));
  EXPECT_NE(std::string::npos, text.find("\nPid:"));
  int fd = openFile("/dev/null", O_RDONLY);
  EXPECT_EQ(0u, regularFileSize(fd));
  closeFile(fd);
  // A pipe (a FIFO planted under a file's name) is not read: reading it could
  // wait for ever. The writer stays connected until it has written it all.
  std::string content = patterned(200000);  // more than the pipe holds
  ChildStreams toPipe;
  toPipe.output = Redirect::pipe();
  Child writer =
      startFunction([&content] { return writeFully(STDOUT_FILENO, content.data(), content.size()) ? 0 : 1; }, toPipe);
  ASSERT_GE(writer.output, 0);
  text = "old";
  EXPECT_FALSE(readFile("/dev/fd/" + std::to_string(writer.output), text));
  EXPECT_EQ("", text);
  close(writer.output);
  writer.output = -1;
  int status = writer.wait();
  EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the pipe was read";

  text = "old";
  EXPECT_FALSE(readFile(scratchPath("/tmp/no such file"), text));
  EXPECT_EQ("", text);
  EXPECT_FALSE(readFile(scratchRoot(), text));  // read(2) of a folder fails
}

TEST(SysioCopyToEnd, CopiesFromTheCurrentOffsetOnward) {
  std::string content = patterned(200000);
  writeScratch("/tmp/from.bin", content);
  int from = openFile(scratchPath("/tmp/from.bin"), O_RDONLY);
  int to = openFile(scratchPath("/tmp/to.bin"), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(from, 0);
  ASSERT_GE(to, 0);
  ASSERT_EQ(10, lseek(from, 10, SEEK_SET));
  EXPECT_TRUE(copyToEnd(from, to));
  closeFile(to);
  EXPECT_EQ(content.substr(10), readScratch("/tmp/to.bin"));
  to = openFile(scratchPath("/tmp/to.bin"), O_RDONLY);
  ASSERT_EQ(0, lseek(from, 0, SEEK_SET));
  EXPECT_FALSE(copyToEnd(from, to)) << "a descriptor that cannot be written";
  closeFile(to);
  closeFile(from);
}

}  // namespace
