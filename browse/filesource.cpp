#include "browse/filesource.h"

std::string replacePrefix(std::string text, size_t prefixLength, const std::string& replacement) {
  return text.replace(0, prefixLength < text.size() ? prefixLength : text.size(), replacement);
}

bool isAtOrBelow(const std::string& path, const std::string& prefix) {
  return path.compare(0, prefix.size(), prefix) == 0 && (path.size() == prefix.size() || path[prefix.size()] == '/');
}

bool hasDotComponent(const std::string& path) {
  size_t start = 0;
  for (;;) {
    size_t end = path.find('/', start);
    size_t length = (end == std::string::npos ? path.size() : end) - start;
    if ((length == 1 || length == 2) && path.compare(start, length, std::string(length, '.')) == 0) return true;
    if (end == std::string::npos) return false;
    start = end + 1;
  }
}

std::string sourceRootOf(const IFilesSource& source) { return source.virtualToReal(source.realToVirtual("")); }
