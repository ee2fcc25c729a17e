#include "browse/storage.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "browse/sourcelookup.h"
#include "core/paths.h"
#include "core/sysio.h"
#include "core/utils.h"
#include "tests/support/child.h"

namespace {

// Runs a stdio parser on text held in memory.
template <typename Parse>
void withFile(const std::string& text, Parse parse) {
  FILE* file = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  ASSERT_NE(nullptr, file);
  parse(file);
  fclose(file);
}

Storages mounted(const std::string& blkid, const std::string& mtab) {
  Storages storages = parseBlkidOutput(blkid);
  assignMountPoints(storages, mtab, paths::kStorageMountRoot);
  return storages;
}

TEST(BlkidOutput, ParsesLabelsAndNormalisesUuids) {
  Storages storages = parseBlkidOutput("/dev/sda1: LABEL=\"USB\" UUID=\"4A3B-1C2D\" TYPE=\"vfat\"\n");
  ASSERT_EQ(1u, storages.size());
  EXPECT_EQ("/dev/sda1", storages[0].device());
  EXPECT_EQ("USB", storages[0].label());
  EXPECT_EQ("4a3b_1c2d", storages[0].uuid());
  EXPECT_EQ("", storages[0].mountPoint());
}

TEST(BlkidOutput, DuplicateLabelsGetTheUuidInBlkidOrderThenSortByDevice) {
  Storages storages = parseBlkidOutput(
      "/dev/sdc1: LABEL=\"USB\" UUID=\"CCCC-0001\"\n"
      "/dev/sda1: LABEL=\"USB\" UUID=\"AAAA-0002\"\n"
      "/dev/sdb1: LABEL=\"USB\" UUID=\"BBBB-0003\"\n");
  std::vector<std::pair<std::string, std::string>> labels;
  for (const Storage& storage : storages) labels.emplace_back(storage.device(), storage.label());
  EXPECT_EQ((std::vector<std::pair<std::string, std::string>>{
                {"/dev/sda1", "USB(aaaa_0002)"}, {"/dev/sdb1", "USB(bbbb_0003)"}, {"/dev/sdc1", "USB"}}),
            labels);
}

TEST(BlkidOutput, IgnoresNoiseAndIncompleteLines) {
  struct Row {
    const char* description;
    const char* text;
    size_t count;
    const char* label;
    const char* uuid;
  } rows[] = {
      {"error message", "blkid: unknown option\n", 0, "", ""},
      {"no colon", "/dev/sda1 LABEL=\"X\"\n", 0, "", ""},
      {"last line without line feed", "/dev/sda1: LABEL=\"X\"", 0, "", ""},
      {"no tags", "/dev/sda1:\n", 1, "", ""},
      {"unclosed label", "/dev/sda1: UUID=\"12-AB\" LABEL=\"X\n", 1, "", "12_ab"},
      {"label before the colon is not a tag", "/dev/LABEL=\"A\":\n", 1, "", ""},
      {"empty label", "/dev/sda1: LABEL=\"\" UUID=\"1\"\n", 1, "", "1"},
  };
  for (const Row& row : rows) {
    Storages storages = parseBlkidOutput(row.text);
    ASSERT_EQ(row.count, storages.size()) << row.description;
    if (row.count == 0) continue;
    EXPECT_EQ(row.label, storages[0].label()) << row.description;
    EXPECT_EQ(row.uuid, storages[0].uuid()) << row.description;
  }
}

TEST(BlkidOutput, EmptyLabelsAreNeverDeduplicated) {
  Storages storages = parseBlkidOutput("/dev/sda1: UUID=\"1\"\n/dev/sdb1: UUID=\"2\"\n");
  ASSERT_EQ(2u, storages.size());
  EXPECT_EQ("", storages[1].label());
  EXPECT_EQ("storage_2", storages[1].displayName());
}

TEST(MountTable, DecodesEscapesAndLaterLinesWin) {
  Storages storages = mounted("/dev/sda1: LABEL=\"A\"\n/dev/sdb1: LABEL=\"B\"\n/dev/sdc1: LABEL=\"C\"\n",
                              "/dev/sda1 /tmp/mnt/storage/My\\040Disk vfat rw 0 0\n"
                              "/dev/sdb1 /tmp/mnt/old vfat rw 0 0\n"
                              "/dev/sdb1 /tmp/mnt/back\\134slash vfat rw 0 0\n"
                              "/dev/sdc1 none tmpfs rw 0 0\n");
  EXPECT_EQ("/tmp/mnt/storage/My Disk", storages[0].mountPoint());
  EXPECT_EQ("/tmp/mnt/back\\slash", storages[1].mountPoint());
  // "none" has no "/": the line is skipped; the next "/" is in no field of it.
  EXPECT_EQ("", storages[2].mountPoint());
}

// The decoded bytes are never decoded again: "\134134" is a backslash and "134".
TEST(MountTable, EachEscapeDecodesOnce) {
  Storages storages = mounted("/dev/sda1: LABEL=\"A\"\n", "/dev/sda1 /tmp/mnt/a\\134134b vfat rw 0 0\n");
  EXPECT_EQ("/tmp/mnt/a\\134b", storages[0].mountPoint());
}

TEST(MountTable, AnotherPartitionWithALongerNameIsNotTaken) {
  Storages storages = mounted("/dev/sda1: LABEL=\"A\"\n", "/dev/sda10 /tmp/mnt/other ext4 rw 0 0\n");
  EXPECT_EQ("", storages[0].mountPoint());
}

TEST(MountTable, LastFieldWithoutBlankEndsAtTheLineFeed) {
  Storages storages = mounted("/dev/sda1: LABEL=\"A\"\n", "/dev/sda1 /tmp/mnt/x\n");
  EXPECT_EQ("/tmp/mnt/x", storages[0].mountPoint());
}

TEST(MountTable, LongLinesAreTakenWhole) {
  std::string longDir = paths::kStorageMountRoot + std::string(1100, 'd');
  Storages storages = mounted("/dev/sda1: LABEL=\"A\"\n", "/dev/sda1 " + longDir + " vfat rw 0 0\n");
  EXPECT_EQ(longDir, storages[0].mountPoint());
  // The rest of a long line never passes for a line of its own.
  std::string padding = "/dev/sdz9 /tmp/mnt/x" + std::string(1022 - 20, 'p');
  storages = mounted("/dev/sda1: LABEL=\"A\"\n",
                     "/dev/sda1 /tmp/mnt/real vfat rw 0 0\n" + padding + "/dev/sda1 /tmp/mnt/planted vfat rw 0 0\n");
  EXPECT_EQ("/tmp/mnt/real", storages[0].mountPoint());
}

TEST(MountTable, OnlyAMountBelowTheStorageRootCounts) {
  Storages storages = mounted("/dev/sda1: LABEL=\"A\"\n/dev/sdb1: LABEL=\"B\"\n",
                              "/dev/sda1 /tmp/mnt/storage/sda1 vfat rw 0 0\n"
                              "/dev/sda1 /persistfs vfat rw 0 0\n"
                              "/dev/sdb1 /tmp/mntx/b vfat rw 0 0\n");
  EXPECT_EQ("/tmp/mnt/storage/sda1", storages[0].mountPoint());
  EXPECT_EQ("", storages[1].mountPoint());
}

TEST(StorageName, FirstMatchingLineWithoutItsLineEnd) {
  struct Row {
    const char* description;
    const char* text;
    const char* name;
  } rows[] = {
      {"plain", "storage_name=Kino\n", "Kino"},
      {"carriage return", "storage_name=Kino\r\n", "Kino"},
      {"last line without line feed", "x=1\nstorage_name=Kino", "Kino"},
      {"first one wins", "storage_name=A\nstorage_name=B\n", "A"},
      {"blanks kept", "storage_name= My Disk \n", " My Disk "},
      {"indented key does not count", " storage_name=A\n", ""},
      {"no key", "name=A\n", ""},
      {"empty file", "", ""},
  };
  for (const Row& row : rows)
    withFile(row.text, [&](FILE* file) { EXPECT_EQ(row.name, readStorageName(file)) << row.description; });
}

TEST(StorageName, LongLineGivesItsFirstPiece) {
  std::string text = "storage_name=" + std::string(600, 'n') + "\n";
  withFile(text, [](FILE* file) { EXPECT_EQ(std::string(510 - 13, 'n'), readStorageName(file)); });
}

// A settings file that is a FIFO is passed over: the scan neither waits for a
// writer nor loses the partition. The scan runs in a child that is killed
// when it has not finished in time.
TEST(StorageScan, SettingsFileThatIsAFifoDoesNotBlock) {
  std::string dir = ::testing::TempDir() + "storagescan.XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(&dir[0]));
  ASSERT_TRUE(makeDirectory(dir + "/a", 0755));
  ASSERT_TRUE(makeDirectory(dir + "/b", 0755));
  ASSERT_EQ(0, mkfifo((dir + "/a/tavo_folder.txt").c_str(), 0644));
  ASSERT_TRUE(writeFileAtomic(dir + "/b/tavo_folder.txt", "storage_name=Kino\n"));
  ASSERT_TRUE(
      writeFileAtomic(dir + "/mtab", "/dev/sda1 " + dir + "/a vfat rw 0 0\n/dev/sdb1 " + dir + "/b vfat rw 0 0\n"));

  Child child = startFunction([&dir] {
    Storages storages = scanStorages("/dev/sda1: LABEL=\"A\"\n/dev/sdb1: LABEL=\"B\"\n", dir + "/mtab", dir + "/");
    bool right = storages.size() == 2 && storages[0].displayName() == "A" && storages[1].displayName() == "Kino";
    return right ? 0 : 1;
  });
  ASSERT_GE(child.pid, 0);
  bool timedOut = false;
  int status = child.waitWithin(5000, &timedOut, 50);
  EXPECT_FALSE(timedOut) << "the scan waited on the FIFO";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  for (const char* name : {"/a/tavo_folder.txt", "/b/tavo_folder.txt", "/mtab"}) unlink((dir + name).c_str());
  for (const char* name : {"/a", "/b", ""}) rmdir((dir + name).c_str());
}

TEST(StoragePaths, ConvertBetweenTheThreeForms) {
  Storage storage("/dev/sdb1", "USB", "4a3b_1c2d");
  storage.setMountPoint("/tmp/mnt/storage/sdb1");
  EXPECT_EQ("local/USB", storage.virtualPrefix());
  std::string real = storage.virtualToReal("local/USB/Films/a.mkv");
  EXPECT_EQ("/tmp/mnt/storage/sdb1/Films/a.mkv", real);
  std::string url = storage.realToMediaUrl(real);
  EXPECT_EQ("storage_uuid://4a3b_1c2d/Films/a.mkv", url);
  EXPECT_EQ("local/USB/Films/a.mkv", storage.mediaUrlToVirtual(url));
  EXPECT_EQ(real, storage.mediaUrlToReal(url));
  EXPECT_EQ("local/USB/Films/a.mkv", storage.realToVirtual(real));
  EXPECT_EQ("/tmp/mnt/storage/sdb1", storage.virtualToReal("local/USB"));
  EXPECT_EQ("/tmp/mnt/storage/sdb1", storage.virtualToReal("loc"));  // shorter: replaced whole
}

TEST(StoragePaths, DisplayNamePrefersStorageNameThenLabelThenUuid) {
  Storage bare("/dev/sda1", "", "");
  EXPECT_EQ("storage_", bare.displayName());
  EXPECT_EQ("local/storage_", bare.virtualPrefix());
  EXPECT_EQ("storage_uuid://", bare.mediaUrlPrefix());
  Storage labelled("/dev/sda1", "USB", "1a");
  EXPECT_EQ("USB", labelled.displayName());
  labelled.setStorageName("Kino");
  EXPECT_EQ("local/Kino", labelled.virtualPrefix());
  EXPECT_EQ("storage_uuid://1a", labelled.mediaUrlPrefix());
}

TEST(SourceLookup, DotComponentsAreRecognised) {
  struct Row {
    const char* path;
    bool dot;
  } rows[] = {
      {"local/USB", false},    {"local/USB/..", true},   {"local/USB/../x", true},
      {"../x", true},          {"local/USB/./x", true},  {".", true},
      {"local/USB/.x", false}, {"local/USB/...", false}, {"local/USB/x..", false},
      {"local/USB//x", false}, {"local/USB/", false},    {"..", true},
  };
  for (const Row& row : rows) EXPECT_EQ(row.dot, hasDotComponent(row.path)) << row.path;
}

}  // namespace
