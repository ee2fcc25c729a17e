// One scan of a folder tells whether it holds media, whether it is a disc
// folder (DVD or Blu-ray structure) and, when asked, which picture is its cover.
#pragma once

#include <list>
#include <string>

class CoverFinder {
 public:
  // folder ends with "/" when a cover is wanted.
  CoverFinder(const std::string& folder, bool wantCover);

  bool isDiscFolder() const { return m_discFolder; }
  bool hasMedia() const { return m_hasMedia; }
  const std::string& cover() const { return m_cover; }  // URL below "/covers/", or empty

  static constexpr const char* kDefaultNames = "cover,front,*.icon";
  static constexpr const char* kDefaultExtensions = "jpg,jpeg,png";

 private:
  void scan();
  bool isCover(const char* name) const;
  void publishCover(const std::string& imagePath);

  const std::string& m_folder;
  bool m_discFolder = false;
  bool m_hasMedia = false;
  std::string m_cover;
  std::string m_namePatterns;
  std::string m_extensionPatterns;
  bool m_wantCover;
  const std::list<std::string>* m_names;
  const std::list<std::string>* m_extensions;
};
