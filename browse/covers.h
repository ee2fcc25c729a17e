// One scan of a folder tells whether it holds media, whether it is a disc
// folder (DVD or Blu-ray structure) and, when asked, which picture is its cover.
#pragma once

#include <cstddef>
#include <list>
#include <string>

// The cover file patterns: "cover_files_names" for the base name (before the
// last "."), "cover_files_exts" for the extension. Made from the configuration;
// an empty option gets its default, which is stored so that it is saved.
struct CoverPatterns {
  CoverPatterns();

  std::list<std::string> names;
  std::list<std::string> extensions;

  // The two options as they take effect ("names/extensions"), read without
  // storing a default.
  static std::string inEffect();

  static constexpr const char* kDefaultNames = "cover,front,*.icon";
  static constexpr const char* kDefaultExtensions = "jpg,jpeg,png";
};

class CoverFinder {
 public:
  // folder ends with "/" when a cover is wanted. sourceRoot is the real path
  // of the root of the source the folder lies on: only a regular file whose
  // resolved path lies at or below it is published (without it, none is). The
  // first form reads the patterns from the configuration; a caller examining
  // many folders reads them once and hands them to each finder.
  CoverFinder(const std::string& folder, bool wantCover, const std::string& sourceRoot = std::string());
  CoverFinder(const std::string& folder, bool wantCover, const CoverPatterns& patterns, const std::string& sourceRoot);

  bool isDiscFolder() const { return m_discFolder; }
  bool hasMedia() const { return m_hasMedia; }
  const std::string& cover() const { return m_cover; }  // URL below "/covers/", or empty

  // A cover is published as a copy of at most kMaxCoverBytes; the copies of
  // one listing, and the folder of copies, stay within kMaxPublishedBytes.
  static constexpr size_t kMaxCoverBytes = 2 * 1024 * 1024;
  static constexpr size_t kMaxPublishedBytes = 16 * 1024 * 1024;

 private:
  void scan(const CoverPatterns& patterns, const std::string& sourceRoot);
  void publishCover(const std::string& imagePath, const std::string& sourceRoot);

  const std::string& m_folder;
  bool m_discFolder = false;
  bool m_hasMedia = false;
  std::string m_cover;
  bool m_wantCover;
};

// After a listing that published new copies: the folder of published covers
// is brought back within CoverFinder::kMaxPublishedBytes, the copies made
// longest ago first, never one this process handed out; what is not a copy (a
// link left by an earlier version) goes too. True when something was removed:
// stored listings may name it.
bool trimPublishedCovers();
