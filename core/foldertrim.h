// Folders of files that can be made again (cached listings, published
// covers) kept within a size in the box's RAM, oldest first out.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

// Files belong together when their names agree up to the first "." ("ABC",
// "ABC.folder", "ABC.tmp"): such a group is removed or kept as a whole. While
// the regular files of the folder take more than maxBytes (as allocated, so a
// small file counts a whole block), the group changed longest ago is removed,
// unless keep(group) holds. Entries that are neither regular files nor
// folders (symbolic links, FIFOs) are removed at once. Returns the number of
// entries removed; nothing when the folder cannot be read.
size_t trimFolder(const std::string& folder, size_t maxBytes, const std::function<bool(const std::string&)>& keep);

// Removes every file of the folder (not its subfolders).
void emptyFolder(const std::string& folder);
