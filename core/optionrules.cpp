#include "core/optionrules.h"

#include <strings.h>

#include <cctype>
#include <cstring>

namespace {

const char* const kImageExtensions[] = {"jpg", "jpeg", "png", "gif", "bmp", "webp"};

// Calls check on each comma-separated piece (a trailing comma adds none, as
// the patterns are split); false as soon as one fails.
template <typename Check>
bool everyPiece(const std::string& value, Check check) {
  size_t start = 0;
  while (start < value.size()) {
    size_t comma = value.find(',', start);
    if (comma == std::string::npos) comma = value.size();
    if (!check(value.substr(start, comma - start))) return false;
    start = comma + 1;
  }
  return true;
}

bool isImageExtensionPiece(const std::string& piece) { return isImageExtension(piece.c_str()); }

// A base name as written, or "*." followed by one ("*.icon"): no folder, no
// other wildcard. An empty piece matches only an empty base name.
bool isCoverNamePiece(const std::string& piece) {
  std::string literal = piece.compare(0, 2, "*.") == 0 && piece.size() > 2 ? piece.substr(2) : piece;
  return literal.find_first_of("/*?") == std::string::npos;
}

std::string withoutBlanks(const std::string& piece) {
  size_t first = piece.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return piece.substr(first, piece.find_last_not_of(' ') - first + 1);
}

bool isHostNamePiece(const std::string& piece) {
  std::string name = withoutBlanks(piece);
  if (name.empty()) return false;
  for (char c : name)
    if (!isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.') return false;
  return true;
}

struct Rule {
  const char* option;
  bool (*acceptsPiece)(const std::string&);
};

const Rule kRules[] = {
    {"cover_files_exts", isImageExtensionPiece},
    {"cover_files_names", isCoverNamePiece},
    {"allowed_hosts", isHostNamePiece},
};

}  // namespace

bool isAcceptableOptionValue(const std::string& name, const std::string& value) {
  for (const Rule& rule : kRules)
    if (name == rule.option) return everyPiece(value, rule.acceptsPiece);
  return true;
}

bool isImageExtension(const char* extension) {
  for (const char* known : kImageExtensions)
    if (strcasecmp(extension, known) == 0) return true;
  return false;
}

bool isListedHost(const std::string& list, const std::string& host) {
  bool found = false;
  everyPiece(list, [&](const std::string& piece) {
    found = strcasecmp(withoutBlanks(piece).c_str(), host.c_str()) == 0;
    return !found;
  });
  return found;
}
