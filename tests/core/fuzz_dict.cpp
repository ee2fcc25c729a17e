// Fuzz target: the dictionary command. The input's first line is the language
// asked for, the rest the dictionary file "xx" of the dictionary folder. The
// answer is an error for a missing language, else a call of the callback with
// a JSON object; only the language "xx" can give a non-empty one, as no other
// file of the dictionary folder exists (the folder above holds one).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>

#include "core/cmdprocessor.h"
#include "core/jsonfile.h"
#include "core/paths.h"
#include "core/utils.h"

namespace {

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
}

void checkAnswer(const std::string& lng, ProcessResult* result) {
  auto* text = dynamic_cast<ProcessResultText*>(result);
  if (!text) abort();
  if (lng.empty()) {
    if (result->status() != 500 || text->text() != "lng not defined") abort();
    return;
  }
  const std::string& answer = text->text();
  if (result->status() != 200 || answer.compare(0, 3, "cb(") != 0 || answer.back() != ')') abort();
  Json::Value dictionary;
  if (!parseJson(answer.substr(3, answer.size() - 4), dictionary) || !dictionary.isObject()) abort();
  if (lng != "xx" && !dictionary.empty()) abort();
}

}  // namespace

int fuzzDictionary(const uint8_t* data, size_t size) {
  static const bool prepared = [] {
    writeFile(rooted("/tmp/www/rc/outside"), "outside = 1\n");
    return true;
  }();
  (void)prepared;
  std::string input(reinterpret_cast<const char*>(data), size);
  size_t newline = input.find('\n');
  std::string lng = input.substr(0, newline);
  writeFile(rooted(paths::kDictDir) + "xx", newline == std::string::npos ? "" : input.substr(newline + 1));
  // The parameter as the request delivers it: decoding ends at a zero byte.
  lng.resize(strnlen(lng.c_str(), lng.size()));
  if (lng.size() > Request::kMaxValue) lng.resize(Request::kMaxValue);
  char* encoded = urlEncode(lng.c_str());
  std::string query = std::string("log=0&cmd=dict&action=get&callback=cb&lng=") + encoded;
  free(encoded);
  Request request(query.c_str(), "GET");
  std::unique_ptr<CmdProcessor> processor(createProcessor(commandRegistry(), &request));
  checkAnswer(lng, processor->run());
  return 0;
}

#ifdef TAVORC_LIBFUZZER
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return fuzzDictionary(data, size); }
#endif
