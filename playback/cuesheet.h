// Cue sheets: the tracks of a media file whose sheet lies beside it, as rows
// of the playlist panel.
#pragma once

#include <string>
#include <vector>

// One track of a cue sheet.
struct PlaylistSubitem {
  int index = 0;  // panel row
  std::string title;
  int start = 0;   // seconds into the file
  int length = 0;  // seconds; kOpenLength for a last track of unknown length
  bool play = false;

  bool contains(int position) const { return start <= position && position < start + length; }

  static constexpr int kOpenLength = 1000000;
};

// Reads the tracks of a cue sheet's text; rows are numbered from firstRow + 1.
// False when the sheet is rejected (a track without a title); a text that is
// no sheet at all gives no tracks and true.
bool parseCueSheet(const std::string& text, int firstRow, std::vector<PlaylistSubitem>& tracks);

// The sheet next to a media file: base name with ".cue", then the whole
// name with ".cue", then the same in capitals. Empty when there is none.
std::string findCueSheet(const std::string& mediaPath);

// Adds the tracks of the sheet file, numbered from firstRow + 1;
// AppException when the sheet cannot be used.
void readCueSheet(const std::string& sheet, int firstRow, std::vector<PlaylistSubitem>& tracks);
