// The update server's reply fuzz target run briefly as a test.
#include <gtest/gtest.h>

#include <cstdint>

#include "tests/support/fuzzrun.h"

int fuzzVersionReply(const uint8_t* data, size_t size);

TEST(VersionReplyFuzz, AcceptedRepliesWriteBackTheSame) {
  std::vector<std::string> seeds = {
      "{\"versionNumber\":\"0.7.2\",\"versionName\":\"0.7.2\",\"releaseNotes\":\"Fixes\"}",
      "{\"versionNumber\":null}",
      "[1,2]",
      "{\"versionNumber\":7,\"x\":{\"y\":[1.5e300,-0.0,\"\\u00e9\\ud83d\\ude00\"]}}",
      "{\"versionNumber\":\"\x95.7\"}",
  };
  EXPECT_GT(runFuzzBriefly(fuzzVersionReply, seeds), 20000u);
}
