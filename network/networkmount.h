// Mounting network sources on demand: the mount command, and finding a share's
// line in the mount table.
#pragma once

#include <string>

#include "network/networksource.h"

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

// The first field of the share's line in /etc/mtab; empty for a source that is
// neither SMB nor NFS (such a share is never mounted).
std::string mtabNeedle(const NetworkSource& source);

// When line is the mtab line of needle: true, and the mount directory it names.
bool mtabMountPoint(const std::string& line, const std::string& needle, std::string& mountPoint);

// The -o options of an SMB mount ("," inside a value written ",,"); with
// masked the password shows as "***", as the log writes it.
std::string smbMountOptions(const std::string& user, const std::string& password, bool masked);
