// UTF-8 as the JSON library's writer decodes it. The writer turns bytes that
// are not UTF-8 into other characters (and so other member orders), so the
// fuzz targets check that a written document reads back the same only for
// input that is UTF-8.
#pragma once

#include <string>

inline bool isUtf8(const std::string& text) {
  for (size_t at = 0; at < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[at]);
    size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (length == 0 || (length == 2 && c < 0xc2) || at + length > text.size()) return false;
    for (size_t i = 1; i < length; ++i)
      if ((static_cast<unsigned char>(text[at + i]) >> 6) != 2) return false;
    at += length;
  }
  return true;
}
