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

// The path helpers that the storages, the network shares and the source
// lookup share.

// Replaces the first prefixLength characters of text (all of it when shorter).
std::string replacePrefix(std::string text, size_t prefixLength, const std::string& replacement);

// True when path is the prefix itself or lies below it ("prefix/...").
bool isAtOrBelow(const std::string& path, const std::string& prefix);

// True when a "/"-separated component of path is "." or "..", which could lead
// outside its source.
bool hasDotComponent(const std::string& path);

// The real path of the source's root (its mount point): the virtual form of
// an empty real path is the source's virtual prefix, whose real form is the root.
std::string sourceRootOf(const IFilesSource& source);
