#include "browse/listingcache.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "core/foldertrim.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/sysio.h"
#include "core/utils.h"

namespace listingcache {

namespace {

const char kSideSuffix[] = ".folder";
const size_t kMaxSideBytes = 8192;
// A folder changed this recently may change again within the same tick of
// the file system's clock (2 s on FAT) without its time changing: its answer
// is stored as one to be listed again.
const time_t kUnsettledSeconds = 2;

std::string folder() { return rooted(paths::kCacheDir); }
std::string answerFile(const std::string& key) { return folder() + sha1Hex(key); }

// "1 <seconds> <nanoseconds> <size> <cover options> <real path>", the first
// word naming this layout.
std::string sideText(const FolderStamp& stamp) {
  bool unsettled = stamp.modified.tv_sec + kUnsettledSeconds >= time(nullptr);
  char head[96];
  snprintf(head, sizeof head, "1 %lld %ld %lld %u ", static_cast<long long>(stamp.modified.tv_sec),
           unsettled ? -1L : static_cast<long>(stamp.modified.tv_nsec), stamp.size, stamp.coverOptions);
  return head + stamp.realPath;
}

bool parseSide(const std::string& text, FolderStamp& stamp) {
  if (text.compare(0, 2, "1 ") != 0) return false;
  const char* at = text.c_str() + 2;
  long long fields[4];  // seconds, nanoseconds, size, cover options
  for (long long& field : fields) {
    char* end;
    field = strtoll(at, &end, 10);
    if (end == at || *end != ' ') return false;
    at = end + 1;
  }
  stamp.modified.tv_sec = static_cast<time_t>(fields[0]);
  stamp.modified.tv_nsec = static_cast<long>(fields[1]);
  stamp.size = fields[2];
  stamp.coverOptions = static_cast<unsigned>(fields[3]);
  stamp.realPath.assign(at, text.c_str() + text.size());
  return true;
}

// The side file in one read: this is the path of every cached answer. Missing,
// it is "" (the answer is served as it is); unreadable, false.
bool readSide(const std::string& path, std::string& text) {
  text.clear();
  int fd = openFile(path, O_RDONLY | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT;
  char buffer[kMaxSideBytes];
  ssize_t length = readFully(fd, buffer, sizeof buffer);
  closeFile(fd);
  if (length <= 0) return false;
  text.assign(buffer, static_cast<size_t>(length));
  return true;
}

// Whether the answer made from stored still holds for the folder as it is now.
bool holds(const FolderStamp& stored, unsigned coverOptions) {
  if (stored.coverOptions != coverOptions) return false;
  struct stat64 now;
  if (stat64(stored.realPath.c_str(), &now) != 0 || !S_ISDIR(now.st_mode))
    return true;  // unreachable: the answer is all there is
  return now.st_size == stored.size && now.st_mtim.tv_sec == stored.modified.tv_sec &&
         now.st_mtim.tv_nsec == stored.modified.tv_nsec;
}

}  // namespace

FolderStamp FolderStamp::of(const std::string& realPath, unsigned coverOptions) {
  FolderStamp stamp;
  stamp.realPath = realPath;
  stamp.coverOptions = coverOptions;
  struct stat64 status;
  if (stat64(realPath.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
    stamp.modified = status.st_mtim;
    stamp.size = static_cast<long long>(status.st_size);
  }
  return stamp;
}

ProcessResult* answer(const std::string& key, unsigned coverOptions) {
  std::string file = answerFile(key);
  std::string side;
  if (!readSide(file + kSideSuffix, side)) return nullptr;
  if (!side.empty()) {
    FolderStamp stored;
    if (!parseSide(side, stored) || !holds(stored, coverOptions)) return nullptr;
  }
  return ProcessResultJsonFile::open(file);
}

ProcessResult* storedAnswer(const std::string& key) { return ProcessResultJsonFile::open(answerFile(key)); }

// The answer goes first: a side file left from before then names an older
// state of the folder, so a cut-off store costs a new listing, never a stale one.
void store(const std::string& key, const std::string& text, const FolderStamp& stamp) {
  std::string dir = folder();
  if (!canOpenDirectory(dir) && !makeDirectory(dir, 0775)) {
    logError("mkdir '%s' failed", dir.c_str());
    return;
  }
  std::string name = sha1Hex(key);
  std::string file = dir + name;
  if (!writeFileAtomic(file, text)) return;
  // Without its side file the answer would be served for good.
  if (!writeFileAtomic(file + kSideSuffix, sideText(stamp))) unlink(file.c_str());
  trimFolder(dir, kMaxBytes, [&name](const std::string& group) { return group == name; });
}

void drop() { emptyFolder(folder()); }

}  // namespace listingcache
