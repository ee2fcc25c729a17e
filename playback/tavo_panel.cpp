// Moving the cursor of the player's playlist panel with remote-control keys.
// The player does not report the panel, so the keys follow the system's own
// picture of it (PlaylistViewState), which is checked against what the player
// plays afterwards.
#include <algorithm>

#include "browse/sourcelookup.h"
#include "core/config.h"
#include "playback/playlist.h"
#include "playback/playlistview.h"
#include "playback/tavo.h"

namespace {

const long kAfterEnterMillis = 1000;

// The first press of a paging key takes the cursor to the window's edge, each
// further press turns a page. A page at either end of the list still shows 10
// rows: a window cut shorter there would page past the rows beside it.
struct PanelWalk {
  PlaylistViewState& view;
  int rows;
  int dir;  // +1 pages up, -1 pages down

  void page() {
    const int height = PlaylistViewState::kPageRows;
    bool atEdge = dir > 0 ? view.pos == view.top : view.pos == view.bottom;
    if (atEdge) {
      view.top -= dir * height;
      view.bottom -= dir * height;
      if (view.top < 0) {
        view.top = 0;
        view.bottom = std::min(height - 1, rows - 1);
      }
      if (view.bottom > rows - 1) {
        view.bottom = rows - 1;
        view.top = std::max(rows - height, 0);
      }
    }
    view.pos = dir > 0 ? view.top : view.bottom;
  }
};

// The paging presses that bring row into the window, or -1 when that takes
// more than limit (or never happens: a stored window narrower than 10 rows
// can page past the row).
int pagesTo(PlaylistViewState view, int rows, int row, int limit) {
  PanelWalk walk{view, rows, row < view.top ? +1 : -1};
  int presses = 0;
  for (; row < view.top || row > view.bottom; ++presses) {
    if (presses == limit) return -1;
    walk.page();
  }
  return presses;
}

// The folder the player plays, when it is this playlist's.
std::string folderUrlOf(const Playlist& playlist) {
  std::string lpd = Config::instance()->lpd();
  IFilesSource* source = lpd.empty() ? nullptr : findSourceByMediaUrl(lpd);
  return source && source->mediaUrlToReal(lpd) == playlist.path() ? lpd : std::string();
}

}  // namespace

bool Tavo::moveCursor(const Playlist& playlist, int row) {
  const int rows = playlist.rows();
  PlaylistViewState view;
  if (!PlaylistViewState::load(rows, view)) return false;
  int pages = pagesTo(view, rows, row, kMaxPagePresses);
  if (pages < 0) return startAtRow(playlist, row);

  Deadline deadline(*this, kKeySequenceMillis, kNoAnswer);
  pressKeys({IR_PANEL, IR_ENTER});
  PanelWalk walk{view, rows, row < view.top ? +1 : -1};
  pressKey(walk.dir > 0 ? IR_PAGE_UP : IR_PAGE_DOWN, pages);
  for (int i = 0; i < pages; ++i) walk.page();
  int diff = view.pos - row;
  pressKey(diff > 0 ? IR_UP : IR_DOWN, diff > 0 ? diff : -diff);
  view.pos = row;
  pressKeys({IR_ENTER, IR_PANEL});

  pause(kAfterEnterMillis);
  waitForPlayback();
  if (!playsRow(playlist, row)) return false;
  view.store();
  return true;
}

bool Tavo::playsRow(const Playlist& playlist, int row) {
  const PlaylistItem* playing = currentItem(playlist);
  if (!playing) return false;
  int expected = !playing->subitems.empty() && row == playing->index ? row + 1 : row;
  return playing->currentRow(m_status.position) == expected;
}

// As a play from the row's file does: the folder starts there, and the view
// state is the one of such a start. A cue track is then sought.
bool Tavo::startAtRow(const Playlist& playlist, int row) {
  const PlaylistItem* item = playlist.itemByRow(row);
  std::string folderUrl = folderUrlOf(playlist);
  if (!item || folderUrl.empty()) return false;
  startDirectoryPlaylist(playlist, folderUrl, item->dirIndex);
  if (row > item->index) {
    const PlaylistSubitem& track = item->subitems[static_cast<size_t>(row - item->index - 1)];
    if (track.start > 0) {
      refresh();
      // The time jump moves from the position in steps of 10 s: aimed 9 s
      // past the track's start, it lands in the track's first 10 s.
      seek(m_status.isVideo ? track.start : track.start + 9);
      pause(kAfterEnterMillis);
      waitForPlayback();
    }
  }
  return playsRow(playlist, row);
}

void Tavo::selectRow(const Playlist& playlist, int row) {
  const int rows = playlist.rows();
  if (row < 0 || row >= rows) throw TavoException("invalid position");
  if (moveCursor(playlist, row)) return;

  int pages = (rows + PlaylistViewState::kPageRows - 1) / PlaylistViewState::kPageRows;
  if (pages > kMaxPagePresses) {
    if (!startAtRow(playlist, row)) throw TavoException(kRowNotReached);
    return;
  }
  bool fromBottom = rows / 2 < row;
  {
    Deadline deadline(*this, kKeySequenceMillis, kNoAnswer);
    pressKeys({IR_PANEL, IR_ENTER});
    pressKey(fromBottom ? IR_PAGE_DOWN : IR_PAGE_UP, pages);
    pressKey(IR_PANEL);
  }
  PlaylistViewState view;
  if (fromBottom) {
    view = {rows - 1, rows - PlaylistViewState::kPageRows, rows - 1};
  } else {
    view = {0, 0, PlaylistViewState::kPageRows - 1};
  }
  view.normalize(rows);
  view.store();
  if (!moveCursor(playlist, row)) throw TavoException(kRowNotReached);
}

void Tavo::playlistMove(int row) {
  Playlist* playlist = currentPlaylistWaking();
  if (!playlist) throw TavoException("invalid playlist");
  selectRow(*playlist, row);
  recordPlayback();
}
