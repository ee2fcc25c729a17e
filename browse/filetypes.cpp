#include "browse/filetypes.h"

#include <cstdint>
#include <cstring>

namespace {

// An extension of up to four characters, upper-cased (ASCII, as strcasecmp
// folds in the C locale), packed into one number: every listing and playlist
// classifies thousands of names, so each comparison is one of numbers.
constexpr uint32_t extensionKey(const char* text, size_t length) {
  uint32_t key = 0;
  for (size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 'a' + 'A');
    key = key << 8 | c;
  }
  return key;
}

constexpr uint32_t operator""_ext(const char* text, size_t length) { return extensionKey(text, length); }

constexpr uint32_t kMedia[] = {"MP3"_ext, "MPA"_ext, "M4A"_ext, "WMA"_ext,  "FLAC"_ext, "APE"_ext, "OGG"_ext,
                               "WAV"_ext, "DTS"_ext, "AC3"_ext, "AAC"_ext,  "MKV"_ext,  "M4V"_ext, "M2TS"_ext,
                               "VOB"_ext, "AVI"_ext, "MOV"_ext, "MP4"_ext,  "QT"_ext,   "ASF"_ext, "WMV"_ext,
                               "WV"_ext,  "TS"_ext,  "MPG"_ext, "DIVX"_ext, "MKA"_ext,  0};
constexpr uint32_t kPlaylist[] = {"M3U"_ext, "PLS"_ext, 0};
constexpr uint32_t kDiscImage[] = {"ISO"_ext, 0};
constexpr uint32_t kImage[] = {"BMP"_ext, "EPS"_ext,  "GIF"_ext, "ICB"_ext, "JP2"_ext, "JPG"_ext, "JPEG"_ext,
                               "PBM"_ext, "PCX"_ext,  "PGM"_ext, "PIC"_ext, "PNG"_ext, "PPM"_ext, "RGB"_ext,
                               "TIF"_ext, "TIFF"_ext, "XBM"_ext, "XPM"_ext, "SVG"_ext, 0};
constexpr uint32_t kData[] = {"DAT"_ext, 0};

// The key of the name's extension; 0 when it has none or one longer than any listed.
uint32_t keyOf(const char* name) {
  const char* dot = strrchr(name, '.');
  if (!dot) return 0;
  size_t length = strlen(dot + 1);
  return length <= 4 ? extensionKey(dot + 1, length) : 0;
}

bool hasKeyIn(uint32_t key, const uint32_t* list) {
  if (key == 0) return false;
  for (; *list; ++list)
    if (*list == key) return true;
  return false;
}

}  // namespace

bool isMediaFile(const char* name) { return hasKeyIn(keyOf(name), kMedia); }
bool isPlaylistFile(const char* name) { return hasKeyIn(keyOf(name), kPlaylist); }
bool isDiscImageFile(const char* name) { return hasKeyIn(keyOf(name), kDiscImage); }
bool isImageFile(const char* name) { return hasKeyIn(keyOf(name), kImage); }
bool isDatFile(const char* name) { return hasKeyIn(keyOf(name), kData); }

bool isPlayableFile(const char* name) { return isMediaFile(name) || isPlaylistFile(name) || isDiscImageFile(name); }
