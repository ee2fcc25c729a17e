// What the player plays now, for the front end's "now playing": one status
// query of the control program and what the system knows already (the
// storages, the shares mounted already, the playlist file). Nothing is
// started, waited for, mounted or built.
#pragma once

#include <json/json.h>

#include <string>

class Tavo;

// The row of the playlist panel that plays and its title.
struct PlayingRow {
  int row = -1;  // -1: the file is not in the playlist
  std::string title;
};

// The row that the playlist file's text gives to the file (a real path)
// playing at position, when the text is the playlist of folder; for a file
// with cue-sheet tracks, the track holding the position.
PlayingRow playingRowInPlaylistText(const std::string& text, const std::string& folder, const std::string& file,
                                    int position);

// {"awake","duration","position","row","state","title","virtual_path","volume"}
// after one status query; TavoException when the player does not answer.
Json::Value nowPlaying(Tavo& tavo);
