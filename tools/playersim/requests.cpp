#include "requests.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <map>

namespace {

using Params = std::map<std::string, std::string>;

const char kHeader[] = "Status: 200 OK\r\nContent-Type: text/xml\r\n\r\n";

Params parseQuery(const std::string& query) {
  Params params;
  size_t at = 0;
  while (at <= query.size()) {
    size_t end = query.find('&', at);
    if (end == std::string::npos) end = query.size();
    std::string pair = query.substr(at, end - at);
    size_t eq = pair.find('=');
    if (!pair.empty())
      params.emplace(urlDecode(pair.substr(0, eq)), eq == std::string::npos ? "" : urlDecode(pair.substr(eq + 1)));
    at = end + 1;
  }
  return params;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string xmlEscape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string param(const std::string& name, const std::string& value) {
  return "<param name=\"" + name + "\" value=\"" + xmlEscape(value) + "\"/>\n";
}

std::string document(const std::string& params) {
  return std::string(kHeader) + "<?xml version=\"1.0\"?>\n<command_result>\n" + params + "</command_result>\n";
}

std::string result(const std::string& error) { return document(param("result", error.empty() ? "ok" : error)); }

// Like atoi: leading digits only, 0 when there are none.
int number(const Params& p, const char* name) {
  auto it = p.find(name);
  long long n = it == p.end() ? 0 : strtoll(it->second.c_str(), nullptr, 10);
  return static_cast<int>(std::max<long long>(INT_MIN, std::min<long long>(n, INT_MAX)));
}

std::string onStatus(Player& player, const PlayerState& s, const Params&) {
  bool playing = player.isPlaying();
  std::string out = param("protocol_version", "2");
  out += param("player_state", s.playerState);
  out += param("playback_speed", playing ? "256" : "0");
  out += param("playback_duration", std::to_string(s.duration));
  out += param("playback_position", std::to_string(s.position));
  out += param("playback_is_buffering", "0");
  out += param("playback_volume", std::to_string(s.volume));
  out += param("playback_mute", "0");
  out += param("playback_video_width", std::to_string(s.videoWidth));
  out += param("playback_video_height", s.videoWidth > 0 ? "1080" : "0");
  out += param("playback_url", s.url);
  out += param("playlist_shuffle", std::to_string(s.shuffle));
  return document(out);
}

std::string onKey(Player& player, const PlayerState&, const Params& p) {
  auto code = p.find("ir_code");
  if (code == p.end()) return result("ir_code missing");
  player.pressKey(code->second);
  return result("");
}

std::string startWith(Player& player, const Params& p, int startIndex) {
  auto url = p.find("media_url");
  if (url == p.end() || url->second.empty()) return result("media_url missing");
  std::string error;
  player.start(url->second, startIndex, error);
  return result(error);
}

std::string onStartPlaylist(Player& player, const PlayerState&, const Params& p) {
  return startWith(player, p, number(p, "start_index"));
}

std::string onLaunch(Player& player, const PlayerState&, const Params& p) { return startWith(player, p, 0); }

std::string onSetState(Player& player, const PlayerState&, const Params& p) {
  if (p.count("position")) player.setPosition(number(p, "position"));
  if (p.count("volume")) player.setVolume(number(p, "volume"));
  return result("");
}

const struct {
  const char* cmd;
  std::string (*handle)(Player&, const PlayerState&, const Params&);
} kCommands[] = {
    {"status", onStatus},
    {"ir_code", onKey},
    {"start_playlist_playback", onStartPlaylist},
    {"launch_media_url", onLaunch},
    {"set_playback_state", onSetState},
};

}  // namespace

std::string urlDecode(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string answerRequest(Player& player, const PlayerState& state, const std::string& query) {
  Params params = parseQuery(query);
  auto cmd = params.find("cmd");
  for (const auto& c : kCommands)
    if (cmd != params.end() && cmd->second == c.cmd) return c.handle(player, state, params);
  return result("unknown command");
}
