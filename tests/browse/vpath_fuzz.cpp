// Fuzz target: virtual path resolution. Whatever path the front end sends, the
// real path of the source that claims it lies at or below that source's mount
// point and never climbs out of it with "." or "..".
//
// The input is a virtual path, optionally followed by a zero byte, blkid lines,
// a zero byte and mount table lines. The path is looked up among the sources
// of the sandbox root (three storages, an SMB and an NFS share, prepared at the
// first call) and among the storages that the given lines describe.
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "browse/sourcelookup.h"
#include "browse/storage.h"
#include "core/paths.h"

namespace {

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
}

void makeDirs(const std::string& root, const std::string& path) {
  for (size_t at = 1; at != std::string::npos; at = path.find('/', at + 1))
    mkdir((root + path.substr(0, at)).c_str(), 0775);
  mkdir((root + path).c_str(), 0775);
}

// The storages of the root come from the stand-in blkid and mount; the shares
// from the player's network folders file, already mounted in the mount table.
void prepareSources() {
  const std::string& root = sandboxRoot();
  for (const char* dir : {"/etc", "/sbin", "/mnt/config", "/tmp/mnt/usb1", "/tmp/mnt/usb2", "/tmp/mnt/sata one"})
    makeDirs(root, dir);
  writeFile(root + "/etc/blkid.tab",
            "/dev/sda1: LABEL=\"USB\" UUID=\"4A3B-1C2D\"\n/dev/sdb1: LABEL=\"USB\" UUID=\"77aa-0001\"\n"
            "/dev/sdc1: UUID=\"c0ffee00-1234\"\n");
  writeFile(root + paths::kMtab, "/dev/sda1 " + root + "/tmp/mnt/usb1 vfat rw 0 0\n/dev/sdb1 " + root +
                                     "/tmp/mnt/usb2 vfat rw 0 0\n" + "/dev/sdc1 " + root +
                                     "/tmp/mnt/sata\\040one ext4 rw 0 0\n" + "\\134\\134192.168.1.5\\134media/films " +
                                     root + "/tmp/mnt/smb/f1 cifs rw 0 0\n" + "10.0.0.2:/export/music " + root +
                                     "/tmp/mnt/nfs/m1 nfs rw 0 0\n");
  writeFile(root + "/tmp/mnt/usb1/tavo_folder.txt", "storage_name=My Disk\r\n");
  writeFile(root + paths::kNetworkFolders,
            "name.0 = Films\ntype.0 = 0\nserver.0 = 192.168.1.5\ndirectory.0 = media/films\nuser.0 = guest\n"
            "password.0 = secret\nname.1 = Music Box\ntype.1 = 1\nserver.1 = 10.0.0.2\n"
            "directory.1 = /export/music\nprotocol.1 = 1\n");
  std::string blkid = std::string(TAVORC_SOURCE_DIR) + "/tests/support/standins/blkid";
  std::ifstream in(blkid, std::ios::binary);
  std::ofstream out(root + paths::kBlkid, std::ios::binary | std::ios::trunc);
  out << in.rdbuf();
  out.close();
  chmod((root + paths::kBlkid).c_str(), 0755);
  std::string path = std::string(TAVORC_SOURCE_DIR) + "/tests/support/standins:" + getenv("PATH");
  setenv("PATH", path.c_str(), 1);
  if (StorageList::get().size() != 3) abort();
}

void checkInside(const std::string& real, const std::string& mountPoint) {
  if (mountPoint.empty() || !isAtOrBelow(real, mountPoint) || hasDotComponent(real.substr(mountPoint.size()))) abort();
}

// The source found for a path, and the media URL of what it resolves to, which
// leads back to the same source and the same real path.
void checkLookup(const std::string& path) {
  IFilesSource* source = findSourceByVirtualPath(path);
  if (!source) return;
  std::string mountPoint = sourceRootOf(*source);
  std::string real = source->virtualToReal(path);
  checkInside(real, mountPoint);
  std::string url = source->realToMediaUrl(real);
  if (findSourceByMediaUrl(url) != source || source->mediaUrlToReal(url) != real) abort();
}

// Storages described by the input: a claimed path stays on the storage.
void checkScannedStorages(const std::string& path, const std::string& blkid, const std::string& mtab) {
  std::string mtabPath = sandboxRoot() + "/etc/mtab.fuzz";
  writeFile(mtabPath, mtab);
  for (const Storage& storage : scanStorages(blkid, mtabPath, paths::kStorageMountRoot)) {
    if (path.empty() || hasDotComponent(path) || !isAtOrBelow(path, storage.virtualPrefix())) continue;
    checkInside(storage.virtualToReal(path), storage.mountPoint());
  }
}

}  // namespace

int fuzzVirtualPath(const uint8_t* data, size_t size) {
  static const bool prepared = (prepareSources(), true);
  (void)prepared;
  std::string input(reinterpret_cast<const char*>(data), size);
  size_t first = input.find('\0');
  std::string path = input.substr(0, first);
  checkLookup(path);
  if (first == std::string::npos) return 0;
  size_t second = input.find('\0', first + 1);
  std::string blkid = input.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
  checkScannedStorages(path, blkid, second == std::string::npos ? "" : input.substr(second + 1));
  return 0;
}

#ifdef TAVORC_LIBFUZZER
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return fuzzVirtualPath(data, size); }
#endif
