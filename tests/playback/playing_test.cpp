// Playing paths, the current playlist and the playlist panel, in-process
// against the player simulator: both the requests sent and where the
// simulated player ends up.
#include "tests/playback/playing.h"

#include <string>
#include <vector>

#include "playback/history.h"
#include "playback/nowplaying.h"

namespace {

TEST(NowPlaying, PlaylistFileGivesTheRowOnlyForItsOwnFolder) {
  std::list<PlaylistItem> items(2);
  items.front().title = "a \"b\".mp3";
  items.front().path = "/m/Ö/a \"b\".mp3";
  PlaylistItem& album = items.back();
  album.index = 1;
  album.title = "Live.flac";
  album.path = "/m/Ö/Live.flac";
  for (int t = 0; t < 2; ++t) album.subitems.push_back({2 + t, t ? "Ballad" : "Opening", 300 * t, 300});
  const std::string text = playlistFileText("/m/Ö", items);
  const struct {
    const char* folder;
    const char* file;
    int position, row;
    const char* title;
  } cases[] = {
      {"/m/Ö", "/m/Ö/a \"b\".mp3", 0, 0, "a \"b\".mp3"},
      {"/m/Ö", "/m/Ö/Live.flac", 310, 3, "Ballad"},
      {"/m/Ö", "/m/Ö/Live.flac", 900, 1, "Live.flac"},
      {"/m/Ö", "/m/Ö/c.mp3", 0, -1, ""},
      {"/m", "/m/Ö/Live.flac", 0, -1, ""},
  };
  for (const auto& c : cases) {
    PlayingRow playing = playingRowInPlaylistText(text, c.folder, c.file, c.position);
    EXPECT_EQ(c.row, playing.row) << c.file << " at " << c.position;
    EXPECT_EQ(c.title, playing.title) << c.file << " at " << c.position;
  }
}

TEST_F(Playing, EachKindOfPathSendsItsRequest) {
  const std::string start = std::string("cmd=start_playlist_playback&media_url=") + kEncodedUrl;
  const std::string launch = std::string("cmd=launch_media_url&media_url=") + kEncodedUrl;
  const struct {
    const char* what;
    const char* path;
    std::string request;  // the one request besides status queries
    std::string plays;    // the simulated player's url afterwards
    std::string lpd;
    std::string view;  // "last_pl_state" afterwards, "" when none is stored
  } cases[] = {
      {"folder", "local/USB/Two", start + "%2fTwo", "/Two/a.mp3", "/Two", viewState(0, 0, 1)},
      {"file inside a folder, from its number", "local/USB/Two/b.mp3", start + "%2fTwo&start_index=1", "/Two/b.mp3",
       "/Two", viewState(1, 0, 1)},
      {"disc folder", "local/USB/Disc", launch + "%2fDisc", "/Disc", "", ""},
      {"disc image", "local/USB/film.iso", launch + "%2ffilm.iso", "/film.iso", "", ""},
      {"playlist file", "local/USB/Mix.m3u", launch + "%2fMix.m3u", "/Two/a.mp3", "", viewState(0, 0, 1)},
  };
  for (const auto& c : cases) {
    SetUp();
    m_tavo.play(c.path);
    EXPECT_EQ(s_player->actions(), std::vector<std::string>{c.request}) << c.what;
    EXPECT_EQ(s_player->state("url"), kUrl + c.plays) << c.what;
    EXPECT_EQ(m_config->lpd(), c.lpd.empty() ? "" : kUrl + c.lpd) << c.what;
    EXPECT_EQ(c.view.empty() ? "null\n" : c.view, storedViewState()) << c.what;
  }
}

TEST_F(Playing, WhatCannotBePlayedOrMovedToSendsNothing) {
  for (const auto& [path, message] :
       {std::pair<const char*, const char*>{"local/USB/Two/zz.jpg", "Tavo::play error o_O"},
        {"local/NONE/Two", "invalid path"},
        {"local/USB/Two/../Two", "invalid path"},
        {"", "invalid path"}})
    EXPECT_EQ(message, failure([&] { m_tavo.play(path); })) << path;
  EXPECT_EQ(s_box->path("/tmp/mnt/usb1/Two/a.mp3") + "not a directory",
            failure([&] { m_tavo.playDirectory("local/USB/Two/a.mp3", 0); }));
  EXPECT_EQ("invalid playlist", failure([&] { m_tavo.playlistMove(0); }));
  EXPECT_TRUE(s_player->requests().empty());

  Playlist& playlist = playLong();
  for (int row : {-1, kLongRows}) EXPECT_EQ("invalid position", failure([&] { m_tavo.selectRow(playlist, row); }));
  EXPECT_TRUE(s_player->actions().empty());
}

TEST_F(Playing, CurrentPlaylistFollowsTheRememberedFolder) {
  EXPECT_EQ(nullptr, m_tavo.currentPlaylist());
  EXPECT_TRUE(s_player->requests().empty()) << "without a remembered folder the player is not asked";

  m_config->setLpd("storage_uuid://unknown/Music");
  EXPECT_EQ(nullptr, m_tavo.currentPlaylist());
  EXPECT_EQ("", m_config->lpd()) << "a folder of no known source is forgotten";

  m_tavo.play("local/USB/Two/b.mp3");
  Playlist* playing = m_tavo.currentPlaylist();
  ASSERT_NE(nullptr, playing);
  Json::Value answer;
  playing->toJson(answer);
  EXPECT_EQ("[{\"index\":0,\"play\":false,\"title\":\"a.mp3\"},{\"index\":1,\"play\":true,\"title\":\"b.mp3\"}]\n",
            toJsonText(answer["items"]));

  m_tavo.launch(std::string(kUrl) + "/film.iso");
  EXPECT_EQ(nullptr, m_tavo.currentPlaylist());
  EXPECT_EQ("", m_config->lpd()) << "playback outside the folder forgets it";

  m_tavo.play("local/USB/Two");
  m_config->setLpd(std::string(kUrl) + "/Tw");
  EXPECT_EQ(nullptr, m_tavo.currentPlaylist()) << "\"Two/a.mp3\" is not inside \"Tw\"";
}

TEST_F(Playing, MovesWithAKnownWindowLandOnTheRow) {
  Playlist& playlist = playLong();
  ASSERT_EQ(kLongRows, playlist.rows());
  m_tavo.playlistMove(31);
  EXPECT_EQ(keyRequests({{IR_PANEL, 1}, {IR_ENTER, 1}, {IR_PAGE_DOWN, 4}, {IR_UP, 2}, {IR_ENTER, 1}, {IR_PANEL, 1}}),
            s_player->actions())
      << "down to the edge, three pages, two rows back";
  EXPECT_EQ("31", s_player->state("row"));
  EXPECT_EQ(viewState(31, 24, 33), storedViewState()) << "the last page shows 10 rows";

  const struct { int row, plays; } moves[] = {{5, 5}, {28, 29}, {33, 33}, {0, 0}, {17, 17}, {30, 30}, {12, 12}};
  for (const auto& move : moves) {
    s_player->clearRequests();
    m_tavo.playlistMove(move.row);
    EXPECT_EQ(std::to_string(move.plays), s_player->state("row")) << "row " << move.row;
    EXPECT_EQ(move.row, stored("last_pl_state")["pos"].asInt()) << "row " << move.row;
    int opens = 0;
    for (const std::string& sent : s_player->actions()) opens += sent == keyRequests({{IR_PANEL, 1}})[0];
    EXPECT_EQ(2, opens) << "row " << move.row << ": one open and one close, no re-synchronisation";
  }
}

// A stored window that is wrong, missing or unreadable: the panel is paged to
// the first or last row, where the window is known again, and the move is
// made from there.
TEST_F(Playing, LostWindowIsFoundAgainAtAnEdge) {
  for (int i = 1; i <= 25; ++i) s_box->write("/tmp/mnt/usb1/TwentyFive/" + std::to_string(100 + i) + ".mp3", "x");
  const char *P = IR_PANEL, *E = IR_ENTER, *U = IR_UP, *D = IR_DOWN, *PU = IR_PAGE_UP, *PD = IR_PAGE_DOWN;
  const struct {
    const char* what;
    const char* folder;
    const char* playerSettings;  // or none
    const char* stored;          // the stored window: "keep", "drop" or a text in its place
    int row;
    std::vector<std::string> keys;
    std::string view;
  } cases[] = {
      {"moved on the player's own remote, the move misses", "Long", "cursor=20 top=15 bottom=24", "keep", 5,
       keyRequests({{P, 1},
                    {E, 1},
                    {D, 5},
                    {E, 1},
                    {P, 1},
                    {P, 1},
                    {E, 1},
                    {PU, 4},
                    {P, 1},
                    {P, 1},
                    {E, 1},
                    {D, 5},
                    {E, 1},
                    {P, 1}}),
       viewState(5, 0, 9)},
      {"none stored: from the last row", "Long", nullptr, "drop", 25,
       keyRequests({{P, 1}, {E, 1}, {PD, 4}, {P, 1}, {P, 1}, {E, 1}, {U, 8}, {E, 1}, {P, 1}}), viewState(25, 24, 33)},
      {"unreadable, 25 rows", "TwentyFive", nullptr, "lost", 20,
       keyRequests({{P, 1}, {E, 1}, {PD, 3}, {P, 1}, {P, 1}, {E, 1}, {U, 4}, {E, 1}, {P, 1}}), viewState(20, 15, 24)},
  };
  for (const auto& c : cases) {
    SetUp();
    m_tavo.play(std::string("local/USB/") + c.folder);
    Playlist* playlist = m_tavo.currentPlaylist();
    ASSERT_NE(nullptr, playlist) << c.what;
    if (c.playerSettings) s_player->set(c.playerSettings);
    if (std::string(c.stored) == "drop")
      m_config->root().removeMember("last_pl_state");
    else if (std::string(c.stored) != "keep")
      m_config->root()["last_pl_state"] = c.stored;
    s_player->clearRequests();
    m_tavo.selectRow(*playlist, c.row);
    EXPECT_EQ(c.keys, s_player->actions()) << c.what;
    EXPECT_EQ(std::to_string(c.row), s_player->state("row")) << c.what;
    EXPECT_EQ(c.view, storedViewState()) << c.what;
  }
  // A file added since the playlist was built: the player's rows are no
  // longer the system's, both moves miss, and the answer says so.
  SetUp();
  m_tavo.play("local/USB/TwentyFive");
  Playlist* stale = m_tavo.currentPlaylist();
  ASSERT_NE(nullptr, stale);
  s_box->write("/tmp/mnt/usb1/TwentyFive/000.mp3", "x");
  EXPECT_EQ("row not reached", failure([&] { m_tavo.selectRow(*stale, 3); }));
  unlink(s_box->path("/tmp/mnt/usb1/TwentyFive/000.mp3").c_str());
}

// Rows more than a few pages away: the folder starts at the row's file (and
// the cue track is sought), as a play of that file does.
TEST_F(Playing, FarRowsStartTheirFile) {
  for (int i = 0; i < kFarFiles; ++i) {
    char name[40];
    snprintf(name, sizeof name, "/tmp/mnt/usb1/Far/%04d.mp3", i);
    s_box->write(name, "duration=200\n");
  }
  s_box->write("/tmp/mnt/usb1/Far/Z Live.flac", "duration=2000\n");
  s_box->write("/tmp/mnt/usb1/Far/Z Live.cue", cueSheet(5));
  m_tavo.play("local/USB/Far");
  Playlist* playlist = m_tavo.currentPlaylist();
  ASSERT_NE(nullptr, playlist);
  ASSERT_EQ(kFarFiles + 6, playlist->rows());
  const std::string start = std::string("cmd=start_playlist_playback&media_url=") + kEncodedUrl + "%2fFar&start_index=";
  const struct {
    int row;
    std::vector<std::string> sent;
    std::string view;
  } moves[] = {
      {1500, {start + "1500"}, viewState(1500, 1495, 1504)},
      {kFarFiles + 3, {start + "2000"} /* then the time jump to 10:00 */, viewState(2000, 1995, 2004)},
      {1998, keyRequests({{IR_PANEL, 1}, {IR_ENTER, 1}, {IR_UP, 2}, {IR_ENTER, 1}, {IR_PANEL, 1}}),
       viewState(1998, 1995, 2004)},
  };
  for (const auto& move : moves) {
    s_player->clearRequests();
    m_tavo.playlistMove(move.row);
    EXPECT_EQ(std::to_string(move.row), s_player->state("row")) << "row " << move.row;
    std::vector<std::string> sent = s_player->actions();
    ASSERT_GE(sent.size(), move.sent.size()) << "row " << move.row;
    EXPECT_EQ(move.sent, std::vector<std::string>(sent.begin(), sent.begin() + move.sent.size())) << move.row;
    EXPECT_LE(sent.size(), 6u) << "row " << move.row;
    EXPECT_EQ(move.view, storedViewState()) << "row " << move.row;
  }
}

TEST_F(Playing, StandbyPlayerIsWokenAndStartedOnceMore) {
  const std::string power = keyRequests({{IR_POWER, 1}})[0];
  const struct {
    const char* what;
    void (*start)(Tavo&);
    const char* plays;
  } cases[] = {
      {"folder", [](Tavo& t) { t.play("local/USB/Two"); }, "/Two/a.mp3"},
      {"disc image", [](Tavo& t) { t.play("local/USB/film.iso"); }, "/film.iso"},
      {"resume", [](Tavo& t) { t.playDirectory("local/USB/Two", 1); }, "/Two/b.mp3"},
  };
  for (const auto& c : cases) {
    SetUp();
    s_player->set("power=standby boot_seconds=0");
    c.start(m_tavo);
    EXPECT_EQ(kUrl + std::string(c.plays), s_player->state("url")) << c.what;
    std::vector<std::string> sent = s_player->actions();
    ASSERT_EQ(3u, sent.size()) << c.what;
    EXPECT_EQ(power, sent[1]) << c.what << ": the start, the power key, the start again";
    EXPECT_EQ(sent[0], sent[2]) << c.what;
  }

  Playlist& playlist = playLong();
  s_player->set("power=standby boot_seconds=0");  // which ends the playback
  m_tavo.playlistMove(30);
  EXPECT_EQ("30", s_player->state("row")) << "the folder started again and moved";
  EXPECT_EQ(kLongRows, playlist.rows());
  EXPECT_EQ(kUrl + std::string("/Long"), m_config->lpd());
}

TEST_F(Playing, PlaybackIsRecordedPerFolder) {
  m_tavo.play("local/USB/Two/b.mp3");
  s_player->set("position=42");
  m_tavo.recordPlayback();
  EXPECT_EQ("[{\"last_index\":1,\"play_position\":42,\"title\":\"Two\",\"virtual_path\":\"local/USB/Two\"}]\n",
            toJsonText(History::answer()));
  EXPECT_EQ(0, stored("history")[0]["play_position"].asInt()) << "a position in the same file waits in /tmp";

  m_tavo.playDirectory("local/USB/Long", 3);
  EXPECT_EQ("local/USB/Long", stored("history")[0]["virtual_path"].asString()) << "the newest first";
  EXPECT_EQ(3, stored("history")[0]["last_index"].asInt());
  EXPECT_EQ(2u, stored("history").size());
  EXPECT_EQ(42, stored("history")[1]["play_position"].asInt()) << "the folder played before keeps its newest position";

  s_player->set("position=77");
  m_tavo.recordPlayback();
  EXPECT_EQ(0, stored("history")[0]["play_position"].asInt());
  m_tavo.launch(std::string(kUrl) + "/film.iso");
  m_tavo.recordPlayback();
  EXPECT_EQ(77, stored("history")[0]["play_position"].asInt()) << "the newest position is written once it stopped";
  m_tavo.recordPlayback();
  EXPECT_EQ(77, stored("history")[0]["play_position"].asInt());
  EXPECT_EQ(2u, stored("history").size()) << "nothing the system started plays: nothing recorded";
  EXPECT_EQ("", m_config->lpd());
}

}  // namespace
