// The system's picture of the player's playlist panel: the row under the
// cursor and the visible window of 10 rows. The player reports neither, so the
// picture is kept in the configuration ("last_pl_state") and updated after
// every operation that moves the panel.
#pragma once

struct PlaylistViewState {
  int pos = 0;     // row under the cursor
  int top = 0;     // first visible row
  int bottom = 0;  // last visible row

  static constexpr int kPageRows = 10;

  // Keeps the window inside rows 0 .. rows - 1, its top no more than 9 rows
  // above its bottom, and the cursor in it.
  void normalize(int rows);

  // The stored picture normalised against rows; false when none is stored
  // (missing or not an object).
  static bool load(int rows, PlaylistViewState& into);
  // Replaces the stored picture with this one, as it is.
  void store() const;
};
