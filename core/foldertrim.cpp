#include "core/foldertrim.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <vector>

namespace {

struct Group {
  std::vector<std::string> names;
  struct timespec changed = {0, 0};
  size_t bytes = 0;
};

bool before(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec != b.tv_sec ? a.tv_sec < b.tv_sec : a.tv_nsec < b.tv_nsec;
}

// Calls visit(folder descriptor, name, status) for every entry but "." and "..".
template <typename Visit>
bool forEachEntry(const std::string& folder, Visit visit) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return false;
  int fd = dirfd(dir);
  while (struct dirent* entry = readdir(dir)) {
    const char* name = entry->d_name;
    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
    struct stat status;
    if (fstatat(fd, name, &status, AT_SYMLINK_NOFOLLOW) == 0) visit(fd, name, status);
  }
  closedir(dir);
  return true;
}

}  // namespace

size_t trimFolder(const std::string& folder, size_t maxBytes, const std::function<bool(const std::string&)>& keep) {
  std::map<std::string, Group> groups;
  size_t total = 0, removed = 0;
  forEachEntry(folder, [&](int fd, const char* name, const struct stat& status) {
    if (S_ISDIR(status.st_mode)) return;
    if (!S_ISREG(status.st_mode)) {
      if (unlinkat(fd, name, 0) == 0) ++removed;
      return;
    }
    std::string text = name;
    Group& group = groups[text.substr(0, text.find('.'))];
    group.names.push_back(text);
    size_t bytes = static_cast<size_t>(status.st_blocks) * 512;
    group.bytes += bytes;
    total += bytes;
    if (before(group.changed, status.st_ctim)) group.changed = status.st_ctim;
  });
  if (total <= maxBytes) return removed;
  std::vector<std::pair<const std::string*, Group*>> order;
  for (auto& group : groups) order.emplace_back(&group.first, &group.second);
  std::sort(order.begin(), order.end(),
            [](const auto& a, const auto& b) { return before(a.second->changed, b.second->changed); });
  for (const auto& group : order) {
    if (total <= maxBytes) break;
    if (keep(*group.first)) continue;
    for (const std::string& name : group.second->names)
      if (unlink((folder + "/" + name).c_str()) == 0) ++removed;
    total -= group.second->bytes;
  }
  return removed;
}

void emptyFolder(const std::string& folder) {
  forEachEntry(folder, [](int fd, const char* name, const struct stat& status) {
    if (!S_ISDIR(status.st_mode)) unlinkat(fd, name, 0);
  });
}
