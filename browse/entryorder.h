// The order of folder entries: digits and punctuation before letters, ASCII
// case ignored, two-byte UTF-8 letters after ASCII by code point (Cyrillic
// capitals folded to small letters).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

int compareEntryNames(const char* a, const char* b);

// Bytes whose plain byte order is the entry order of the name, so that a
// folder is sorted with one key per entry instead of decoding both names in
// every comparison.
void appendEntrySortKey(const char* name, std::string& key);

// A folder's entries in entry order, read at once; names that begin with "."
// (hidden entries, "." and "..") are left out.
class SortedFolder {
 public:
  explicit SortedFolder(const std::string& folder);

  bool ok() const { return m_ok; }  // false: the folder could not be read (errno tells why)
  size_t count() const { return m_order.size(); }
  const char* name(size_t i) const { return m_names.data() + m_order[i].name; }

 private:
  struct Entry {
    uint32_t name;  // offset in m_names
    uint32_t key;   // offset in m_keys
    uint32_t keyLength;
  };
  std::string m_names;  // the names, each ended by a zero byte
  std::string m_keys;
  std::vector<Entry> m_order;
  bool m_ok = false;
};
