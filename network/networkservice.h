// Network sources: SMB shares and NFS exports browsed like local storages,
// the registry that merges the shares stored by this program with the
// player's own network folders, and mounting on demand.
#pragma once

#include <json/json.h>

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

// "0" and "1" as stored for a type or a protocol; -1 for any other text.
int sourceCodeFromText(const std::string& text);

// Mounts one source's share below /tmp/mnt/smb or /tmp/mnt/nfs, finds where it
// is mounted, unmounts it. Whether a share is mounted is judged only by
// /etc/mtab, never by the exit status of mount or umount.
class NetworkMountHelper {
 public:
  explicit NetworkMountHelper(NetworkSource* source);

  bool isMounted();
  bool mount();
  bool mountSmb();
  bool mountNfs();
  bool unmount();
  bool unmountIfMounted();
  bool mountIfNeeded();

  // A mount (or unmount) still running after this many seconds is killed and
  // counts as failed. In a sandbox root TAVORC_MOUNT_TIME_LIMIT may shorten it.
  static constexpr int kTimeLimitSeconds = 30;
  static int timeLimitSeconds();

 private:
  bool mountShare(bool smb, const std::string& share);

  NetworkSource* m_source;
};

// The share text as mount.cifs takes it: \\address\path.
std::string smbShareText(const NetworkSource& source);

// How /etc/mtab writes a text (backslash, space, tab and line feed as octal
// escapes), and back.
std::string mtabEscape(const std::string& text);
std::string mtabUnescape(const std::string& text);

// The first field of the share's line in /etc/mtab; empty for a source that is
// neither SMB nor NFS (such a share is never mounted).
std::string mtabNeedle(const NetworkSource& source);

// When line is the mtab line of needle: true, and the mount directory it names.
bool mtabMountPoint(const std::string& line, const std::string& needle, std::string& mountPoint);

// The -o options of an SMB mount ("," inside a value written ",,"); with
// maskPassword the password shows as "***", as the log writes it.
std::string smbMountOptions(const std::string& user, const std::string& password, bool maskPassword);

// The player's network folders (lines "field.index = value"), in index order.
std::list<NetworkSource> parsePlayerNetworkFolders(const std::string& text);
std::list<NetworkSource> readPlayerNetworkFolders();

// The stored sources: member "network_sources" of the configuration root,
// made an empty object first when it is missing or not an object.
Json::Value& networkSourceStore(Json::Value& root);
std::list<NetworkSource> storedNetworkSources(const Json::Value& store);

// Stores a source in the configuration root under its key, renaming its
// title when a stored source already carries it. False (nothing stored, the
// root untouched) for a type or protocol other than "0" or "1".
bool storeNetworkSource(Json::Value& root, std::string title, const std::string& type,
                        const std::string& protocol, const std::string& address, const std::string& path,
                        const std::string& user, const std::string& password);

// Appends each source of more unless the list already holds the same share,
// then sorts the list (stable: NFS before SMB, then by title).
void mergeNetworkSources(std::list<NetworkSource>& list, const std::list<NetworkSource>& more);

// The process-wide list of network sources. Pointers handed out stay valid
// until the list is next emptied (add, remove, invalidate).
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
  NetworkSource* mounted(NetworkSource* source);

  std::list<NetworkSource> m_sources;
};
