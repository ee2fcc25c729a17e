// The add-on package, made with the programs of this build, installed through
// "try_update" from a real update server (lighttpd on 127.0.0.1), then
// started as orvexbd starts it: which files land where, the installed do2,
// the one history poller, and an update over an installed add-on.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "core/version.h"
#include "core/paths.h"
#include "core/utils.h"
#include "tests/support/child.h"
#include "tests/support/programs.h"
#include "tests/support/sandbox.h"
#include "tests/update/update_server.h"

namespace {

namespace fs = std::filesystem;

const char kAddon[] = "/persistfs/orvex";

std::string fileText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

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

  std::string m_unpacked;  // the package's files, as unzip leaves them

  // The package of this build's programs, with a web front end added to it.
  void SetUp() override {
    box.write(paths::kSysInfo, "serial_number: 07A1\n");
    box.write("/package/www/rc/index.html", "<title>remote</title>\n");
    box.write("/package/www/rc/i18n/en", "play = Play\n");
    std::string zip = box.path("/package/tavo_update.zip");
    int status = -1;
    std::string made = shellOutput("sh " + shellQuote(sourceDir() + "/packaging/make-package.sh") + " " +
                                       shellQuote(TAVORC_BINARY_DIR) + " " + shellQuote(zip) + " && cd " +
                                       shellQuote(box.path("/package")) + " && zip -q -r " + shellQuote(zip) +
                                       " www && mkdir unpacked && cd unpacked && unzip -q " + shellQuote(zip) +
                                       " 2>&1",
                                   &status);
    ASSERT_EQ(0, status) << made;
    m_unpacked = box.path("/package/unpacked");
    server.put("download.php", fileText(zip));
  }

  // What the package installs: its files but the update script, and the
  // configuration's folder.
  std::map<std::string, std::string> packageInstalls() {
    std::map<std::string, std::string> files = tree(m_unpacked);
    files.erase("/update.sh");
    files["/etc"] = "dir";
    return files;
  }

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

  void tryUpdate() {
    CgiRequest request;
    request.query = "cmd=try_update";
    request.cookie = "bid=TEST";
    request.environment = {"TAVORC_UPDATE_URL=" + server.url()};
    expectJson(box.run(request), "{\"message\":\"ok\"}\n");
  }

  // The start script as orvexbd runs it, with the root and PATH of the box.
  void startScript(const std::string& command) {
    int status = -1;
    std::string out = shellOutput("env - TAVORC_ROOT=" + shellQuote(box.root()) + " PATH=" +
                                      shellQuote(box.pathEnv()) + " sh " +
                                      shellQuote(box.path(std::string(kAddon) + "/orvex.sh")) + " " + command +
                                      " 2>&1",
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

  // Processes of this root running "do2 daemon": the pollers (not the
  // history updates they run). Waits up to 2 s for one to appear.
  std::vector<pid_t> pollers(bool waitForOne = true) {
    std::vector<std::string> command = {box.path(paths::kSelfProgram), "daemon"};
    std::string rootVariable = "TAVORC_ROOT=" + box.root();
    std::vector<pid_t> found;
    for (int tenth = 0; tenth < (waitForOne ? 20 : 1) && found.empty(); ++tenth) {
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
    return found;
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

TEST_F(AddonPackage, UpdateInstallsTheAddOnAndStartsItOnce) {
  tryUpdate();
  std::map<std::string, std::string> installed = addonFiles();
  EXPECT_EQ(packageInstalls(), installed);
  EXPECT_EQ("755 " + md5Hex(fileText(tavorcBinary())), installed["/bin/tavorc"]);
  EXPECT_EQ("755 " + md5Hex(fileText(orvexbdBinary())), installed["/bin/orvexbd"]);
  EXPECT_EQ("755 " + md5Hex(fileText(sourceDir() + "/packaging/orvex.sh")), installed["/orvex.sh"]);
  EXPECT_EQ(tree(box.path(kAddon) + "/www/rc"), tree(box.path("/tmp/www/rc"))) << "the front end, below /rc/";
  struct stat do2;
  ASSERT_EQ(0, lstat(box.path(paths::kSelfProgram).c_str(), &do2));
  EXPECT_TRUE(S_ISREG(do2.st_mode)) << "a copy in /tmp, not a link to the storage";
  EXPECT_TRUE(fileText(tavorcBinary()) == fileText(box.path(paths::kSelfProgram)));

  pid_t poller = onePoller();
  startScript("start");
  EXPECT_EQ(poller, onePoller()) << "a second start finds the running poller";

  expectJson(askDo2("cmd=app_info"),
             std::string(R"({"lng":"en","nnvc":"0","sdb":false,"version":")") + kProgramVersion + "\"}\n");
  startScript("stop");
  EXPECT_TRUE(gone(poller));
}

TEST_F(AddonPackage, SecondUpdateKeepsFilesAndConfigurationAndRestartsThePoller) {
  tryUpdate();
  CgiResponse set = askDo2("cmd=option&action=set&opt_name=language&opt_value=de");
  ASSERT_EQ(200, set.status()) << set.raw;
  std::string config = box.read(paths::kConfigFile);
  ASSERT_NE(std::string::npos, config.find("\"de\""));
  std::map<std::string, std::string> before = addonFiles();
  pid_t first = onePoller();

  tryUpdate();
  EXPECT_EQ(before, addonFiles());
  EXPECT_EQ(config, box.read(paths::kConfigFile));
  EXPECT_TRUE(gone(first));
  pid_t second = onePoller();
  EXPECT_NE(first, second);
  EXPECT_EQ(200, askDo2("cmd=app_info").status());
}

TEST_F(AddonPackage, StopLeavesAProcessAloneThatIsNoPoller) {
  tryUpdate();
  pid_t poller = onePoller();
  startScript("stop");
  EXPECT_TRUE(gone(poller));

  // A stale pid file whose number now belongs to another program.
  pid_t other = startChild({{"sleep", "30"}}).pid;
  box.write(paths::kPollerPidFile, std::to_string(other));
  startScript("stop");
  EXPECT_FALSE(gone(other));
  kill(other, SIGKILL);
  waitpid(other, nullptr, 0);
}

}  // namespace
