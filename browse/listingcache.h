// The file-list cache in "/tmp/tavorc.cache/": one file per listed folder,
// named by the SHA-1 of its virtual path, holding the answer as it was sent.
// Beside it, "<name>.folder" tells what the answer was made from: the folder's
// real path, its modification time to the nanosecond and its size, and the
// cover options of the listing. A cached answer is served while these still
// hold, or while the folder cannot be reached (storage unplugged, share not
// mounted); that is told without the storage scan and without mounting.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <string>

#include "core/result.h"

namespace listingcache {

// The cover options a listing depends on: these two flags, and in the other
// bits whatever else the caller counts as such (a fingerprint of the cover
// file patterns).
inline constexpr unsigned kShowCovers = 1;
inline constexpr unsigned kPlayFoldersWithCover = 2;

// What a listing is made from, taken before the folder is read.
struct FolderStamp {
  std::string realPath;
  struct timespec modified = {0, 0};
  long long size = -1;  // -1: the folder could not be examined
  unsigned coverOptions = 0;

  static FolderStamp of(const std::string& realPath, unsigned coverOptions);
};

// The stored answer of key, or null when there is none (missing, empty) or it
// no longer holds. An answer stored without its side file is served.
ProcessResult* answer(const std::string& key, unsigned coverOptions);

// The stored answer of key whether it holds or not (for a folder whose source
// is gone), or null.
ProcessResult* storedAnswer(const std::string& key);

// Stores the answer and its side file, then keeps the cache within kMaxBytes,
// the answers stored longest ago first out.
void store(const std::string& key, const std::string& text, const FolderStamp& stamp);

// Removes every stored answer (when covers they name are gone).
void drop();

inline constexpr size_t kMaxBytes = 8 * 1024 * 1024;

}  // namespace listingcache
