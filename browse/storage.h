// Local storage partitions (USB sticks, USB and SATA disks) mounted below
// "/tmp/mnt/", found once per process from blkid and the mount table.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "browse/filesource.h"

class Storage : public IFilesSource {
 public:
  Storage(const std::string& device, const std::string& label, const std::string& uuid);

  std::string realToVirtual(std::string path) const override;
  std::string mediaUrlToVirtual(std::string url) const override;
  std::string realToMediaUrl(std::string path) const override;
  std::string virtualToReal(std::string path) const override;
  std::string mediaUrlToReal(std::string url) const override;

  // The storage name, else the label, else "storage_" and the uuid.
  std::string displayName() const;
  std::string virtualPrefix() const;   // "local/" + display name
  std::string mediaUrlPrefix() const;  // kMediaUrlScheme + uuid

  // The storage's own settings file, at the top of the partition: the
  // storage name, and never listed.
  static constexpr const char* kSettingsFileName = "tavo_folder.txt";

  // Every storage's media URL begins with it.
  static constexpr const char* kMediaUrlScheme = "storage_uuid://";

  const std::string& device() const { return m_device; }
  const std::string& mountPoint() const { return m_mountPoint; }
  const std::string& label() const { return m_label; }
  const std::string& uuid() const { return m_uuid; }
  void setMountPoint(const std::string& mountPoint) { m_mountPoint = mountPoint; }
  void setStorageName(const std::string& name) { m_storageName = name; }

 private:
  std::string m_device;
  std::string m_mountPoint;
  std::string m_label;
  std::string m_uuid;
  std::string m_storageName;
};

using Storages = std::vector<Storage>;

// The process-wide list, ascending by device, built by the first call.
class StorageList {
 public:
  static Storages& get();

  // The scan pipeline is killed after this long (TAVORC_SCAN_TIME_LIMIT may
  // shorten it in a sandbox root).
  static constexpr int kScanTimeLimitSeconds = 10;
};

// The steps of the scan, each callable on its own text.

// The shell pipeline that lists the partitions mounted below the storage
// mount root, as blkid describes them.
std::string storageScanCommand();

// blkid lines to storages: uuids normalised, a repeated label made unique
// with the uuid in blkid's order, then sorted by device.
Storages parseBlkidOutput(const std::string& text);

// Gives each storage its mount point from the mount table's text: the last one
// of its device that lies below mountRoot.
void assignMountPoints(Storages& storages, const std::string& mtab, const std::string& mountRoot);

// The value of the first "storage_name=" line of a folder settings file; the
// line feed, and a carriage return before it, are not part of the name.
std::string readStorageName(FILE* settings);

// The whole scan: pipeline output, the mount table, the settings files.
Storages scanStorages(const std::string& blkidOutput, const std::string& mtabPath, const std::string& mountRoot);

// "4A3B-1C2D" -> "4a3b_1c2d".
std::string normaliseUuid(const std::string& uuid);
