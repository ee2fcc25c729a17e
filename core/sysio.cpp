#include "core/sysio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

bool readFile(const std::string& path, std::string& out, size_t limit) {
  out.clear();
  int fd = openFile(path, O_RDONLY);
  if (fd < 0) return false;
  char buffer[65536];
  bool ok = true;
  while (out.size() < limit) {
    size_t want = sizeof buffer;
    if (limit - out.size() < want) want = limit - out.size();
    ssize_t n = read(fd, buffer, want);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    out.append(buffer, static_cast<size_t>(n));
  }
  closeFile(fd);
  return ok;
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

bool makeDirectory(const std::string& path, mode_t mode) { return mkdir(path.c_str(), mode) == 0; }

std::string errnoText(int error) { return strerror(error); }

void sleepMillis(long millis) {
  struct timespec left = {millis / 1000, (millis % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}
