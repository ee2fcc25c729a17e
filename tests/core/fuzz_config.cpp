// Fuzz target: the configuration loader and the save that follows. Whatever
// the file holds, loading never ends the process and yields a version-2 object
// document; a change is saved, the saved file loads back to a document whose
// text is the file's, and a load that changes nothing leaves the file
// untouched. The JSON library's writer turns bytes that are not UTF-8 into
// other characters, so for such a file only the first two are checked.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "core/config.h"
#include "core/jsonfile.h"
#include "core/paths.h"
#include "tests/support/utf8.h"

namespace {

std::string fileText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace

int fuzzConfigLoad(const uint8_t* data, size_t size) {
  std::string path = rooted(paths::kConfigFile);
  {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  {
    Config config("B");
    config.get("language");
    config.get("show_covers");
    config.allOptions();
    config.set("language", "de");
    config.lpd();
    if (!config.root().isObject() || config.root()["version"] != "2") abort();
    if (!config.save()) abort();
  }
  std::string text = fileText(path);
  Json::Value reread;
  if (!parseJson(text, reread)) abort();
  bool utf8 = isUtf8(std::string(reinterpret_cast<const char*>(data), size));
  if (utf8 && styledJsonText(reread) != text) abort();
  {
    Config again("B");
    if (again.root()["version"] != "2" || !again.root()["options"].isObject()) abort();
    if (again.get("language") != "de" || (utf8 && again.root() != reread)) abort();
  }
  if (utf8 && fileText(path) != text) abort();
  return 0;
}

#ifdef TAVORC_LIBFUZZER
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return fuzzConfigLoad(data, size); }
#endif
