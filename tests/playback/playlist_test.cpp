#include "playback/playlist.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/paths.h"
#include "core/result.h"
#include "core/sysio.h"
#include "tests/support/fuzzrun.h"
#include "tests/support/sandbox.h"

int fuzzCueSheet(const uint8_t* data, size_t size);

namespace {

Sandbox* g_sandbox = nullptr;

const char kThreeTracks[] =
    "PERFORMER \"Band\"\n"
    "TITLE \"Album\"\n"
    "FILE \"album.flac\" WAVE\n"
    "  TRACK 01 AUDIO\n"
    "    TITLE \"One\"\n"
    "    INDEX 01 00:00:00\n"
    "  TRACK 02 AUDIO\n"
    "    TITLE \"Two\"\n"
    "    INDEX 01 03:10:50\n"
    "  TRACK 03 AUDIO\n"
    "    TITLE \"Three\"\n"
    "    INDEX 01 07:00:74";  // no final line feed: the reader adds one

std::string oneTrack(const std::string& title) {
  return "FILE \"a.flac\" WAVE\n  TRACK 01 AUDIO\n    TITLE \"" + title + "\"\n    INDEX 01 00:00:00\n";
}

class PlaylistTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_folder = g_sandbox->root() + "/media/" + info->test_suite_name() + "." + info->name();
    g_sandbox->mkdirs(m_folder.substr(g_sandbox->root().size()));
    unlink(rooted(paths::kPlaylistFile).c_str());
    unlink(rooted(paths::kLogFile).c_str());
    m_config = std::make_unique<Config>("testbid");
  }

  // Creates a file (and its folders) below the test's folder.
  std::string put(const std::string& name, const std::string& content = "x") {
    std::string full = m_folder + "/" + name;
    g_sandbox->write(full.substr(g_sandbox->root().size()), content);
    return full;
  }

  // album.flac with its three-track sheet.
  void putAlbum() {
    put("album.flac");
    put("album.cue", kThreeTracks);
  }

  // The test's folder as a JSON text, quotes included.
  std::string folderJson() const {
    std::string text = Json::Value(m_folder).toStyledString();
    text.pop_back();
    return text;
  }

  static std::string playlistFile() {
    std::string text;
    readFile(rooted(paths::kPlaylistFile), text);
    return text;
  }
  static std::string logText() {
    std::string text;
    readFile(rooted(paths::kLogFile), text);
    return text;
  }

  struct Row {
    int index;
    int dirIndex;
    std::string title;
  };
  static void expectRows(const std::vector<Row>& expected, const Playlist& list) {
    std::vector<Row> actual;
    for (const PlaylistItem& item : list.items()) actual.push_back({item.index, item.dirIndex, item.title});
    ASSERT_EQ(expected.size(), actual.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(expected[i].index, actual[i].index) << "item " << i;
      EXPECT_EQ(expected[i].dirIndex, actual[i].dirIndex) << "item " << i;
      EXPECT_EQ(expected[i].title, actual[i].title) << "item " << i;
    }
  }

  std::string m_folder;
  std::unique_ptr<Config> m_config;
};

// ---- folder scan ----

// The player's order and numbers: playlist files' entries first, then
// everything below the subfolders, then the folder's own files; pictures and
// data files take a number but no row, disc folders their number when their
// parent is read, hidden names nothing.
TEST_F(PlaylistTest, FolderScanNumbersAndOrdersLikeThePlayer) {
  for (const char* name :
       {"01.mp3", "cover.jpg", "menu.dat", "notes.txt", "zz.mp3", "a-sub/x.mp3", "a-sub/deeper/y.mp3", "a-sub/w.mp3",
        "dvd/VIDEO_TS/VTS_01_1.VOB", ".hidden.mp3", ".hiddenfolder/h.mp3"})
    put(name);
  put("list.m3u", "01.mp3\n");
  Playlist list(m_folder + "/", true, g_sandbox->root());  // a trailing "/" is not doubled
  expectRows({{0, 1, "01.mp3"}, {1, 2, "y.mp3"}, {2, 3, "w.mp3"}, {3, 4, "x.mp3"}, {4, 5, "01.mp3"}, {5, 8, "zz.mp3"}},
             list);
  EXPECT_EQ(6, list.rows());
  for (int number : {0, 6, 7}) EXPECT_EQ(nullptr, list.itemByDirIndex(number)) << number;
  ASSERT_NE(nullptr, list.itemByDirIndex(8));
  EXPECT_EQ(m_folder + "/zz.mp3", list.itemByDirIndex(8)->path);
  ASSERT_NE(nullptr, list.itemByDirIndex(2));
  EXPECT_EQ(m_folder + "/a-sub/deeper/y.mp3", list.itemByDirIndex(2)->path);
}

TEST_F(PlaylistTest, WhatCannotBeReadIsLeftOutAndTheRestPlays) {
  put("a.mp3");
  ASSERT_EQ(0, symlink((m_folder + "/gone.mp3").c_str(), (m_folder + "/link.mp3").c_str()));
  put("b.flac");
  std::string empty = put("b.cue", "");
  put("c.flac");
  put("c.cue/inside");  // a folder named like c.flac's sheet
  Playlist list(m_folder, true, g_sandbox->root());
  expectRows({{0, 0, "a.mp3"}, {1, 1, "b.flac"}, {2, 2, "c.flac"}}, list);
  std::string log = logText();
  EXPECT_NE(std::string::npos, log.find(" error : Invalid cue file: " + empty + "\n")) << log;
  EXPECT_NE(std::string::npos, log.find(" error : Invalid cue file: " + m_folder + "/c.cue\n")) << log;
  EXPECT_NE(std::string::npos, log.find(": 1 entries could not be read and are left out, the first " + m_folder +
                                        "/link.mp3: No such file or directory\n"))
      << log;
}

TEST_F(PlaylistTest, EachRealFolderIsScannedOnce) {
  put("sub/a.mp3");
  ASSERT_EQ(0, symlink(m_folder.c_str(), (m_folder + "/sub/up").c_str()));
  ASSERT_EQ(0, symlink((m_folder + "/sub").c_str(), (m_folder + "/sub/again").c_str()));
  // Two roads to each level of a fan: 2^3 roads to its song.
  put("fan/.level/3/song.mp3");
  put("fan/.level/1/.keep");
  put("fan/.level/2/.keep");
  for (const char* road : {"/a", "/b"}) {
    ASSERT_EQ(0, symlink(".level/1", (m_folder + "/fan" + road).c_str()));
    for (int level = 1; level < 3; ++level)
      ASSERT_EQ(0, symlink(("../" + std::to_string(level + 1)).c_str(),
                           (m_folder + "/fan/.level/" + std::to_string(level) + road).c_str()));
  }
  Playlist list(m_folder, true, g_sandbox->root());
  expectRows({{0, 0, "song.mp3"}, {1, 1, "a.mp3"}}, list);
}

TEST_F(PlaylistTest, LongPlaylistsAreCutAndLoggedOnce) {
  put("a.mp3");
  std::string lines;
  for (int i = 0; i < Playlist::kMaxRows + 5; ++i) lines += "a.mp3\n";
  put("list.m3u", lines);
  Playlist list(m_folder, true, g_sandbox->root());
  EXPECT_EQ(static_cast<size_t>(Playlist::kMaxRows), list.items().size());
  EXPECT_EQ(Playlist::kMaxRows, list.rows());
  std::string log = logText();
  EXPECT_NE(std::string::npos, log.find(": cut at 10000 rows\n")) << log;
  EXPECT_EQ(log.find("cut at"), log.rfind("cut at"));

  std::string padding;
  while (padding.size() < Playlist::kMaxPlaylistFileBytes) padding += "#" + std::string(1022, 'x') + "\n";
  std::string m3u = put("far.m3u", "a.mp3\n" + padding + "a.mp3\n");
  Playlist file(m3u, true, g_sandbox->root());
  EXPECT_EQ(1u, file.items().size()) << "the entry beyond 1 MiB is not read";
  EXPECT_NE(std::string::npos, logText().find(": 1 playlist files read only up to 1048576 bytes\n"));
}

// The source is usb1; usb2 is another storage, secret.mp3 lies outside
// every source. What the player would play there keeps its row and number,
// so that the rows after it stay the player's.
TEST_F(PlaylistTest, WhatLiesOutsideTheSourceIsLeftOut) {
  put("usb1/Music/a.mp3");
  put("usb1/Music/list.m3u", "../../usb2/other.mp3\n../../secret.mp3\na.mp3\n#EXTINF:1,Again\n../Music/a.mp3\n");
  put("usb2/other.mp3");
  put("usb2/Films/film.mkv");
  put("secret.mp3");
  ASSERT_EQ(0, symlink((m_folder + "/usb2/Films").c_str(), (m_folder + "/usb1/Music/films").c_str()));
  Playlist list(m_folder + "/usb1/Music", true, m_folder + "/usb1");
  expectRows({{2, 2, "a.mp3"}, {3, 3, "Again"}, {4, 4, "a.mp3"}}, list);
  EXPECT_EQ(5, list.rows());
  Json::Value answer;
  list.toJson(answer);
  for (const std::string& text : {playlistFile(), toJsonText(answer), logText()}) {
    EXPECT_EQ(std::string::npos, text.find("other")) << text;
    EXPECT_EQ(std::string::npos, text.find("secret")) << text;
    EXPECT_EQ(std::string::npos, text.find("film.mkv")) << text;
  }
  EXPECT_NE(std::string::npos, logText().find(": 3 entries outside its source are left out\n"));
}

TEST_F(PlaylistTest, AMissingPathGivesAnEmptyListAndAPathWithoutSlashIsRefused) {
  Playlist missing(m_folder + "/nothing-here", true, g_sandbox->root());
  EXPECT_TRUE(missing.items().empty());
  EXPECT_EQ(0, missing.rows());
  try {
    Playlist relative("relative.m3u", true, g_sandbox->root());
    ADD_FAILURE() << "a path without a slash was read";
  } catch (const AppException& e) {
    EXPECT_STREQ("invalid playlist path", e.what());
  }
}

// ---- playlist files ----

TEST_F(PlaylistTest, PlaylistFileTitlesWaitForAnExistingEntry) {
  for (const char* name : {"intro.mp3", "next.mp3", "plain.mp3", "after.mp3", "sub/deep.mp3", "crlf.mp3"}) put(name);
  std::string m3u = put("list.m3u",
                        "#EXTM3U\n"
                        "#EXTINF:10,Intro\n"
                        "intro.mp3\n"
                        "#EXTINF:20,Next, part 1\n"
                        "missing.mp3\n"
                        "next.mp3\n"
                        "plain.mp3\n"
                        "#EXTINF:5,Dropped\n"
                        "#EXTM3U\n"
                        "after.mp3\n"
                        "sub/deep.mp3\n"
                        "crlf.mp3\r\n"
                        "/intro.mp3");  // absolute lines are taken relative to the list
  Playlist list(m3u, true, g_sandbox->root());
  expectRows({{0, 0, "Intro"},
              {1, 1, "Next, part 1"},
              {2, 2, "plain.mp3"},
              {3, 3, "after.mp3"},
              {4, 4, "sub/deep.mp3"},
              {5, 5, "/intro.mp3"}},
             list);
  EXPECT_EQ(m_folder + "//intro.mp3", list.items().back().path);
}

// ---- cue sheets ----

TEST_F(PlaylistTest, CueTracksBecomeRowsOfTheirFile) {
  putAlbum();
  put("bonus.mp3");
  Playlist list(m_folder, true, g_sandbox->root());
  expectRows({{0, 0, "album.flac"}, {4, 1, "bonus.mp3"}}, list);
  EXPECT_EQ(5, list.rows());
  const PlaylistItem& album = list.items().front();
  ASSERT_EQ(3u, album.subitems.size());
  std::vector<std::string> tracks;
  for (const PlaylistSubitem& t : album.subitems)
    tracks.push_back(std::to_string(t.index) + " " + t.title + " " + std::to_string(t.start) + "+" +
                     std::to_string(t.length) + (t.play ? " playing" : ""));
  EXPECT_EQ((std::vector<std::string>{"1 One 0+190", "2 Two 190+230", "3 Three 420+1000000"}), tracks)
      << "the last track's length is open";
}

TEST_F(PlaylistTest, CueSheetCandidatesAreTriedInOrder) {
  struct Case {
    const char* description;
    std::vector<std::string> sheets;  // each holds one track titled with its own name
    const char* chosen;               // empty: no subitems
  } cases[] = {
      {"base name first", {"ALBUM.cue", "ALBUM.FLAC.cue", "ALBUM.CUE", "ALBUM.FLAC.CUE"}, "ALBUM.cue"},
      {"whole name when the base is missing", {"ALBUM.FLAC.cue", "ALBUM.CUE"}, "ALBUM.FLAC.cue"},
      {"capitals only after both small names", {"ALBUM.CUE", "ALBUM.FLAC.CUE"}, "ALBUM.CUE"},
      {"whole name in capitals last", {"ALBUM.FLAC.CUE"}, "ALBUM.FLAC.CUE"},
      {"other case of the base is no candidate", {"album.cue", "Album.CUE"}, ""},
  };
  int n = 0;
  for (const Case& c : cases) {
    std::string sub = "case" + std::to_string(n++);
    put(sub + "/ALBUM.FLAC");
    for (const std::string& sheet : c.sheets) put(sub + "/" + sheet, oneTrack(sheet));
    Playlist list(m_folder + "/" + sub, true, g_sandbox->root());
    ASSERT_EQ(1u, list.items().size()) << c.description;
    const PlaylistItem& item = list.items().front();
    if (*c.chosen == '\0') {
      EXPECT_TRUE(item.subitems.empty()) << c.description;
    } else {
      ASSERT_EQ(1u, item.subitems.size()) << c.description;
      EXPECT_EQ(c.chosen, item.subitems[0].title) << c.description;
    }
  }
}

// The folder's names decide whether the disk is asked for a file's sheet at
// all; a "true" where the disk would find none only costs the calls.
TEST(CueSheetNames, OnlyMatchingNamesAskTheDisk) {
  struct Case {
    std::vector<const char*> entries;
    const char* media;
    bool asks;
  } cases[] = {
      {{}, "Live.flac", false},
      {{"Live.flac", "cover.jpg", "cue", "a.cue.txt"}, "Live.flac", false},
      {{"Live.cue"}, "Live.flac", true},
      {{"Live.cue"}, "LIVE.FLAC", true},  // a file system without case may have it
      {{"Live.flac.CUE"}, "Live.flac", true},
      {{"Live.CuE"}, "Live.flac", true},
      {{"Live.cue"}, "Other.flac", false},
      {{"Live.cue"}, "Livex.flac", false},
      {{"Live.cue"}, "Liv.flac", false},
      {{"Live.cue"}, "Live", false},
      {{"Live.cue"}, "Live.", false},
      {{"Other.cue", "Live.cue"}, "Live.mp3", true},
      {{"\xd0\x9f.cue"}, "a.mp3", true},  // beyond ASCII: the disk decides
      {{"a.cue"}, "\xd0\x9f.mp3", true},
  };
  for (const Case& c : cases) {
    CueSheetNames names;
    for (const char* entry : c.entries) names.consider(entry);
    EXPECT_EQ(c.asks, names.mayBelongTo(c.media)) << c.media << " among " << c.entries.size() << " entries";
  }
}

TEST_F(PlaylistTest, CueSheetSizeIsOneTo32768Bytes) {
  std::string padded = oneTrack("Big");
  padded.insert(0, 32768 - padded.size() - 1, ' ');
  padded.insert(padded.size() - oneTrack("Big").size(), "\n");
  ASSERT_EQ(32768u, padded.size());
  put("ok/a.flac");
  put("ok/a.cue", padded);
  Playlist fits(m_folder + "/ok", true, g_sandbox->root());
  ASSERT_EQ(1u, fits.items().front().subitems.size());

  // A sheet that cannot be used leaves its file without tracks; one that
  // libcue reads as no sheet at all is no error.
  const struct {
    const char* folder;
    std::string text;
    bool logged;
  } cases[] = {
      {"empty", "", true},
      {"big", std::string(40000, '\n'), true},
      {"one-over", padded + " ", true},
      {"untitled", oneTrack("One") + "  TRACK 02 AUDIO\n    INDEX 01 03:00:00\n", true},
      {"no sheet", "this is { not a cue sheet\n", false},
  };
  for (const auto& c : cases) {
    put(std::string(c.folder) + "/a.flac");
    std::string sheet = put(std::string(c.folder) + "/a.cue", c.text);
    Playlist list(m_folder + "/" + c.folder, true, g_sandbox->root());
    ASSERT_EQ(1u, list.items().size()) << c.folder;
    EXPECT_TRUE(list.items().front().subitems.empty()) << c.folder;
    EXPECT_EQ(c.logged, logText().find(" error : Invalid cue file: " + sheet + "\n") != std::string::npos) << c.folder;
  }
}

// The parser keeps about 1 KiB of a quoted text and drops the rest.
TEST(CueSheet, ATitleLongerThanTheParserKeepsIsCut) {
  std::vector<PlaylistSubitem> tracks;
  ASSERT_TRUE(parseCueSheet(oneTrack(std::string(30000, 'T')), 0, tracks));
  ASSERT_EQ(1u, tracks.size());
  EXPECT_EQ(1, tracks[0].index);
  EXPECT_LT(tracks[0].title.size(), 30000u);
  EXPECT_EQ(std::string(tracks[0].title.size(), 'T'), tracks[0].title);
}

// ---- play flags and JSON ----

TEST_F(PlaylistTest, MarkPlayingSetsTheTrackHoldingThePosition) {
  put("a.mp3");
  putAlbum();
  put("list.m3u", "a.mp3\n");  // a.mp3 twice: only the first one plays
  Playlist list(m_folder, true, g_sandbox->root());
  Playlist copy = list;  // copies share the items
  copy.markPlaying(m_folder + "/album.flac", 200);
  const PlaylistItem* album = list.itemByPath(m_folder + "/album.flac");
  ASSERT_NE(nullptr, album);
  EXPECT_FALSE(album->play);
  EXPECT_FALSE(album->subitems[0].play);
  EXPECT_TRUE(album->subitems[1].play);
  EXPECT_FALSE(album->subitems[2].play);
  EXPECT_EQ(4, album->currentRow(200));
  EXPECT_EQ(3, album->currentRow(0));
  EXPECT_EQ(0, album->currentRow(-5));

  list.markPlaying(m_folder + "/a.mp3", 3);
  std::vector<bool> flags;
  for (const PlaylistItem& item : list.items()) flags.push_back(item.play);
  EXPECT_EQ((std::vector<bool>{true, false, false}), flags);
  EXPECT_FALSE(album->subitems[1].play);
  EXPECT_EQ(0, list.items().front().currentRow(1234));
}

// The answer: rows and play flags, no paths or times, the titles' SHA-1; an
// answer built into a document keeps the document's other members.
TEST_F(PlaylistTest, JsonHidesPathsAndTimesAndHashesItemTitles) {
  Json::Value json("replaced");
  Playlist(m_folder, true, g_sandbox->root()).toJson(json);
  EXPECT_EQ("{\"desc\":{\"hash\":\"DA39A3EE5E6B4B0D3255BFEF95601890AFD80709\"},\"items\":[]}\n", toJsonText(json));

  put("a.mp3");
  putAlbum();
  Playlist list(m_folder, true, g_sandbox->root());
  list.markPlaying(m_folder + "/a.mp3", 0);
  json = Json::Value();
  json["kept"] = 1;
  list.toJson(json);
  EXPECT_EQ(
      "{\"desc\":{\"hash\":\"51D76B5C47687071F21F4BE8E65A88431D6C9F32\"},\"items\":[{\"index\":0,\"play\":true,"
      "\"title\":\"a.mp3\"},{\"index\":1,\"play\":false,\"subitems\":[{\"index\":2,\"play\":false,\"title\":\"One\"},"
      "{\"index\":3,\"play\":false,\"title\":\"Two\"},{\"index\":4,\"play\":false,\"title\":\"Three\"}],"
      "\"title\":\"album.flac\"}],\"kept\":1}\n",
      toJsonText(json));
}

// ---- the playlist file ----

// The file is written directly; it must be the document the library's styled
// writer makes, byte for byte.
TEST(PlaylistFile, TextIsWhatTheStyledWriterWrites) {
  // Bytes to escape early, late and on either side of an eight-byte boundary.
  const char* titles[] = {"a.mp3", "Ünïcode \xd0\x90.flac", "quote \" and \\ back",         "tab\there",
                          "",      "01234567\x7f.mp3",      "a plain name of thirty bytes", "0123456\\",
                          "\x1f"};
  const int kinds = sizeof titles / sizeof *titles;
  for (int shape = 0; shape < 6; ++shape) {
    std::list<PlaylistItem> items;
    Json::Value document(Json::objectValue);
    // A plain folder's text is not checked again in the paths below it.
    std::string folder = shape % 2 ? "/tmp/mnt/usb1/M\xc3\xbcsic" : "/tmp/mnt/usb1/Music";
    document["desc"]["path"] = folder;
    document["items"] = Json::Value(Json::arrayValue);
    for (int i = 0; i < shape * 2; ++i) {
      PlaylistItem item;
      item.index = i * 3;
      item.dirIndex = -i;
      item.title = titles[i % kinds];
      item.path = (i % 4 == 3 ? std::string("/tmp/") : folder + "/") + titles[(i + 1) % kinds];
      Json::Value entry(Json::objectValue);
      entry["index"] = item.index;
      entry["dir_index"] = item.dirIndex;
      entry["title"] = item.title;
      entry["path"] = item.path;
      for (int t = 0; t < (i % 3) * 2; ++t) {
        item.subitems.push_back({item.index + t + 1, titles[t % kinds], t * 60, t == 3 ? 1000000 : 60});
        Json::Value track(Json::objectValue);
        track["index"] = item.subitems.back().index;
        track["title"] = item.subitems.back().title;
        track["start"] = item.subitems.back().start;
        track["length"] = item.subitems.back().length;
        entry["subitems"].append(track);
      }
      items.push_back(item);
      document["items"].append(entry);
    }
    std::ostringstream styled;
    Json::StyledStreamWriter("\t").write(styled, document);
    EXPECT_EQ(styled.str(), playlistFileText(document["desc"]["path"].asString(), items)) << shape * 2 << " items";

    // Read back without the library, the items are the same; their answer
    // is what the compact writer writes.
    ASSERT_TRUE(writeFileAtomic(rooted(paths::kPlaylistFile), styled.str()));
    Playlist loaded(folder, false, "/");
    ASSERT_EQ(items.size(), loaded.items().size()) << shape * 2 << " items";
    auto original = items.begin();
    for (const PlaylistItem& back : loaded.items()) {
      EXPECT_EQ(original->title, back.title);
      EXPECT_EQ(original->path, back.path);
      EXPECT_EQ(original->dirIndex, back.dirIndex);
      ASSERT_EQ(original->subitems.size(), back.subitems.size());
      for (size_t t = 0; t < back.subitems.size(); ++t) EXPECT_EQ(original->subitems[t].title, back.subitems[t].title);
      ++original;
    }
    Json::Value answer;
    loaded.toJson(answer);
    EXPECT_EQ(toJsonText(answer), playlistAnswerText(loaded.items())) << shape * 2 << " items";
  }
}

TEST_F(PlaylistTest, LoadingTheFileGivesTheSameList) {
  put("a.mp3");
  put("M\xc3\xbcsic \"live\" \\ \t\x7f \xf0\x9f\x8e\xb5.mp3");  // escapes, two- and four-byte characters
  putAlbum();
  Playlist built(m_folder, true, g_sandbox->root());
  std::string saved = playlistFile();
  EXPECT_EQ(0u, saved.find("{\n\t\"desc\" : \n\t{\n\t\t\"path\" : \"" + m_folder + "\"\n\t},\n\t\"items\" : "));
  EXPECT_EQ(std::string::npos, saved.find("play")) << "play flags are not stored";
  EXPECT_NE(std::string::npos, saved.find("\"length\" : 1000000"));
  put("later.mp3");  // a rebuild would see it
  Playlist loaded(m_folder, false, g_sandbox->root());
  EXPECT_EQ(built.rows(), loaded.rows());
  loaded.save();  // everything read comes back out unchanged
  EXPECT_EQ(saved, playlistFile());
  Playlist rebuilt(m_folder, true, g_sandbox->root());
  EXPECT_EQ(4u, rebuilt.items().size());
}

TEST_F(PlaylistTest, AnUnusablePlaylistFileIsRebuilt) {
  put("a.mp3");
  std::string folder = folderJson();
  struct Case {
    const char* description;
    std::string content;
  } cases[] = {
      {"another path", "{\"desc\":{\"path\":\"/elsewhere\"},\"items\":[]}"},
      {"not JSON", "items: none"},
      {"not an object", "[1,2]"},
      {"desc not an object", "{\"desc\":\"x\",\"items\":[]}"},
      {"path not text", "{\"desc\":{\"path\":7},\"items\":[]}"},
      {"items missing", "{\"desc\":{\"path\":" + folder + "}}"},
      {"an item not an object", "{\"desc\":{\"path\":" + folder + "},\"items\":[3]}"},
      {"an index not a number", "{\"desc\":{\"path\":" + folder + "},\"items\":[{\"index\":\"0\"}]}"},
      {"a title not text", "{\"desc\":{\"path\":" + folder + "},\"items\":[{\"title\":{}}]}"},
      {"a track not an object", "{\"desc\":{\"path\":" + folder + "},\"items\":[{\"subitems\":[null]}]}"},
      {"nested too deep", std::string(5000, '[') + std::string(5000, ']')},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(writeFileAtomic(rooted(paths::kPlaylistFile), c.content));
    Playlist list(m_folder, false, g_sandbox->root());
    ASSERT_EQ(1u, list.items().size()) << c.description;
    EXPECT_EQ(m_folder + "/a.mp3", list.items().front().path) << c.description;
    EXPECT_NE(std::string::npos, playlistFile().find("a.mp3")) << c.description << ": saved anew";
  }
}

// ---- registry ----

TEST_F(PlaylistTest, RegistryKeepsOnePlaylistPerPathUntilRebuilt) {
  put("a.mp3");
  Playlist& first = PlaylistRegistry::get(m_folder, g_sandbox->root());
  ASSERT_EQ(1u, first.items().size());
  put("b.mp3");
  EXPECT_EQ(&first, &PlaylistRegistry::get(m_folder, g_sandbox->root()));
  EXPECT_EQ(1u, PlaylistRegistry::get(m_folder, g_sandbox->root()).items().size());
  Playlist kept = first;
  Playlist& rebuilt = PlaylistRegistry::rebuild(m_folder, g_sandbox->root());
  EXPECT_EQ(2u, rebuilt.items().size());
  EXPECT_EQ(2u, PlaylistRegistry::get(m_folder, g_sandbox->root()).items().size());
  EXPECT_EQ(1u, kept.items().size());  // an older copy keeps its own list
}

// ---- outside input never ends the process ----

// libcue reports every syntax error on standard error.
class QuietStderr {
 public:
  QuietStderr() : m_saved(dup(2)) {
    int null = openFile("/dev/null", O_WRONLY);
    dup2(null, 2);
    closeFile(null);
  }
  ~QuietStderr() {
    dup2(m_saved, 2);
    closeFile(m_saved);
  }

 private:
  int m_saved;
};

TEST(PlaylistFuzz, CueSheetReadingSurvivesAnyText) {
  std::vector<std::string> seeds = {
      kThreeTracks,
      oneTrack("Only"),
      "REM GENRE Rock\nCATALOG 1234567890123\nFILE \"x.wav\" WAVE\nTRACK 01 AUDIO\nFLAGS DCP\nPREGAP 00:02:00\n"
      "INDEX 00 00:00:00\nINDEX 01 00:02:00\nPOSTGAP 00:01:00\nTRACK 02 AUDIO\nTITLE \"\"\nISRC ABCDE1234567\n"
      "INDEX 01 99:59:74\n",
      "FILE \"a\" BINARY\nTRACK 99 MODE1/2352\nTITLE \"t\"\nINDEX 99 00:00:00\n",
  };
  QuietStderr quiet;
  EXPECT_GT(runFuzzBriefly(fuzzCueSheet, seeds, 10000), 10000u);
}

Playlist* g_loading = nullptr;

int fuzzPlaylistFile(const uint8_t* data, size_t size) {
  {
    std::ofstream file(rooted(paths::kPlaylistFile), std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  if (g_loading->load()) {
    g_loading->rows();
    Json::Value json;
    g_loading->toJson(json);
  }
  return 0;
}

TEST_F(PlaylistTest, LoadingSurvivesAnyPlaylistFile) {
  put("a.mp3");
  putAlbum();
  Playlist list(m_folder, true, g_sandbox->root());
  g_loading = &list;
  std::string saved = playlistFile();
  std::vector<std::string> seeds = {saved, "{\"desc\":{\"path\":\"" + m_folder + "\"},\"items\":[{}]}"};
  EXPECT_GT(runFuzzBriefly(fuzzPlaylistFile, seeds, 1500), 1500u);
  g_loading = nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  Sandbox sandbox;
  setenv("TAVORC_ROOT", sandbox.root().c_str(), 1);
  g_sandbox = &sandbox;
  return RUN_ALL_TESTS();
}
