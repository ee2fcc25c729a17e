// What the simulated player knows about media: where a media URL lies on
// disk, what kind of file a name is, and the list it builds for a folder or a
// playlist file.
#pragma once

#include <string>
#include <utility>
#include <vector>

// media.conf: lines "<media-url-prefix> <real-dir>".
class MediaMap {
 public:
  void load(const std::string& confPath);
  void add(const std::string& prefix, const std::string& dir);
  // Longest prefix that matches the whole URL or ends at a "/" in it.
  bool toReal(const std::string& url, std::string& real) const;

 private:
  std::vector<std::pair<std::string, std::string>> m_prefixes;
};

enum class FileKind { Other, Audio, Video, Playlist, DiscImage, Picture, Data };
FileKind kindOfName(const std::string& name);
bool isDiscFolder(const std::string& dir);
// Folders of the player are ordered like this: digits and punctuation before
// letters, ASCII letter case ignored, two-byte characters after ASCII.
int compareNames(const std::string& a, const std::string& b);

struct Track {
  int row;
  int start;  // seconds into the file
};

struct ListItem {
  int row;
  int number;  // the player's numbering, what start_index selects
  std::string path;
  std::vector<Track> tracks;
  int rowCount() const { return 1 + static_cast<int>(tracks.size()); }
  int rowAt(int position) const;  // the playing row at a position
};

struct MediaList {
  std::vector<ListItem> items;
  int rows = 0;
  int count = 0;

  const ListItem* itemForRow(int row) const;
  const ListItem* itemForNumber(int number) const;
  const ListItem* itemAfter(int row) const;
};

MediaList buildFolderList(const std::string& dir);
MediaList buildPlaylistFileList(const std::string& file);
MediaList buildSingleList(const std::string& path);

struct MediaInfo {
  int duration;
  int videoWidth;
};
// A file that begins with a line "duration=<seconds>" lasts that long;
// anything else gets a default for its kind.
MediaInfo probeMedia(const std::string& path, bool isFolder);
