#include "playback/playlist.h"

#include <fcntl.h>
#include <libcue.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sstream>

#include "browse/covers.h"
#include "browse/entryorder.h"
#include "browse/filetypes.h"
#include "core/jsonfile.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/result.h"
#include "core/sysio.h"
#include "core/utils.h"

namespace {

constexpr size_t kMaxCueSize = 32768;
constexpr long kFramesPerSecond = 75;
// A playlist line longer than any path is cut; the rest of it is skipped.
constexpr size_t kMaxLineLength = 4096;

// ---- cue sheets ----

int framesToSeconds(long frames) {
  long seconds = frames / kFramesPerSecond;  // minutes * 60 + seconds, frames dropped
  return static_cast<int>(std::clamp<long>(seconds, INT_MIN, INT_MAX));
}

// libcue hands out the sheet as a plain pointer; this frees it on every road.
struct CueSheet {
  explicit CueSheet(const std::string& text) : cd(cue_parse_string(text.c_str())) {}
  ~CueSheet() {
    if (cd) cd_delete(cd);
  }
  CueSheet(const CueSheet&) = delete;
  CueSheet& operator=(const CueSheet&) = delete;
  Cd* cd;
};

// The sheet next to a media file: base name with ".cue", then the whole
// name with ".cue", then the same in capitals. Empty when there is none.
std::string findCueSheet(const std::string& mediaPath) {
  size_t dot = mediaPath.rfind('.');
  if (dot == std::string::npos || dot + 1 == mediaPath.size()) return std::string();
  std::string candidate;
  candidate.reserve(mediaPath.size() + 4);
  for (const char* extension : {".cue", ".CUE"}) {
    for (size_t end : {dot, mediaPath.size()}) {
      candidate.assign(mediaPath, 0, end).append(extension);
      if (access(candidate.c_str(), R_OK) == 0) return candidate;
    }
  }
  return std::string();
}

// Adds the sheet's tracks to the item; AppException when the sheet cannot be used.
void readCueSheet(const std::string& sheet, PlaylistItem& item) {
  std::string text;
  if (!readFile(sheet, text, kMaxCueSize + 1) || text.empty() || text.size() > kMaxCueSize)
    throw AppException("Invalid cue: " + sheet);
  if (text.back() != '\n') text += '\n';
  bool accepted;
  try {
    accepted = parseCueSheet(text, item.index, item.subitems);
  } catch (const std::exception&) {
    accepted = false;
  }
  if (!accepted) {
    logError("Invalid cue file: %s", sheet.c_str());
    throw AppException("Invalid cue: " + sheet);
  }
}

// ---- playlist files ----

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

bool parseCueSheet(const std::string& text, int firstRow, std::vector<PlaylistSubitem>& tracks) {
  CueSheet sheet(text);
  if (!sheet.cd) return true;
  std::vector<PlaylistSubitem> found;
  int row = firstRow;
  int count = cd_get_ntrack(sheet.cd);
  for (int i = 1; i <= count; ++i) {
    Track* track = cd_get_track(sheet.cd, i);
    Cdtext* cdtext = track ? track_get_cdtext(track) : nullptr;
    if (!cdtext) continue;
    const char* title = cdtext_get(PTI_TITLE, cdtext);
    if (!title) return false;
    PlaylistSubitem sub;
    sub.index = ++row;
    sub.title = title;
    sub.start = framesToSeconds(track_get_start(track));
    sub.length = framesToSeconds(track_get_length(track));
    if (sub.length == 0 && i == count) sub.length = PlaylistSubitem::kOpenLength;
    found.push_back(sub);
  }
  tracks.insert(tracks.end(), found.begin(), found.end());
  return true;
}

int PlaylistItem::currentRow(int position) const {
  if (subitems.empty()) return index;
  for (const PlaylistSubitem& sub : subitems)
    if (sub.contains(position)) return sub.index;
  return 0;
}

void PlaylistItem::setPlaying(bool playing, int position) {
  if (subitems.empty()) {
    play = playing;
    return;
  }
  for (PlaylistSubitem& sub : subitems) sub.play = playing && sub.contains(position);
}

Playlist::Playlist(const std::string& path, bool rebuild)
    : m_path(path), m_items(std::make_shared<std::list<PlaylistItem>>()) {
  if (!rebuild && load()) return;
  build();
  save();
}

int Playlist::rows() const {
  int rows = 0;
  for (const PlaylistItem& item : *m_items) rows += item.rows();
  return rows;
}

const PlaylistItem* Playlist::itemByDirIndex(int dirIndex) const {
  for (const PlaylistItem& item : *m_items)
    if (item.dirIndex == dirIndex) return &item;
  return nullptr;
}

const PlaylistItem* Playlist::itemByPath(const std::string& path) const {
  for (const PlaylistItem& item : *m_items)
    if (item.path == path) return &item;
  return nullptr;
}

void Playlist::markPlaying(const std::string& path, int position) {
  bool found = false;
  for (PlaylistItem& item : *m_items) {
    bool playing = !found && item.path == path;
    found = found || playing;
    item.setPlaying(playing, position);
  }
}

void Playlist::toJson(Json::Value& into) const {
  if (!into.isObject()) into = Json::Value(Json::objectValue);
  std::string titles;
  Json::Value items(Json::arrayValue);
  for (const PlaylistItem& item : *m_items) {
    titles += item.title;
    Json::Value entry(Json::objectValue);
    entry["index"] = item.index;
    entry["title"] = item.title;
    entry["play"] = item.play;
    if (!item.subitems.empty()) {
      Json::Value& tracks = entry["subitems"] = Json::Value(Json::arrayValue);
      for (const PlaylistSubitem& sub : item.subitems) {
        Json::Value track(Json::objectValue);
        track["index"] = sub.index;
        track["title"] = sub.title;
        track["play"] = sub.play;
        tracks.append(track);
      }
    }
    items.append(entry);
  }
  into["desc"] = Json::Value(Json::objectValue);
  into["desc"]["hash"] = sha1Hex(titles);
  into["items"] = items;
}

// ---- building ----

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
  if (!list.ok()) throw AppException("dir error (" + std::to_string(errno) + "): " + folder);
  m_openFolders.push_back(id);
  std::vector<std::string> playlists, files;
  std::vector<std::pair<std::string, FolderId>> subfolders;
  for (size_t i = 0; i < list.count(); ++i) {
    const char* name = list.name(i);
    std::string entry = folder + name;
    struct stat64 st;
    if (stat64(entry.c_str(), &st) != 0) throw AppException("stat64 error 1-" + std::to_string(errno));
    if (S_ISDIR(st.st_mode)) {
      FolderId sub(st.st_dev, st.st_ino);
      // A link back to a folder being scanned would never end.
      if (std::find(m_openFolders.begin(), m_openFolders.end(), sub) != m_openFolders.end()) continue;
      if (CoverFinder(entry, false).isDiscFolder())
        ++m_count;
      else
        subfolders.emplace_back(entry + "/", sub);
    } else if (S_ISREG(st.st_mode)) {
      (isPlaylistFile(name) ? playlists : files).push_back(name);
    }
  }
  for (const std::string& name : playlists) readPlaylistFile(folder + name);
  for (const auto& [sub, subId] : subfolders) scanFolder(sub, subId);
  for (const std::string& name : files) addFile(name, folder + name);
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

void Playlist::addFile(const std::string& title, const std::string& path) {
  if (isMediaFile(path.c_str())) {
    PlaylistItem item;
    item.index = m_total;
    item.dirIndex = m_count;
    item.title = title;
    item.path = path;
    std::string sheet = findCueSheet(path);
    if (!sheet.empty()) readCueSheet(sheet, item);
    m_items->push_back(std::move(item));
    m_total += m_items->back().rows();
    ++m_count;
  } else if (isImageFile(path.c_str()) || isDatFile(path.c_str())) {
    ++m_count;  // pictures and data files are numbered but get no row
  }
}

// ---- registry ----

std::map<std::string, Playlist>& PlaylistRegistry::playlists() {
  static std::map<std::string, Playlist> map;
  return map;
}

Playlist& PlaylistRegistry::get(const std::string& path) {
  auto found = playlists().find(path);
  if (found == playlists().end()) found = playlists().emplace(path, Playlist(path, false)).first;
  return found->second;
}

Playlist& PlaylistRegistry::rebuild(const std::string& path) {
  Playlist fresh(path, true);
  auto found = playlists().find(path);
  if (found == playlists().end()) return playlists().emplace(path, fresh).first->second;
  found->second = fresh;
  return found->second;
}
