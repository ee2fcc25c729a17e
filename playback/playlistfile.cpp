// The playlist file: the last built playlist, kept for the requests that
// follow. It is laid out as the JSON library's styled writer lays a document
// out (members by name, a tab per level), written directly: a folder of
// thousands of files would otherwise first become a document in memory.
#include <json/json.h>

#include <cstring>

#include "core/jsonfile.h"
#include "core/paths.h"
#include "core/sysio.h"
#include "core/utils.h"
#include "playback/playlist.h"

namespace {

// Appends "name" : value members at one indentation; the first call opens
// the object, close() ends it.
class StyledObject {
 public:
  // Members stand one tab deeper than the object's braces.
  StyledObject(std::string& out, int depth) : m_out(out), m_depth(static_cast<size_t>(depth)) { m_out += '{'; }

  void text(const char* name, const std::string& value) {
    key(name);
    appendQuoted(value);
  }
  void number(const char* name, int value) {
    key(name);
    char digits[16];
    m_out += intToString(value, digits, 10);
  }
  // The member's value, an object or an array, is written by the caller on
  // the next line.
  void open(const char* name) { key(name); }
  void close() {
    m_out.append(kLineStarts, m_depth + 1);
    m_out += '}';
  }

 private:
  static constexpr const char kLineStarts[] = "\n\t\t\t\t\t\t\t";

  // ",\n\t\t\"name\" : " in one append: thousands of items, several keys each.
  void key(const char* name) {
    char text[64];
    size_t length = 0, nameLength = strlen(name);
    if (m_members++) text[length++] = ',';
    memcpy(text + length, kLineStarts, m_depth + 2);
    length += m_depth + 2;
    text[length++] = '"';
    memcpy(text + length, name, nameLength);
    length += nameLength;
    memcpy(text + length, "\" : ", 4);
    m_out.append(text, length + 4);
  }

  // Printable ASCII without quote and backslash is written as it is; anything
  // else is escaped by the library, as its writer would.
  void appendQuoted(const std::string& value) {
    const unsigned char* c = reinterpret_cast<const unsigned char*>(value.data());
    const unsigned char* end = c + value.size();
    while (c != end && *c >= 0x20 && *c < 0x7F && *c != '"' && *c != '\\') ++c;
    if (c != end) {
      m_out += Json::valueToQuotedString(value.c_str());
      return;
    }
    m_out += '"';
    m_out.append(value);
    m_out += '"';
  }

  std::string& m_out;
  size_t m_depth;
  int m_members = 0;
};

void newLine(std::string& out, int depth) {
  out += '\n';
  out.append(static_cast<size_t>(depth), '\t');
}

void writeSubitems(std::string& out, const std::vector<PlaylistSubitem>& subitems, int depth) {
  newLine(out, depth);
  out += '[';
  for (size_t i = 0; i < subitems.size(); ++i) {
    if (i) out += ',';
    newLine(out, depth + 1);
    StyledObject track(out, depth + 1);
    track.number("index", subitems[i].index);
    track.number("length", subitems[i].length);
    track.number("start", subitems[i].start);
    track.text("title", subitems[i].title);
    track.close();
  }
  newLine(out, depth);
  out += ']';
}

void writeItem(std::string& out, const PlaylistItem& item, int depth) {
  StyledObject entry(out, depth);
  entry.number("dir_index", item.dirIndex);
  entry.number("index", item.index);
  entry.text("path", item.path);
  if (!item.subitems.empty()) {
    entry.open("subitems");
    writeSubitems(out, item.subitems, depth + 1);
  }
  entry.text("title", item.title);
  entry.close();
}

// A member read from a document of ours: absent gives the default; a member
// of another type means the document is not ours.
bool readInt(const Json::Value& object, const char* name, int& out) {
  const Json::Value& value = object[name];
  if (value.isNull()) return out = 0, true;
  if (!value.isInt()) return false;
  out = value.asInt();
  return true;
}

bool readText(const Json::Value& object, const char* name, std::string& out) {
  const Json::Value& value = object[name];
  if (value.isNull()) return out.clear(), true;
  if (!value.isString()) return false;
  out = value.asString();
  return true;
}

bool readSubitem(const Json::Value& entry, PlaylistSubitem& sub) {
  return entry.isObject() && readInt(entry, "index", sub.index) && readText(entry, "title", sub.title) &&
         readInt(entry, "start", sub.start) && readInt(entry, "length", sub.length);
}

bool readItem(const Json::Value& entry, PlaylistItem& item) {
  if (!entry.isObject() || !readInt(entry, "index", item.index) || !readInt(entry, "dir_index", item.dirIndex) ||
      !readText(entry, "title", item.title) || !readText(entry, "path", item.path))
    return false;
  const Json::Value& tracks = entry["subitems"];
  if (!tracks.isArray()) return true;
  for (const Json::Value& track : tracks) {
    PlaylistSubitem sub;
    if (!readSubitem(track, sub)) return false;
    item.subitems.push_back(sub);
  }
  return true;
}

}  // namespace

std::string playlistFileText(const std::string& path, const std::list<PlaylistItem>& items) {
  std::string out;
  out.reserve(128 + items.size() * (2 * path.size() + 128));
  StyledObject document(out, 0);
  document.open("desc");
  newLine(out, 1);
  StyledObject desc(out, 1);
  desc.text("path", path);
  desc.close();
  document.open("items");
  if (items.empty()) {
    out += "[]";
  } else {
    newLine(out, 1);
    out += '[';
    bool first = true;
    for (const PlaylistItem& item : items) {
      if (!first) out += ',';
      first = false;
      newLine(out, 2);
      writeItem(out, item, 2);
    }
    newLine(out, 1);
    out += ']';
  }
  document.close();
  return out += '\n';
}

void Playlist::save() const { writeFileAtomic(rooted(paths::kPlaylistFile), playlistFileText(m_path, *m_items)); }

bool Playlist::load() {
  Json::Value document;
  if (!readJsonFile(rooted(paths::kPlaylistFile), document) || !document.isObject()) return false;
  const Json::Value& desc = document["desc"];
  if (!desc.isObject() || !desc["path"].isString() || desc["path"].asString() != m_path) return false;
  const Json::Value& entries = document["items"];
  if (!entries.isArray()) return false;
  std::list<PlaylistItem> items;
  for (const Json::Value& entry : entries) {
    PlaylistItem item;
    if (!readItem(entry, item)) return false;
    items.push_back(std::move(item));
  }
  m_items->swap(items);
  return true;
}
