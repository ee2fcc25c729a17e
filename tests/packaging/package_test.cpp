// The add-on package, made and signed with the programs of this build and a
// throw-away key, installed through "try_update" from a real update server
// (lighttpd on 127.0.0.1), then started as orvexbd starts it: which files
// land where, the installed do2 and page, the one history poller, updates
// over an installed add-on (also of the older layout), the health check and
// the way back. Packages the program refuses never reach update.sh (the
// update system tests).
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "core/paths.h"
#include "core/utils.h"
#include "core/version.h"
#include "tests/support/child.h"
#include "tests/support/programs.h"
#include "tests/support/sandbox.h"
#include "tests/update/update_server.h"

namespace {

namespace fs = std::filesystem;

const char kAddon[] = "/persistfs/orvex";
const char kOk[] = "{\"message\":\"ok\"}\n";

// Every entry below a folder by path: "dir" for a folder, else the
// permission bits in octal and the MD5 of the content.
std::map<std::string, std::string> tree(const std::string& folder) {
  std::map<std::string, std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    struct stat info;
    lstat(entry.path().c_str(), &info);
    char mode[8];
    snprintf(mode, sizeof mode, "%o ", info.st_mode & 07777);
    entries[entry.path().string().substr(folder.size())] =
        S_ISDIR(info.st_mode) ? "dir" : mode + md5Hex(fileText(entry.path()));
  }
  return entries;
}

class AddonPackage : public ::testing::Test {
 protected:
  Sandbox box;
  UpdateServer server{box.path("/update-server")};
  SigningKey key{box.path("/key")};

  std::string m_unpacked;  // the package's files, as unzip leaves them

  void SetUp() override {
    box.write(paths::kSysInfo, "serial_number: 07A1\n");
    std::string zip = box.path("/package/tavo_update.zip");
    int status = -1;
    std::string made = shellOutput("sh " + shellQuote(sourceDir() + "/packaging/make-package.sh") + " " +
                                       shellQuote(TAVORC_BINARY_DIR) + " " + shellQuote(zip) + " " +
                                       shellQuote(key.secretKeyFile()) + " && cd " + shellQuote(box.path("/package")) +
                                       " && mkdir unpacked && cd unpacked && unzip -q " + shellQuote(zip) + " 2>&1",
                                   &status);
    ASSERT_EQ(0, status) << made;
    m_unpacked = box.path("/package/unpacked");
    server.put("download.php", fileText(zip));
  }

  // A package of this build whose files are changed, then signed, offered
  // by the update server.
  void offerChanged(const std::map<std::string, std::string>& changes) {
    std::string folder = box.path("/changed");
    shellOutput("rm -rf " + shellQuote(folder) + " && cp -R " + shellQuote(m_unpacked) + " " + shellQuote(folder) +
                " && rm " + shellQuote(folder) + "/manifest*");
    for (const auto& [name, content] : changes) box.write("/changed/" + name, content);
    key.sign(folder);
    server.put("download.php", shellOutput("cd " + shellQuote(folder) + " && zip -q -X -r - ."));
  }

  // What a release holds: the package's files but the update script and the
  // signed manifest.
  std::map<std::string, std::string> releaseFiles() {
    std::map<std::string, std::string> files = tree(m_unpacked);
    for (const char* name : {"/update.sh", "/manifest", "/manifest.minisig"}) files.erase(name);
    return files;
  }

  std::string release(const std::string& name) { return box.path(std::string(kAddon) + "/releases/" + name); }

  // The add-on's files but those in the configuration's folder, which the
  // running add-on writes (the poller's first pass may be writing just now).
  std::map<std::string, std::string> addonFiles() {
    std::map<std::string, std::string> files = tree(box.path(kAddon));
    files.erase(files.upper_bound("/etc"), files.lower_bound("/etc0"));  // "0" follows "/"
    return files;
  }

  void TearDown() override {
    for (pid_t pid : pollers(false)) endPoller(pid);
  }

  CgiResponse tryUpdate() {
    CgiRequest request;
    request.query = "cmd=try_update";
    request.cookie = "bid=TEST";
    request.environment = {"TAVORC_UPDATE_URL=" + server.url(), key.environment()};
    return box.run(request);
  }

  // The start script as orvexbd runs it, with the root and PATH of the box.
  void startScript(const std::string& command) {
    int status = -1;
    std::string out =
        shellOutput("env - TAVORC_ROOT=" + shellQuote(box.root()) + " PATH=" + shellQuote(box.pathEnv()) + " sh " +
                        shellQuote(box.path(std::string(kAddon) + "/orvex.sh")) + " " + command + " 2>&1",
                    &status);
    EXPECT_EQ(0, status) << command << ": " << out;
  }

  CgiResponse askDo2(const std::string& query) {
    CgiRequest request;
    request.program = box.path(paths::kSelfProgram);
    request.query = query;
    request.cookie = "bid=TEST";
    return box.run(request);
  }

  // do2 answers app_info with this build's version, and it and the page
  // below /rc/ are the release's.
  void expectRunning(const std::string& name) {
    CgiResponse info = askDo2("cmd=app_info&log=0");
    EXPECT_EQ(200, info.status());
    EXPECT_NE(std::string::npos, info.body.find(std::string(",\"version\":\"") + kProgramVersion + "\"}")) << info.body;
    struct stat do2;
    ASSERT_EQ(0, lstat(box.path(paths::kSelfProgram).c_str(), &do2));
    EXPECT_TRUE(S_ISREG(do2.st_mode)) << "a copy in /tmp, not a link to the storage";
    EXPECT_TRUE(fileText(release(name) + "/bin/tavorc") == fileText(box.path(paths::kSelfProgram)));
    EXPECT_EQ(tree(release(name) + "/www/rc"), tree(box.path("/tmp/www/rc"))) << "the page of " << name;
  }

  // Processes of this root running "do2 daemon": the pollers (not the
  // history updates they run, nor a poller's child between its fork and
  // the start of such an update). Waits up to 5 s for one to appear.
  std::vector<pid_t> pollers(bool waitForOne = true) {
    std::vector<std::string> command = {box.path(paths::kSelfProgram), "daemon"};
    std::string rootVariable = "TAVORC_ROOT=" + box.root();
    std::vector<pid_t> found;
    for (int tenth = 0; tenth < (waitForOne ? 50 : 1) && found.empty(); ++tenth) {
      if (tenth > 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
      DIR* proc = opendir("/proc");
      while (dirent* entry = proc ? readdir(proc) : nullptr) {
        pid_t pid = atoi(entry->d_name);
        if (pid <= 0 || procWords(pid, "cmdline") != command || isZombie(pid)) continue;
        for (const std::string& variable : procWords(pid, "environ"))
          if (variable == rootVariable) found.push_back(pid);
      }
      if (proc) closedir(proc);
    }
    std::vector<pid_t> pollers;
    for (pid_t pid : found) {
      std::string stat = procText(pid, "stat");
      pid_t parent = 0;
      if (stat.rfind(')') != std::string::npos) sscanf(stat.c_str() + stat.rfind(')') + 1, " %*c %d", &parent);
      if (std::find(found.begin(), found.end(), parent) == found.end()) pollers.push_back(pid);
    }
    return pollers;
  }

  static bool gone(pid_t pid) { return kill(pid, 0) != 0 || isZombie(pid); }

  static void endPoller(pid_t pid) {
    kill(pid, SIGTERM);
    for (int tenth = 0; tenth < 50 && !gone(pid); ++tenth) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }

  // The one poller, named by its pid file.
  pid_t onePoller() {
    std::vector<pid_t> running = pollers();
    EXPECT_EQ(1u, running.size());
    if (running.size() != 1) return -1;
    EXPECT_EQ(std::to_string(running[0]), box.read(paths::kPollerPidFile));
    return running[0];
  }
};

TEST_F(AddonPackage, UpdateInstallsTheAddOnAsAReleaseAndStartsItOnce) {
  expectJson(tryUpdate(), kOk);
  std::string name = kProgramVersion;
  EXPECT_EQ(name + "\n\n", box.read(std::string(kAddon) + "/release"));
  EXPECT_EQ(releaseFiles(), tree(release(name)));
  EXPECT_EQ(fileText(sourceDir() + "/packaging/orvex.sh"), box.read(std::string(kAddon) + "/orvex.sh"));
  EXPECT_EQ("755 " + md5Hex(fileText(tavorcBinary())), tree(release(name))["/bin/tavorc"]);
  EXPECT_EQ("755 " + md5Hex(fileText(orvexbdBinary())), tree(release(name))["/bin/orvexbd"]);
  EXPECT_EQ((std::vector<std::string>{"/etc", "/orvex.sh", "/release", "/releases"}), [&] {
    std::vector<std::string> top;
    for (const auto& entry : fs::directory_iterator(box.path(kAddon)))
      top.push_back(entry.path().string().substr(box.path(kAddon).size()));
    std::sort(top.begin(), top.end());
    return top;
  }());
  expectRunning(name);

  pid_t poller = onePoller();
  startScript("start");
  EXPECT_EQ(poller, onePoller()) << "a second start finds the running poller";
  expectRunning(name);
  startScript("stop");
  EXPECT_TRUE(gone(poller));

  // A stale pid file whose number now belongs to another program.
  pid_t other = startChild({{"sleep", "30"}}).pid;
  box.write(paths::kPollerPidFile, std::to_string(other));
  startScript("stop");
  kill(other, SIGKILL);
  int status = 0;
  waitpid(other, &status, 0);
  EXPECT_EQ(SIGKILL, WTERMSIG(status)) << "the first signal it got was ours";
}

TEST_F(AddonPackage, UpdatesKeepTheConfigurationAndTheReleaseToGoBackToAndRefuseAReleaseThatFailsItsCheck) {
  expectJson(tryUpdate(), kOk);
  CgiResponse set = askDo2("cmd=option&action=set&opt_name=language&opt_value=de");
  ASSERT_EQ(200, set.status()) << set.raw;
  std::string config = box.read(paths::kConfigFile);
  ASSERT_NE(std::string::npos, config.find("\"de\""));
  pid_t first = onePoller();

  // The same version again: a folder of its own beside the one that runs.
  std::string name = kProgramVersion, again = name + "-2";
  expectJson(tryUpdate(), kOk);
  EXPECT_EQ(again + "\n" + name + "\n", box.read(std::string(kAddon) + "/release"));
  EXPECT_EQ(tree(release(name)), tree(release(again)));
  EXPECT_EQ(config, box.read(paths::kConfigFile));
  EXPECT_TRUE(gone(first));
  pid_t second = onePoller();
  EXPECT_NE(first, second);
  expectRunning(again);

  startScript("rollback");
  EXPECT_EQ(name + "\n" + again + "\n", box.read(std::string(kAddon) + "/release"));
  EXPECT_TRUE(gone(second));
  onePoller();
  expectRunning(name);

  // A third update keeps the one that ran and removes the older one.
  config = box.read(paths::kConfigFile);
  expectJson(tryUpdate(), kOk);
  EXPECT_EQ(name + "-3\n" + name + "\n", box.read(std::string(kAddon) + "/release"));
  EXPECT_FALSE(box.exists(std::string(kAddon) + "/releases/" + again));
  EXPECT_EQ(config, box.read(paths::kConfigFile));

  // A release whose tavorc does not answer is refused by its health check.
  std::map<std::string, std::string> before = addonFiles();
  pid_t poller = onePoller();
  offerChanged({{"bin/tavorc", "#!/bin/sh\nexit 1\n"}});
  expectError(tryUpdate(), "error 3");
  EXPECT_NE(std::string::npos,
            box.read(paths::kLogFile)
                .find(std::string(" error : update.sh failed: update.sh: health check failed: the new tavorc answers "
                                  "app_info with version \"\", not \"") +
                      kProgramVersion + "\"; nothing was switched\n"))
      << box.read(paths::kLogFile);
  EXPECT_EQ(before, addonFiles());
  EXPECT_EQ(poller, onePoller());
  expectRunning(name + "-3");
  EXPECT_FALSE(box.exists("/tmp/orvex_check"));
}

// The add-on as the packages up to version 0.7.1 installed it: its programs
// and page at the add-on's top, and a start script that copies them to /tmp
// and starts the poller, running.
TEST_F(AddonPackage, UpdateTakesOverTheOlderLayoutAndKeepsItAsTheWayBack) {
  std::string addon = box.path(kAddon);
  shellOutput("mkdir -p " + addon + "/bin && cp " + shellQuote(tavorcBinary()) + " " + shellQuote(orvexbdBinary()) +
              " " + addon + "/bin/");
  box.write(std::string(kAddon) + "/www/rc/index.html", "<title>the older page</title>\n");
  box.write(std::string(kAddon) + "/orvex.sh",
            "www=$TAVORC_ROOT/tmp/www && mkdir -p $www/cgi-bin && cp $TAVORC_ROOT/persistfs/orvex/bin/tavorc "
            "$www/cgi-bin/do2.new && mv -f $www/cgi-bin/do2.new $www/cgi-bin/do2 && "
            "cp -R $TAVORC_ROOT/persistfs/orvex/www/rc $www/rc && $www/cgi-bin/do2 daemon\n");
  startScript("start");
  pid_t older = onePoller();
  ASSERT_EQ(200, askDo2("cmd=option&action=set&opt_name=language&opt_value=de").status());
  std::string config = box.read(paths::kConfigFile);

  expectJson(tryUpdate(), kOk);
  std::string name = kProgramVersion, again = name + "-2";
  EXPECT_EQ(again + "\n" + name + "\n", box.read(std::string(kAddon) + "/release"));
  EXPECT_FALSE(box.exists(std::string(kAddon) + "/bin"));
  EXPECT_FALSE(box.exists(std::string(kAddon) + "/www"));
  EXPECT_EQ(fileText(sourceDir() + "/packaging/orvex.sh"), box.read(std::string(kAddon) + "/orvex.sh"));
  EXPECT_EQ(config, box.read(paths::kConfigFile));
  EXPECT_TRUE(gone(older));
  onePoller();
  expectRunning(again);

  startScript("rollback");
  expectRunning(name);
  EXPECT_EQ("<title>the older page</title>\n", box.read("/tmp/www/rc/index.html"));
}

}  // namespace
