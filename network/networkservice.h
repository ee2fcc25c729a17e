// Network sources: SMB shares and NFS exports browsed like local storages,
// the registry that merges the shares stored by this program with the
// player's own network folders, and mounting on demand.
#pragma once

#include <list>
#include <string>

#include "browse/filesource.h"

enum NetworkSourceType { NETWORK_SMB = 0, NETWORK_NFS = 1, NETWORK_OTHER = -1 };
enum NetworkProtocol { NETWORK_UDP = 0, NETWORK_TCP = 1, NETWORK_PROTOCOL_OTHER = -1 };

class NetworkSource : public IFilesSource {
 public:
  NetworkSource(int type, int protocol, const std::string& key, const std::string& title,
                const std::string& address, const std::string& path, const std::string& user,
                const std::string& password);

  std::string virtualPrefix() const;
  std::string mediaUrl() const;
  bool isSameShare(const NetworkSource& other) const;
  bool operator<(const NetworkSource& other) const;

  std::string realToVirtual(std::string path) const override;
  std::string mediaUrlToVirtual(std::string url) const override;
  std::string realToMediaUrl(std::string path) const override;
  std::string virtualToReal(std::string path) const override;
  std::string mediaUrlToReal(std::string url) const override;

  int type() const { return m_type; }
  int protocol() const { return m_protocol; }
  const std::string& key() const { return m_key; }
  const std::string& title() const { return m_title; }
  const std::string& address() const { return m_address; }
  const std::string& path() const { return m_path; }
  const std::string& mountPoint() const { return m_mountPoint; }
  const std::string& user() const { return m_user; }
  const std::string& password() const { return m_password; }
  bool isPersist() const { return m_isPersist; }
  void setMountPoint(const std::string& mountPoint) { m_mountPoint = mountPoint; }
  void setPersist(bool persist) { m_isPersist = persist; }

 private:
  int m_type;
  int m_protocol;
  std::string m_key;
  std::string m_title;
  std::string m_address;
  std::string m_path;
  std::string m_mountPoint;
  std::string m_user;
  std::string m_password;
  bool m_isPersist = false;
};

std::string makeSourceKey(const std::string& type, const std::string& address, const std::string& path);

class NetworkService {
 public:
  static NetworkService& instance();

  std::list<NetworkSource>& sources();
  void add(const std::string& title, const std::string& type, const std::string& protocol,
           const std::string& address, const std::string& path, const std::string& user,
           const std::string& password);
  void remove(const std::string& key);
  NetworkSource* findByKey(const std::string& key);
  NetworkSource* findByVirtualPath(const std::string& path);
  NetworkSource* findByMediaUrl(const std::string& url);
  void invalidate() { m_sources.clear(); }

 private:
  std::list<NetworkSource> m_sources;
};
