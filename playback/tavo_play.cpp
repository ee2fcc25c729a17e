// Playing what the front end names by virtual path, and finding out which
// playlist the player is playing.
#include "browse/covers.h"
#include "browse/filetypes.h"
#include "browse/sourcelookup.h"
#include "core/config.h"
#include "core/utils.h"
#include "playback/history.h"
#include "playback/playlist.h"
#include "playback/playlistview.h"
#include "playback/tavo.h"

namespace {

struct PlayTarget {
  IFilesSource* source;
  std::string realPath;
  std::string root;  // the source's mount point
};

PlayTarget findTarget(const std::string& virtualPath) {
  IFilesSource* source = findSourceByVirtualPath(virtualPath);
  if (!source) throw TavoException("invalid path");
  return {source, source->virtualToReal(virtualPath), sourceRootOf(*source)};
}

bool isDiscFolder(const std::string& folder) { return CoverFinder(folder, false).isDiscFolder(); }

std::string lastElement(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void Tavo::startDirectoryPlaylist(const Playlist& playlist, const std::string& mediaUrl, int dirIndex) {
  startPlaylist(mediaUrl, dirIndex);
  PlaylistViewState view;
  if (dirIndex > 0) {
    if (const PlaylistItem* item = playlist.itemByDirIndex(dirIndex)) {
      view.pos = item->index;
      view.top = item->index - 5;
    }
  }
  view.bottom = view.top + PlaylistViewState::kPageRows - 1;
  view.normalize(playlist.rows());
  view.store();
}

void Tavo::play(const std::string& virtualPath) {
  PlayTarget target = findTarget(virtualPath);
  const std::string& path = target.realPath;
  std::string mediaUrl = target.source->realToMediaUrl(path);
  if (isDirectory(path)) {
    if (isDiscFolder(path))
      launch(mediaUrl);
    else
      startDirectoryPlaylist(PlaylistRegistry::rebuild(path, target.root), mediaUrl, -1);
  } else if (isDiscImageFile(path.c_str())) {
    launch(mediaUrl);
  } else if (isPlaylistFile(path.c_str())) {
    const Playlist& playlist = PlaylistRegistry::rebuild(path, target.root);
    launch(mediaUrl);
    PlaylistViewState view;
    view.bottom = PlaylistViewState::kPageRows - 1;
    view.normalize(playlist.rows());
    view.store();
  } else {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) throw TavoException("Tavo::play error O_o");
    std::string folder = path.substr(0, slash);
    const Playlist& playlist = PlaylistRegistry::rebuild(folder, target.root);
    const PlaylistItem* item = playlist.itemByPath(path);
    if (!item) throw TavoException("Tavo::play error o_O");
    startDirectoryPlaylist(playlist, target.source->realToMediaUrl(folder), item->dirIndex);
  }
  recordPlayback();
}

void Tavo::playDirectory(const std::string& virtualPath, int startIndex) {
  PlayTarget target = findTarget(virtualPath);
  if (!isDirectory(target.realPath)) throw TavoException(target.realPath + "not a directory");
  startDirectoryPlaylist(PlaylistRegistry::rebuild(target.realPath, target.root),
                         target.source->realToMediaUrl(target.realPath), startIndex);
  recordPlayback();
}

const PlaylistItem* Tavo::currentItem(const Playlist& playlist) const {
  if (m_status.playbackUrl.empty()) return nullptr;
  IFilesSource* source = findSourceByMediaUrl(m_status.playbackUrl);
  if (!source) return nullptr;
  return playlist.itemByPath(source->mediaUrlToReal(m_status.playbackUrl));
}

Playlist* Tavo::currentPlaylist() {
  Config* config = Config::instance();
  std::string lpd = config->lpd();
  if (lpd.empty()) return nullptr;
  IFilesSource* source = findSourceByMediaUrl(lpd);
  if (!source) {
    config->setLpd("");
    return nullptr;
  }
  waitForPlayback();
  // Inside the folder: "Music2/a.mp3" is not in "Music".
  if (!isAtOrBelow(m_status.playbackUrl, lpd)) {
    config->setLpd("");
    return nullptr;
  }
  try {
    Playlist& playlist = PlaylistRegistry::get(source->mediaUrlToReal(lpd), sourceRootOf(*source));
    playlist.markPlaying(source->mediaUrlToReal(m_status.playbackUrl), m_status.position);
    return &playlist;
  } catch (const TavoException&) {
    throw;
  } catch (const AppException& error) {
    throw TavoException(error.what());
  }
}

Playlist* Tavo::currentPlaylistWaking() {
  const std::string lpd = Config::instance()->lpd();
  Playlist* playlist = currentPlaylist();
  if (playlist || lpd.empty() || reportsAwake(m_status)) return playlist;
  IFilesSource* source = findSourceByMediaUrl(lpd);
  if (!source) return nullptr;
  powerOn();
  startDirectoryPlaylist(PlaylistRegistry::get(source->mediaUrlToReal(lpd), sourceRootOf(*source)), lpd, -1);
  return currentPlaylist();
}

void Tavo::recordPlayback() {
  HistoryItem item;
  if (Playlist* playlist = currentPlaylist()) {
    std::string lpd = Config::instance()->lpd();
    if (IFilesSource* source = findSourceByMediaUrl(lpd)) {
      item.virtualPath = source->mediaUrlToVirtual(lpd);
      item.title = lastElement(item.virtualPath);
      const PlaylistItem* playing = currentItem(*playlist);
      item.lastIndex = playing ? playing->dirIndex : -1;
      item.playPosition = m_status.position;
    }
  }
  History().record(item);
}
