#include "network/networkmount.h"

#include <unistd.h>

#include <cassert>
#include <vector>

#include "core/log.h"
#include "core/mounttable.h"
#include "core/paths.h"
#include "core/process.h"
#include "core/sysio.h"
#include "core/utils.h"

namespace {

// "," separates mount options; one inside a value is written twice.
std::string mountOptionValue(const std::string& value) {
  std::string out;
  for (char c : value) {
    out += c;
    if (c == ',') out += ',';
  }
  return out;
}

// Creates the mount directory parent + md5Hex(share). A directory already
// holding files is not ours to mount over: the next name is the MD5 of the
// previous one. An existing empty directory is reused.
bool makeMountDirectory(const std::string& parent, const std::string& share, std::string& directory) {
  std::string name = md5Hex(share);
  for (int attempt = 0; attempt < 64; ++attempt, name = md5Hex(name)) {
    directory = parent + name;
    if (makeDirectory(directory, 0775)) return true;
    if (!canOpenDirectory(directory)) return false;
    if (isDirectoryEmpty(directory)) return true;
  }
  return false;
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace

std::string smbShareText(const NetworkSource& source) { return "\\\\" + source.address() + "\\" + source.path(); }

std::string mtabNeedle(const NetworkSource& source) {
  if (source.type() == NETWORK_SMB) return mtabEscape(smbShareText(source));
  if (source.type() == NETWORK_NFS) return mtabEscape(source.address() + ":" + source.path());
  return "";
}

bool mtabMountPoint(const std::string& line, const std::string& needle, std::string& mountPoint) {
  MountEntry entry;
  if (needle.empty() || !parseMountLine(line, entry) || entry.source != needle) return false;
  mountPoint = entry.mountPoint;
  return true;
}

std::string smbMountOptions(const std::string& user, const std::string& password, bool masked) {
  std::string value = mountOptionValue(password);
  return "username=" + mountOptionValue(user) + ",password=" + (masked ? maskPassword(value, value, true) : value);
}

NetworkMountHelper::NetworkMountHelper(NetworkSource* source) : m_source(source) { assert(m_source != 0); }

int NetworkMountHelper::timeLimitSeconds() { return sandboxTimeLimit("TAVORC_MOUNT_TIME_LIMIT", kTimeLimitSeconds); }

bool NetworkMountHelper::isMounted() {
  std::string needle = mtabNeedle(*m_source);
  if (needle.empty()) return false;
  std::string mountPoint;
  for (const std::string& line : mountTableLines(readMountTable(rooted(paths::kMtab)))) {
    if (mtabMountPoint(line, needle, mountPoint)) {
      m_source->setMountPoint(mountPoint);
      return true;
    }
  }
  return false;
}

bool NetworkMountHelper::mount() {
  if (m_source->type() == NETWORK_SMB) return mountSmb();
  if (m_source->type() == NETWORK_NFS) return mountNfs();
  return false;
}

bool NetworkMountHelper::mountSmb() { return mountShare(true, smbShareText(*m_source)); }

bool NetworkMountHelper::mountNfs() { return mountShare(false, m_source->address() + ":" + m_source->path()); }

// SMB and NFS mounts differ in the type, the folder, the -o options and
// the words they log.
bool NetworkMountHelper::mountShare(bool smb, const std::string& share) {
  // An NFS server named "-..." would reach mount as an option, not as a share.
  if (share.empty() || share[0] == '-') return false;
  std::string directory;
  if (!makeMountDirectory(rooted(smb ? paths::kSmbMountDir : paths::kNfsMountDir), share, directory)) return false;
  const char* type = smb ? "cifs" : "nfs";
  std::vector<std::string> arguments = {"-t", type, share, directory};
  std::string command = std::string("mount -t ") + type + " " + quoted(share) + " " + quoted(directory);
  if (smb) {
    arguments.push_back("-o");
    arguments.push_back(smbMountOptions(m_source->user(), m_source->password(), false));
    command += " -o" + smbMountOptions(m_source->user(), m_source->password(), true);
  }
  logMessage("try mount %s source, command: %s", smb ? "smb" : "nfs", command.c_str());
  int limit = timeLimitSeconds();
  ProgramResult result = runProgramCapture("mount", arguments, limit);
  if (isMounted()) {
    // Misspelt on purpose: the front end and those who read the log look for these exact words.
    logMessage(smb ? "successfuly" : "Successfuly");
    return true;
  }
  rmdir(directory.c_str());
  if (result.timedOut) logError("mount stopped after %d seconds", limit);
  // The password never reaches the log, not even inside what mount printed.
  std::string output = maskPassword(result.output, m_source->password());
  output = maskPassword(output, mountOptionValue(m_source->password()));
  while (!output.empty() && output.back() == '\n') output.pop_back();
  if (smb)
    logMessage("%s", output.c_str());
  else
    logError("%s", output.c_str());
  return false;
}

bool NetworkMountHelper::unmount() {
  const std::string mountPoint = m_source->mountPoint();
  if (mountPoint.empty()) return true;
  runProgram("umount", {mountPoint}, timeLimitSeconds());
  if (isMounted()) return false;
  rmdir(mountPoint.c_str());
  return true;
}

bool NetworkMountHelper::unmountIfMounted() { return !isMounted() || unmount(); }

bool NetworkMountHelper::mountIfNeeded() { return isMounted() || mount(); }
