// Fuzz target of the storage scan's parsers: blkid output, mount table lines
// and the folder settings file, all fed the same bytes.
#include <cstdint>
#include <cstdio>
#include <string>

#include "browse/storage.h"
#include "core/paths.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  Storages storages = parseBlkidOutput(text + "\n/dev/sda1: LABEL=\"A\"\n/dev/sd: UUID=\"\"\n");
  assignMountPoints(storages, text, paths::kStorageMountRoot);
  if (size > 0) {
    FILE* file = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    if (file) {
      readStorageName(file);
      fclose(file);
    }
  }
  for (const Storage& storage : storages) storage.virtualToReal(text);
  return 0;
}
