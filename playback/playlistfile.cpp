// The playlist file: the last built playlist, kept for the requests that
// follow. It is laid out as the JSON library's styled writer lays a document
// out (members by name, a tab per level), written directly: a folder of
// thousands of files would otherwise first become a document in memory.
#include <json/json.h>

#include <algorithm>
#include <cstring>

#include "core/jsonfile.h"
#include "core/paths.h"
#include "core/plaintext.h"
#include "core/sysio.h"
#include "playback/playlist.h"

namespace {

// The text of the file, grown in large steps and filled through a pointer:
// a playlist of thousands of items is mostly short pieces, and a string
// append for each would cost more than the copying. The memory is not
// cleared first, and the text goes to the file from where it was written.
class TextBuffer {
 public:
  explicit TextBuffer(size_t expected) : m_bytes(new char[expected]), m_size(expected) {}

  void put(const char* bytes, size_t length) {
    memcpy(room(length), bytes, length);
    m_used += length;
  }
  void put(char c) {
    *room(1) = c;
    ++m_used;
  }
  void put(const std::string& text) { put(text.data(), text.size()); }
  // Decimal digits, written from the last straight into the text. Through
  // intToString (any base, then a strlen) the 10,000 numbers of a 5,000-item
  // playlist cost 0.9M instructions more.
  void putNumber(int value) {
    char digits[12];
    char* end = digits + sizeof digits;
    char* at = end;
    unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    do {
      *--at = static_cast<char>('0' + magnitude % 10);
      magnitude /= 10;
    } while (magnitude);
    if (value < 0) *--at = '-';
    put(at, static_cast<size_t>(end - at));
  }
  // Room for exactly length bytes, which the caller then fills.
  char* claim(size_t length) {
    char* at = room(length);
    m_used += length;
    return at;
  }
  // The text in quotes when the writer would leave it as it is; false, and
  // nothing written, when it has a byte to escape.
  // The first knownPlain bytes were checked before.
  bool putQuotedPlain(const std::string& text, size_t knownPlain = 0);
  std::string_view text() const { return std::string_view(m_bytes.get(), m_used); }

 private:
  char* room(size_t length) {
    if (m_used + length > m_size) {
      size_t size = std::max(2 * m_size, m_used + length);
      std::unique_ptr<char[]> bytes(new char[size]);
      memcpy(bytes.get(), m_bytes.get(), m_used);
      m_bytes.swap(bytes);
      m_size = size;
    }
    return m_bytes.get() + m_used;
  }

  std::unique_ptr<char[]> m_bytes;
  size_t m_size;
  size_t m_used = 0;
};

// A line break and the tabs of up to seven levels, for the indentation.
constexpr char kLineStarts[] = "\n\t\t\t\t\t\t\t";

// Printable ASCII without quote and backslash is left as it is by the
// writer.
bool TextBuffer::putQuotedPlain(const std::string& text, size_t knownPlain) {
  if (!isPlainText(text.data() + knownPlain, text.size() - knownPlain)) return false;
  put('"');
  put(text);
  put('"');
  return true;
}

// Appends "name" : value members at one indentation; the first call opens
// the object, close() ends it.
class StyledObject {
 public:
  // Members stand one tab deeper than the object's braces.
  StyledObject(TextBuffer& out, int depth) : m_out(out), m_depth(static_cast<size_t>(depth)) { m_out.put('{'); }

  // True when the value was plain text; its first knownPlain bytes are.
  template <size_t N>
  bool text(const char (&name)[N], const std::string& value, size_t knownPlain = 0) {
    key(name);
    if (m_out.putQuotedPlain(value, knownPlain)) return true;
    m_out.put(Json::valueToQuotedString(value.c_str()));
    return false;
  }
  template <size_t N>
  void number(const char (&name)[N], int value) {
    key(name);
    m_out.putNumber(value);
  }
  // The member's value, an object or an array, is written by the caller on
  // the next line.
  template <size_t N>
  void open(const char (&name)[N]) {
    key(name);
  }
  void close() {
    m_out.put(kLineStarts, m_depth + 1);
    m_out.put('}');
  }

 private:
  // ",\n\t\t\"name\" : ": the separator, the indentation and the name.
  template <size_t N>
  void key(const char (&name)[N]) {
    size_t indent = m_depth + 2;
    size_t comma = m_members++ ? 1 : 0;
    char* out = m_out.claim(comma + indent + N + 4);
    *out = ',';
    out += comma;
    memcpy(out, kLineStarts, indent);
    out += indent;
    *out++ = '"';
    memcpy(out, name, N - 1);
    memcpy(out + N - 1, "\" : ", 4);
  }

  TextBuffer& m_out;
  size_t m_depth;
  int m_members = 0;
};

void newLine(TextBuffer& out, int depth) { out.put(kLineStarts, 1 + static_cast<size_t>(depth)); }

void writeSubitems(TextBuffer& out, const std::vector<PlaylistSubitem>& subitems, int depth) {
  newLine(out, depth);
  out.put('[');
  for (size_t i = 0; i < subitems.size(); ++i) {
    if (i) out.put(',');
    newLine(out, depth + 1);
    StyledObject track(out, depth + 1);
    track.number("index", subitems[i].index);
    track.number("length", subitems[i].length);
    track.number("start", subitems[i].start);
    track.text("title", subitems[i].title);
    track.close();
  }
  newLine(out, depth);
  out.put(']');
}

// plainFolder: the playlist's folder when it is plain text, which most item
// paths begin with.
void writeItem(TextBuffer& out, const PlaylistItem& item, int depth, const std::string& plainFolder) {
  StyledObject entry(out, depth);
  entry.number("dir_index", item.dirIndex);
  entry.number("index", item.index);
  bool inFolder = item.path.compare(0, plainFolder.size(), plainFolder) == 0;
  entry.text("path", item.path, inFolder ? plainFolder.size() : 0);
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

// Enough for items whose paths are about as long as the folder's.
size_t expectedSize(const std::string& path, const std::list<PlaylistItem>& items) {
  return 128 + items.size() * (2 * path.size() + 128);
}

void writePlaylistText(TextBuffer& out, const std::string& path, const std::list<PlaylistItem>& items) {
  StyledObject document(out, 0);
  document.open("desc");
  newLine(out, 1);
  StyledObject desc(out, 1);
  static const std::string kNone;
  const std::string& plainFolder = desc.text("path", path) ? path : kNone;
  desc.close();
  document.open("items");
  if (items.empty()) {
    out.put("[]", 2);
  } else {
    newLine(out, 1);
    out.put('[');
    bool first = true;
    for (const PlaylistItem& item : items) {
      if (!first) out.put(',');
      first = false;
      newLine(out, 2);
      writeItem(out, item, 2, plainFolder);
    }
    newLine(out, 1);
    out.put(']');
  }
  document.close();
  out.put('\n');
}

}  // namespace

std::string playlistFileText(const std::string& path, const std::list<PlaylistItem>& items) {
  TextBuffer out(expectedSize(path, items));
  writePlaylistText(out, path, items);
  return std::string(out.text());
}

void Playlist::save() const {
  TextBuffer out(expectedSize(m_path, *m_items));
  writePlaylistText(out, m_path, *m_items);
  writeFileAtomic(rooted(paths::kPlaylistFile), out.text());
}

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
