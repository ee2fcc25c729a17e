#include "browse/covers.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <string_view>
#include <vector>

#include "browse/filesource.h"
#include "browse/filetypes.h"
#include "core/config.h"
#include "core/digest.h"
#include "core/foldertrim.h"
#include "core/optionrules.h"
#include "core/paths.h"
#include "core/sysio.h"
#include "core/utils.h"

namespace {

// An option's value, or its default when it is empty or not acceptable (a
// value stored by an earlier version, or by hand, is left as it is).
std::string effectiveOption(const char* name, const char* fallback) {
  std::string value = Config::instance()->get(name);
  return !value.empty() && isAcceptableOptionValue(name, value) ? value : fallback;
}

// The same, and an empty option gets its default stored, so that it is saved.
std::string patternOption(const char* name, const char* fallback) {
  if (Config::instance()->get(name).empty()) Config::instance()->set(name, fallback);
  return effectiveOption(name, fallback);
}

bool matchesAny(const std::list<std::string>& patterns, const std::string& text) {
  for (const std::string& pattern : patterns)
    if (wildcardMatch(pattern.c_str(), text.c_str())) return true;
  return false;
}

// A cover file: the extension after its last "." and the base name before it
// each match one of their patterns.
bool isCover(const char* name, const CoverPatterns& patterns) {
  const char* dot = strrchr(name, '.');
  if (!dot) return false;
  return matchesAny(patterns.extensions, dot + 1) && matchesAny(patterns.names, std::string(name, dot));
}

// Real paths, with the last folder met at each depth remembered: the covers
// of a listing's subfolders then cost one lstat for each part of the path not
// resolved before, instead of a walk from the root for every one. A part that
// is a link (or ".", "..", empty) is left to realpath(3), as is a path
// without a folder.
class RealPaths {
 public:
  // The real path of a regular file and its status, empty for anything else.
  std::string ofRegularFile(const std::string& path, struct stat64& status) {
    std::string real;
    return resolve(path, 0, real, &status) && S_ISREG(status.st_mode) ? real : std::string();
  }

 private:
  struct Known {
    std::string path, real;
    bool ok = false;
  };

  // Sets real to the real path of path, and status (when asked) to what it
  // leads to; false when it has none.
  bool resolve(std::string_view path, size_t depth, std::string& real, struct stat64* status = nullptr) {
    size_t slash = path.rfind('/');
    if (slash == std::string_view::npos || slash == 0 || depth > 64 || path.size() >= PATH_MAX)
      return byRealpath(path, real, status);
    std::string_view name = path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") return byRealpath(path, real, status);
    const Known& folder = known(path.substr(0, slash), depth + 1);
    if (!folder.ok) return false;
    char text[PATH_MAX];
    memcpy(text, path.data(), path.size());
    text[path.size()] = '\0';
    struct stat64 own;
    if (lstat64(text, &own) != 0) return false;
    if (S_ISLNK(own.st_mode)) return byRealpath(path, real, status);
    if (status) *status = own;
    real.assign(folder.real);
    if (real.back() != '/') real += '/';
    real.append(name);
    return true;
  }

  static bool byRealpath(std::string_view path, std::string& real, struct stat64* status) {
    real = resolvedPath(std::string(path));
    return !real.empty() && (!status || stat64(real.c_str(), status) == 0);
  }

  // Depth counts the folders from the end of the path first asked for.
  const Known& known(std::string_view folder, size_t depth) {
    if (m_known.size() <= depth) m_known.resize(depth + 1);
    if (m_known[depth].path != folder) {
      std::string real = std::move(m_known[depth].real);  // keeps its room
      bool ok = resolve(folder, depth, real);             // may grow m_known
      Known& slot = m_known[depth];
      slot.path.assign(folder);
      slot.real = std::move(real);
      slot.ok = ok;
    }
    return m_known[depth];
  }

  std::vector<Known> m_known;
};

using Digest = std::array<unsigned char, 16>;

// What this process published: the covers it handed out (their copies stay
// while it runs) with their bytes, and whether it wrote a copy.
struct Shelf {
  std::string folder = rooted(paths::kCoversDir);
  bool ready = false;  // the folder is there
  bool wrote = false;
  size_t bytes = 0;
  std::vector<Digest> handedOut;
};

Shelf& shelf() {
  static Shelf published;
  return published;
}

// The first bytes of a picture of one of the cover types.
bool looksLikePicture(const std::string& data) {
  auto has = [&data](const char* magic, size_t length, size_t at = 0) {
    return data.size() >= at + length && memcmp(data.data() + at, magic, length) == 0;
  };
  return has("\xFF\xD8\xFF", 3) || has("\x89PNG\r\n\x1A\n", 8) || has("GIF87a", 6) || has("GIF89a", 6) ||
         (has("BM", 2) && data.size() >= 26 && has("\0\0\0\0", 4, 6)) || (has("RIFF", 4) && has("WEBP", 4, 8));
}

// The copy is unchanged while its size and modification time (taken over
// from the picture) are those of the picture.
bool isCopyOf(const std::string& copy, const struct stat64& picture) {
  struct stat64 status;
  return lstat64(copy.c_str(), &status) == 0 && S_ISREG(status.st_mode) && status.st_size == picture.st_size &&
         status.st_mtim.tv_sec == picture.st_mtim.tv_sec && status.st_mtim.tv_nsec == picture.st_mtim.tv_nsec;
}

// Copies the picture that was checked at path (seen): the file opened must be
// that same file, not a link put in its place since, and must hold a picture.
bool copyPicture(const std::string& path, const struct stat64& seen, const std::string& copy) {
  int fd = openFile(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat64 opened;
  size_t size = static_cast<size_t>(seen.st_size);
  bool ok = fstat64(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_dev == seen.st_dev &&
            opened.st_ino == seen.st_ino && opened.st_size == seen.st_size;
  std::string data;
  if (ok) {
    data.resize(size + 1);
    ok = readFully(fd, &data[0], size + 1) == static_cast<ssize_t>(size);
    data.resize(size);
  }
  closeFile(fd);
  if (!ok || !looksLikePicture(data)) return false;
  struct stat64 old;
  if (lstat64(copy.c_str(), &old) == 0 && !S_ISREG(old.st_mode)) unlink(copy.c_str());  // an earlier version's link
  if (!writeFileAtomic(copy, data, 0644)) return false;
  struct timespec times[2] = {{0, UTIME_OMIT}, seen.st_mtim};
  utimensat(AT_FDCWD, copy.c_str(), times, AT_SYMLINK_NOFOLLOW);
  return true;
}

}  // namespace

CoverPatterns::CoverPatterns() {
  splitString(patternOption("cover_files_names", kDefaultNames).c_str(), ',', names);
  splitString(patternOption("cover_files_exts", kDefaultExtensions).c_str(), ',', extensions);
}

std::string CoverPatterns::inEffect() {
  return effectiveOption("cover_files_names", kDefaultNames) + '/' +
         effectiveOption("cover_files_exts", kDefaultExtensions);
}

CoverFinder::CoverFinder(const std::string& folder, bool wantCover, const std::string& sourceRoot)
    : CoverFinder(folder, wantCover, CoverPatterns(), sourceRoot) {}

CoverFinder::CoverFinder(const std::string& folder, bool wantCover, const CoverPatterns& patterns,
                         const std::string& sourceRoot)
    : m_folder(folder), m_wantCover(wantCover) {
  scan(patterns, sourceRoot);
}

// Reads the folder in the order it yields its entries and stops as soon as
// the caller has what it needs: a cover (when wanted) and media, or a disc marker.
void CoverFinder::scan(const CoverPatterns& patterns, const std::string& sourceRoot) {
  DIR* dir = opendir(m_folder.c_str());
  if (!dir) return;
  while (struct dirent* entry = readdir(dir)) {
    const char* name = entry->d_name;
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) continue;
    if (m_wantCover && m_cover.empty() && isCover(name, patterns)) {
      publishCover(m_folder + name, sourceRoot);
      if (!m_cover.empty() && m_hasMedia) break;
    }
    if (name[0] == '.') continue;
    if (strcmp(name, "VIDEO_TS") == 0 || strcmp(name, "BDMV") == 0) {
      m_discFolder = true;
      break;
    }
    if (!isMediaFile(name)) continue;
    m_hasMedia = true;
    if (!m_cover.empty() || !m_wantCover) break;
  }
  closedir(dir);
}

// The web server hands out whatever lies in the covers folder. A cover file
// on a storage or share may itself be a link to any file of the box (the
// configuration, with the share passwords): only a regular file that really
// lies on the source is published.
static std::string publishableTarget(const std::string& imagePath, const std::string& sourceRoot,
                                     struct stat64& status) {
  if (sourceRoot.empty()) return "";
  // A listing publishes the covers of many folders of one source, in a
  // process of its own: what it resolved stays true while it runs.
  static std::string lastRoot, lastResolved;
  static RealPaths realPaths;
  if (sourceRoot != lastRoot) {
    lastResolved = resolvedPath(lastRoot = sourceRoot);
    realPaths = RealPaths();
  }
  std::string target = realPaths.ofRegularFile(imagePath, status);
  const std::string& root = lastResolved;
  if (target.empty() || root.empty()) return "";
  return isAtOrBelow(target, root) || root == "/" ? target : "";
}

// The cover becomes reachable through the web server as a copy named by the
// MD5 of the image's path: a picture of a cover type, of at most
// kMaxCoverBytes, copied again only when it changed. The web server never
// follows anything to the storage or share, so a file replaced there later
// changes nothing that is published.
void CoverFinder::publishCover(const std::string& imagePath, const std::string& sourceRoot) {
  size_t dot = imagePath.rfind('.');
  if (dot == std::string::npos || !isImageExtension(imagePath.c_str() + dot + 1)) return;
  struct stat64 seen;
  std::string target = publishableTarget(imagePath, sourceRoot, seen);
  if (target.empty() || seen.st_size <= 0 || static_cast<size_t>(seen.st_size) > kMaxCoverBytes) return;
  Shelf& published = shelf();
  size_t size = static_cast<size_t>(seen.st_size);
  if (published.bytes + size > kMaxPublishedBytes) return;
  if (!published.ready) published.ready = canOpenDirectory(published.folder) || makeDirectory(published.folder, 0775);
  if (!published.ready) return;
  Digest digest;
  md5Digest(imagePath.data(), imagePath.size(), digest.data());
  std::string copyPath;
  copyPath.reserve(published.folder.size() + 1 + 2 * digest.size() + imagePath.size() - dot);
  copyPath += published.folder;
  copyPath += '/';
  size_t copyName = copyPath.size();
  appendHexUpper(copyPath, digest.data(), digest.size());
  copyPath.append(imagePath, dot, std::string::npos);
  if (!isCopyOf(copyPath, seen)) {
    if (!copyPicture(target, seen, copyPath)) return;
    published.wrote = true;
  }
  published.bytes += size;
  published.handedOut.push_back(digest);
  m_cover.reserve(8 + copyPath.size() - copyName);
  m_cover.assign("/covers/").append(copyPath, copyName, std::string::npos);
}

bool trimPublishedCovers() {
  Shelf& published = shelf();
  if (!published.wrote) return false;
  published.wrote = false;
  std::vector<std::string> handedOut;
  handedOut.reserve(published.handedOut.size());
  for (const Digest& digest : published.handedOut) handedOut.push_back(hexUpper(digest.data(), digest.size()));
  std::sort(handedOut.begin(), handedOut.end());
  return trimFolder(published.folder, CoverFinder::kMaxPublishedBytes, [&handedOut](const std::string& name) {
           return std::binary_search(handedOut.begin(), handedOut.end(), name);
         }) > 0;
}
