// Fuzz target: the query-string and cookie parsers. The first byte picks the
// parser. Every name and value must fit the parser's buffers and hold no zero
// byte after decoding.
#include <cstdint>
#include <cstdlib>

#include "core/request.h"

int fuzzRequestParameters(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  Request::Params params;
  if (data[0] & 1)
    Request::parseCookies(text, params);
  else
    Request::parseParameters(text, params);
  for (const auto& pair : params) {
    if (pair.first.size() > Request::kMaxName || pair.second.size() > Request::kMaxValue) abort();
    if (!(data[0] & 1) && (pair.first.find('\0') != std::string::npos || pair.second.find('\0') != std::string::npos))
      abort();
  }
  return 0;
}

#ifdef TAVORC_LIBFUZZER
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return fuzzRequestParameters(data, size); }
#endif
