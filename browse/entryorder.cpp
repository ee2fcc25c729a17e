#include "browse/entryorder.h"

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr bool isSpecial(unsigned char c) {
  return (c >= 32 && c <= 64) || (c >= 91 && c <= 96) || (c >= 123 && c <= 126);
}

constexpr unsigned char lower(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}

// Decodes a two-byte sequence at s; a lone last byte reads a 0 second byte.
// Advances s past what it consumed, never past the terminating zero.
unsigned decodePair(const unsigned char*& s) {
  unsigned first = *s++;
  unsigned second = 0;
  if (*s) second = *s++;
  unsigned code = ((first & 0x1F) << 6) | (second & 0x3F);
  if (code >= 0x410 && code <= 0x42F) code += 0x20;
  return code;
}

// The rank of one character of a name, in the order compareEntryNames gives:
// ASCII punctuation and digits, then the rest of ASCII (lowered), then
// two-byte characters by code point.
constexpr unsigned asciiRank(unsigned char c) {
  unsigned char lowered = lower(c);
  return isSpecial(lowered) ? lowered : 0x100u + lowered;
}

// The ASCII ranks numbered densely from 1, so that each fits in one key byte
// below 0x80; two-byte characters take two key bytes from 0x80 on.
struct AsciiKeys {
  constexpr AsciiKeys() : key() {
    bool used[0x180] = {};
    for (unsigned c = 0; c < 128; ++c) used[asciiRank(static_cast<unsigned char>(c))] = true;
    unsigned char dense[0x180] = {};
    unsigned char next = 1;
    for (unsigned r = 0; r < 0x180; ++r)
      if (used[r]) dense[r] = next++;
    for (unsigned c = 0; c < 128; ++c) key[c] = dense[asciiRank(static_cast<unsigned char>(c))];
  }
  unsigned char key[128];
};
constexpr AsciiKeys kAsciiKeys;
static_assert(kAsciiKeys.key[127] < 0x80, "ASCII keys stay below the two-byte ones");

// The first eight key bytes as one number in their byte order (zeros after a
// shorter key): most names differ there, so most comparisons are one.
uint64_t keyHead(const char* key, uint32_t length) {
  unsigned char bytes[8] = {};
  memcpy(bytes, key, std::min<uint32_t>(length, 8));
  uint64_t head = 0;
  for (unsigned char byte : bytes) head = head << 8 | byte;
  return head;
}

// Keeps errno through the clean-up of a failed read.
void closeFolder(DIR* dir) {
  int saved = errno;
  closedir(dir);
  errno = saved;
}

}  // namespace

int compareEntryNames(const char* a, const char* b) {
  const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
  const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
  for (;;) {
    // Equal ASCII bytes stay equal after lowering: pass over them at once.
    while (*x == *y && *x && *x < 0x80) ++x, ++y;
    if (!*x || !*y) return (*x ? 1 : 0) - (*y ? 1 : 0);
    bool asciiX = *x < 0x80, asciiY = *y < 0x80;
    if (asciiX != asciiY) return asciiX ? -1 : 1;
    if (!asciiX) {
      unsigned codeX = decodePair(x), codeY = decodePair(y);
      if (codeX != codeY) return codeX < codeY ? -1 : 1;
      continue;
    }
    unsigned char cx = lower(*x++), cy = lower(*y++);
    if (cx == cy) continue;
    bool specialX = isSpecial(cx), specialY = isSpecial(cy);
    if (specialX != specialY) return specialX ? -1 : 1;
    return cx < cy ? -1 : 1;
  }
}

void appendEntrySortKey(const char* name, std::string& key) {
  size_t start = key.size();
  key.resize(start + 2 * strlen(name));  // two bytes a character at most
  char* out = &key[start];
  for (const unsigned char* s = reinterpret_cast<const unsigned char*>(name); *s;) {
    if (*s < 0x80) {
      *out++ = static_cast<char>(kAsciiKeys.key[*s++]);
    } else {
      unsigned code = decodePair(s);
      *out++ = static_cast<char>(0x80 | code >> 8);
      *out++ = static_cast<char>(code & 0xFF);
    }
  }
  key.resize(static_cast<size_t>(out - key.data()));
}

SortedFolder::SortedFolder(const std::string& folder) : m_folder(folder) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) {
    m_error = errno;
    return;
  }
  errno = 0;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    Entry item{static_cast<uint32_t>(m_names.size()), static_cast<uint32_t>(m_keys.size()), 0, 0};
    m_names.append(entry->d_name, strlen(entry->d_name) + 1);
    appendEntrySortKey(entry->d_name, m_keys);
    item.keyLength = static_cast<uint32_t>(m_keys.size()) - item.key;
    item.head = keyHead(m_keys.data() + item.key, item.keyLength);
    m_order.push_back(item);
  }
  if (errno != 0) {
    m_error = errno;
    closeFolder(dir);
    m_order.clear();
    return;
  }
  closedir(dir);
  const char* keys = m_keys.data();
  // The sort is stable: names of equal rank keep the order the folder gave them.
  std::stable_sort(m_order.begin(), m_order.end(), [keys](const Entry& a, const Entry& b) {
    if (a.head != b.head) return a.head < b.head;
    // The first min(8, shorter length) bytes are equal: compare the rest.
    uint32_t shorter = std::min(a.keyLength, b.keyLength);
    int order = shorter > 8 ? memcmp(keys + a.key + 8, keys + b.key + 8, shorter - 8) : 0;
    return order != 0 ? order < 0 : a.keyLength < b.keyLength;
  });
  std::string().swap(m_keys);  // the keys are needed for the sort only
  m_ok = true;
}

std::string SortedFolder::readError() const { return "dir error (" + std::to_string(m_error) + "): " + m_folder; }
