// The fuzz targets of the request core, run briefly as ordinary tests from
// the seeds that tools/fuzz.sh starts from (tests/fuzz/seeds/<target>/).
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "core/sysio.h"
#include "tests/support/fuzzrun.h"
#include "tests/support/sandbox.h"

int fuzzRequestParameters(const uint8_t* data, size_t size);
int fuzzRequestBody(const uint8_t* data, size_t size);
int fuzzConfigLoad(const uint8_t* data, size_t size);
int fuzzDictionary(const uint8_t* data, size_t size);

namespace {

std::vector<std::string> seedsOf(const std::string& target) {
  std::string folder = sourceDir() + "/tests/fuzz/seeds/" + target;
  std::vector<std::string> names, seeds;
  DIR* dir = opendir(folder.c_str());
  while (struct dirent* entry = dir ? readdir(dir) : nullptr)
    if (entry->d_name[0] != '.') names.push_back(entry->d_name);
  if (dir) closedir(dir);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    seeds.emplace_back();
    EXPECT_TRUE(readFile(folder + "/" + name, seeds.back())) << name;
  }
  EXPECT_GE(seeds.size(), 4u) << folder;
  return seeds;
}

TEST(Fuzz, QueryStringAndCookieParsers) { runFuzzBriefly(fuzzRequestParameters, seedsOf("query_fuzzer")); }
TEST(Fuzz, PostBody) { runFuzzBriefly(fuzzRequestBody, seedsOf("body_fuzzer"), 5000); }
TEST(Fuzz, ConfigurationLoader) { runFuzzBriefly(fuzzConfigLoad, seedsOf("config_fuzzer"), 3000); }
TEST(Fuzz, DictionaryCommand) { runFuzzBriefly(fuzzDictionary, seedsOf("dict_fuzzer"), 3000); }

}  // namespace
