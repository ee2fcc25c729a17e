#include "core/mounttable.h"

#include "core/sysio.h"

namespace {

struct MtabEscape {
  char plain;
  const char* escaped;
};
const MtabEscape kMtabEscapes[] = {{' ', "\\040"}, {'\t', "\\011"}, {'\n', "\\012"}, {'\\', "\\134"}};

constexpr size_t kMaxMtabSize = 1 << 20;

const char* escapeOf(char c) {
  for (const MtabEscape& e : kMtabEscapes)
    if (e.plain == c) return e.escaped;
  return nullptr;
}

}  // namespace

std::string mtabEscape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (const char* escaped = escapeOf(c))
      out += escaped;
    else
      out += c;
  }
  return out;
}

std::string mtabUnescape(const std::string& text) {
  std::string out;
  for (size_t at = 0; at < text.size();) {
    bool decoded = false;
    if (text[at] == '\\') {
      for (const MtabEscape& e : kMtabEscapes) {
        if (text.compare(at, 4, e.escaped) == 0) {
          out += e.plain;
          at += 4;
          decoded = true;
          break;
        }
      }
    }
    if (!decoded) out += text[at++];
  }
  return out;
}

bool parseMountLine(const std::string& line, MountEntry& entry) {
  size_t blank = line.find(' ');
  if (blank == std::string::npos) return false;
  size_t start = line.find('/', blank + 1);
  if (start == std::string::npos) return false;
  size_t end = line.find(' ', start);
  entry.source = line.substr(0, blank);
  entry.mountPoint = mtabUnescape(line.substr(start, end == std::string::npos ? std::string::npos : end - start));
  return true;
}

std::vector<std::string> mountTableLines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

std::string readMountTable(const std::string& path) {
  std::string text;
  if (!readFile(path, text, kMaxMtabSize)) return "";
  return text;
}
