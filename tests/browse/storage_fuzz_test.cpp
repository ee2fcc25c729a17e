#include <gtest/gtest.h>

#include "tests/support/fuzzrun.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

TEST(StorageFuzz, ParsersSurviveMutatedInput) {
  std::vector<std::string> seeds = {
      "/dev/sda1: LABEL=\"USB\" UUID=\"4A3B-1C2D\" TYPE=\"vfat\"\n",
      "/dev/sda1 /tmp/mnt/storage/My\\040Disk vfat rw 0 0\n/dev/sda1 none\n",
      "storage_name=Kino\r\n",
      "/dev/sda1:",
  };
  EXPECT_GT(runFuzzBriefly(LLVMFuzzerTestOneInput, seeds), 0u);
}
