// The answer of "file_list" as compact JSON text, byte for byte what the JSON
// writer makes of the same document, written directly while the folder is
// read because a listing can hold thousands of entries.
#pragma once

#include <cstddef>
#include <string>

class FileListWriter {
 public:
  // listingPath: the folder's virtual path ending with "/"; entry paths are it
  // followed by the entry's name.
  FileListWriter(const std::string& listingPath, size_t expectedEntries = 0);

  // A folder has a path; cover and play path only when given / playable.
  void addFolder(const char* name, const std::string& cover, bool playable);
  void addFile(const char* name, bool playable);

  // {"currDirPlayPath":...,"files":[folders..., files...]} with its final line feed.
  std::string finish(const std::string& currDirPlayPath);

 private:
  void appendPath(std::string& out, const char* member, const char* name, bool plainName) const;

  std::string m_listingPath;
  bool m_plainPath;
  std::string m_folders;
  std::string m_files;
};
