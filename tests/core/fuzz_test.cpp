// The fuzz targets of the request core, run briefly as ordinary tests.
#include <gtest/gtest.h>

#include <cstdint>

#include "tests/core/scratchroot.h"
#include "tests/support/fuzzrun.h"

int fuzzRequestParameters(const uint8_t* data, size_t size);
int fuzzRequestBody(const uint8_t* data, size_t size);
int fuzzConfigLoad(const uint8_t* data, size_t size);

namespace {

TEST(Fuzz, QueryStringAndCookieParsers) {
  std::vector<std::string> seeds = {
      "\0cmd=file_list&path=%2Ftmp%2Fa+b", "\0a&b=2&&c=%zz&d=100%&%41=%00x", "\1bid=ABC; lang=en;x=%20",
      std::string("\0", 1) + std::string(300, 'n') + "=" + std::string(700, 'v'), "\1a=" + std::string(600, 'c'),
  };
  seeds[0][0] = '\0';
  seeds[1][0] = '\0';
  size_t runs = runFuzzBriefly(fuzzRequestParameters, seeds);
  EXPECT_GT(runs, 20000u);
}

TEST(Fuzz, PostBody) {
  std::vector<std::string> seeds = {
      "7\na=1&b=2", "13\na=1&b=x+y\nc=3", "-1\na=1", "abc\na=1", "99999999999999999999\nv=" + std::string(600, 'x'),
      "0\n", "5", "100\n" + std::string(200, '&'),
  };
  size_t runs = runFuzzBriefly(fuzzRequestBody, seeds, 5000);
  EXPECT_GT(runs, 5000u);
}

TEST(Fuzz, ConfigurationLoader) {
  std::vector<std::string> seeds = {
      "{\"version\":\"2\",\"options\":{\"common\":{\"pbopt\":\"true\",\"language\":\"en\"},\"B\":{\"language\":5}}}",
      "{\"version\":\"1\",\"options\":{\"language\":\"de\",\"autocheck_upd\":\"false\"}}",
      "{\"version\":2,\"options\":[],\"do\":{\"r_starts\":1}}",
      "[[[[[[[[[[[[[[[[[[[[]]]]]]]]]]]]]]]]]]]]",
      "{\"options\":{\"common\":\"x\"}}",
      "\"text\"",
  };
  size_t runs = runFuzzBriefly(fuzzConfigLoad, seeds, 3000);
  EXPECT_GT(runs, 3000u);
}

}  // namespace
