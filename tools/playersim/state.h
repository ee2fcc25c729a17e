// The simulated player's state as it is kept between runs: one key=value
// line per field.
#pragma once

#include <cstdint>
#include <string>

extern const char kStandby[];
extern const char kLoading[];
extern const char kIdle[];
extern const char kPlaying[];

struct PlayerState {
  std::string playerState = kIdle;
  int64_t readyAt = 0;  // ms; when "loading" turns into the idle state
  int bootSeconds = 2;
  std::string clock = "running";  // or "frozen": the position stands still
  int answerDelayMs = 0;          // a busy player answers every request this late
  int volume = 50;

  std::string url;   // media URL of the playing item
  std::string path;  // its real path
  int position = 0;
  int duration = 0;
  int videoWidth = 0;
  int64_t stamp = 0;  // ms; the moment `position` was true

  std::string listKind = "none";  // none, folder, playlist, single
  std::string listUrl;            // what was started
  std::string listPath;           // its real path
  int itemRow = -1;               // row of the playing file in the list
  int rows = 0;

  std::string panel = "closed";  // closed, menu, open
  int cursor = 0;
  int top = 0;
  int bottom = 0;
  int shuffle = 0;

  std::string jump = "closed";  // the time-jump dialog: closed, open
  int jumpTarget = 0;
};

std::string formatState(const PlayerState& s);
// Lines with unknown keys or bad numbers are ignored.
PlayerState parseState(const std::string& text);
// Sets one field from text; false for an unknown key or a bad number.
bool setStateField(PlayerState& s, const std::string& key, const std::string& value);
bool parseInt(const std::string& text, long long& out);
