#include "sandbox.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

namespace {

const char kInstallTail[] = "/tmp/www/cgi-bin/";

std::string stripTrailingSlashes(std::string path) {
  while (!path.empty() && path.back() == '/') path.pop_back();
  return path;
}

bool writeAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

void syncFolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  if (folder.empty()) folder = "/";
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
}

}  // namespace

Sandbox::Sandbox(std::string rootDir) : root(stripTrailingSlashes(std::move(rootDir))) {}

std::string discoverRoot(const char* argv0) {
  const char* env = getenv("TAVORC_ROOT");
  if (env && *env) return env;
  std::string self = argv0 ? argv0 : "";
  if (!self.empty() && self[0] != '/') {
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd)) self = std::string(cwd) + "/" + self;
  }
  size_t tail = self.rfind(kInstallTail);
  if (tail != std::string::npos && self.find('/', tail + sizeof kInstallTail - 1) == std::string::npos)
    return self.substr(0, tail);
  return "";  // installed on the player itself
}

bool makeDirs(const std::string& path) {
  for (size_t at = 1; at <= path.size(); ++at) {
    if (at < path.size() && path[at] != '/') continue;
    std::string part = path.substr(0, at);
    if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return true;
}

bool readFile(const std::string& path, std::string& text) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  text.clear();
  char buf[4096];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  return true;
}

bool writeFileAtomic(const std::string& path, const std::string& text) {
  std::string tmp = path + ".tmp." + std::to_string(getpid());
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = writeAll(fd, text) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (ok && rename(tmp.c_str(), path.c_str()) == 0) {
    syncFolderOf(path);
    return true;
  }
  unlink(tmp.c_str());
  return false;
}

bool appendLine(const std::string& path, const std::string& line) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = writeAll(fd, line + "\n");
  close(fd);
  return ok;
}

int64_t nowMs() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

SandboxLock::SandboxLock(const Sandbox& box) : m_fd(open(box.lockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
  if (m_fd < 0) return;
  while (flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
  }
}

SandboxLock::~SandboxLock() {
  if (m_fd >= 0) close(m_fd);  // closing releases the lock
}
