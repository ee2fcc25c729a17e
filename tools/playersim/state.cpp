#include "state.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

const char kStandby[] = "standby";
const char kLoading[] = "loading";
const char kIdle[] = "navigator";
const char kPlaying[] = "file_playback";

namespace {

struct Field {
  const char* key;
  std::string PlayerState::*text;
  int PlayerState::*number;
  int64_t PlayerState::*wide;
};

const Field kFields[] = {
    {"player_state", &PlayerState::playerState, nullptr, nullptr},
    {"ready_at", nullptr, nullptr, &PlayerState::readyAt},
    {"boot_seconds", nullptr, &PlayerState::bootSeconds, nullptr},
    {"clock", &PlayerState::clock, nullptr, nullptr},
    {"answer_delay_ms", nullptr, &PlayerState::answerDelayMs, nullptr},
    {"volume", nullptr, &PlayerState::volume, nullptr},
    {"url", &PlayerState::url, nullptr, nullptr},
    {"path", &PlayerState::path, nullptr, nullptr},
    {"position", nullptr, &PlayerState::position, nullptr},
    {"duration", nullptr, &PlayerState::duration, nullptr},
    {"video_width", nullptr, &PlayerState::videoWidth, nullptr},
    {"stamp", nullptr, nullptr, &PlayerState::stamp},
    {"list_kind", &PlayerState::listKind, nullptr, nullptr},
    {"list_url", &PlayerState::listUrl, nullptr, nullptr},
    {"list_path", &PlayerState::listPath, nullptr, nullptr},
    {"item_row", nullptr, &PlayerState::itemRow, nullptr},
    {"rows", nullptr, &PlayerState::rows, nullptr},
    {"panel", &PlayerState::panel, nullptr, nullptr},
    {"cursor", nullptr, &PlayerState::cursor, nullptr},
    {"top", nullptr, &PlayerState::top, nullptr},
    {"bottom", nullptr, &PlayerState::bottom, nullptr},
    {"shuffle", nullptr, &PlayerState::shuffle, nullptr},
    {"jump", &PlayerState::jump, nullptr, nullptr},
    {"jump_target", nullptr, &PlayerState::jumpTarget, nullptr},
};

const Field* findField(const std::string& key) {
  for (const Field& f : kFields)
    if (key == f.key) return &f;
  return nullptr;
}

}  // namespace

bool parseInt(const std::string& text, long long& out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  out = strtoll(text.c_str(), &end, 10);
  return errno == 0 && *end == '\0';
}

bool setStateField(PlayerState& s, const std::string& key, const std::string& value) {
  const Field* f = findField(key);
  if (!f) return false;
  if (f->text) {
    if (value.find('\n') != std::string::npos) return false;
    s.*(f->text) = value;
    return true;
  }
  long long n = 0;
  if (!parseInt(value, n)) return false;
  if (f->wide) {
    s.*(f->wide) = n;
    return true;
  }
  if (n < INT_MIN || n > INT_MAX) return false;
  s.*(f->number) = static_cast<int>(n);
  return true;
}

std::string formatState(const PlayerState& s) {
  std::string out;
  for (const Field& f : kFields) {
    out += f.key;
    out += '=';
    if (f.text)
      out += s.*(f.text);
    else if (f.wide)
      out += std::to_string(s.*(f.wide));
    else
      out += std::to_string(s.*(f.number));
    out += '\n';
  }
  return out;
}

PlayerState parseState(const std::string& text) {
  PlayerState s;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    size_t eq = line.find('=');
    if (eq != std::string::npos) setStateField(s, line.substr(0, eq), line.substr(eq + 1));
    at = end + 1;
  }
  return s;
}
