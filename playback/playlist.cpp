#include "playback/playlist.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "core/utils.h"

int PlaylistItem::currentRow(int position) const {
  if (subitems.empty()) return index;
  for (const PlaylistSubitem& sub : subitems)
    if (sub.contains(position)) return sub.index;
  return 0;
}

void PlaylistItem::setPlaying(bool playing, int position) {
  if (subitems.empty()) {
    play = playing;
    return;
  }
  for (PlaylistSubitem& sub : subitems) sub.play = playing && sub.contains(position);
}

Playlist::Playlist(const std::string& path, bool rebuild, const std::string& sourceRoot)
    : m_path(path), m_sourceRoot(sourceRoot), m_items(std::make_shared<std::list<PlaylistItem>>()) {
  if (!rebuild && load()) return;
  build();
  save();
}

// Rows of entries that are not listed (they lie outside the source) may
// stand between items: the rows end after the last item.
int Playlist::rows() const {
  if (m_items->empty()) return 0;
  const PlaylistItem& last = m_items->back();
  int64_t end = static_cast<int64_t>(last.index) + last.rows();  // a hand-made file may hold any index
  return static_cast<int>(std::clamp<int64_t>(end, 0, INT_MAX));
}

const PlaylistItem* Playlist::itemByDirIndex(int dirIndex) const {
  for (const PlaylistItem& item : *m_items)
    if (item.dirIndex == dirIndex) return &item;
  return nullptr;
}

const PlaylistItem* Playlist::itemByPath(const std::string& path) const {
  for (const PlaylistItem& item : *m_items)
    if (item.path == path) return &item;
  return nullptr;
}

const PlaylistItem* Playlist::itemByRow(int row) const {
  for (const PlaylistItem& item : *m_items)
    if (row >= item.index && row < item.index + item.rows()) return &item;
  return nullptr;
}

void Playlist::markPlaying(const std::string& path, int position) {
  bool found = false;
  for (PlaylistItem& item : *m_items) {
    bool playing = !found && item.path == path;
    found = found || playing;
    item.setPlaying(playing, position);
  }
}

void Playlist::toJson(Json::Value& into) const {
  if (!into.isObject()) into = Json::Value(Json::objectValue);
  std::string titles;
  Json::Value items(Json::arrayValue);
  for (const PlaylistItem& item : *m_items) {
    titles += item.title;
    Json::Value entry(Json::objectValue);
    entry["index"] = item.index;
    entry["title"] = item.title;
    entry["play"] = item.play;
    if (!item.subitems.empty()) {
      Json::Value& tracks = entry["subitems"] = Json::Value(Json::arrayValue);
      for (const PlaylistSubitem& sub : item.subitems) {
        Json::Value track(Json::objectValue);
        track["index"] = sub.index;
        track["title"] = sub.title;
        track["play"] = sub.play;
        tracks.append(track);
      }
    }
    items.append(entry);
  }
  into["desc"] = Json::Value(Json::objectValue);
  into["desc"]["hash"] = sha1Hex(titles);
  into["items"] = items;
}

// Never destroyed: a playlist of thousands of items lives until the process
// ends, and the end gives its memory back at once, without a free per item.
std::map<std::string, Playlist>& PlaylistRegistry::playlists() {
  static auto* map = new std::map<std::string, Playlist>;
  return *map;
}

Playlist& PlaylistRegistry::get(const std::string& path, const std::string& sourceRoot) {
  auto found = playlists().find(path);
  if (found == playlists().end()) found = playlists().emplace(path, Playlist(path, false, sourceRoot)).first;
  return found->second;
}

Playlist& PlaylistRegistry::rebuild(const std::string& path, const std::string& sourceRoot) {
  Playlist fresh(path, true, sourceRoot);
  auto found = playlists().find(path);
  if (found == playlists().end()) return playlists().emplace(path, fresh).first->second;
  found->second = fresh;
  return found->second;
}
