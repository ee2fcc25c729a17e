// The order of folder entries: digits and punctuation before letters, ASCII
// case ignored, two-byte UTF-8 letters after ASCII by code point (Cyrillic
// capitals folded to small letters).
#pragma once

#include <dirent.h>

int compareEntryNames(const char* a, const char* b);

// For scandir(3).
int compareDirents(const struct dirent** a, const struct dirent** b);
