// The mount helper and the registry in one sandbox root, with the stand-in
// mount and umount first in PATH. The root is fixed for the whole process
// (the program reads TAVORC_ROOT once), so every test starts by clearing it.
#include "network/networkmount.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>

#include "browse/sourcelookup.h"
#include "core/config.h"
#include "core/paths.h"
#include "core/utils.h"
#include "network/networkservice.h"
#include "tests/support/sandbox.h"

namespace {

Sandbox* g_sandbox = nullptr;

class SandboxEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    g_sandbox = new Sandbox();
    setenv("TAVORC_ROOT", g_sandbox->root().c_str(), 1);
    setenv("PATH", g_sandbox->pathEnv().c_str(), 1);
    g_sandbox->mkdirs("/srv/movies/Film");
    g_sandbox->write("/srv/movies/a.mkv", "x");
    g_sandbox->mkdirs("/srv/empty");
  }
  void TearDown() override { delete g_sandbox; }
};

::testing::Environment* const g_environment = ::testing::AddGlobalTestEnvironment(new SandboxEnvironment);

const std::string kSmbShare = "\\\\nas\\Movies";

class NetworkMount : public ::testing::Test {
 protected:
  void SetUp() override {
    const Sandbox& box = *g_sandbox;
    shellOutput("rm -rf '" + box.path("/tmp/mnt") + "' '" + box.path(paths::kConfigFile) + "' '" +
                box.path(paths::kNetworkFolders) + "'");
    box.mkdirs(paths::kSmbMountDir);
    box.mkdirs(paths::kNfsMountDir);
    for (const char* file : {paths::kMtab, "/etc/shares", "/var/standin.log", paths::kLogFile}) box.write(file, "");
    NetworkService::instance().invalidate();
  }

  static const Sandbox& box() { return *g_sandbox; }
  static std::string smbDir(const std::string& name) { return box().path(paths::kSmbMountDir) + name; }
  static void share(const std::string& source, const std::string& action, const std::string& folder) {
    box().write("/etc/shares", box().read("/etc/shares") + source + "\t" + action + "\t" + box().path(folder) + "\n");
  }
  static std::string log() { return box().read(paths::kLogFile); }
  static std::string standins() { return box().read("/var/standin.log"); }
  static long lineCount(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }
  static int entries(const std::string& fixed) {
    return atoi(shellOutput("ls -A '" + box().path(fixed) + "' | wc -l").c_str());
  }
};

NetworkSource smbSource(const std::string& user = "", const std::string& password = "") {
  return NetworkSource(NETWORK_SMB, 0, "0:nas:Movies", "Movies", "nas", "Movies", user, password);
}

}  // namespace

TEST_F(NetworkMount, SmbShareIsMountedIntoItsHashedDirectory) {
  share(kSmbShare, "ok", "/srv/movies");
  NetworkSource source = smbSource("bob", "se,cret");
  ASSERT_TRUE(NetworkMountHelper(&source).mountIfNeeded());
  std::string dir = smbDir(md5Hex(kSmbShare));
  EXPECT_EQ(dir, source.mountPoint());
  EXPECT_TRUE(box().exists(dir.substr(box().root().size()) + "/Film"));
  EXPECT_EQ("mount argc=6 [-t] [cifs] [\\\\nas\\Movies] [" + dir + "] [-o] [username=bob,password=se,,cret]\n",
            standins());
  EXPECT_NE(std::string::npos, log().find(" try mount smb source, command: mount -t cifs \"\\\\nas\\Movies\" \"" + dir +
                                          "\" -ousername=bob,password=***\n"));
  EXPECT_NE(std::string::npos, log().find(" successfuly\n"));
  EXPECT_EQ(std::string::npos, log().find("cret"));

  // Found again through the mount table: nothing more is run.
  NetworkSource again = smbSource("bob", "se,cret");
  EXPECT_TRUE(NetworkMountHelper(&again).mountIfNeeded());
  EXPECT_EQ(dir, again.mountPoint());
  EXPECT_EQ(1, lineCount(standins()));
}

TEST_F(NetworkMount, NfsExportIsMountedWithoutOptionsIntoAnEmptyDirectoryLeftBehind) {
  share("nas:/export/video", "ok", "/srv/movies");
  std::string dir = box().path(paths::kNfsMountDir) + md5Hex("nas:/export/video");
  box().mkdirs(dir.substr(box().root().size()));
  NetworkSource source(NETWORK_NFS, NETWORK_TCP, "1:nas:export/video", "V", "nas", "export/video", "", "");
  ASSERT_TRUE(NetworkMountHelper(&source).mount());
  EXPECT_EQ(dir, source.mountPoint());
  EXPECT_EQ("mount argc=4 [-t] [nfs] [nas:/export/video] [" + dir + "]\n", standins());
  EXPECT_NE(std::string::npos, log().find("command: mount -t nfs \"nas:/export/video\" \"" + dir + "\"\n"));
  EXPECT_NE(std::string::npos, log().find(" Successfuly\n"));
}

TEST_F(NetworkMount, DirectoryHoldingFilesIsPassedOverForTheHashOfItsName) {
  share(kSmbShare, "ok", "/srv/movies");
  std::string first = md5Hex(kSmbShare);
  box().write(paths::kSmbMountDir + first + "/stray", "x");
  box().write(paths::kSmbMountDir + md5Hex(first) + "/stray", "x");
  NetworkSource source = smbSource();
  ASSERT_TRUE(NetworkMountHelper(&source).mount());
  EXPECT_EQ(smbDir(md5Hex(md5Hex(first))), source.mountPoint());
}

TEST_F(NetworkMount, ShareMountedElsewhereIsUsedWhereItIs) {
  std::string place = box().root() + "/tmp/mnt/network/My Share";
  box().mkdirs("/tmp/mnt/network/My Share");
  box().write(paths::kMtab,
              "/dev/sda1 /tmp/mnt/storage/sda1 vfat rw 0 0\n"
              "\\134\\134nas\\134Movies2 /elsewhere cifs rw 0 0\n"
              "\\134\\134nas\\134Movies " +
                  box().root() + "/tmp/mnt/network/My\\040Share cifs rw 0 0\n");
  NetworkSource source = smbSource();
  EXPECT_TRUE(NetworkMountHelper(&source).mountIfNeeded());
  EXPECT_EQ(place, source.mountPoint());
  EXPECT_EQ("", standins());

  // Unmounting names the mount point as one argument, space included.
  EXPECT_TRUE(NetworkMountHelper(&source).unmountIfMounted());
  EXPECT_EQ("umount argc=1 [" + place + "]\n", standins());
  EXPECT_FALSE(box().exists("/tmp/mnt/network/My Share"));
  EXPECT_EQ(std::string::npos, box().read(paths::kMtab).find("Movies "));
}

TEST_F(NetworkMount, FailedMountLeavesNoDirectoryAndLogsWhatMountSaid) {
  share(kSmbShare, "fail", "/srv/movies");
  share("nas:/export", "fail", "/srv/movies");
  NetworkSource smb = smbSource("bob", "canary-pw");
  EXPECT_FALSE(NetworkMountHelper(&smb).mountIfNeeded());
  EXPECT_EQ("", smb.mountPoint());
  EXPECT_EQ(0, entries(paths::kSmbMountDir));
  EXPECT_NE(std::string::npos, log().find("GMT : mount error(13): Permission denied"));
  EXPECT_EQ(std::string::npos, log().find("canary-pw"));

  NetworkSource nfs(NETWORK_NFS, NETWORK_UDP, "1:nas:/export", "E", "nas", "/export", "", "");
  EXPECT_FALSE(NetworkMountHelper(&nfs).mountIfNeeded());
  EXPECT_EQ(0, entries(paths::kNfsMountDir));
  EXPECT_NE(std::string::npos, log().find("GMT : error : mount error(13): Permission denied"));
}

// A server name that reads as an option, a source of another type, a
// missing mount folder: nothing is run. Nor for unmounting what is not mounted.
TEST_F(NetworkMount, WhatCannotBeMountedRunsNothing) {
  share("-oremount:/export", "ok", "/srv/movies");
  NetworkSource nfs(NETWORK_NFS, NETWORK_TCP, "1:-oremount:/export", "E", "-oremount", "/export", "", "");
  EXPECT_FALSE(NetworkMountHelper(&nfs).mountIfNeeded());
  EXPECT_EQ(0, entries(paths::kNfsMountDir));
  NetworkSource other(NETWORK_OTHER, 0, "k", "t", "nas", "Movies", "", "");
  EXPECT_FALSE(NetworkMountHelper(&other).mountIfNeeded());
  NetworkSource source = smbSource();
  EXPECT_TRUE(NetworkMountHelper(&source).unmount());
  shellOutput("rmdir '" + box().path(paths::kSmbMountDir) + "'");
  EXPECT_FALSE(NetworkMountHelper(&source).mount());
  EXPECT_EQ("", standins());
}

// --- the registry -------------------------------------------------------------

TEST_F(NetworkMount, FindersMountOnDemandAndKeepToTheSource) {
  share("\\\\nas\\share", "ok", "/srv/movies");
  Config config("TEST");
  NetworkService& service = NetworkService::instance();
  service.add("A", "0", "0", "nas", "share", "", "");
  EXPECT_EQ(nullptr, service.findByVirtualPath("smb/AB"));
  EXPECT_EQ(nullptr, service.findByVirtualPath("smb/A/../../etc"));
  EXPECT_EQ(nullptr, service.findByVirtualPath("smb/A/./Film"));
  EXPECT_EQ(nullptr, service.findByMediaUrl("smb://nas/shareX/a"));
  EXPECT_EQ(nullptr, service.findByMediaUrl("smb://nas/share/./x"));
  EXPECT_EQ(nullptr, service.findMountedByMediaUrl("smb://nas/share/film.avi")) << "not mounted, and not mounted now";
  EXPECT_EQ("", standins());

  NetworkSource* found = service.findByVirtualPath("smb/A/Film/x.mkv");
  ASSERT_NE(nullptr, found);
  EXPECT_EQ(smbDir(md5Hex("\\\\nas\\share")), found->mountPoint());
  EXPECT_EQ(found, service.findByVirtualPath("smb/A"));
  EXPECT_EQ(found, service.findByMediaUrl("smb://nas/share/film.avi"));
  EXPECT_EQ(found, service.findByMediaUrl("smb://nas/share")) << "the share's root";
  EXPECT_EQ(found, service.findMountedByMediaUrl("smb://nas/share/film.avi"));
  EXPECT_EQ(found, service.findByKey("0:nas:share"));
  EXPECT_EQ(nullptr, service.findByKey(""));
}

TEST_F(NetworkMount, FirstMatchingSourceThatCannotMountEndsTheSearch) {
  share("\\\\nas\\stored", "fail", "/srv/movies");
  share("\\\\nas\\player", "ok", "/srv/movies");
  box().write(paths::kNetworkFolders, "name.0 = A\ntype.0 = 0\nserver.0 = nas\ndirectory.0 = player\n");
  Config config("TEST");
  NetworkService::instance().add("A", "0", "0", "nas", "stored", "", "");
  EXPECT_EQ(nullptr, NetworkService::instance().findByVirtualPath("smb/A/x"));
  EXPECT_EQ(1, lineCount(standins()));
}

// Storages come before network sources, and neither hands out a path that
// climbs out of it.
TEST_F(NetworkMount, MediaUrlsClimbingOutOfAStorageHaveNoSource) {
  box().mkdirs("/tmp/mnt/storage/sda1");
  box().write(paths::kMtab, "/dev/sda1 " + box().path("/tmp/mnt/storage/sda1") + " vfat rw 0 0\n");
  box().write("/etc/blkid.tab", "/dev/sda1: LABEL=\"USB\" UUID=\"4A3B-1C2D\"\n");
  Config config("TEST");
  IFilesSource* storage = findSourceByMediaUrl("storage_uuid://4a3b_1c2d/Films/a.mkv");
  ASSERT_NE(nullptr, storage);
  EXPECT_EQ(storage, findSourceByVirtualPath("local/USB/Films"));
  EXPECT_EQ(nullptr, findSourceByMediaUrl("storage_uuid://4a3b_1c2d/../../etc/passwd"));
  EXPECT_EQ(nullptr, findSourceByMediaUrl("storage_uuid://4a3b_1c2d/Films/./a.mkv"));
  EXPECT_EQ(storage, findSourceByMediaUrl("storage_uuid://4a3b_1c2d")) << "the storage's root";
  EXPECT_EQ(storage, findMountedSourceByMediaUrl("storage_uuid://4a3b_1c2d/Films"));
  EXPECT_EQ(nullptr, findSourceByMediaUrl("storage_uuid://4a3b_1c2dX/a.mkv"));
  EXPECT_EQ("/tmp/mnt/storage/sda1", storage->mediaUrlToReal("storage_uuid://4a3b_1c2d").substr(box().root().size()));
  EXPECT_EQ("local/USB", storage->mediaUrlToVirtual("storage_uuid://4a3b_1c2d"));
}
