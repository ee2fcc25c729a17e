// Building a playlist from a folder, scanned below as the player numbers its
// files, or from a playlist file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "browse/covers.h"
#include "browse/entryorder.h"
#include "browse/filetypes.h"
#include "core/result.h"
#include "core/sysio.h"
#include "playback/cuesheet.h"
#include "playback/playlist.h"

namespace {

// A playlist line longer than any path is cut; the rest of it is skipped.
constexpr size_t kMaxLineLength = 4096;

// Calls the handler with each line, without its "\n" (a "\r" stays).
template <typename Handler>
void forEachLine(const std::string& path, Handler handler) {
  int fd = openFile(path, O_RDONLY);
  if (fd < 0) return;
  std::string line;
  bool cut = false;
  char buffer[16384];
  ssize_t n;
  while ((n = readFully(fd, buffer, sizeof buffer)) > 0) {
    for (ssize_t i = 0; i < n; ++i) {
      if (buffer[i] == '\n') {
        handler(line);
        line.clear();
        cut = false;
      } else if (!cut) {
        line += buffer[i];
        cut = line.size() >= kMaxLineLength;
      }
    }
  }
  closeFile(fd);
  if (!line.empty()) handler(line);
}

}  // namespace

void Playlist::build() {
  std::list<PlaylistItem> previous;
  previous.swap(*m_items);
  m_total = 0;
  m_count = 0;
  m_openFolders.clear();
  try {
    struct stat64 st;
    if (stat64(m_path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      std::string folder = m_path;
      if (folder.empty() || folder.back() != '/') folder += '/';
      scanFolder(folder, FolderId(st.st_dev, st.st_ino));
    } else {
      readPlaylistFile(m_path);
    }
  } catch (...) {
    m_items->swap(previous);
    throw;
  }
}

// Playlist files first, then everything below the subfolders, then the
// folder's own files. Disc folders take their number when the folder is read.
void Playlist::scanFolder(const std::string& folder, const FolderId& id) {
  SortedFolder list(folder);
  if (!list.ok()) throw AppException(list.readError());
  m_openFolders.push_back(id);
  std::vector<std::string> playlists, files;
  std::vector<std::pair<std::string, FolderId>> subfolders;
  CueSheetNames sheets;
  list.forEachEntry("stat64 error 1-", [&](const char* name, const std::string& entry, const struct stat64& st) {
    sheets.consider(name);
    if (S_ISDIR(st.st_mode)) {
      FolderId sub(st.st_dev, st.st_ino);
      // A link back to a folder being scanned would never end.
      if (std::find(m_openFolders.begin(), m_openFolders.end(), sub) != m_openFolders.end()) return;
      if (CoverFinder(entry, false).isDiscFolder())
        ++m_count;
      else
        subfolders.emplace_back(entry + "/", sub);
    } else if (S_ISREG(st.st_mode)) {
      (isPlaylistFile(name) ? playlists : files).push_back(entry);  // the path, made once
    }
  });
  for (const std::string& path : playlists) readPlaylistFile(path);
  for (const auto& [sub, subId] : subfolders) scanFolder(sub, subId);
  for (std::string& path : files) {
    std::string name = path.substr(folder.size());
    bool sheetPossible = sheets.mayBelongTo(name);
    addFile(std::move(name), std::move(path), sheetPossible);
  }
  m_openFolders.pop_back();
}

// Lines naming an existing file relative to the list's folder are added; a
// "#" line holds the title for the next such file (the text after its ",").
void Playlist::readPlaylistFile(const std::string& file) {
  size_t slash = file.rfind('/');
  if (slash == std::string::npos) throw AppException("invalid playlist path");
  std::string base = file.substr(0, slash + 1);
  std::string pending;
  forEachLine(file, [&](const std::string& line) {
    if (!line.empty() && line[0] == '#') {
      size_t comma = line.find(',');
      pending = comma == std::string::npos ? std::string() : line.substr(comma + 1);
      return;
    }
    std::string entry = base + line;
    if (access(entry.c_str(), F_OK) != 0) return;
    addFile(pending.empty() ? line : pending, entry);
    pending.clear();
  });
}

void Playlist::addFile(std::string title, std::string path, bool sheetPossible) {
  if (isMediaFile(path.c_str())) {
    m_items->emplace_back();
    PlaylistItem& item = m_items->back();
    item.index = m_total;
    item.dirIndex = m_count;
    item.title = std::move(title);
    item.path = std::move(path);
    std::string sheet = sheetPossible ? findCueSheet(item.path) : std::string();
    // A sheet that cannot be read ends the build, which then keeps the old items.
    if (!sheet.empty()) readCueSheet(sheet, item.index, item.subitems);
    m_total += item.rows();
    ++m_count;
  } else if (isImageFile(path.c_str()) || isDatFile(path.c_str())) {
    ++m_count;  // pictures and data files are numbered but get no row
  }
}
