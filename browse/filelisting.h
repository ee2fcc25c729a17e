// The answer of "file_list" as compact JSON text, byte for byte what the JSON
// writer makes of the same document, written directly because a listing can
// hold thousands of entries.
#pragma once

#include <string>
#include <vector>

// One listed entry; an empty field is left out of the answer.
struct FileEntry {
  std::string name;
  std::string path;      // folders: their virtual path
  std::string cover;     // folders with a shown cover: its URL
  std::string playPath;  // playable entries
};

// {"currDirPlayPath":...,"files":[...]} with its final line feed.
std::string fileListJson(const std::string& currDirPlayPath, const std::vector<FileEntry>& entries);
