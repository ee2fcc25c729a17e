#include "core/sysio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

int openFile(const std::string& path, int flags, mode_t mode) {
  int fd;
  do {
    fd = open(path.c_str(), flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

void closeFile(int fd) {
  int saved = errno;
  close(fd);
  errno = saved;
}

ssize_t readFully(int fd, void* buffer, size_t count) {
  size_t done = 0;
  while (done < count) {
    ssize_t n = read(fd, static_cast<char*>(buffer) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

bool writeFully(int fd, const void* data, size_t count) {
  size_t done = 0;
  while (done < count) {
    ssize_t n = write(fd, static_cast<const char*>(data) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

size_t regularFileSize(int fd) {
  struct stat status;
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size <= 0) return 0;
  return static_cast<size_t>(status.st_size);
}

// Reads straight into the string: sized once from fstat, then grown only for a
// file that got longer meanwhile (or has no size to tell).
bool readFile(const std::string& path, std::string& out, size_t limit) {
  out.clear();
  int fd = openFile(path, O_RDONLY);
  if (fd < 0) return false;
  size_t expected = regularFileSize(fd);
  size_t chunk = expected > 0 ? expected + 1 : 4096;
  bool ok = true;
  while (ok && out.size() < limit) {
    size_t done = out.size();
    size_t want = limit - done < chunk ? limit - done : chunk;
    out.resize(done + want);
    ssize_t n = readFully(fd, &out[done], want);
    ok = n >= 0;
    out.resize(done + (n > 0 ? static_cast<size_t>(n) : 0));
    if (n < static_cast<ssize_t>(want)) break;
    chunk = 65536;
  }
  closeFile(fd);
  return ok;
}

bool copyToEnd(int from, int to) {
  char buffer[65536];
  for (;;) {
    ssize_t n = read(from, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    if (!writeFully(to, buffer, static_cast<size_t>(n))) return false;
  }
}

static std::string folderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

static void syncFolder(const std::string& folder) {
  int fd = openFile(folder, O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  fsync(fd);
  closeFile(fd);
}

bool writeFileAtomic(const std::string& path, const std::string& data, mode_t newFileMode) {
  struct stat old;
  mode_t mode = stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : newFileMode;
  // One fixed name per file: writers are serialised by the request semaphore,
  // and a writer killed mid-way leaves one stale file that the next save
  // reuses, instead of a new one per kill on the player's flash.
  std::string temporary = path + ".tmp";
  int fd = openFile(temporary, O_WRONLY | O_CREAT | O_TRUNC, mode);
  if (fd < 0) return false;
  bool ok = writeFully(fd, data.data(), data.size()) && fsync(fd) == 0 && fchmod(fd, mode) == 0;
  ok = (close(fd) == 0) && ok;
  if (ok && rename(temporary.c_str(), path.c_str()) == 0) {
    syncFolder(folderOf(path));
    return true;
  }
  int saved = errno;
  unlink(temporary.c_str());
  errno = saved;
  return false;
}

std::string resolvedPath(const std::string& path) {
  char* resolved = realpath(path.c_str(), nullptr);
  if (!resolved) return "";
  std::string text = resolved;
  free(resolved);
  return text;
}

bool makeDirectory(const std::string& path, mode_t mode) { return mkdir(path.c_str(), mode) == 0; }

std::string errnoText(int error) { return strerror(error); }

void sleepMillis(long millis) {
  struct timespec left = {millis / 1000, (millis % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}
