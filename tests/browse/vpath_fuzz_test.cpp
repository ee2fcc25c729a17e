// The virtual path fuzz target run briefly as a test, in a process of its own:
// the storage list and the shares it prepares exist once per process.
#include <gtest/gtest.h>

#include <cstdint>

#include "tests/support/fuzzrun.h"

int fuzzVirtualPath(const uint8_t* data, size_t size);

namespace {

using namespace std::string_literals;

TEST(VirtualPathFuzz, ResolvedPathsStayOnTheirSource) {
  std::vector<std::string> seeds = {
      "local/My Disk/Films/a.mkv",
      "local/USB(77aa_0001)/Music",
      "local/storage_c0ffee00_1234",
      "smb/Films/2019/b.avi",
      "nfs/Music Box/Live",
      "local/My Disk/../x",
      "smb/Films/./a",
      "local/K/a\0/dev/sda1: LABEL=\"K\" UUID=\"1-2\"\n\0/dev/sda1 /tmp/mnt/k vfat rw 0 0\n"s,
      "local/K\0/dev/sda1: LABEL=\"K\"\n/dev/sdb1: LABEL=\"K\"\n\0/dev/sdb1 /tmp/mnt/x\\040y vfat rw 0 0\n"s,
  };
  EXPECT_GT(runFuzzBriefly(fuzzVirtualPath, seeds, 5000), 5000u);
}

}  // namespace
