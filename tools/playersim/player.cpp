#include "player.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>

namespace {

enum Key { kPower, kPageUp, kPageDown, kUp, kDown, kRight, kLeft, kEnter, kPanel, kShuffle, kUnknown };

const struct {
  const char* code;
  Key key;
} kKeys[] = {
    {"BC43BF00", kPower}, {"B44BBF00", kPageUp}, {"B34CBF00", kPageDown}, {"EA15BF00", kUp},    {"E916BF00", kDown},
    {"E718BF00", kRight}, {"E817BF00", kLeft},   {"EB14BF00", kEnter},    {"FB04BF00", kPanel}, {"ED12BF00", kShuffle},
};

// Steps of the time-jump dialog.
const struct {
  Key key;
  int seconds;
} kJumpSteps[] = {
    {kPageUp, 600}, {kPageDown, -600}, {kUp, 60}, {kDown, -60}, {kRight, 10}, {kLeft, -10},
};

const int kPageRows = 10;

Key keyOf(const std::string& code) {
  for (const auto& k : kKeys)
    if (code == k.code) return k.key;
  return kUnknown;
}

std::string folderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

std::string withoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

Player::Player(PlayerState& state, const MediaMap& media, int64_t nowMs) : s(state), m_media(media), m_now(nowMs) {}

bool Player::isAwake() const { return s.playerState != kStandby && s.playerState != kLoading; }

bool Player::isPlaying() const { return s.playerState == kPlaying; }

const MediaList& Player::list() {
  if (!m_haveList) {
    if (s.listKind == "folder")
      m_list = buildFolderList(s.listPath);
    else if (s.listKind == "playlist")
      m_list = buildPlaylistFileList(s.listPath);
    else if (s.listKind == "single")
      m_list = buildSingleList(s.listPath);
    m_haveList = true;
  }
  return m_list;
}

std::string Player::urlOf(const std::string& path) const {
  if (s.listKind == "folder") return withoutTrailingSlash(s.listUrl) + path.substr(s.listPath.size());
  if (s.listKind == "playlist") return folderOf(s.listUrl) + path.substr(folderOf(s.listPath).size());
  return s.listUrl;
}

void Player::advance() {
  if (s.playerState == kLoading && m_now >= s.readyAt) s.playerState = kIdle;
  int64_t seconds = (m_now - s.stamp) / 1000;
  if (!isPlaying() || s.clock == "frozen" || seconds < 0) {
    s.stamp = m_now;
    return;
  }
  s.stamp += seconds * 1000;
  int64_t position = s.position + seconds;
  while (s.duration > 0 && position >= s.duration) {
    position -= s.duration;
    const ListItem* next = list().itemAfter(s.itemRow);
    if (!next) {
      stop();
      return;
    }
    playItem(*next, 0);
  }
  s.position = static_cast<int>(std::min<int64_t>(position, INT32_MAX));
}

bool Player::start(const std::string& url, int startIndex, std::string& error) {
  std::string real;
  struct stat st {};
  if (!isAwake())
    error = "player is in standby";
  else if (!m_media.toReal(url, real))
    error = "unknown media url";
  else if (stat(real.c_str(), &st) != 0)
    error = "not found";
  if (!error.empty()) return false;

  bool folder = S_ISDIR(st.st_mode);
  if (folder && !isDiscFolder(real))
    s.listKind = "folder";
  else if (!folder && kindOfName(real) == FileKind::Playlist)
    s.listKind = "playlist";
  else
    s.listKind = "single";
  s.listUrl = url;
  s.listPath = withoutTrailingSlash(real);
  m_haveList = false;
  const MediaList& items = list();
  if (items.items.empty()) {
    stop();
    error = "nothing to play";
    return false;
  }
  const ListItem* first = startIndex > 0 ? items.itemForNumber(startIndex) : nullptr;
  if (!first) first = &items.items.front();
  s.rows = items.rows;
  s.cursor = first->row;
  s.top = first->row - 5;
  s.bottom = s.top + kPageRows - 1;
  normalizeWindow();
  s.panel = "closed";
  s.jump = "closed";
  playItem(*first, 0);
  return true;
}

void Player::playItem(const ListItem& item, int from) {
  struct stat st {};
  bool folder = stat(item.path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  MediaInfo info = probeMedia(item.path, folder);
  s.path = item.path;
  s.url = urlOf(item.path);
  s.itemRow = item.row;
  s.duration = info.duration;
  s.videoWidth = info.videoWidth;
  s.position = std::min(from, info.duration);
  s.stamp = m_now;
  s.playerState = kPlaying;
}

void Player::stop() {
  s.playerState = isAwake() ? kIdle : s.playerState;
  s.url.clear();
  s.path.clear();
  s.position = s.duration = s.videoWidth = 0;
  s.listKind = "none";
  s.listUrl.clear();
  s.listPath.clear();
  s.itemRow = -1;
  s.rows = 0;
  s.panel = "closed";
  s.jump = "closed";
  m_haveList = false;
}

void Player::setPosition(int seconds) {
  if (!isPlaying()) return;
  s.position = std::clamp(seconds, 0, std::max(s.duration, 0));
  s.stamp = m_now;
}

void Player::setVolume(int volume) { s.volume = std::clamp(volume, 0, 100); }

void Player::wake() {
  if (!isAwake()) s.playerState = kIdle;
}

void Player::standby() {
  stop();
  s.playerState = kStandby;
}

int Player::playingRow() {
  if (!isPlaying()) return -1;
  const ListItem* item = list().itemForRow(s.itemRow);
  return item ? item->rowAt(s.position) : s.itemRow;
}

// The window as the panel shows it: at most 10 rows, inside the list, with
// the cursor in it.
void Player::normalizeWindow() {
  s.bottom = std::min(s.bottom, s.rows - 1);
  s.top = std::max(std::min(s.top, s.bottom - (kPageRows - 1)), 0);
  s.cursor = std::clamp(s.cursor, s.top, std::max(s.top, s.bottom));
}

void Player::followCursor() {
  if (s.cursor < s.top) {
    s.top = s.cursor;
    s.bottom = std::min(s.top + kPageRows - 1, s.rows - 1);
  } else if (s.cursor > s.bottom) {
    s.bottom = s.cursor;
    s.top = std::max(s.bottom - (kPageRows - 1), 0);
  }
}

void Player::pressKey(const std::string& code) {
  Key key = keyOf(code);
  if (key == kPower) {
    if (s.playerState == kStandby) {
      s.playerState = kLoading;
      s.readyAt = m_now + static_cast<int64_t>(s.bootSeconds) * 1000;
      advance();
    } else if (isAwake()) {
      standby();
    }
    return;
  }
  if (!isAwake()) return;
  if (s.jump == "open")
    keyJump(key);
  else if (s.panel == "open")
    keyPanel(key);
  else if (s.panel == "menu")
    keyMenu(key);
  else
    keyIdle(key);
}

void Player::keyIdle(int key) {
  if (key == kPanel) {
    s.panel = "menu";
  } else if (key == kRight && isPlaying()) {
    s.jump = "open";
    s.jumpTarget = s.position;
  }
}

void Player::keyMenu(int key) {
  if (key == kPanel) {
    s.panel = "closed";
  } else if (key == kEnter) {
    s.panel = s.rows > 0 ? "open" : "closed";
    normalizeWindow();
  }
}

void Player::keyJump(int key) {
  if (key == kEnter) {
    s.jump = "closed";
    setPosition(s.jumpTarget);
    return;
  }
  for (const auto& step : kJumpSteps)
    if (step.key == key) s.jumpTarget = std::clamp(s.jumpTarget + step.seconds, 0, std::max(s.duration, 0));
}

// The first press takes the cursor to the window's edge, each further press
// turns a page; at either end of the list the cursor stays on the edge. The
// first and the last page show 10 rows like the others.
void Player::pageUp() {
  if (s.cursor == s.top && s.top > 0) {
    s.top = std::max(s.top - kPageRows, 0);
    s.bottom = std::min(s.top + kPageRows - 1, s.rows - 1);
  }
  s.cursor = s.top;
}

void Player::pageDown() {
  if (s.cursor == s.bottom && s.bottom < s.rows - 1) {
    s.bottom = std::min(s.bottom + kPageRows, s.rows - 1);
    s.top = std::max(s.bottom - (kPageRows - 1), 0);
  }
  s.cursor = s.bottom;
}

void Player::keyPanel(int key) {
  switch (key) {
    case kPanel: s.panel = "closed"; break;
    case kUp:
      s.cursor = std::max(s.cursor - 1, 0);
      followCursor();
      break;
    case kDown:
      s.cursor = std::min(s.cursor + 1, s.rows - 1);
      followCursor();
      break;
    case kPageUp: pageUp(); break;
    case kPageDown: pageDown(); break;
    case kShuffle: s.shuffle = !s.shuffle; break;
    case kEnter:
      if (const ListItem* item = list().itemForRow(s.cursor)) {
        int from = 0;
        for (const Track& t : item->tracks)
          if (t.row == s.cursor) from = t.start;
        playItem(*item, from);
      }
      break;
    default: break;
  }
}
