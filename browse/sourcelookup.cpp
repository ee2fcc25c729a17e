#include "browse/sourcelookup.h"

#include "browse/storage.h"
#include "network/networkservice.h"

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
