#include "browse/storage.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "core/log.h"
#include "core/mounttable.h"
#include "core/paths.h"
#include "core/process.h"
#include "core/sysio.h"

namespace {

const char kVirtualRoot[] = "local/";
const char kStorageNameKey[] = "storage_name=";

// The quoted value after marker (e.g. LABEL=") at or after from; empty when the
// marker or the closing quote is missing.
std::string quotedValue(const std::string& line, size_t from, const char* marker) {
  size_t at = line.find(marker, from);
  if (at == std::string::npos) return "";
  at += strlen(marker);
  size_t end = line.find('"', at);
  return end == std::string::npos ? "" : line.substr(at, end - at);
}

bool hasLabel(const Storages& storages, const std::string& label) {
  for (const Storage& storage : storages)
    if (storage.label() == label) return true;
  return false;
}

// The storage a mount table entry is about: the one whose device is the
// entry's first field.
Storage* storageOf(Storages& storages, const std::string& device) {
  for (Storage& storage : storages)
    if (storage.device() == device) return &storage;
  return nullptr;
}

// Only a regular file is read: opening a FIFO placed on the partition under
// that name would wait for a writer forever.
FILE* openSettingsFile(const std::string& path) {
  int fd = openRegularFile(path);
  if (fd < 0) return nullptr;
  FILE* file = fdopen(fd, "r");
  if (!file) closeFile(fd);
  return file;
}

void readStorageNames(Storages& storages) {
  for (Storage& storage : storages) {
    FILE* settings = openSettingsFile(storage.mountPoint() + "/" + Storage::kSettingsFileName);
    if (!settings) continue;
    storage.setStorageName(readStorageName(settings));
    fclose(settings);
  }
}

}  // namespace

Storage::Storage(const std::string& device, const std::string& label, const std::string& uuid)
    : m_device(device), m_label(label), m_uuid(uuid) {}

std::string Storage::displayName() const {
  if (!m_storageName.empty()) return m_storageName;
  if (!m_label.empty()) return m_label;
  return "storage_" + m_uuid;
}

std::string Storage::virtualPrefix() const { return kVirtualRoot + displayName(); }
std::string Storage::mediaUrlPrefix() const { return std::string(kMediaUrlScheme) + m_uuid; }

std::string Storage::realToVirtual(std::string path) const {
  return replacePrefix(std::move(path), m_mountPoint.size(), virtualPrefix());
}

std::string Storage::mediaUrlToVirtual(std::string url) const {
  return replacePrefix(std::move(url), mediaUrlPrefix().size(), virtualPrefix());
}

std::string Storage::realToMediaUrl(std::string path) const {
  return replacePrefix(std::move(path), m_mountPoint.size(), mediaUrlPrefix());
}

std::string Storage::virtualToReal(std::string path) const {
  return replacePrefix(std::move(path), virtualPrefix().size(), m_mountPoint);
}

std::string Storage::mediaUrlToReal(std::string url) const {
  return replacePrefix(std::move(url), mediaUrlPrefix().size(), m_mountPoint);
}

std::string normaliseUuid(const std::string& uuid) {
  std::string out = uuid;
  for (char& c : out) c = c == '-' ? '_' : static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string storageScanCommand() {
  // xargs -r: without any partition blkid must not run at all, as it would
  // then describe every device of the box.
  return "mount | grep -oE \"/dev/sd[a-z][0-9] on " + rooted(paths::kStorageMountRoot) +
         "\" | grep -oE  \"/dev/sd[a-z][0-9]\" | xargs -r " + rooted(paths::kBlkid) + " -s LABEL -s UUID";
}

Storages parseBlkidOutput(const std::string& text) {
  Storages storages;
  size_t at = 0;
  for (size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
    std::string line = text.substr(at, end - at);
    size_t colon = line.find(':');
    if (line.empty() || line[0] != '/' || colon == std::string::npos) continue;
    std::string label = quotedValue(line, colon, "LABEL=\"");
    std::string uuid = normaliseUuid(quotedValue(line, colon, "UUID=\""));
    if (!label.empty() && hasLabel(storages, label)) label += "(" + uuid + ")";
    storages.emplace_back(line.substr(0, colon), label, uuid);
  }
  std::stable_sort(storages.begin(), storages.end(),
                   [](const Storage& a, const Storage& b) { return a.device() < b.device(); });
  return storages;
}

// Only a mount point below the storage mount root counts, as only such a mount
// made the device a storage; a later one wins.
void assignMountPoints(Storages& storages, const std::string& mtab, const std::string& mountRoot) {
  for (const std::string& line : mountTableLines(mtab)) {
    MountEntry entry;
    if (!parseMountLine(line, entry)) continue;
    Storage* storage = storageOf(storages, entry.source);
    if (storage && entry.mountPoint.compare(0, mountRoot.size(), mountRoot) == 0)
      storage->setMountPoint(entry.mountPoint);
  }
}

std::string readStorageName(FILE* settings) {
  char line[511];
  const size_t keyLength = strlen(kStorageNameKey);
  while (fgets(line, sizeof line, settings)) {
    if (strncmp(line, kStorageNameKey, keyLength) != 0) continue;
    std::string name(line + keyLength);
    if (!name.empty() && name.back() == '\n') {
      name.pop_back();
      if (!name.empty() && name.back() == '\r') name.pop_back();
    }
    return name;
  }
  return "";
}

Storages scanStorages(const std::string& blkidOutput, const std::string& mtabPath, const std::string& mountRoot) {
  Storages storages = parseBlkidOutput(blkidOutput);
  assignMountPoints(storages, readMountTable(mtabPath), mountRoot);
  storages.erase(std::remove_if(storages.begin(), storages.end(),
                                [](const Storage& storage) { return storage.mountPoint().empty(); }),
                 storages.end());
  readStorageNames(storages);
  return storages;
}

// A dying disk can make blkid hang; the request must not hang with it. What
// the pipeline printed until it was killed still counts, line by line.
static std::string runStorageScan() {
  int limit = sandboxTimeLimit("TAVORC_SCAN_TIME_LIMIT", StorageList::kScanTimeLimitSeconds);
  ProgramResult result = runProgramCapture("sh", {"-c", storageScanCommand()}, limit);
  if (result.timedOut) logError("storage scan killed after %d s", limit);
  return result.output;
}

Storages& StorageList::get() {
  static Storages storages = scanStorages(runStorageScan(), rooted(paths::kMtab), rooted(paths::kStorageMountRoot));
  return storages;
}
