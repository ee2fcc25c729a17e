#include "browse/sourcelookup.h"

#include "browse/storage.h"
#include "network/networkservice.h"

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

IFilesSource* findSourceByVirtualPath(const std::string& path) {
  if (path.empty() || hasDotComponent(path)) return nullptr;
  for (Storage& storage : StorageList::get())
    if (isAtOrBelow(path, storage.virtualPrefix())) return &storage;
  return NetworkService::instance().findByVirtualPath(path);
}

IFilesSource* findSourceByMediaUrl(const std::string& url) {
  if (url.empty()) return nullptr;
  for (Storage& storage : StorageList::get()) {
    std::string prefix = storage.mediaUrlPrefix() + "/";
    if (url.compare(0, prefix.size(), prefix) != 0) continue;
    return hasDotComponent(url.substr(prefix.size())) ? nullptr : &storage;
  }
  return NetworkService::instance().findByMediaUrl(url);
}
