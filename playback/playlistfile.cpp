// The playlist file: the last built playlist, kept for the requests that
// follow. It is laid out as the JSON library's styled writer lays a document
// out (members by name, a tab per level), written directly: a folder of
// thousands of files would otherwise first become a document in memory.
#include <json/json.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string_view>

#include "core/jsonfile.h"
#include "core/paths.h"
#include "core/plaintext.h"
#include "core/result.h"
#include "core/sysio.h"
#include "core/utils.h"
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
  template <size_t N>
  void put(const char (&literal)[N]) {
    put(literal, N - 1);
  }
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

// The playlist file read straight into items, without the document in
// memory first: the "playlist" answer and every pass of the history poller
// read it, and a document of 10,000 items would take several times the
// file's size. It reads what the JSON library reads (members in any order,
// the last of a name counting, others skipped; a member that is absent or
// null gives the default, one of another type means the document is not
// ours); anything else is no document of ours.
class PlaylistReader {
 public:
  explicit PlaylistReader(std::string_view text) : m_at(text.data()), m_end(text.data() + text.size()) {}

  bool read(std::string& path, std::list<PlaylistItem>& items) {
    bool haveDesc = false, haveItems = false;
    bool ok = object([&](const std::string& name) {
      if (name == "desc") {
        haveDesc = true;
        return desc(path);
      }
      if (name == "items") {
        haveItems = true;
        items.clear();
        return array([&] {
          items.emplace_back();
          return item(items.back());
        });
      }
      return skipValue(0);
    });
    skipBlanks();
    return ok && m_at == m_end && haveDesc && haveItems && !path.empty();
  }

 private:
  static constexpr int kMaxDepth = 64;

  void skipBlanks() {
    while (m_at < m_end && (*m_at == ' ' || *m_at == '\t' || *m_at == '\n' || *m_at == '\r')) ++m_at;
  }
  bool take(char c) {
    skipBlanks();
    if (m_at == m_end || *m_at != c) return false;
    ++m_at;
    return true;
  }
  bool word(std::string_view text) {
    skipBlanks();
    if (static_cast<size_t>(m_end - m_at) < text.size() || std::string_view(m_at, text.size()) != text) return false;
    m_at += text.size();
    return true;
  }

  // {"name": value, ...}; member(name) reads the value.
  template <typename Member>
  bool object(Member member) {
    if (!take('{')) return false;
    if (take('}')) return true;
    std::string name;
    do {
      if (!string(name) || !take(':') || !member(name)) return false;
    } while (take(','));
    return take('}');
  }
  template <typename Element>
  bool array(Element element) {
    if (!take('[')) return false;
    if (take(']')) return true;
    do {
      if (!element()) return false;
    } while (take(','));
    return take(']');
  }

  bool desc(std::string& path) {
    path.clear();
    return object([&](const std::string& name) {
      if (name != "path") return skipValue(0);
      return !word("null") && string(path);
    });
  }
  bool item(PlaylistItem& item) {
    return object([&](const std::string& name) {
      if (name == "index") return number(item.index);
      if (name == "dir_index") return number(item.dirIndex);
      if (name == "title") return text(item.title);
      if (name == "path") return text(item.path);
      if (name != "subitems") return skipValue(0);
      item.subitems.clear();
      skipBlanks();
      if (m_at == m_end || *m_at != '[') return skipValue(0);  // tracks only come as a list
      return array([&] {
        item.subitems.emplace_back();
        return subitem(item.subitems.back());
      });
    });
  }
  bool subitem(PlaylistSubitem& sub) {
    return object([&](const std::string& name) {
      if (name == "index") return number(sub.index);
      if (name == "title") return text(sub.title);
      if (name == "start") return number(sub.start);
      if (name == "length") return number(sub.length);
      return skipValue(0);
    });
  }

  bool number(int& out) {
    if (word("null")) return out = 0, true;
    skipBlanks();
    const char* start = m_at;
    if (m_at < m_end && *m_at == '-') ++m_at;
    const char* digits = m_at;
    long long value = 0;
    while (m_at < m_end && *m_at >= '0' && *m_at <= '9' && m_at - digits < 12) value = value * 10 + (*m_at++ - '0');
    if (m_at == digits || (*digits == '0' && m_at - digits > 1)) return false;
    if (m_at < m_end && ((*m_at >= '0' && *m_at <= '9') || *m_at == '.' || *m_at == 'e' || *m_at == 'E'))
      return false;  // no int
    if (*start == '-') value = -value;
    if (value < INT_MIN || value > INT_MAX) return false;
    out = static_cast<int>(value);
    return true;
  }
  bool text(std::string& out) {
    if (word("null")) return out.clear(), true;
    return string(out);
  }

  // A quoted text with the escapes of JSON; "\u" escapes become UTF-8, a
  // pair of surrogates one character.
  bool string(std::string& out) {
    if (!take('"')) return false;
    out.clear();
    for (;;) {
      const char* run = m_at;
      while (m_at < m_end && *m_at != '"' && *m_at != '\\') ++m_at;
      out.append(run, static_cast<size_t>(m_at - run));
      if (m_at == m_end) return false;
      if (*m_at++ == '"') return true;
      if (m_at == m_end) return false;
      char escaped = *m_at++;
      switch (escaped) {
        case '"':
        case '\\':
        case '/': out += escaped; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          unsigned code;
          if (!hex4(code)) return false;
          if (code >= 0xD800 && code <= 0xDBFF) {
            unsigned low;
            if (m_end - m_at < 2 || m_at[0] != '\\' || m_at[1] != 'u') return false;
            m_at += 2;
            if (!hex4(low)) return false;
            code = 0x10000 + ((code & 0x3FF) << 10) + (low & 0x3FF);
          }
          appendUtf8(out, code);
          break;
        }
        default: return false;
      }
    }
  }
  bool hex4(unsigned& code) {
    if (m_end - m_at < 4) return false;
    code = 0;
    for (int i = 0; i < 4; ++i) {
      int digit = hexValue(*m_at++);
      if (digit < 0) return false;
      code = code * 16 + static_cast<unsigned>(digit);
    }
    return true;
  }
  static void appendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  bool skipValue(int depth) {
    if (depth > kMaxDepth) return false;
    skipBlanks();
    if (m_at == m_end) return false;
    std::string ignored;
    switch (*m_at) {
      case '{': return object([&](const std::string&) { return skipValue(depth + 1); });
      case '[': return array([&] { return skipValue(depth + 1); });
      case '"': return string(ignored);
      case 't': return word("true");
      case 'f': return word("false");
      case 'n': return word("null");
      default: {
        const char* start = m_at;
        while (m_at < m_end && strchr("+-0123456789.eE", *m_at) && *m_at) ++m_at;
        return m_at != start;
      }
    }
  }

  const char* m_at;
  const char* m_end;
};

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

// A text as the compact writer quotes it; most are plain.
void putAnswerText(TextBuffer& out, const std::string& text) {
  if (isPlainText(text.data(), text.size())) {
    out.put('"');
    out.put(text);
    out.put('"');
    return;
  }
  std::string quoted = toJsonText(Json::Value(text));
  out.put(quoted.data(), quoted.size() - 1);  // without the line feed after the value
}

void putPlayFlag(TextBuffer& out, bool play) {
  if (play)
    out.put(",\"play\":true");
  else
    out.put(",\"play\":false");
}

}  // namespace

std::string playlistFileText(const std::string& path, const std::list<PlaylistItem>& items) {
  TextBuffer out(expectedSize(path, items));
  writePlaylistText(out, path, items);
  return std::string(out.text());
}

std::string playlistAnswerText(const std::list<PlaylistItem>& items) {
  std::string titles;
  size_t size = 64;
  for (const PlaylistItem& item : items) {
    titles += item.title;
    size += 48 + item.title.size() + item.subitems.size() * 48;
  }
  TextBuffer out(size);
  out.put("{\"desc\":{\"hash\":\"");
  out.put(sha1Hex(titles));
  out.put("\"},\"items\":[");
  bool first = true;
  for (const PlaylistItem& item : items) {
    out.put(first ? "{" : ",{", first ? 1 : 2);
    out.put("\"index\":");
    first = false;
    out.putNumber(item.index);
    putPlayFlag(out, item.play);
    if (!item.subitems.empty()) {
      out.put(",\"subitems\":[");
      for (size_t i = 0; i < item.subitems.size(); ++i) {
        const PlaylistSubitem& sub = item.subitems[i];
        out.put(i ? ",{" : "{", i ? 2 : 1);
        out.put("\"index\":");
        out.putNumber(sub.index);
        putPlayFlag(out, sub.play);
        out.put(",\"title\":");
        putAnswerText(out, sub.title);
        out.put('}');
      }
      out.put(']');
    }
    out.put(",\"title\":");
    putAnswerText(out, item.title);
    out.put('}');
  }
  out.put("]}\n");
  return std::string(out.text());
}

void Playlist::save() const {
  TextBuffer out(expectedSize(m_path, *m_items));
  writePlaylistText(out, m_path, *m_items);
  writeFileAtomic(rooted(paths::kPlaylistFile), out.text());
}

// A file this large was not written by this system (10,000 items with
// long paths and cue tracks take a few MiB).
constexpr size_t kMaxPlaylistFileSize = 16 * 1024 * 1024;

bool Playlist::load() {
  std::string text;
  if (!readFile(rooted(paths::kPlaylistFile), text, kMaxPlaylistFileSize + 1) || text.size() > kMaxPlaylistFileSize)
    return false;
  std::string path;
  std::list<PlaylistItem> items;
  if (!PlaylistReader(text).read(path, items) || path != m_path) return false;
  m_items->swap(items);
  return true;
}
