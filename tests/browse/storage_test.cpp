#include "browse/storage.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "browse/sourcelookup.h"
#include "core/paths.h"
#include "core/sysio.h"
#include "tests/support/child.h"
#include "tests/support/fuzzrun.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

// Each storage as "device label uuid", separated by "; ".
std::string described(const Storages& storages) {
  std::string out;
  for (const Storage& storage : storages)
    out += (out.empty() ? "" : "; ") + storage.device() + " " + storage.label() + " " + storage.uuid();
  return out;
}

TEST(BlkidOutput, LabelsAndUuidsOfCompleteLinesInDeviceOrder) {
  struct Row {
    const char* description;
    const char* text;
    const char* storages;
  } rows[] = {
      {"a duplicate label gets the uuid in blkid's order",
       "/dev/sdc1: LABEL=\"USB\" UUID=\"CCCC-0001\"\n/dev/sda1: LABEL=\"USB\" UUID=\"AAAA-0002\" TYPE=\"vfat\"\n",
       "/dev/sda1 USB(aaaa_0002) aaaa_0002; /dev/sdc1 USB cccc_0001"},
      {"empty labels are never made unique", "/dev/sda1: UUID=\"1\"\n/dev/sdb1: LABEL=\"\" UUID=\"2\"\n",
       "/dev/sda1  1; /dev/sdb1  2"},
      {"an error message", "blkid: unknown option\n", ""},
      {"no colon", "/dev/sda1 LABEL=\"X\"\n", ""},
      {"last line without line feed", "/dev/sda1: LABEL=\"X\"", ""},
      {"no tags", "/dev/sda1:\n", "/dev/sda1  "},
      {"unclosed label", "/dev/sda1: UUID=\"12-AB\" LABEL=\"X\n", "/dev/sda1  12_ab"},
      {"a label before the colon is no tag", "/dev/LABEL=\"A\":\n", "/dev/LABEL=\"A\"  "},
  };
  for (const Row& row : rows) EXPECT_EQ(row.storages, described(parseBlkidOutput(row.text))) << row.description;
  EXPECT_EQ("storage_2", parseBlkidOutput("/dev/sda1: UUID=\"2\"\n")[0].displayName());
}

// The mount point of /dev/sda1 taken from a mount table.
TEST(MountTable, OnlyAMountBelowTheStorageRootCountsTheLastOneWins) {
  std::string longDir = paths::kStorageMountRoot + std::string(1100, 'd');
  struct Row {
    const char* description;
    std::string mtab;
    std::string mountPoint;
  } rows[] = {
      {"escapes decoded", "/dev/sda1 /tmp/mnt/storage/My\\040Disk vfat rw 0 0\n", "/tmp/mnt/storage/My Disk"},
      {"later lines win", "/dev/sda1 /tmp/mnt/old vfat rw 0 0\n/dev/sda1 /tmp/mnt/back\\134slash vfat rw 0 0\n",
       "/tmp/mnt/back\\slash"},
      {"each escape decoded once", "/dev/sda1 /tmp/mnt/a\\134134b vfat rw 0 0\n", "/tmp/mnt/a\\134b"},
      {"a field without \"/\" is no mount point", "/dev/sda1 none tmpfs rw 0 0\n", ""},
      {"another partition with a longer name", "/dev/sda10 /tmp/mnt/other ext4 rw 0 0\n", ""},
      {"the last field ends at the line feed", "/dev/sda1 /tmp/mnt/x\n", "/tmp/mnt/x"},
      {"a long line taken whole", "/dev/sda1 " + longDir + " vfat rw 0 0\n", longDir},
      {"the rest of a long line is no line of its own",
       "/dev/sda1 /tmp/mnt/real vfat rw 0 0\n/dev/sdz9 /tmp/mnt/x" + std::string(1002, 'p') +
           "/dev/sda1 /tmp/mnt/planted vfat rw 0 0\n",
       "/tmp/mnt/real"},
      {"a later mount outside the storage root",
       "/dev/sda1 /tmp/mnt/storage/a vfat rw 0 0\n/dev/sda1 /persistfs vfat\n", "/tmp/mnt/storage/a"},
      {"a root that only starts alike", "/dev/sda1 /tmp/mntx/b vfat rw 0 0\n", ""},
  };
  for (const Row& row : rows) {
    Storages storages = parseBlkidOutput("/dev/sda1: LABEL=\"A\"\n");
    assignMountPoints(storages, row.mtab, paths::kStorageMountRoot);
    EXPECT_EQ(row.mountPoint, storages[0].mountPoint()) << row.description;
  }
}

TEST(StorageName, FirstMatchingLineWithoutItsLineEnd) {
  struct Row {
    const char* description;
    std::string text;
    std::string name;
  } rows[] = {
      {"plain", "storage_name=Kino\n", "Kino"},
      {"carriage return", "storage_name=Kino\r\n", "Kino"},
      {"last line without line feed", "x=1\nstorage_name=Kino", "Kino"},
      {"first one wins", "storage_name=A\nstorage_name=B\n", "A"},
      {"blanks kept", "storage_name= My Disk \n", " My Disk "},
      {"indented key does not count", " storage_name=A\n", ""},
      {"no key", "name=A\n", ""},
      {"a long line gives its first piece", "storage_name=" + std::string(600, 'n') + "\n", std::string(497, 'n')},
  };
  for (const Row& row : rows) {
    FILE* file = fmemopen(const_cast<char*>(row.text.data()), row.text.size(), "r");
    ASSERT_NE(nullptr, file);
    EXPECT_EQ(row.name, readStorageName(file)) << row.description;
    fclose(file);
  }
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
  int status = child.waitWithin(20000, &timedOut, 50);
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
  storage.setStorageName("Kino");
  EXPECT_EQ("local/Kino", storage.virtualPrefix());
  EXPECT_EQ("storage_uuid://4a3b_1c2d", storage.mediaUrlPrefix());
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

TEST(StorageFuzz, ParsersSurviveMutatedInput) {
  std::vector<std::string> seeds = {
      "/dev/sda1: LABEL=\"USB\" UUID=\"4A3B-1C2D\" TYPE=\"vfat\"\n",
      "/dev/sda1 /tmp/mnt/storage/My\\040Disk vfat rw 0 0\n/dev/sda1 none\n",
      "storage_name=Kino\r\n",
      "/dev/sda1:",
  };
  EXPECT_GT(runFuzzBriefly(LLVMFuzzerTestOneInput, seeds), 0u);
}

}  // namespace
