// Every fixed path of the system. On the player they are used as they stand;
// in a sandbox the root from TAVORC_ROOT is put in front of each of them.
#pragma once

#include <string>

namespace paths {

// The player's control program and this program as the history poller runs it.
inline constexpr const char* kControlProgram = "/tmp/www/cgi-bin/do";
inline constexpr const char* kSelfProgram = "/tmp/www/cgi-bin/do2";

// Request serialisation.
inline constexpr const char* kSemaphore = "/tavoorvex";
inline constexpr const char* kPidFile = "/var/run/tavorc.pid";
// The history poller's pid, locked while it runs: one poller per machine.
inline constexpr const char* kPollerPidFile = "/var/run/tavorc-poller.pid";

// Files the system keeps.
inline constexpr const char* kConfigFile = "/persistfs/orvex/etc/tavorc.conf";
inline constexpr const char* kLogFile = "/tmp/tavorc.log";
inline constexpr const char* kPlaylistFile = "/tmp/tavorc.pl";
// The history's newest play position, kept in RAM between its writes to flash.
inline constexpr const char* kPlayPositionFile = "/tmp/tavorc.position";
inline constexpr const char* kCacheDir = "/tmp/tavorc.cache/";
inline constexpr const char* kCoversDir = "/tmp/www/covers";
inline constexpr const char* kDictDir = "/tmp/www/rc/i18n/";

// Files of the player's firmware and of the operating system.
inline constexpr const char* kSysInfo = "/tmp/sysinfo.txt";
inline constexpr const char* kMtab = "/etc/mtab";
inline constexpr const char* kBlkid = "/sbin/blkid";
inline constexpr const char* kNetworkFolders = "/mnt/config/network_folders.properties";

// Mount directories: storages below the first, network shares in the other two.
inline constexpr const char* kStorageMountRoot = "/tmp/mnt/";
inline constexpr const char* kSmbMountDir = "/tmp/mnt/smb/";
inline constexpr const char* kNfsMountDir = "/tmp/mnt/nfs/";

// Self-update.
inline constexpr const char* kVersionReply = "/tmp/orvex_ver";
inline constexpr const char* kUpdateArchive = "/tmp/orvex_update.zip";
inline constexpr const char* kUpdateDir = "/tmp/orvex_update";
inline constexpr const char* kUpdateListing = "/tmp/orvex_update.list";
inline constexpr const char* kUpdateErrors = "/tmp/orvex_update.err";
// The scratch root in which the add-on's update script runs the new program
// once before it switches to it.
inline constexpr const char* kUpdateCheckRoot = "/tmp/orvex_check";

}  // namespace paths

// The sandbox root (TAVORC_ROOT, read once), empty on the player.
const std::string& sandboxRoot();

// A fixed path with the sandbox root in front of it.
std::string rooted(const char* fixedPath);

// The request semaphore's name: fixed on the player, one per sandbox root.
std::string semaphoreName();
std::string semaphoreNameFor(const std::string& root);  // that of another root

// A time limit of the system in seconds. In a sandbox root the environment
// variable may shorten it (tests of what happens when the limit passes), never
// lengthen it; on the player the limit stands as built.
int sandboxTimeLimit(const char* variable, int limitSeconds);
