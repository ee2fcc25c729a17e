#include "browse/filetypes.h"

#include <gtest/gtest.h>

namespace {

struct TypeCase {
  const char* name;
  bool media, playlist, discImage, image, data, playable;
};

const TypeCase kCases[] = {
    {"song.Flac", true, false, false, false, false, true},
    {"song.flac.part", false, false, false, false, false, false},
    {"archive.tar.mp3", true, false, false, false, false, true},
    {"Film.MKV", true, false, false, false, false, true},
    {"list.m3u", false, true, false, false, false, true},
    {"radio.PLS", false, true, false, false, false, true},
    {"disc.iso", false, false, true, false, false, true},
    {"cover.jpg", false, false, false, true, false, false},
    {"scan.TIFF", false, false, false, true, false, false},
    {"VIDEO.DAT", false, false, false, false, true, false},
    {".mp3", true, false, false, false, false, true},
    {"clip.mpeg", false, false, false, false, false, false},
    {"clip.flv", false, false, false, false, false, false},
    {"song.flacs", false, false, false, false, false, false},    // a listed extension and one more letter
    {"song.lac", false, false, false, false, false, false},      // the end of a listed extension
    {"song.\xc6lac", false, false, false, false, false, false},  // no folding beyond ASCII
    {"movie.", false, false, false, false, false, false},
    {"README", false, false, false, false, false, false},
    {"/a.b/file", false, false, false, false, false, false},
    {"/music.d/track.ts", true, false, false, false, false, true},
};

TEST(FileTypes, ClassifiesByTheLastDotOnly) {
  for (const TypeCase& c : kCases) {
    EXPECT_EQ(c.media, isMediaFile(c.name)) << c.name;
    EXPECT_EQ(c.playlist, isPlaylistFile(c.name)) << c.name;
    EXPECT_EQ(c.discImage, isDiscImageFile(c.name)) << c.name;
    EXPECT_EQ(c.image, isImageFile(c.name)) << c.name;
    EXPECT_EQ(c.data, isDatFile(c.name)) << c.name;
    EXPECT_EQ(c.playable, isPlayableFile(c.name)) << c.name;
  }
}

}  // namespace
