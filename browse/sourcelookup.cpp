#include "browse/sourcelookup.h"

#include <cstring>

#include "browse/storage.h"
#include "network/networkservice.h"

IFilesSource* findSourceByVirtualPath(const std::string& path) {
  if (path.empty() || hasDotComponent(path)) return nullptr;
  for (Storage& storage : StorageList::get())
    if (isAtOrBelow(path, storage.virtualPrefix())) return &storage;
  return NetworkService::instance().findByVirtualPath(path);
}

namespace {

// Storages first, then network sources; the bare media URL prefix of a source
// is its root (what "play" of "local/NAME" starts), so it belongs to it.
IFilesSource* sourceOfMediaUrl(const std::string& url, bool mount) {
  if (url.empty()) return nullptr;
  // Only a storage URL can be a storage's: others need no scan of the storages.
  if (url.compare(0, strlen(Storage::kMediaUrlScheme), Storage::kMediaUrlScheme) == 0) {
    for (Storage& storage : StorageList::get()) {
      std::string prefix = storage.mediaUrlPrefix();
      if (isAtOrBelow(url, prefix)) return hasDotComponent(url.substr(prefix.size())) ? nullptr : &storage;
    }
  }
  NetworkService& network = NetworkService::instance();
  return mount ? network.findByMediaUrl(url) : network.findMountedByMediaUrl(url);
}

}  // namespace

IFilesSource* findSourceByMediaUrl(const std::string& url) { return sourceOfMediaUrl(url, true); }

IFilesSource* findMountedSourceByMediaUrl(const std::string& url) { return sourceOfMediaUrl(url, false); }
