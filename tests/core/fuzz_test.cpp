// The fuzz targets of the request core, run briefly as ordinary tests.
#include <gtest/gtest.h>

#include <cstdint>

#include "tests/core/scratchroot.h"
#include "tests/support/fuzzrun.h"

int fuzzRequestParameters(const uint8_t* data, size_t size);
int fuzzRequestBody(const uint8_t* data, size_t size);
int fuzzConfigLoad(const uint8_t* data, size_t size);
int fuzzDictionary(const uint8_t* data, size_t size);

namespace {

using namespace std::string_literals;

TEST(Fuzz, QueryStringAndCookieParsers) {
  std::vector<std::string> seeds = {
      // The first byte picks the parser: "\0" the query string, "\1" the cookies.
      "\0cmd=file_list&path=%2Ftmp%2Fa+b"s, "\0a&b=2&&c=%zz&d=100%&%41=%00x"s,
      "\1bid=ABC; lang=en;x=%20"s,          "\0"s + std::string(300, 'n') + "=" + std::string(700, 'v'),
      "\1a=" + std::string(600, 'c'),
  };
  for (const std::string& seed : seeds) ASSERT_GT(seed.size(), 8u);
  size_t runs = runFuzzBriefly(fuzzRequestParameters, seeds);
  EXPECT_GT(runs, 20000u);
}

TEST(Fuzz, PostBody) {
  std::vector<std::string> seeds = {
      "7\na=1&b=2",
      "13\na=1&b=x+y\nc=3",
      "-1\na=1",
      "abc\na=1",
      "99999999999999999999\nv=" + std::string(600, 'x'),
      "0\n",
      "5",
      "100\n" + std::string(200, '&'),
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

TEST(Fuzz, DictionaryCommand) {
  std::vector<std::string> seeds = {
      "xx\nplay = Play\nstop = Stop\n\nafter = ignored\n",
      "../outside\nk = v\n",
      "xx\n",
      ".hidden\na = b\n",
      "\nx = y\n",
      "xx\n\xd0\x9f = \"q\\\n\0k = v\n"s,
  };
  size_t runs = runFuzzBriefly(fuzzDictionary, seeds, 3000);
  EXPECT_GT(runs, 3000u);
}

}  // namespace
