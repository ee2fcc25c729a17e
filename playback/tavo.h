// The client of the player's control program: status queries, starting
// playback, and remote-control keys where the program has no request of its own.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/result.h"

class Playlist;
struct PlaylistItem;

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

// The player is neither in standby nor starting up from it.
inline bool reportsAwake(const PlayerStatus& status) {
  return status.playerState != "standby" && status.playerState != "loading";
}

// Reads the control program's status answer into status; TavoException
// "xml response parse failed" or "invalid xml response" when it is not one.
void parseStatus(const std::string& answer, PlayerStatus& status);

// The requests that move playback to target: one position request for video,
// the time-jump key presses (one request per press) otherwise; none when there
// is nothing to do. The presses are planned on a duration of at most
// kMaxKeyedSeekSeconds; a plan of more than kMaxSeekPresses presses is
// refused with TavoException kSeekTooFar.
std::vector<std::string> seekRequests(const PlayerStatus& status, int target);
inline constexpr int kMaxKeyedSeekSeconds = 24 * 3600;
inline constexpr size_t kMaxSeekPresses = 200;
inline constexpr const char* kSeekTooFar = "seek too far";

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

  // Playing what a virtual path names: a folder (from its first file), a
  // disc folder, a disc image, a playlist file, or a file inside a folder
  // (the folder from that file). The playback is then recorded in the history.
  void play(const std::string& virtualPath);
  // The folder from the file numbered startIndex (resuming from the history).
  void playDirectory(const std::string& virtualPath, int startIndex);
  void startDirectoryPlaylist(const Playlist& playlist, const std::string& mediaUrl, int dirIndex);

  // The item of playlist that the player last reported playing, or none.
  const PlaylistItem* currentItem(const Playlist& playlist) const;
  // The folder playlist the system started and the player still plays, with
  // its play flags set; none otherwise (and "lpd" is then forgotten).
  Playlist* currentPlaylist();
  // Adds the current playback to the history; nothing when no playlist the
  // system started is playing.
  void recordPlayback();

  // Moves the panel's cursor to row and plays it; true when the player then
  // plays that row.
  bool moveCursor(const Playlist& playlist, int row);
  // moveCursor, and when it misses, once more after putting the cursor on the
  // first or last row, where the panel's window is known again.
  void selectRow(const Playlist& playlist, int row);
  // selectRow in the playlist that is playing; the playback is then recorded.
  void playlistMove(int row);
  // currentPlaylist; when the player was found in standby (which ended the
  // playback), it is woken as powerOn wakes it and the remembered folder
  // starts again.
  Playlist* currentPlaylistWaking();

  // Tests replace the pauses between requests; the player needs the real ones.
  using PauseFunction = void (*)(long millis);
  static void setPauseFunction(PauseFunction pause);

  // A move in the panel presses at most this many paging keys; a row
  // further away is reached by starting the folder at the row's file.
  static constexpr int kMaxPagePresses = 6;

 private:
  // Every run of the control program within a wait ends by the wait's
  // deadline (or by that of the wait around it, when earlier); once it has
  // passed, the wait ends with TavoException(message).
  class Deadline {
   public:
    Deadline(Tavo& tavo, long millis, const char* message);
    ~Deadline();
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;

   private:
    Tavo& m_tavo;
    long m_savedAt;
    const char* m_savedMessage;
  };

  // The longest key sequence, a seek of 200 presses, takes about 35 s.
  static constexpr long kKeySequenceMillis = 90000;
  static constexpr const char* kNoAnswer = "player does not answer";
  // A row move that missed its row twice (the panel is not as pictured).
  static constexpr const char* kRowNotReached = "row not reached";

  int runLimitSeconds() const;
  void afterRun(bool timedOut) const;
  bool deadlinePassed() const;

  void startAndWait(const std::string& query);
  // A player found in standby while waiting for playback ignored the start:
  // it is woken as powerOn wakes it and started once more.
  void wakeAndStartAgain(const std::string& query);
  void pressKeys(std::initializer_list<const char*> codes);
  void pressKey(const char* code, int times);
  static void pause(long millis);
  void pauseWithin(long millis);

  // After the keys that play a row: true when the player plays it.
  bool playsRow(const Playlist& playlist, int row);
  // Starts the playing folder at the row's file (and its cue track); true
  // when the player then plays the row.
  bool startAtRow(const Playlist& playlist, int row);

  PlayerStatus m_status;
  long m_deadlineAt = 0;  // monotonic milliseconds; 0 while no wait runs
  const char* m_deadlineMessage = nullptr;
};
