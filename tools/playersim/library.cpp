#include "library.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "sandbox.h"
#include "state.h"

namespace {

const int kAudioSeconds = 240;
const int kVideoSeconds = 5400;
const int kVideoWidth = 1920;

struct KindTable {
  FileKind kind;
  const char* exts[20];
};

const KindTable kKinds[] = {
    {FileKind::Audio, {"MP3", "MPA", "M4A", "WMA", "FLAC", "APE", "OGG", "WAV", "DTS", "AC3", "AAC", "WV", "MKA"}},
    {FileKind::Video, {"MKV", "M4V", "M2TS", "VOB", "AVI", "MOV", "MP4", "QT", "ASF", "WMV", "TS", "MPG", "DIVX"}},
    {FileKind::Playlist, {"M3U", "PLS"}},
    {FileKind::DiscImage, {"ISO"}},
    {FileKind::Picture,
     {"BMP", "EPS", "GIF", "ICB", "JP2", "JPG", "JPEG", "PBM", "PCX", "PGM", "PIC", "PNG", "PPM", "RGB", "TIF", "TIFF",
      "XBM", "XPM", "SVG"}},
    {FileKind::Data, {"DAT"}},
};

bool isSpecialByte(unsigned c) { return (c >= 32 && c <= 64) || (c >= 91 && c <= 96) || (c >= 123 && c <= 126); }

unsigned twoByteCode(const std::string& s, size_t at) {
  unsigned first = static_cast<unsigned char>(s[at]);
  unsigned second = at + 1 < s.size() ? static_cast<unsigned char>(s[at + 1]) : 0;
  unsigned code = ((first & 0x1F) << 6) | (second & 0x3F);
  if (code >= 0x410 && code <= 0x42F) code += 0x20;
  return code;
}

bool isMedia(FileKind k) { return k == FileKind::Audio || k == FileKind::Video; }

std::string folderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

bool isReadable(const std::string& path) { return access(path.c_str(), R_OK) == 0; }

// "mm:ss:ff" as whole seconds; frames are dropped.
bool parseCueTime(const std::string& text, int& seconds) {
  int m = 0, s = 0, f = 0;
  if (sscanf(text.c_str(), "%d:%d:%d", &m, &s, &f) != 3) return false;
  seconds = m * 60 + s;
  return true;
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

// One track per TRACK line of the sheet, starting at its INDEX 01.
std::vector<int> readCueStarts(const std::string& sheet) {
  std::string text;
  std::vector<int> starts;
  if (!readFile(sheet, text)) return starts;
  for (std::string line : splitLines(text)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    char word[16] = {0}, num[16] = {0}, time[32] = {0};
    int n = sscanf(line.c_str(), " %15s %15s %31s", word, num, time);
    if (n >= 2 && strcasecmp(word, "TRACK") == 0)
      starts.push_back(0);
    else if (n == 3 && strcasecmp(word, "INDEX") == 0 && atoi(num) == 1 && !starts.empty())
      parseCueTime(time, starts.back());
  }
  return starts;
}

std::string cueSheetFor(const std::string& path) {
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot + 1 == path.size()) return "";
  const std::string base = path.substr(0, dot);
  for (const std::string& c : {base + ".cue", path + ".cue", base + ".CUE", path + ".CUE"})
    if (isReadable(c)) return c;
  return "";
}

class ListBuilder {
 public:
  MediaList list;

  void addFile(const std::string& path) {
    FileKind kind = kindOfName(path);
    if (isMedia(kind)) {
      ListItem item{list.rows, list.count, path, {}};
      std::string sheet = cueSheetFor(path);
      if (!sheet.empty())
        for (int start : readCueStarts(sheet)) item.tracks.push_back({item.row + item.rowCount(), start});
      list.rows += item.rowCount();
      list.count += 1;
      list.items.push_back(item);
    } else if (kind == FileKind::Picture || kind == FileKind::Data) {
      list.count += 1;
    }
  }

  // Lines are taken as they are (a "\r" stays) and relative to the
  // playlist's own folder.
  void readPlaylistFile(const std::string& file) {
    std::string text;
    std::string base = folderOf(file);
    if (base.empty() || !readFile(file, text)) return;
    for (const std::string& line : splitLines(text)) {
      if (!line.empty() && line[0] == '#') continue;
      std::string entry = base + line;
      if (access(entry.c_str(), F_OK) == 0) addFile(entry);
    }
  }

  void scanFolder(const std::string& dir) {
    std::vector<std::string> playlists, folders, files;
    for (const std::string& name : sortedNames(dir)) {
      std::string path = dir + "/" + name;
      struct stat st {};
      if (stat(path.c_str(), &st) != 0) continue;
      if (S_ISDIR(st.st_mode)) {
        if (isDiscFolder(path))
          list.count += 1;
        else
          folders.push_back(path);
      } else if (S_ISREG(st.st_mode)) {
        (kindOfName(name) == FileKind::Playlist ? playlists : files).push_back(path);
      }
    }
    for (const std::string& p : playlists) readPlaylistFile(p);
    for (const std::string& f : folders) scanFolder(f);
    for (const std::string& f : files) addFile(f);
  }

 private:
  static std::vector<std::string> sortedNames(const std::string& dir) {
    std::vector<std::string> names;
    DIR* d = opendir(dir.c_str());
    if (!d) return names;
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return compareNames(a, b) < 0; });
    return names;
  }
};

}  // namespace

void MediaMap::load(const std::string& confPath) {
  std::string text;
  if (!readFile(confPath, text)) return;
  for (const std::string& line : splitLines(text)) {
    size_t blank = line.find(' ');
    if (line.empty() || line[0] == '#' || blank == std::string::npos) continue;
    add(line.substr(0, blank), line.substr(blank + 1));
  }
}

void MediaMap::add(const std::string& prefix, const std::string& dir) {
  std::string d = dir;
  while (d.size() > 1 && d.back() == '/') d.pop_back();
  m_prefixes.emplace_back(prefix, d);
}

bool MediaMap::toReal(const std::string& url, std::string& real) const {
  size_t best = 0;
  bool found = false;
  for (const auto& [prefix, dir] : m_prefixes) {
    bool matches =
        url.compare(0, prefix.size(), prefix) == 0 && (url.size() == prefix.size() || url[prefix.size()] == '/');
    if (matches && (!found || prefix.size() > best)) {
      best = prefix.size();
      real = dir + url.substr(prefix.size());
      found = true;
    }
  }
  return found;
}

FileKind kindOfName(const std::string& name) {
  size_t dot = name.rfind('.');
  if (dot == std::string::npos) return FileKind::Other;
  const char* ext = name.c_str() + dot + 1;
  for (const KindTable& t : kKinds)
    for (const char* e : t.exts)
      if (e && strcasecmp(e, ext) == 0) return t.kind;
  return FileKind::Other;
}

bool isDiscFolder(const std::string& dir) {
  struct stat st {};
  return stat((dir + "/VIDEO_TS").c_str(), &st) == 0 || stat((dir + "/BDMV").c_str(), &st) == 0;
}

int compareNames(const std::string& a, const std::string& b) {
  size_t at = 0;
  for (;;) {
    bool endA = at >= a.size(), endB = at >= b.size();
    if (endA || endB) return endA && endB ? 0 : (endA ? -1 : 1);
    unsigned x = static_cast<unsigned char>(a[at]), y = static_cast<unsigned char>(b[at]);
    if ((x < 0x80) != (y < 0x80)) return x < 0x80 ? -1 : 1;
    if (x >= 0x80) {
      unsigned cx = twoByteCode(a, at), cy = twoByteCode(b, at);
      if (cx != cy) return cx < cy ? -1 : 1;
      at += 2;
      continue;
    }
    x = (x >= 'A' && x <= 'Z') ? x + 32 : x;
    y = (y >= 'A' && y <= 'Z') ? y + 32 : y;
    if (x != y) {
      if (isSpecialByte(x) != isSpecialByte(y)) return isSpecialByte(x) ? -1 : 1;
      return x < y ? -1 : 1;
    }
    ++at;
  }
}

int ListItem::rowAt(int position) const {
  int found = row;
  for (const Track& t : tracks)
    if (t.start <= position) found = t.row;
  return found;
}

const ListItem* MediaList::itemForRow(int r) const {
  for (const ListItem& item : items)
    if (r >= item.row && r < item.row + item.rowCount()) return &item;
  return nullptr;
}

const ListItem* MediaList::itemForNumber(int number) const {
  for (const ListItem& item : items)
    if (item.number >= number) return &item;
  return nullptr;
}

const ListItem* MediaList::itemAfter(int r) const {
  for (const ListItem& item : items)
    if (item.row > r) return &item;
  return nullptr;
}

MediaList buildFolderList(const std::string& dir) {
  ListBuilder b;
  b.scanFolder(dir);
  return b.list;
}

MediaList buildPlaylistFileList(const std::string& file) {
  ListBuilder b;
  b.readPlaylistFile(file);
  return b.list;
}

MediaList buildSingleList(const std::string& path) {
  MediaList list;
  list.items.push_back({0, 0, path, {}});
  list.rows = 1;
  list.count = 1;
  return list;
}

MediaInfo probeMedia(const std::string& path, bool isFolder) {
  FileKind kind = isFolder ? FileKind::Video : kindOfName(path);
  bool video = kind != FileKind::Audio;
  MediaInfo info{video ? kVideoSeconds : kAudioSeconds, video ? kVideoWidth : 0};
  FILE* f = isFolder ? nullptr : fopen(path.c_str(), "re");
  if (!f) return info;
  char line[64] = {0};
  bool read = fgets(line, sizeof line, f) != nullptr;
  fclose(f);
  const char key[] = "duration=";
  long long seconds = 0;
  if (read && strncmp(line, key, sizeof key - 1) == 0) {
    std::string value = line + sizeof key - 1;
    value.erase(std::min(value.find_first_of("\r\n"), value.size()));
    if (parseInt(value, seconds) && seconds >= 0 && seconds <= 1000000000) info.duration = static_cast<int>(seconds);
  }
  return info;
}
