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

// The entries of one folder that may be cue sheets (names ending in ".cue" in
// any case), so that the disk is asked for the sheet of a media file only
// when one of them matches its name: a folder of many songs costs no call
// for each. Names with bytes beyond ASCII always ask the disk, as a file
// system that ignores case may fold them in its own way.
class CueSheetNames {
 public:
  void consider(const char* entryName);
  // False when no sheet of the folder can be the media file's.
  bool mayBelongTo(const std::string& mediaName) const;

 private:
  std::vector<std::string> m_stems;  // the names without ".cue"
  bool m_beyondAscii = false;
};

// Adds the tracks of the sheet file, numbered from firstRow + 1. A sheet that
// cannot be used (unreadable, empty, larger than 32 KiB, rejected) adds none,
// is logged, and the answer is false: its file plays without tracks.
bool readCueSheet(const std::string& sheet, int firstRow, std::vector<PlaylistSubitem>& tracks);
