// A file source: a storage partition or a network share. Each item on it has
// three written forms, each a source prefix followed by the same remainder:
// the real path, the virtual path the front end uses, and the media URL the
// player is given.
#pragma once

#include <string>

class IFilesSource {
 public:
  virtual ~IFilesSource() = default;
  virtual std::string realToVirtual(std::string path) const = 0;
  virtual std::string mediaUrlToVirtual(std::string url) const = 0;
  virtual std::string realToMediaUrl(std::string path) const = 0;
  virtual std::string virtualToReal(std::string path) const = 0;
  virtual std::string mediaUrlToReal(std::string url) const = 0;
};

// Replaces the first prefixLength characters of text (all of it when shorter).
inline std::string replacePrefix(std::string text, size_t prefixLength, const std::string& replacement) {
  return text.replace(0, prefixLength < text.size() ? prefixLength : text.size(), replacement);
}

// True when path is the prefix itself or lies below it ("prefix/...").
inline bool isAtOrBelow(const std::string& path, const std::string& prefix) {
  return path.compare(0, prefix.size(), prefix) == 0 &&
         (path.size() == prefix.size() || path[prefix.size()] == '/');
}

// The real path of the source's root (its mount point): the virtual form of
// an empty real path is the source's virtual prefix, whose real form is the root.
inline std::string sourceRootOf(const IFilesSource& source) { return source.virtualToReal(source.realToVirtual("")); }
