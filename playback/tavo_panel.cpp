// Moving the cursor of the player's playlist panel with remote-control keys.
// The player does not report the panel, so the keys follow the system's own
// picture of it (PlaylistViewState), which is checked against what the player
// plays afterwards.
#include <algorithm>

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

}  // namespace

bool Tavo::moveCursor(const Playlist& playlist, int row) {
  const int rows = playlist.rows();
  PlaylistViewState view;
  if (!PlaylistViewState::load(rows, view)) return false;
  pressKeys({IR_PANEL, IR_ENTER});

  PanelWalk walk{view, rows, row < view.top ? +1 : -1};
  const char* pageKey = walk.dir > 0 ? IR_PAGE_UP : IR_PAGE_DOWN;
  // A stored window narrower than 10 rows can page past the row; after enough
  // presses to cross the whole list the picture is wrong, and the caller puts
  // the cursor where it is known again.
  for (int presses = 0; row < view.top || row > view.bottom; ++presses) {
    if (presses > rows / PlaylistViewState::kPageRows + 1) {
      pressKey(IR_PANEL);
      return false;
    }
    pressKey(pageKey);
    walk.page();
  }
  int diff = view.pos - row;
  pressKey(diff > 0 ? IR_UP : IR_DOWN, diff > 0 ? diff : -diff);
  view.pos = row;
  pressKeys({IR_ENTER, IR_PANEL});

  pause(kAfterEnterMillis);
  waitForPlayback();
  const PlaylistItem* playing = currentItem(playlist);
  if (!playing) return false;
  int expected = !playing->subitems.empty() && row == playing->index ? row + 1 : row;
  if (playing->currentRow(m_status.position) != expected) return false;
  view.store();
  return true;
}

void Tavo::selectRow(const Playlist& playlist, int row) {
  const int rows = playlist.rows();
  if (row < 0 || row >= rows) throw TavoException("invalid position");
  if (moveCursor(playlist, row)) return;

  bool fromBottom = rows / 2 < row;
  int pages = (rows + PlaylistViewState::kPageRows - 1) / PlaylistViewState::kPageRows;
  pressKeys({IR_PANEL, IR_ENTER});
  pressKey(fromBottom ? IR_PAGE_DOWN : IR_PAGE_UP, pages);
  pressKey(IR_PANEL);
  PlaylistViewState view;
  if (fromBottom) {
    view = {rows - 1, rows - PlaylistViewState::kPageRows, rows - 1};
  } else {
    view = {0, 0, PlaylistViewState::kPageRows - 1};
  }
  view.normalize(rows);
  view.store();
  moveCursor(playlist, row);
}

void Tavo::playlistMove(int row) {
  Playlist* playlist = currentPlaylistWaking();
  if (!playlist) throw TavoException("invalid playlist");
  selectRow(*playlist, row);
  recordPlayback();
}
