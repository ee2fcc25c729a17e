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

// One playable file.
struct PlaylistItem {
  int index = 0;     // panel row of the file itself
  int dirIndex = 0;  // the player's number of the file ("start_index")
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
  // Loads the playlist file when it describes this path (and rebuild is
  // false), else builds and saves. AppException when building fails.
  Playlist(const std::string& path, bool rebuild);
  Playlist(const Playlist&) = default;
  Playlist& operator=(const Playlist&) = default;
  virtual ~Playlist() = default;

  bool load();
  void save() const;
  void build();

  const std::string& path() const { return m_path; }
  const std::list<PlaylistItem>& items() const { return *m_items; }
  int rows() const;
  const PlaylistItem* itemByDirIndex(int dirIndex) const;
  const PlaylistItem* itemByPath(const std::string& path) const;

  // The first item with this path plays; every other one does not.
  void markPlaying(const std::string& path, int position);

  // {"desc":{"hash"},"items":[...]} for the web front end.
  void toJson(Json::Value& into) const;

 private:
  using FolderId = std::pair<dev_t, ino_t>;

  void scanFolder(const std::string& folder, const FolderId& id);
  void readPlaylistFile(const std::string& file);
  // sheetPossible false: the file's folder holds no cue sheet it could have.
  void addFile(std::string title, std::string path, bool sheetPossible = true);

  std::string m_path;
  std::shared_ptr<std::list<PlaylistItem>> m_items;  // shared by copies
  int m_total = 0;  // next panel row while building
  int m_count = 0;  // next dir index while building
  std::vector<FolderId> m_openFolders;  // folders being scanned, outermost first
};

// The playlist file's text for these items, as the styled JSON writer lays
// the document out.
std::string playlistFileText(const std::string& path, const std::list<PlaylistItem>& items);

// The playlists of this process by path.
class PlaylistRegistry {
 public:
  // The known playlist, else one loaded from the playlist file or built.
  static Playlist& get(const std::string& path);
  // A freshly built playlist, replacing any earlier one of the path.
  static Playlist& rebuild(const std::string& path);

 private:
  static std::map<std::string, Playlist>& playlists();
};
