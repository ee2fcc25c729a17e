// The sandbox the playback tests share with the player simulator: one for
// the whole test program, since the root and the storage list are read once
// per process. A storage "USB" (storage_uuid://1a2b_3c4d) holds the folders
// Two, "My Music" and Long (28 files, then an album of 5 cue tracks), a disc
// folder, a disc image, a film, an hour of audio and a playlist file.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "core/config.h"
#include "core/paths.h"
#include "core/result.h"
#include "playback/playlist.h"
#include "playback/tavo.h"
#include "tests/support/playersim.h"
#include "tests/support/sandbox.h"

inline const char kUrl[] = "storage_uuid://1a2b_3c4d";
inline const char kEncodedUrl[] = "storage_uuid%3a%2f%2f1a2b_3c4d";
inline const int kLongRows = 34;    // 28 files, then an album of 5 cue tracks
inline const int kFarFiles = 2000;  // then the same album

// The message of the TavoException that run throws; empty when it throws none.
inline std::string failure(const std::function<void()>& run) {
  try {
    run();
  } catch (const TavoException& e) {
    return e.what();
  }
  return "";
}

inline std::string cueSheet(int tracks) {
  std::string text = "FILE \"29 Live.flac\" WAVE\n";
  for (int t = 1; t <= tracks; ++t) {
    char line[160];
    snprintf(line, sizeof line, "  TRACK %02d AUDIO\n    TITLE \"Part %d\"\n    INDEX 01 %02d:00:00\n", t, t,
             (t - 1) * 5);
    text += line;
  }
  return text;
}

class Playing : public ::testing::Test {
 protected:
  inline static Sandbox* s_box = nullptr;
  inline static SimulatedPlayer* s_player = nullptr;

  static void SetUpTestSuite() {
    if (s_box) return;
    static Sandbox box;
    s_box = &box;
    setenv("TAVORC_ROOT", box.root().c_str(), 1);
    setenv("PATH", box.pathEnv().c_str(), 1);
    static SimulatedPlayer player(box);
    s_player = &player;
    mountStorage(box, "/dev/sda1", "/tmp/mnt/usb1", "LABEL=\"USB\" UUID=\"1A2B-3C4D\"");
    player.mapMedia(kUrl, "/tmp/mnt/usb1");
    const std::string top = "/tmp/mnt/usb1/";
    box.write(top + "Two/a.mp3", "duration=300\n");
    box.write(top + "Two/b.mp3", "duration=300\n");
    box.write(top + "Two/zz.jpg", "picture");
    box.write(top + "Disc/VIDEO_TS/VIDEO_TS.IFO", "duration=900\n");
    box.write(top + "film.iso", "duration=5400\n");
    box.write(top + "film.mkv", "duration=5400\n");
    box.write(top + "hour.mp3", "duration=3600\n");
    for (const char* name : {"01.mp3", "02.mp3", "03.mp3"}) box.write(top + "My Music/" + name, "duration=200\n");
    box.write(top + "Mix.m3u", "#EXTM3U\n#EXTINF:300,First\nTwo/a.mp3\nTwo/b.mp3\n");
    for (int i = 1; i <= 28; ++i) {
      char name[32];
      snprintf(name, sizeof name, "Long/%02d.mp3", i);
      box.write(top + name, "duration=200\n");
    }
    box.write(top + "Long/29 Live.flac", "duration=2000\n");
    box.write(top + "Long/29 Live.cue", cueSheet(5));
    Tavo::setPauseFunction([](long) {});
  }

  void SetUp() override {
    s_player->reset();
    s_player->set("clock=frozen");
    m_config.reset();  // saves
    unlink(s_box->path(paths::kConfigFile).c_str());
    unlink(s_box->path(paths::kPlayPositionFile).c_str());
    m_config = std::make_unique<Config>("TEST");
  }

  Json::Value& stored(const char* key) { return m_config->root()[key]; }

  static std::string viewState(int pos, int top, int bottom) {
    return "{\"bottom\":" + std::to_string(bottom) + ",\"pos\":" + std::to_string(pos) +
           ",\"top\":" + std::to_string(top) + "}\n";
  }
  std::string storedViewState() { return toJsonText(stored("last_pl_state")); }

  // Plays the long folder and forgets what that sent.
  Playlist& playLong() {
    m_tavo.play("local/USB/Long");
    s_player->clearRequests();
    Playlist* playlist = m_tavo.currentPlaylist();
    if (!playlist) throw std::runtime_error("the long folder does not play");
    return *playlist;
  }

  std::unique_ptr<Config> m_config;
  Tavo m_tavo;
};
