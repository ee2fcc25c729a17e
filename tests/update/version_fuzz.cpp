// Fuzz target: the update server's reply to the version check. A reply that
// is accepted gives an object with a non-null "versionNumber", this program's
// version and the silent mode, which the JSON writer turns into a document
// that reads back to the same document text when the reply is UTF-8; a
// rejected reply leaves the answer untouched.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/jsonfile.h"
#include "core/result.h"
#include "tests/support/utf8.h"
#include "update/versioncheck.h"

int fuzzVersionReply(const uint8_t* data, size_t size) {
  std::string reply(reinterpret_cast<const char*>(data), size);
  bool silent = size % 2 == 1;
  Json::Value answer("untouched");
  if (!versionAnswer(reply, silent, answer)) {
    if (answer != "untouched") abort();
    return 0;
  }
  if (!answer.isObject() || answer["versionNumber"].isNull() || !answer["currentVersionNumber"].isString() ||
      answer["silentMode"] != (silent ? "true" : "false"))
    abort();
  std::string text = toJsonText(answer);
  Json::Value reread;
  if (!parseJson(text, reread) || (isUtf8(reply) && toJsonText(reread) != text)) abort();
  return 0;
}

#ifdef TAVORC_LIBFUZZER
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return fuzzVersionReply(data, size); }
#endif
