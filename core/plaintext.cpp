#include "core/plaintext.h"

#include <cstring>

bool isPlainText(const char* text, size_t length) {
  const char* end = text + length;
  uint64_t word;
  for (; end - text >= 8; text += 8) {
    memcpy(&word, text, 8);
    if (plaintext::needsEscape(word)) return false;
  }
  word = plaintext::kBlanks;
  memcpy(&word, text, static_cast<size_t>(end - text));
  return !plaintext::needsEscape(word);
}
