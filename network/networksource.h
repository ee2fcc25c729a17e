// A network source: an SMB share or an NFS export browsed like a local
// storage, and the texts its type and protocol are stored as.
#pragma once

#include <string>

#include "browse/filesource.h"

enum NetworkSourceType { NETWORK_SMB = 0, NETWORK_NFS = 1, NETWORK_OTHER = -1 };
enum NetworkProtocol { NETWORK_UDP = 0, NETWORK_TCP = 1, NETWORK_PROTOCOL_OTHER = -1 };

class NetworkSource : public IFilesSource {
 public:
  NetworkSource(int type, int protocol, const std::string& key, const std::string& title, const std::string& address,
                const std::string& path, const std::string& user, const std::string& password);

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

// "0" and "1" as stored for a type or a protocol; -1 for any other text.
int sourceCodeFromText(const std::string& text);
