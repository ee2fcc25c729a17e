// Files of the simulated player below a sandbox root, and the few file
// operations the simulator needs.
#pragma once

#include <cstdint>
#include <string>

struct Sandbox {
  std::string root;  // no trailing "/"; empty means the real file system

  explicit Sandbox(std::string rootDir);

  std::string dir() const { return root + "/var/playersim"; }
  std::string statePath() const { return dir() + "/state"; }
  std::string logPath() const { return dir() + "/requests.log"; }
  std::string mediaConfPath() const { return dir() + "/media.conf"; }
  std::string lockPath() const { return dir() + "/lock"; }
};

// The root when the program runs as the control program: TAVORC_ROOT, else
// the folder that holds tmp/www/cgi-bin/ of the program's own path.
std::string discoverRoot(const char* argv0);

bool makeDirs(const std::string& path);
bool readFile(const std::string& path, std::string& text);
// Writes through a temporary file in the same folder and renames it over the
// old one, so a reader sees either the old or the new state.
bool writeFileAtomic(const std::string& path, const std::string& text);
bool appendLine(const std::string& path, const std::string& line);

int64_t nowMs();

// Holds an exclusive lock on the sandbox for one load-change-save cycle.
class SandboxLock {
 public:
  explicit SandboxLock(const Sandbox& box);
  ~SandboxLock();
  SandboxLock(const SandboxLock&) = delete;
  SandboxLock& operator=(const SandboxLock&) = delete;

 private:
  int m_fd;
};
