// The order of folder entries: digits and punctuation before letters, ASCII
// case ignored, two-byte UTF-8 letters after ASCII by code point (Cyrillic
// capitals folded to small letters).
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

int compareEntryNames(const char* a, const char* b);

// Bytes whose plain byte order is the entry order of the name, so that a
// folder is sorted with one key per entry instead of decoding both names in
// every comparison.
void appendEntrySortKey(const char* name, std::string& key);

// A folder's entries in entry order, read at once; names that begin with "."
// (hidden entries, "." and "..") are left out. The file list and the playlist
// scan both read their folders through it.
class SortedFolder {
 public:
  // Entry paths are the folder's path followed by the name: for them, it ends with "/".
  explicit SortedFolder(const std::string& folder);

  bool ok() const { return m_ok; }  // false: the folder could not be read (errno tells why)
  // "dir error (N): FOLDER", N the errno of the failed read.
  std::string readError() const;
  size_t count() const { return m_order.size(); }
  const char* name(size_t i) const { return m_names.data() + m_order[i].name; }

  // Calls visit(name, path, status) for each entry in order, path being the
  // entry's path, to which visit may append. An entry whose status cannot be
  // read (a link whose target is gone) is passed over; the answer is their
  // number.
  template <typename Visit>
  size_t forEachEntry(Visit visit) const {
    std::string path = m_folder;
    size_t unreadable = 0;
    for (size_t i = 0; i < count(); ++i) {
      const char* entry = name(i);
      path.replace(m_folder.size(), std::string::npos, entry);
      struct stat64 status;
      if (stat64(path.c_str(), &status) != 0) {
        ++unreadable;
        continue;
      }
      visit(entry, path, status);
    }
    return unreadable;
  }

 private:
  struct Entry {
    uint32_t name;  // offset in m_names
    uint32_t key;   // offset in m_keys
    uint32_t keyLength;
    uint64_t head;  // the key's first eight bytes, compared first
  };
  std::string m_names;  // the names, each ended by a zero byte
  std::string m_keys;
  std::vector<Entry> m_order;
  std::string m_folder;
  bool m_ok = false;
  int m_error = 0;
};
