#include "update/package.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <set>

namespace {

const size_t kMaxPathBytes = 255;
const size_t kDigestHexDigits = 64;

bool isNameByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || strchr("._+-", c) != nullptr;
}

bool isDirectoryEntry(const ArchiveEntry& entry) { return !entry.name.empty() && entry.name.back() == '/'; }

// Reads the digits at text[at...] into value; false when there are none or
// they do not fit.
bool readNumber(const std::string& text, size_t& at, unsigned long long& value) {
  size_t start = at;
  value = 0;
  while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
    unsigned digit = static_cast<unsigned>(text[at] - '0');
    if (value > (~0ULL - digit) / 10) return false;
    value = value * 10 + digit;
    ++at;
  }
  return at > start;
}

void skipBlanks(const std::string& text, size_t& at) {
  while (at < text.size() && text[at] == ' ') ++at;
}

// Skips a word and the blanks after it; false when there is no word.
bool skipWord(const std::string& text, size_t& at) {
  size_t start = at;
  while (at < text.size() && text[at] != ' ') ++at;
  return at > start;
}

// "   1234  2026-12-09 22:19   bin/tavorc"
bool readListingLine(const std::string& line, ArchiveEntry& entry) {
  size_t at = 0;
  skipBlanks(line, at);
  if (!readNumber(line, at, entry.size) || at == line.size() || line[at] != ' ') return false;
  skipBlanks(line, at);
  if (!skipWord(line, at)) return false;  // the date
  skipBlanks(line, at);
  if (!skipWord(line, at) || line.compare(at, 3, "   ") != 0) return false;  // the time
  entry.name = line.substr(at + 3);
  return !entry.name.empty();
}

bool isDigest(const std::string& text) {
  if (text.size() != kDigestHexDigits) return false;
  for (char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

}  // namespace

bool isPackagePath(const std::string& path) {
  if (path.empty() || path.size() > kMaxPathBytes) return false;
  size_t start = 0;
  for (;;) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    for (char c : part)
      if (!isNameByte(c)) return false;
    if (end == path.size()) return true;
    start = end + 1;
  }
}

bool readListing(const std::string& text, std::vector<ArchiveEntry>& entries) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    ArchiveEntry entry;
    if (!readListingLine(text.substr(start, end - start), entry)) return false;
    entries.push_back(entry);
    start = end + 1;
  }
  return true;
}

long long entrySize(const std::vector<ArchiveEntry>& entries, const std::string& name) {
  for (const ArchiveEntry& entry : entries)
    if (entry.name == name) return static_cast<long long>(entry.size);
  return -1;
}

bool listingWithinBounds(const std::vector<ArchiveEntry>& entries) {
  if (entries.size() > kMaxEntries) return false;
  std::set<std::string> names;
  unsigned long long total = 0;
  for (const ArchiveEntry& entry : entries) {
    bool folder = isDirectoryEntry(entry);
    std::string path = folder ? entry.name.substr(0, entry.name.size() - 1) : entry.name;
    if (!isPackagePath(path) || (folder && entry.size != 0) || !names.insert(entry.name).second) return false;
    if (entry.size > kMaxUnpackedBytes - total) return false;
    total += entry.size;
  }
  return true;
}

bool readManifest(const std::string& text, std::map<std::string, std::string>& files) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) return false;  // every line ends with a line feed
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (line.size() < kDigestHexDigits + 3 || line.compare(kDigestHexDigits, 2, "  ") != 0) return false;
    std::string digest = line.substr(0, kDigestHexDigits);
    std::string path = line.substr(kDigestHexDigits + 2);
    if (path == kManifestName || path == kSignatureName) return false;  // they cannot hold their own digest
    if (!isDigest(digest) || !isPackagePath(path) || !files.emplace(path, digest).second) return false;
  }
  return !files.empty();
}

bool listingMatchesManifest(const std::vector<ArchiveEntry>& entries, const std::map<std::string, std::string>& files) {
  size_t listed = 0;
  for (const ArchiveEntry& entry : entries) {
    if (isDirectoryEntry(entry) || entry.name == kManifestName || entry.name == kSignatureName) continue;
    if (files.count(entry.name) == 0) return false;
    ++listed;
  }
  return listed == files.size();
}

// The numbers of a version, up to the first character that is no digit or dot.
static std::vector<unsigned long> versionNumbers(const std::string& version) {
  std::vector<unsigned long> numbers;
  const char* at = version.c_str();
  while (isdigit(static_cast<unsigned char>(*at))) {
    char* end;
    numbers.push_back(strtoul(at, &end, 10));
    at = end;
    if (*at != '.') break;
    ++at;
  }
  return numbers;
}

bool isOlderVersion(const std::string& a, const std::string& b) {
  std::vector<unsigned long> older = versionNumbers(a), newer = versionNumbers(b);
  size_t length = std::max(older.size(), newer.size());
  older.resize(length);
  newer.resize(length);
  return older < newer;
}
