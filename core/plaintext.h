// Text that the JSON library's writers copy as it stands between quotes:
// printable ASCII without '"' and '\'. Everything else they escape. Names and
// paths are checked eight bytes at a time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plaintext {

constexpr uint64_t kEachByte = 0x0101010101010101ull;
constexpr uint64_t kHighBits = 0x8080808080808080ull;

constexpr uint64_t zeroBytes(uint64_t word) { return (word - kEachByte) & ~word & kHighBits; }

// Not zero when a word holds a byte below 0x20, at or above 0x7F, '"' or '\'.
constexpr uint64_t needsEscape(uint64_t word) {
  return ((word - 0x20 * kEachByte) & ~word & kHighBits) | (word & kHighBits) | zeroBytes(word ^ (0x7F * kEachByte)) |
         zeroBytes(word ^ ('"' * kEachByte)) | zeroBytes(word ^ ('\\' * kEachByte));
}

// Blanks, which are plain, fill a word after the last bytes of a text.
constexpr uint64_t kBlanks = 0x2020202020202020ull;

}  // namespace plaintext

bool isPlainText(const char* text, size_t length);
