#include "browse/entryorder.h"

namespace {

bool isSpecial(unsigned char c) { return (c >= 32 && c <= 64) || (c >= 91 && c <= 96) || (c >= 123 && c <= 126); }

unsigned char lower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; }

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

int compareDirents(const struct dirent** a, const struct dirent** b) {
  return compareEntryNames((*a)->d_name, (*b)->d_name);
}
