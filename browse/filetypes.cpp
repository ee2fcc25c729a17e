#include "browse/filetypes.h"

#include <strings.h>

#include <cstring>

namespace {

const char* const kMedia[] = {"MP3", "MPA", "M4A", "WMA", "FLAC", "APE", "OGG", "WAV", "DTS",
                              "AC3", "AAC", "MKV", "M4V", "M2TS", "VOB", "AVI", "MOV", "MP4",
                              "QT",  "ASF", "WMV", "WV",  "TS",   "MPG", "DIVX", "MKA", nullptr};
const char* const kPlaylist[] = {"M3U", "PLS", nullptr};
const char* const kDiscImage[] = {"ISO", nullptr};
const char* const kImage[] = {"BMP", "EPS", "GIF", "ICB", "JP2", "JPG", "JPEG", "PBM", "PCX", "PGM",
                              "PIC", "PNG", "PPM", "RGB", "TIF", "TIFF", "XBM", "XPM", "SVG", nullptr};
const char* const kData[] = {"DAT", nullptr};

}  // namespace

bool hasExtensionIn(const char* name, const char* const* list) {
  const char* dot = strrchr(name, '.');
  if (!dot) return false;
  for (; *list; ++list)
    if (strcasecmp(dot + 1, *list) == 0) return true;
  return false;
}

bool isMediaFile(const char* name) { return hasExtensionIn(name, kMedia); }
bool isPlaylistFile(const char* name) { return hasExtensionIn(name, kPlaylist); }
bool isDiscImageFile(const char* name) { return hasExtensionIn(name, kDiscImage); }
bool isImageFile(const char* name) { return hasExtensionIn(name, kImage); }
bool isDatFile(const char* name) { return hasExtensionIn(name, kData); }

bool isPlayableFile(const char* name) { return isMediaFile(name) || isPlaylistFile(name) || isDiscImageFile(name); }
