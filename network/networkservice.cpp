#include "network/networkservice.h"

#include <algorithm>

#include "browse/filesource.h"
#include "core/config.h"
#include "network/netfolders.h"
#include "network/networkmount.h"
#include "network/storedsources.h"

void mergeNetworkSources(std::list<NetworkSource>& list, const std::list<NetworkSource>& more) {
  for (const NetworkSource& candidate : more) {
    bool known = std::any_of(list.begin(), list.end(),
                             [&](const NetworkSource& source) { return source.isSameShare(candidate); });
    if (!known) list.push_back(candidate);
  }
  list.sort();
}

NetworkService& NetworkService::instance() {
  static NetworkService service;
  return service;
}

std::list<NetworkSource>& NetworkService::sources() {
  if (!m_sources.empty()) return m_sources;
  if (Config* config = Config::instance()) m_sources = storedNetworkSources(networkSourceStore(config->root()));
  mergeNetworkSources(m_sources, readPlayerNetworkFolders());
  return m_sources;
}

void NetworkService::add(const std::string& title, const std::string& type, const std::string& protocol,
                         const std::string& address, const std::string& path, const std::string& user,
                         const std::string& password) {
  Config* config = Config::instance();
  if (!config) return;
  if (storeNetworkSource(config->root(), title, type, protocol, address, path, user, password)) invalidate();
}

void NetworkService::remove(const std::string& key) {
  if (NetworkSource* source = findByKey(key)) NetworkMountHelper(source).unmountIfMounted();
  if (Config* config = Config::instance()) networkSourceStore(config->root()).removeMember(key);
  invalidate();
}

NetworkSource* NetworkService::findByKey(const std::string& key) {
  if (key.empty()) return nullptr;
  for (NetworkSource& source : sources())
    if (source.key() == key) return &source;
  return nullptr;
}

NetworkSource* NetworkService::mounted(NetworkSource* source) {
  return NetworkMountHelper(source).mountIfNeeded() ? source : nullptr;
}

NetworkSource* NetworkService::findByVirtualPath(const std::string& path) {
  if (path.empty()) return nullptr;
  for (NetworkSource& source : sources()) {
    std::string prefix = source.virtualPrefix();
    if (prefix.empty() || !isAtOrBelow(path, prefix)) continue;
    if (hasDotComponent(path.substr(prefix.size()))) return nullptr;  // would climb out of the share
    return mounted(&source);
  }
  return nullptr;
}

NetworkSource* NetworkService::claimingMediaUrl(const std::string& url) {
  if (url.empty()) return nullptr;
  for (NetworkSource& source : sources()) {
    std::string prefix = source.mediaUrl();
    if (!isAtOrBelow(url, prefix)) continue;
    return hasDotComponent(url.substr(prefix.size())) ? nullptr : &source;
  }
  return nullptr;
}

NetworkSource* NetworkService::findByMediaUrl(const std::string& url) {
  NetworkSource* source = claimingMediaUrl(url);
  return source ? mounted(source) : nullptr;
}

NetworkSource* NetworkService::findMountedByMediaUrl(const std::string& url) {
  NetworkSource* source = claimingMediaUrl(url);
  return source && NetworkMountHelper(source).isMounted() ? source : nullptr;
}
