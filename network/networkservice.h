// Network sources: SMB shares and NFS exports browsed like local storages.
// The registry merges the shares stored by this program with the player's own
// network folders, and mounts a share when a path or URL on it is looked up.
#pragma once

#include <list>
#include <string>

#include "network/networksource.h"

// Appends each source of more unless the list already holds the same share,
// then sorts the list (stable: NFS before SMB, then by title).
void mergeNetworkSources(std::list<NetworkSource>& list, const std::list<NetworkSource>& more);

// The process-wide list of network sources. Pointers handed out stay valid
// until the list is next emptied (add, remove, invalidate).
class NetworkService {
 public:
  static NetworkService& instance();

  std::list<NetworkSource>& sources();
  void add(const std::string& title, const std::string& type, const std::string& protocol, const std::string& address,
           const std::string& path, const std::string& user, const std::string& password);
  void remove(const std::string& key);
  NetworkSource* findByKey(const std::string& key);
  NetworkSource* findByVirtualPath(const std::string& path);
  NetworkSource* findByMediaUrl(const std::string& url);
  // findByMediaUrl without mounting: the source only when it is mounted now.
  NetworkSource* findMountedByMediaUrl(const std::string& url);
  void invalidate() { m_sources.clear(); }

 private:
  NetworkSource* mounted(NetworkSource* source);
  // The first source whose share URL is the URL or lies above it; none when
  // the URL has a "." or ".." below that share.
  NetworkSource* claimingMediaUrl(const std::string& url);

  std::list<NetworkSource> m_sources;
};
