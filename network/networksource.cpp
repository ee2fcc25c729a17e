#include "network/networksource.h"

NetworkSource::NetworkSource(int type, int protocol, const std::string& key, const std::string& title,
                             const std::string& address, const std::string& path, const std::string& user,
                             const std::string& password)
    : m_type(type),
      m_protocol(protocol),
      m_key(key),
      m_title(title),
      m_address(address),
      m_path(path),
      m_user(user),
      m_password(password) {
  if (m_type == NETWORK_NFS && (m_path.empty() || m_path[0] != '/')) m_path.insert(0, "/");
}

std::string NetworkSource::virtualPrefix() const {
  if (m_type == NETWORK_NFS) return "nfs/" + m_title;
  if (m_type == NETWORK_SMB) return "smb/" + m_title;
  return "";
}

std::string NetworkSource::mediaUrl() const {
  if (m_type == NETWORK_NFS)
    return std::string("nfs") + (m_protocol == NETWORK_TCP ? "-tcp" : "-udp") + "://" + m_address + ":" + m_path + ":";
  std::string credentials;
  if (!m_user.empty()) credentials = m_user + (m_password.empty() ? "" : ":" + m_password) + "@";
  return "smb://" + credentials + m_address + "/" + m_path;
}

bool NetworkSource::isSameShare(const NetworkSource& other) const {
  return m_type == other.m_type && m_address == other.m_address && m_path == other.m_path;
}

bool NetworkSource::operator<(const NetworkSource& other) const {
  if (m_type != other.m_type) return m_type > other.m_type;
  return m_title < other.m_title;
}

std::string NetworkSource::realToVirtual(std::string path) const {
  return replacePrefix(path, m_mountPoint.size(), virtualPrefix());
}
std::string NetworkSource::mediaUrlToVirtual(std::string url) const {
  return replacePrefix(url, mediaUrl().size(), virtualPrefix());
}
std::string NetworkSource::realToMediaUrl(std::string path) const {
  return replacePrefix(path, m_mountPoint.size(), mediaUrl());
}
std::string NetworkSource::virtualToReal(std::string path) const {
  return replacePrefix(path, virtualPrefix().size(), m_mountPoint);
}
std::string NetworkSource::mediaUrlToReal(std::string url) const {
  return replacePrefix(url, mediaUrl().size(), m_mountPoint);
}

std::string makeSourceKey(const std::string& type, const std::string& address, const std::string& path) {
  return type + ":" + address + ":" + path;
}

int sourceCodeFromText(const std::string& text) {
  if (text == "0") return 0;
  if (text == "1") return 1;
  return -1;
}
