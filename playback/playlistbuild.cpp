// Building a playlist from a folder, scanned below as the player numbers its
// files, or from a playlist file. What cannot be used is left out and the
// rest plays: an entry that cannot be read, a cue sheet that cannot be used,
// what really lies outside the source, rows beyond the bound.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <set>

#include "browse/covers.h"
#include "browse/entryorder.h"
#include "browse/filesource.h"
#include "browse/filetypes.h"
#include "core/log.h"
#include "core/result.h"
#include "core/sysio.h"
#include "playback/cuesheet.h"
#include "playback/playlist.h"

namespace {

// A playlist line longer than any path is cut; the rest of it is skipped.
constexpr size_t kMaxLineLength = 4096;

// Calls the handler with each line, without its "\n" (a "\r" stays), of the
// first limit bytes of the file, while the handler answers true. False when
// the file holds more than limit bytes (the line cut there is left out).
template <typename Handler>
bool forEachLine(const std::string& path, size_t limit, Handler handler) {
  int fd = openRegularFile(path);
  if (fd < 0) return true;
  std::string line;
  bool cut = false;
  bool more = true;
  char buffer[16384];
  size_t left = limit;
  ssize_t n;
  while (more && left > 0 && (n = readFully(fd, buffer, std::min(sizeof buffer, left))) > 0) {
    left -= static_cast<size_t>(n);
    for (ssize_t i = 0; i < n && more; ++i) {
      if (buffer[i] == '\n') {
        more = handler(line);
        line.clear();
        cut = false;
      } else if (!cut) {
        line += buffer[i];
        cut = line.size() >= kMaxLineLength;
      }
    }
  }
  char next;
  bool whole = left > 0 || readFully(fd, &next, 1) == 0;
  closeFile(fd);
  if (more && whole && !line.empty()) handler(line);
  return whole;
}

enum class Place { kMissing, kInside, kOutside };

// Where paths really lie against the source's root: a playlist file's "../"
// entries, or a link, can lead to another source or to any file of the box.
// The last component of a playlist line is no file name.
bool namesFolder(const std::string& line) {
  size_t slash = line.rfind('/');
  std::string_view name = std::string_view(line).substr(slash == std::string::npos ? 0 : slash + 1);
  return name.empty() || name == "." || name == "..";
}

class SourceBounds {
 public:
  explicit SourceBounds(const std::string& sourceRoot) : m_root(resolvedPath(sourceRoot)) {}

  // An existing path inside the source is where its folder is, unless it is
  // itself a link: only the folder's real path is needed, once per folder.
  Place of(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos || namesFolder(path)) return placeOfReal(path);
    std::string_view folder = std::string_view(path).substr(0, slash);
    if (folder != m_folder) {
      m_folder.assign(folder);
      m_folderReal = resolvedPath(m_folder.empty() ? "/" : m_folder);
    }
    struct stat64 status;
    if (m_folderReal.empty() || lstat64(path.c_str(), &status) != 0) return Place::kMissing;
    if (S_ISLNK(status.st_mode)) return placeOfReal(path);
    return holds(m_folderReal) ? Place::kInside : Place::kOutside;
  }

  // An entry of a folder inside the source is inside unless it is a link
  // that leads out.
  bool holdsEntry(const std::string& path) {
    struct stat64 status;
    if (lstat64(path.c_str(), &status) != 0) return false;
    return !S_ISLNK(status.st_mode) || placeOfReal(path) == Place::kInside;
  }

 private:
  bool holds(const std::string& real) const { return !m_root.empty() && (m_root == "/" || isAtOrBelow(real, m_root)); }
  Place placeOfReal(const std::string& path) const {
    std::string real = resolvedPath(path);
    if (real.empty()) return Place::kMissing;
    return holds(real) ? Place::kInside : Place::kOutside;
  }

  std::string m_root;
  std::string m_folder, m_folderReal;  // the last folder asked for
};

}  // namespace

struct Playlist::Build {
  explicit Build(const std::string& sourceRoot) : bounds(sourceRoot) {}

  int rows = 0;                // next panel row
  int count = 0;               // next dir index
  bool full = false;           // a file did not fit in kMaxRows any more
  std::set<FolderId> folders;  // every real folder met, scanned once
  SourceBounds bounds;
  int unreadable = 0;  // entries, subfolders
  std::string firstUnreadable;
  int unreadableError = 0;
  int outside = 0;
  int cutFiles = 0;  // playlist files longer than the bound

  void noteUnreadable(const std::string& path, int error) {
    if (unreadable++ == 0) {
      firstUnreadable = path;
      unreadableError = error;
    }
  }

  // One line for each kind of thing left out. Paths outside the source are
  // not named: the log is answered to any client.
  void log(const std::string& path) const {
    if (unreadable)
      logError("playlist of %s: %d entries could not be read and are left out, the first %s: %s", path.c_str(),
               unreadable, firstUnreadable.c_str(), errnoText(unreadableError).c_str());
    if (outside) logError("playlist of %s: %d entries outside its source are left out", path.c_str(), outside);
    if (cutFiles)
      logError("playlist of %s: %d playlist files read only up to %zu bytes", path.c_str(), cutFiles,
               kMaxPlaylistFileBytes);
    if (full) logError("playlist of %s: cut at %d rows", path.c_str(), kMaxRows);
  }
};

void Playlist::build() {
  std::list<PlaylistItem> previous;
  previous.swap(*m_items);
  Build build(m_sourceRoot);
  try {
    struct stat64 st;
    if (stat64(m_path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      std::string folder = m_path;
      if (folder.empty() || folder.back() != '/') folder += '/';
      SortedFolder list(folder);
      if (!list.ok()) throw AppException(list.readError());
      build.folders.insert(FolderId(st.st_dev, st.st_ino));
      scanFolder(build, folder, list);
    } else {
      readPlaylistFile(build, m_path);
    }
  } catch (...) {
    m_items->swap(previous);
    throw;
  }
  build.log(m_path);
}

// Playlist files first, then everything below the subfolders, then the
// folder's own files. Disc folders take their number when the folder is read.
void Playlist::scanFolder(Build& build, const std::string& folder, const SortedFolder& list) {
  std::vector<std::string> playlists, files;
  std::vector<std::pair<std::string, FolderId>> subfolders;
  CueSheetNames sheets;
  std::string path = folder;
  for (size_t i = 0; i < list.count(); ++i) {
    const char* name = list.name(i);
    path.replace(folder.size(), std::string::npos, name);
    struct stat64 st;
    if (stat64(path.c_str(), &st) != 0) {
      build.noteUnreadable(path, errno);
      continue;
    }
    sheets.consider(name);
    if (S_ISDIR(st.st_mode)) {
      FolderId id(st.st_dev, st.st_ino);
      // A folder met before (an ancestor, or one reached by another road)
      // would be numbered again, or never end.
      if (build.folders.count(id)) continue;
      if (!build.bounds.holdsEntry(path)) {
        ++build.outside;
      } else if (CoverFinder(path, false).isDiscFolder()) {
        build.folders.insert(id);
        ++build.count;
      } else {
        subfolders.emplace_back(path + "/", id);
      }
    } else if (S_ISREG(st.st_mode)) {
      (isPlaylistFile(name) ? playlists : files).push_back(path);  // the path, made once
    }
  }
  for (const std::string& file : playlists) {
    if (build.full) return;
    readPlaylistFile(build, file);
  }
  for (const auto& [sub, id] : subfolders) {
    if (build.full) return;
    if (!build.folders.insert(id).second) continue;
    SortedFolder subList(sub);
    if (subList.ok())
      scanFolder(build, sub, subList);
    else
      build.noteUnreadable(sub, errno);
  }
  for (std::string& file : files) {
    if (build.full) return;
    std::string name = file.substr(folder.size());
    bool sheetPossible = sheets.mayBelongTo(name);
    addFile(build, std::move(name), std::move(file), sheetPossible);
  }
}

// Lines naming an existing file relative to the list's folder are added; a
// "#" line holds the title for the next such file (the text after its ",").
void Playlist::readPlaylistFile(Build& build, const std::string& file) {
  size_t slash = file.rfind('/');
  if (slash == std::string::npos) throw AppException("invalid playlist path");
  std::string base = file.substr(0, slash + 1);
  std::string pending;
  bool whole = forEachLine(file, kMaxPlaylistFileBytes, [&](const std::string& line) {
    if (!line.empty() && line[0] == '#') {
      size_t comma = line.find(',');
      pending = comma == std::string::npos ? std::string() : line.substr(comma + 1);
      return true;
    }
    std::string entry = base + line;
    // A line naming a folder ("", ".", "..", or ending in "/") adds nothing:
    // an existing one only takes the pending title. It is not resolved, as a
    // file of blank lines would otherwise resolve the folder for each.
    if (namesFolder(line)) {
      if (access(entry.c_str(), F_OK) == 0) pending.clear();
      return true;
    }
    Place place = build.bounds.of(entry);
    if (place == Place::kMissing) return true;
    if (place == Place::kInside) {
      addFile(build, pending.empty() ? line : pending, entry);
    } else {
      ++build.outside;
      keepNumbering(build, entry);
    }
    pending.clear();
    return !build.full;
  });
  if (!whole) ++build.cutFiles;
}

void Playlist::addFile(Build& build, std::string title, std::string path, bool sheetPossible) {
  if (isMediaFile(path.c_str())) {
    m_items->emplace_back();
    PlaylistItem& item = m_items->back();
    item.index = build.rows;
    item.dirIndex = build.count;
    item.title = std::move(title);
    item.path = std::move(path);
    std::string sheet = sheetPossible ? findCueSheet(item.path) : std::string();
    if (!sheet.empty()) {
      // The sheet lies beside the file, in a folder inside the source.
      if (build.bounds.holdsEntry(sheet))
        readCueSheet(sheet, item.index, item.subitems);  // a sheet that cannot be used adds no tracks
      else
        ++build.outside;
    }
    if (build.rows + item.rows() > kMaxRows) {
      m_items->pop_back();
      build.full = true;
      return;
    }
    build.rows += item.rows();
    ++build.count;
  } else if (isImageFile(path.c_str()) || isDatFile(path.c_str())) {
    ++build.count;  // pictures and data files are numbered but get no row
  }
}

// An entry left out still has its row and number in the player's list: the
// rows and numbers after it stay the player's.
void Playlist::keepNumbering(Build& build, const std::string& path) {
  if (isMediaFile(path.c_str())) {
    if (build.rows + 1 > kMaxRows) {
      build.full = true;
      return;
    }
    ++build.rows;
    ++build.count;
  } else if (isImageFile(path.c_str()) || isDatFile(path.c_str())) {
    ++build.count;
  }
}
