// The network folders fuzz target run briefly as a test.
#include <gtest/gtest.h>

#include <cstdint>

#include "tests/support/fuzzrun.h"

int fuzzNetworkFolders(const uint8_t* data, size_t size);

TEST(NetworkFoldersFuzz, EveryShareFindsItsMountLine) {
  std::vector<std::string> seeds = {
      "name.0 = Films\ntype.0 = 0\nserver.0 = 192.168.1.5\ndirectory.0 = media/films\nuser.0 = guest\n"
      "password.0 = secret\nprotocol.0 = 1\n",
      "name.3 = Music Box\ntype.3 = 1\nserver.3 = 10.0.0.2\ndirectory.3 = /export/music\nprotocol.3 = 0\n",
      "name.1 = a\\134b\tc\ntype.1 = 0\nserver.1 = h\\x\ndirectory.1 = d e\n",
  };
  EXPECT_GT(runFuzzBriefly(fuzzNetworkFolders, seeds), 20000u);
}
