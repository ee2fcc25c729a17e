#include "browse/covers.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <string_view>
#include <vector>

#include "browse/filesource.h"
#include "browse/filetypes.h"
#include "core/config.h"
#include "core/digest.h"
#include "core/paths.h"
#include "core/sysio.h"
#include "core/utils.h"

namespace {

// An option's value, or its default, which is then stored so that it is saved.
std::string patternOption(const char* name, const char* fallback) {
  Config* config = Config::instance();
  std::string value = config->get(name);
  if (!value.empty()) return value;
  config->set(name, fallback);
  return fallback;
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
  // The real path of a regular file, empty for anything else.
  std::string ofRegularFile(const std::string& path) {
    std::string real;
    bool regular = false;
    return resolve(path, 0, real, &regular) && regular ? real : std::string();
  }

 private:
  struct Known {
    std::string path, real;
    bool ok = false;
  };

  // Sets real to the real path of path, and regular (when asked) to whether
  // it is a regular file; false when it has none.
  bool resolve(std::string_view path, size_t depth, std::string& real, bool* regular = nullptr) {
    size_t slash = path.rfind('/');
    if (slash == std::string_view::npos || slash == 0 || depth > 64 || path.size() >= PATH_MAX)
      return byRealpath(path, real, regular);
    std::string_view name = path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") return byRealpath(path, real, regular);
    const Known& folder = known(path.substr(0, slash), depth + 1);
    if (!folder.ok) return false;
    char text[PATH_MAX];
    memcpy(text, path.data(), path.size());
    text[path.size()] = '\0';
    struct stat64 status;
    if (lstat64(text, &status) != 0) return false;
    if (S_ISLNK(status.st_mode)) return byRealpath(path, real, regular);
    if (regular) *regular = S_ISREG(status.st_mode);
    real.assign(folder.real);
    if (real.back() != '/') real += '/';
    real.append(name);
    return true;
  }

  static bool byRealpath(std::string_view path, std::string& real, bool* regular) {
    real = resolvedPath(std::string(path));
    if (regular) *regular = !real.empty() && isRegularFile(real);
    return !real.empty();
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

}  // namespace

CoverPatterns::CoverPatterns() {
  splitString(patternOption("cover_files_names", kDefaultNames).c_str(), ',', names);
  splitString(patternOption("cover_files_exts", kDefaultExtensions).c_str(), ',', extensions);
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

// The web server hands out whatever a cover link leads to. A cover file on a
// storage or share may itself be a link to any file of the box (the
// configuration, with the share passwords): only a regular file that really
// lies on the source is published, and the link leads to its resolved path.
static std::string publishableTarget(const std::string& imagePath, const std::string& sourceRoot) {
  if (sourceRoot.empty()) return "";
  // A listing publishes the covers of many folders of one source, in a
  // process of its own: what it resolved stays true while it runs.
  static std::string lastRoot, lastResolved;
  static RealPaths realPaths;
  if (sourceRoot != lastRoot) {
    lastResolved = resolvedPath(lastRoot = sourceRoot);
    realPaths = RealPaths();
  }
  std::string target = realPaths.ofRegularFile(imagePath);
  const std::string& root = lastResolved;
  if (target.empty() || root.empty()) return "";
  return isAtOrBelow(target, root) || root == "/" ? target : "";
}

// The cover becomes reachable through the web server as a symbolic link named
// by the MD5 of the image's path; the link is made directly, never by a shell.
void CoverFinder::publishCover(const std::string& imagePath, const std::string& sourceRoot) {
  std::string target = publishableTarget(imagePath, sourceRoot);
  if (target.empty()) return;
  static const std::string coversDir = rooted(paths::kCoversDir);
  static bool coversDirReady = false;  // once there, it stays for the process
  if (!coversDirReady) coversDirReady = canOpenDirectory(coversDir) || makeDirectory(coversDir, 0775);
  if (!coversDirReady) return;
  size_t dot = imagePath.rfind('.');
  if (dot == std::string::npos) return;
  unsigned char digest[16];
  md5Digest(imagePath.data(), imagePath.size(), digest);
  std::string linkPath;
  linkPath.reserve(coversDir.size() + 1 + 2 * sizeof digest + imagePath.size() - dot);
  linkPath += coversDir;
  linkPath += '/';
  size_t linkName = linkPath.size();
  appendHexUpper(linkPath, digest, sizeof digest);
  linkPath.append(imagePath, dot, std::string::npos);
  if (access(linkPath.c_str(), R_OK) != 0) symlink(target.c_str(), linkPath.c_str());
  m_cover.reserve(8 + linkPath.size() - linkName);
  m_cover.assign("/covers/").append(linkPath, linkName, std::string::npos);
}
