#include "tests/core/scratchroot.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tests/support/child.h"

namespace {

std::string makeRoot() {
  // Memory-backed when there is such a folder: the configuration is written
  // with fsync, and the fuzz tests write it thousands of times.
  struct stat st;
  bool shm = stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && access("/dev/shm", W_OK) == 0;
  char pattern[64];
  snprintf(pattern, sizeof pattern, "%s/tavorc-unit-XXXXXX", shm ? "/dev/shm" : "/tmp");
  if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
  std::string root = pattern;
  for (const char* dir : {"/persistfs", "/persistfs/orvex", "/persistfs/orvex/etc", "/tmp", "/tmp/www", "/tmp/www/rc",
                          "/tmp/www/rc/i18n", "/var", "/var/run"})
    mkdir((root + dir).c_str(), 0775);
  setenv("TAVORC_ROOT", root.c_str(), 1);
  return root;
}

const pid_t kCreator = getpid();

void removeRoot() {
  if (getpid() != kCreator) return;  // a forked child leaves the root to its parent
  std::string command = "rm -rf '" + scratchRoot() + "'";
  if (system(command.c_str()) != 0) return;
}

// Never destroyed: removeRoot still needs it while static objects go away.
const std::string& rootOnce() {
  static const std::string* root = [] {
    const std::string* made = new std::string(makeRoot());
    atexit(removeRoot);
    return made;
  }();
  return *root;
}

// Set before main, so that nothing reads TAVORC_ROOT before it exists.
[[maybe_unused]] const bool kRootReady = !rootOnce().empty();

}  // namespace

const std::string& scratchRoot() { return rootOnce(); }

std::string scratchPath(const std::string& fixed) { return scratchRoot() + fixed; }

void writeScratch(const std::string& fixed, const std::string& content) {
  std::ofstream file(scratchPath(fixed), std::ios::binary | std::ios::trunc);
  file << content;
}

std::string readScratch(const std::string& fixed) {
  std::ifstream file(scratchPath(fixed), std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

bool scratchExists(const std::string& fixed) { return access(scratchPath(fixed).c_str(), F_OK) == 0; }

void removeScratch(const std::string& fixed) { unlink(scratchPath(fixed).c_str()); }

void inChild(const std::function<void()>& work) {
  int status = runFunction([&work] {
                 work();
                 return 0;
               }).status;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child failed";
}
