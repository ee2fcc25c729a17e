// Fuzz target: the player's network folders file. Every share read from it
// finds its own line in the mount table again (the mount directory as it was
// written there, whatever its characters), and a path below the share resolves
// below its mount directory.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/mounttable.h"
#include "core/paths.h"
#include "network/netfolders.h"
#include "network/networkmount.h"
#include "network/networkservice.h"

namespace {

void checkShare(NetworkSource& source, const std::string& text) {
  if (!source.isPersist() || mtabUnescape(mtabEscape(source.title())) != source.title()) abort();
  std::string needle = mtabNeedle(source);
  bool smb = source.type() == NETWORK_SMB;
  if (needle.empty()) {
    if (smb || source.type() == NETWORK_NFS) abort();
    return;
  }
  std::string directory = (smb ? paths::kSmbMountDir : paths::kNfsMountDir) + source.title();
  std::string line = needle + " " + mtabEscape(directory) + (smb ? " cifs" : " nfs") + " rw 0 0";
  std::string mountPoint;
  if (!mtabMountPoint(line, needle, mountPoint) || mountPoint != directory) abort();
  mtabMountPoint(text, needle, mountPoint);
  source.setMountPoint(directory);
  if (!isAtOrBelow(source.virtualToReal(source.virtualPrefix() + "/a b"), directory)) abort();
}

}  // namespace

int fuzzNetworkFolders(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  for (NetworkSource& source : parsePlayerNetworkFolders(text)) checkShare(source, text);
  return 0;
}

#ifdef TAVORC_LIBFUZZER
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return fuzzNetworkFolders(data, size); }
#endif
