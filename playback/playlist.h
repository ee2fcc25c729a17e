// The playlist the player makes of a folder or a playlist file: the same files
// in the same order and numbering, plus one row per cue-sheet track. The last
// built playlist is kept in the playlist file for the requests that follow.
#pragma once

#include <json/json.h>
#include <sys/types.h>

#include <list>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "playback/cuesheet.h"

class SortedFolder;

// One playable file.
struct PlaylistItem {
  int index = 0;      // panel row of the file itself
  int dirIndex = 0;   // the player's number of the file ("start_index")
  bool play = false;  // only meaningful without subitems
  std::string title;
  std::string path;  // real path
  std::vector<PlaylistSubitem> subitems;

  int rows() const { return 1 + static_cast<int>(subitems.size()); }
  // The item's own row without subitems; else the row of the track holding
  // the position, or 0 when none does.
  int currentRow(int position) const;
  void setPlaying(bool playing, int position);
};

class Playlist {
 public:
  // At most this many rows; files beyond them are left out.
  static constexpr int kMaxRows = 10000;
  // A playlist file is read up to this many bytes.
  static constexpr size_t kMaxPlaylistFileBytes = 1024 * 1024;

  // Loads the playlist file when it describes this path (and rebuild is
  // false), else builds and saves. sourceRoot: the mount point of the source
  // the path lies on; what really lies outside it is never listed.
  // AppException when building fails.
  Playlist(const std::string& path, bool rebuild, const std::string& sourceRoot);
  Playlist(const Playlist&) = default;
  Playlist& operator=(const Playlist&) = default;

  bool load();
  void save() const;
  void build();

  const std::string& path() const { return m_path; }
  const std::list<PlaylistItem>& items() const { return *m_items; }
  int rows() const;
  const PlaylistItem* itemByDirIndex(int dirIndex) const;
  const PlaylistItem* itemByPath(const std::string& path) const;
  const PlaylistItem* itemByRow(int row) const;  // the file whose rows hold it

  // The first item with this path plays; every other one does not.
  void markPlaying(const std::string& path, int position);

  // {"desc":{"hash"},"items":[...]} for the web front end.
  void toJson(Json::Value& into) const;

 private:
  using FolderId = std::pair<dev_t, ino_t>;
  struct Build;  // what one build has met so far

  void scanFolder(Build& build, const std::string& folder, const SortedFolder& list);
  void readPlaylistFile(Build& build, const std::string& file);
  // sheetPossible false: the file's folder holds no cue sheet it could have.
  void addFile(Build& build, std::string title, std::string path, bool sheetPossible = true);
  void keepNumbering(Build& build, const std::string& path);

  std::string m_path;
  std::string m_sourceRoot;
  std::shared_ptr<std::list<PlaylistItem>> m_items;  // shared by copies
};

// The playlist file's text for these items, as the styled JSON writer lays
// the document out.
std::string playlistFileText(const std::string& path, const std::list<PlaylistItem>& items);
// The "playlist" answer of these items: what the compact JSON writer writes
// of Playlist::toJson, written directly (the answer is asked for every few
// seconds while the page shows it).
std::string playlistAnswerText(const std::list<PlaylistItem>& items);

// The playlists of this process by path.
class PlaylistRegistry {
 public:
  // The known playlist, else one loaded from the playlist file or built.
  static Playlist& get(const std::string& path, const std::string& sourceRoot);
  // A freshly built playlist, replacing any earlier one of the path.
  static Playlist& rebuild(const std::string& path, const std::string& sourceRoot);

 private:
  static std::map<std::string, Playlist>& playlists();
};
