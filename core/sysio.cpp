#include "core/sysio.h"

#include <fcntl.h>
#include <poll.h>
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

int openRegularFile(const std::string& path) {
  int fd = openFile(path, O_RDONLY | O_NONBLOCK);
  if (fd < 0) return -1;
  struct stat status;
  if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) return fd;
  closeFile(fd);
  errno = EINVAL;
  return -1;
}

// Reads straight into the string: sized once from fstat, then grown only for a
// file that got longer meanwhile (or has no size to tell).
bool readFile(const std::string& path, std::string& out, size_t limit) {
  out.clear();
  int fd = openRegularFile(path);
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

bool writeFileAtomic(const std::string& path, std::string_view data, mode_t newFileMode) {
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

static struct flock wholeFile(short type) {
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 0;
  return lock;
}

bool lockWholeFile(int fd, bool wait) {
  struct flock lock = wholeFile(F_WRLCK);
  return fcntl(fd, wait ? F_SETLKW : F_SETLK, &lock) == 0;
}

void unlockWholeFile(int fd) {
  int saved = errno;
  struct flock lock = wholeFile(F_UNLCK);
  fcntl(fd, F_SETLK, &lock);
  errno = saved;
}

pid_t wholeFileLockHolder(int fd) {
  struct flock lock = wholeFile(F_WRLCK);
  if (fcntl(fd, F_GETLK, &lock) != 0 || lock.l_type == F_UNLCK) return 0;
  return lock.l_pid;
}

long monotonicMillis() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000L + now.tv_nsec / 1000000L;
}

bool readWithin(int fd, std::string& out, size_t count, bool stopAtLineFeed, long timeLimitMillis) {
  out.clear();
  long deadline = monotonicMillis() + timeLimitMillis;
  char buffer[4096];
  while (out.size() < count) {
    long left = deadline - monotonicMillis();
    if (left <= 0) return false;
    struct pollfd ready = {fd, POLLIN, 0};
    int got = poll(&ready, 1, static_cast<int>(left));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    size_t want = count - out.size() < sizeof buffer ? count - out.size() : sizeof buffer;
    ssize_t n = read(fd, buffer, want);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n < 0) return false;
    if (n == 0) break;
    out.append(buffer, static_cast<size_t>(n));
    if (stopAtLineFeed && memchr(buffer, '\n', static_cast<size_t>(n))) break;
  }
  return true;
}

bool makeDirectory(const std::string& path, mode_t mode) { return mkdir(path.c_str(), mode) == 0; }

std::string errnoText(int error) { return strerror(error); }

void sleepMillis(long millis) {
  struct timespec left = {millis / 1000, (millis % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}
