#include "core/utils.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "core/digest.h"
#include "core/paths.h"
#include "core/sysio.h"

char* intToString(int value, char* buffer, int base) {
  static const char kDigits[] = "zyxwvutsrqponmlkjihgfedcba9876543210123456789abcdefghijklmnopqrstuvwxyz";
  if (base < 2 || base > 36) {
    buffer[0] = '\0';
    return buffer;
  }
  char* p = buffer;
  int rest = value;
  do {
    int quotient = rest / base;
    *p++ = kDigits[35 + (rest - quotient * base)];
    rest = quotient;
  } while (rest);
  if (value < 0) *p++ = '-';
  *p = '\0';
  std::reverse(buffer, p);
  return buffer;
}

void appendHexUpper(std::string& out, const unsigned char* bytes, size_t count) {
  static const char kHex[] = "0123456789ABCDEF";
  size_t start = out.size();
  out.resize(start + 2 * count);
  char* hex = &out[start];
  for (size_t i = 0; i < count; ++i) {
    hex[2 * i] = kHex[bytes[i] >> 4];
    hex[2 * i + 1] = kHex[bytes[i] & 15];
  }
}

std::string hexUpper(const unsigned char* bytes, size_t count) {
  std::string out;
  out.reserve(2 * count);
  appendHexUpper(out, bytes, count);
  return out;
}

std::string md5Hex(const std::string& text) {
  unsigned char digest[16];
  md5Digest(text.data(), text.size(), digest);
  return hexUpper(digest, sizeof digest);
}

std::string sha1Hex(const std::string& text) {
  unsigned char digest[20];
  sha1Digest(text.data(), text.size(), digest);
  return hexUpper(digest, sizeof digest);
}

std::string readSerialId() {
  static const char kPrefix[] = "serial_number: ";
  int fd = openRegularFile(rooted(paths::kSysInfo));
  FILE* file = fd >= 0 ? fdopen(fd, "r") : nullptr;
  if (!file) {
    if (fd >= 0) closeFile(fd);
    return "";
  }
  char line[1024];
  std::string id;
  while (fgets(line, sizeof line, file)) {
    if (strncmp(line, kPrefix, sizeof kPrefix - 1) == 0) {
      id = sha1Hex(line + sizeof kPrefix - 1);
      break;
    }
  }
  fclose(file);
  return id;
}

char* urlEncode(const char* text) {
  static const char kHex[] = "0123456789abcdef";
  size_t length = strlen(text);
  char* out = static_cast<char*>(malloc(3 * length + 1));
  char* p = out;
  for (const unsigned char* s = reinterpret_cast<const unsigned char*>(text); *s; ++s) {
    if (isalnum(*s) || strchr("-_.~", *s)) {
      *p++ = static_cast<char>(*s);
    } else if (*s == ' ') {
      *p++ = '+';
    } else {
      *p++ = '%';
      *p++ = kHex[*s >> 4];
      *p++ = kHex[*s & 15];
    }
  }
  *p = '\0';
  return out;
}

void splitString(const char* text, char separator, std::list<std::string>& pieces) {
  const char* start = text;
  for (const char* p = text; *p; ++p) {
    if (*p == separator) {
      pieces.emplace_back(start, p);
      start = p + 1;
    }
  }
  if (*start) pieces.emplace_back(start);
}

static bool sameLetter(char a, char b) {
  return tolower(static_cast<unsigned char>(a)) == tolower(static_cast<unsigned char>(b));
}

bool wildcardMatch(const char* pattern, const char* text) {
  const char* starPattern = nullptr;  // just after the most recent "*"
  const char* starText = nullptr;     // where the text stood when it was met
  while (*text) {
    if (*pattern == '*') {
      starPattern = ++pattern;
      starText = text;
      if (!*pattern) return true;
    } else if (*pattern == '?' || (*pattern && sameLetter(*pattern, *text))) {
      ++pattern;
      ++text;
    } else if (starPattern) {
      pattern = starPattern;
      text = ++starText;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return !*pattern;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool isDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isDirectoryEmpty(const std::string& path) {
  DIR* dir = opendir(path.c_str());
  if (!dir) return true;
  bool empty = true;
  while (struct dirent* entry = readdir(dir)) {
    if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0) {
      empty = false;
      break;
    }
  }
  closedir(dir);
  return empty;
}

bool canOpenDirectory(const std::string& path) {
  DIR* dir = opendir(path.c_str());
  if (!dir) return false;
  closedir(dir);
  return true;
}

std::string maskPassword(std::string text, const std::string& password, bool wholeValue) {
  static const char kMask[] = "***";
  if (password.empty()) return wholeValue && text.empty() ? kMask : text;
  for (size_t at = 0; (at = text.find(password, at)) != std::string::npos; at += sizeof kMask - 1)
    text.replace(at, password.size(), kMask);
  return text;
}

std::string timeText(long offsetSeconds) {
  char text[32];
  snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(time(nullptr) + offsetSeconds));
  return text;
}

// Days since 1970-01-01 to a civil date, by 400-year eras of 146097 days
// whose years start on March 1 (so that the leap day is the era's last).
struct tm gmtParts(time_t when) {
  struct tm parts = {};
  long long seconds = when;
  long long days = seconds / 86400;
  long long rest = seconds % 86400;
  if (rest < 0) rest += 86400, --days;
  parts.tm_hour = static_cast<int>(rest / 3600);
  parts.tm_min = static_cast<int>(rest % 3600 / 60);
  parts.tm_sec = static_cast<int>(rest % 60);
  parts.tm_wday = static_cast<int>(((days + 4) % 7 + 7) % 7);  // 1970-01-01 was a Thursday
  long long z = days + 719468;
  long long era = (z >= 0 ? z : z - 146096) / 146097;
  long long dayOfEra = z - era * 146097;
  long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  long long monthFromMarch = (5 * dayOfYear + 2) / 153;
  parts.tm_mday = static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
  parts.tm_mon = static_cast<int>(monthFromMarch < 10 ? monthFromMarch + 2 : monthFromMarch - 10);
  parts.tm_year = static_cast<int>(yearOfEra + era * 400 + (parts.tm_mon <= 1) - 1900);
  return parts;
}
