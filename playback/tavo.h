// The client of the player's control program: status queries, starting
// playback, and remote-control keys where the program has no request of its own.
#pragma once

#include <string>
#include <vector>

#include "core/result.h"

// Every failure of the player client.
class TavoException : public AppException {
 public:
  explicit TavoException(const std::string& message) : AppException(message) {}
};

// Remote-control key codes, sent as they stand.
inline constexpr const char* IR_POWER = "BC43BF00";
inline constexpr const char* IR_PAGE_UP = "B44BBF00";
inline constexpr const char* IR_PAGE_DOWN = "B34CBF00";
inline constexpr const char* IR_UP = "EA15BF00";
inline constexpr const char* IR_DOWN = "E916BF00";
inline constexpr const char* IR_RIGHT = "E718BF00";
inline constexpr const char* IR_LEFT = "E817BF00";
inline constexpr const char* IR_ENTER = "EB14BF00";
inline constexpr const char* IR_PANEL = "FB04BF00";
inline constexpr const char* IR_SHUFFLE = "ED12BF00";

// What the player last reported. A value missing from an answer keeps the
// one reported before.
struct PlayerStatus {
  bool isVideo = false;
  int duration = 0;
  int position = 0;
  int volume = 0;
  std::string playbackUrl;
  std::string playerState;
};

// Reads the control program's status answer into status; TavoException
// "xml response parse failed" or "invalid xml response" when it is not one.
void parseStatus(const std::string& answer, PlayerStatus& status);

// The requests that move playback to target: one position request for video,
// the time-jump key presses (one request per press) otherwise; none when there
// is nothing to do.
std::vector<std::string> seekRequests(const PlayerStatus& status, int target);

class Tavo {
 public:
  // The one player client of the process.
  static Tavo& instance();
  Tavo() = default;

  const PlayerStatus& status() const { return m_status; }

  void sendCommand(const std::string& query);
  std::string queryCommand(const std::string& name);
  void refresh();
  void waitForPlayback();
  bool isAwake();
  void powerOn();
  void pressKey(const char* code);

  void seek(int target);
  void seekTo(int target);
  void addPosition(int delta);
  void addVolume(int delta);
  void seekPercent(int percent);

  void startPlaylist(const std::string& mediaUrl, int startIndex);
  void launch(const std::string& mediaUrl);
  void toggleShuffle();

  // Tests replace the pauses between requests; the player needs the real ones.
  using PauseFunction = void (*)(long millis);
  static void setPauseFunction(PauseFunction pause);

 private:
  void startAndWait(const std::string& query);

  PlayerStatus m_status;
};
