#include "playback/nowplaying.h"

#include <cstring>

#include "browse/sourcelookup.h"
#include "core/config.h"
#include "core/jsonfile.h"
#include "core/paths.h"
#include "core/sysio.h"
#include "playback/cuesheet.h"
#include "playback/tavo.h"

namespace {

// The playlist file is laid out by the styled writer: the folder's path is
// the first "path" member, inside "desc"; each item is an object two tabs
// deep whose members stand three tabs deep. Strings never hold a raw line
// feed, so these marks cannot occur inside one. Only the playing item is
// parsed: the file of a large folder is most of a megabyte.
const char kFolderPathMember[] = "\"path\" : ";
const char kItemPathMember[] = "\n\t\t\t\"path\" : ";
const char kItemStart[] = "\n\t\t{";
const char kItemEnd[] = "\n\t\t}";

// "a/b/c" and "a/b/c/" -> "c"
std::string lastComponent(std::string url) {
  while (url.size() > 1 && url.back() == '/') url.pop_back();
  size_t slash = url.rfind('/');
  return slash == std::string::npos ? url : url.substr(slash + 1);
}

// std::string::find stops at every line feed of the file; memmem skips ahead.
size_t find(const std::string& text, const std::string& word, size_t from) {
  const void* at = memmem(text.data() + from, text.size() - from, word.data(), word.size());
  return at ? static_cast<size_t>(static_cast<const char*>(at) - text.data()) : std::string::npos;
}

bool startsWithAt(const std::string& text, size_t at, const std::string& word) {
  return text.compare(at, word.size(), word) == 0;
}

PlayingRow rowOfItem(const Json::Value& item, int position) {
  PlayingRow playing;
  playing.row = intMember(item, "index", -1);
  playing.title = stringMember(item, "title");
  const Json::Value& tracks = item["subitems"];
  if (!tracks.isArray()) return playing;
  for (const Json::Value& track : tracks) {
    PlaylistSubitem sub;
    sub.start = intMember(track, "start");
    sub.length = intMember(track, "length");
    if (!sub.contains(position)) continue;
    playing.row = intMember(track, "index", playing.row);
    playing.title = stringMember(track, "title");
    break;
  }
  return playing;
}

// The title the status reports when the playlist does not name the row.
std::string reportedTitle(const std::string& url) { return url.empty() ? "" : lastComponent(url); }

}  // namespace

PlayingRow playingRowInPlaylistText(const std::string& text, const std::string& folder, const std::string& file,
                                    int position) {
  PlayingRow none;
  size_t folderAt = text.find(kFolderPathMember);
  if (folderAt == std::string::npos ||
      !startsWithAt(text, folderAt + strlen(kFolderPathMember), Json::valueToQuotedString(folder.c_str())))
    return none;
  const std::string member = kItemPathMember + Json::valueToQuotedString(file.c_str()) + ",\n";
  size_t at = find(text, member, folderAt);
  if (at == std::string::npos) return none;
  size_t start = text.rfind(kItemStart, at);
  size_t end = text.find(kItemEnd, at);
  if (start == std::string::npos || end == std::string::npos || start < folderAt) return none;
  start += strlen(kItemStart) - 1;
  Json::Value item;
  if (!parseJson(text.substr(start, end + strlen(kItemEnd) - start), item) || !item.isObject()) return none;
  PlayingRow playing = rowOfItem(item, position);
  return playing.row < 0 ? none : playing;
}

Json::Value nowPlaying(Tavo& tavo) {
  tavo.refresh();
  const PlayerStatus& status = tavo.status();
  Json::Value answer(Json::objectValue);
  answer["awake"] = reportsAwake(status);
  answer["state"] = status.playerState;
  answer["position"] = status.position;
  answer["duration"] = status.duration;
  answer["volume"] = status.volume;
  const std::string& url = status.playbackUrl;
  IFilesSource* source = findMountedSourceByMediaUrl(url);
  answer["virtual_path"] = source ? source->mediaUrlToVirtual(url) : "";
  PlayingRow playing;
  std::string lpd = Config::instance() ? Config::instance()->lpd() : "";
  std::string text;
  // The playlist file is read only while the remembered folder plays.
  if (source && !lpd.empty() && isAtOrBelow(url, lpd) && readFile(rooted(paths::kPlaylistFile), text))
    playing = playingRowInPlaylistText(text, source->mediaUrlToReal(lpd), source->mediaUrlToReal(url), status.position);
  answer["row"] = playing.row;
  answer["title"] = playing.row < 0 ? reportedTitle(url) : playing.title;
  return answer;
}
