#include "playback/cuesheet.h"

#include <libcue.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "core/log.h"
#include "core/sysio.h"

namespace {

constexpr size_t kMaxCueSize = 32768;
constexpr long kFramesPerSecond = 75;

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

bool isAscii(const char* text, size_t length) {
  for (size_t i = 0; i < length; ++i)
    if (static_cast<unsigned char>(text[i]) >= 0x80) return false;
  return true;
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

void CueSheetNames::consider(const char* entryName) {
  size_t length = strlen(entryName);
  if (length < 4 || strncasecmp(entryName + length - 4, ".cue", 4) != 0) return;
  m_stems.emplace_back(entryName, length - 4);
  m_beyondAscii = m_beyondAscii || !isAscii(entryName, length);
}

// The candidates are those of findCueSheet: the name without its extension,
// or the whole name, followed by ".cue".
bool CueSheetNames::mayBelongTo(const std::string& mediaName) const {
  if (m_stems.empty()) return false;
  if (m_beyondAscii || !isAscii(mediaName.data(), mediaName.size())) return true;
  size_t dot = mediaName.rfind('.');
  if (dot == std::string::npos || dot + 1 == mediaName.size()) return false;
  for (const std::string& stem : m_stems)
    if ((stem.size() == dot || stem.size() == mediaName.size()) &&
        strncasecmp(stem.data(), mediaName.data(), stem.size()) == 0)
      return true;
  return false;
}

bool readCueSheet(const std::string& sheet, int firstRow, std::vector<PlaylistSubitem>& tracks) {
  std::string text;
  bool accepted = readFile(sheet, text, kMaxCueSize + 1) && !text.empty() && text.size() <= kMaxCueSize;
  if (accepted) {
    if (text.back() != '\n') text += '\n';
    try {
      accepted = parseCueSheet(text, firstRow, tracks);
    } catch (const std::exception&) {
      accepted = false;
    }
  }
  if (!accepted) logError("Invalid cue file: %s", sheet.c_str());
  return accepted;
}
