// Fuzz target: the configuration loader. Whatever the file holds, loading
// never ends the process and always yields a version-2 object document that
// the next request can load again.
#include <cstdint>
#include <cstdlib>
#include <fstream>

#include "core/config.h"
#include "core/paths.h"

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
  }
  Config again("B");
  if (again.root()["version"] != "2" || !again.root()["options"].isObject()) abort();
  return 0;
}

#ifdef TAVORC_LIBFUZZER
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return fuzzConfigLoad(data, size); }
#endif
