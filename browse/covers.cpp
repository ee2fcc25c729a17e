#include "browse/covers.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "browse/filesource.h"
#include "browse/filetypes.h"
#include "core/config.h"
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
  std::string target = resolvedPath(imagePath);
  // A listing publishes the covers of many folders of one source.
  static std::string lastRoot, lastResolved;
  if (sourceRoot != lastRoot) lastResolved = resolvedPath(lastRoot = sourceRoot);
  const std::string& root = lastResolved;
  if (target.empty() || root.empty() || !isRegularFile(target)) return "";
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
  std::string linkName = md5Hex(imagePath) + imagePath.substr(dot);
  std::string linkPath = coversDir + "/" + linkName;
  if (access(linkPath.c_str(), R_OK) != 0) symlink(target.c_str(), linkPath.c_str());
  m_cover = "/covers/" + linkName;
}
