// Fuzz target: cue sheet reading. An accepted sheet numbers its tracks one
// after another from the row after the first row given; a rejected sheet adds
// no track.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "playback/cuesheet.h"

int fuzzCueSheet(const uint8_t* data, size_t size) {
  const int firstRow = 7;
  std::vector<PlaylistSubitem> tracks;
  std::string text(reinterpret_cast<const char*>(data), size);
  if (text.empty() || text.back() != '\n') text += '\n';
  if (parseCueSheet(text, firstRow, tracks)) {
    int row = firstRow;
    for (const PlaylistSubitem& track : tracks)
      if (track.index != ++row) abort();
  } else if (!tracks.empty()) {
    abort();
  }
  return 0;
}

#ifdef TAVORC_LIBFUZZER
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return fuzzCueSheet(data, size); }
#endif
