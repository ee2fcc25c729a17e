// The simulated player: what its requests and remote-control keys do to its
// state.
#pragma once

#include <cstdint>
#include <string>

#include "library.h"
#include "state.h"

class Player {
 public:
  Player(PlayerState& state, const MediaMap& media, int64_t nowMs);

  // Brings the state up to now: loading ends, the position runs on, the
  // next item follows the one that has ended.
  void advance();

  // Starts a media URL: a folder (from the item numbered startIndex), a
  // playlist file, or one item (disc folder, disc image, any other file).
  bool start(const std::string& url, int startIndex, std::string& error);
  void pressKey(const std::string& code);
  void setPosition(int seconds);
  void setVolume(int volume);
  void wake();
  void standby();

  bool isPlaying() const;
  bool isAwake() const;
  int playingRow();
  const MediaList& items() { return list(); }

 private:
  PlayerState& s;
  const MediaMap& m_media;
  int64_t m_now;
  MediaList m_list;
  bool m_haveList = false;

  const MediaList& list();
  std::string urlOf(const std::string& path) const;
  void playItem(const ListItem& item, int from);
  void stop();
  void normalizeWindow();
  void followCursor();

  void keyIdle(int key);
  void keyMenu(int key);
  void keyPanel(int key);
  void keyJump(int key);
  void pageUp();
  void pageDown();
};
