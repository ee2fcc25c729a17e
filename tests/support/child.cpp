#include "tests/support/child.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace {

[[noreturn]] void fail(const std::string& what) { throw std::runtime_error(what + " failed: " + strerror(errno)); }

void closeFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

// A descriptor above the standard three, so that putting one stream in place
// never overwrites another that is still to be placed.
int aboveStandard(int fd) {
  if (fd < 0 || fd > 2) return fd;
  int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  int saved = errno;
  close(fd);
  errno = saved;
  return moved;
}

// One standard stream being set up: the descriptor the child gets in its
// place, and the test's end of a pipe.
struct Plumbing {
  int forChild[3] = {-1, -1, -1};
  int forTest[3] = {-1, -1, -1};

  ~Plumbing() {
    for (int& fd : forChild) closeFd(fd);
    for (int& fd : forTest) closeFd(fd);
  }

  void prepare(int target, const Redirect& redirect) {
    switch (redirect.kind) {
      case Redirect::Kind::Inherit: return;
      case Redirect::Kind::Null:
        forChild[target] = aboveStandard(open("/dev/null", O_RDWR | O_CLOEXEC));
        if (forChild[target] < 0) fail("open /dev/null");
        return;
      case Redirect::Kind::AppendTo:
        forChild[target] = aboveStandard(open(redirect.file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
        if (forChild[target] < 0) fail("open " + redirect.file);
        return;
      case Redirect::Kind::Pipe: {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) fail("pipe");
        int childEnd = target == 0 ? ends[0] : ends[1];
        int testEnd = target == 0 ? ends[1] : ends[0];
        forChild[target] = aboveStandard(childEnd);
        forTest[target] = aboveStandard(testEnd);
        if (forChild[target] < 0 || forTest[target] < 0) fail("pipe");
        return;
      }
    }
  }

  // In the child, before exec or the work: the streams in place, the test's
  // ends closed. Only async-signal-safe calls from here on.
  void placeInChild() {
    for (int target = 0; target < 3; ++target) {
      if (forChild[target] < 0) continue;
      while (dup2(forChild[target], target) < 0 && errno == EINTR) {
      }
    }
    for (int fd : forChild)
      if (fd >= 0) close(fd);
    for (int fd : forTest)
      if (fd >= 0) close(fd);
  }

  // In the test, after the fork: the child's ends are the child's alone.
  Child handOver(pid_t pid) {
    for (int& fd : forChild) closeFd(fd);
    Child child;
    child.pid = pid;
    child.input = forTest[0];
    child.output = forTest[1];
    child.error = forTest[2];
    for (int& fd : forTest) fd = -1;
    return child;
  }
};

// Every descriptor above the standard three, in the child just before exec.
void closeOtherDescriptors(long highest) {
#ifdef SYS_close_range
  if (syscall(SYS_close_range, 3U, ~0U, 0U) == 0) return;
#endif
  for (long fd = 3; fd < highest; ++fd) close(static_cast<int>(fd));
}

pid_t forkChild() {
  pid_t pid;
  do pid = fork();
  while (pid < 0 && errno == EINTR);
  if (pid < 0) fail("fork");
  return pid;
}

}  // namespace

bool ChildResult::exited(int code) const { return WIFEXITED(status) && WEXITSTATUS(status) == code; }

bool Child::write(const std::string& bytes) {
  if (input < 0) return false;
  for (size_t done = 0; done < bytes.size();) {
    ssize_t n = ::write(input, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

void Child::closeInput() { closeFd(input); }

std::string Child::readOutput() {
  std::string text;
  char buffer[4096];
  while (output >= 0) {
    ssize_t n = read(output, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  closeFd(output);
  return text;
}

std::optional<int> Child::ended() {
  int status = 0;
  pid_t r;
  do r = waitpid(pid, &status, WNOHANG);
  while (r < 0 && errno == EINTR);
  if (r == pid) return status;
  return std::nullopt;
}

int Child::wait() {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

int Child::waitWithin(int millis, bool* timedOut, int pollMillis) {
  if (timedOut) *timedOut = false;
  for (int waited = 0;; waited += pollMillis) {
    if (std::optional<int> status = ended()) return *status;
    if (waited >= millis) break;
    usleep(static_cast<useconds_t>(pollMillis) * 1000);
  }
  kill(pid, SIGKILL);
  if (timedOut) *timedOut = true;
  return wait();
}

ChildResult Child::finish(const std::string& bytes, int limitMillis) {
  if (!bytes.empty()) write(bytes);
  closeInput();
  ChildResult result;
  auto start = std::chrono::steady_clock::now();
  auto elapsedMillis = [&start] {
    auto elapsed = std::chrono::steady_clock::now() - start;
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
  };
  // Both outputs at once: a child filling one pipe must not wait on the other.
  auto collect = [this, &result](int timeout) {
    while (output >= 0 || error >= 0) {
      struct pollfd fds[2] = {{output, POLLIN, 0}, {error, POLLIN, 0}};
      int ready = poll(fds, 2, timeout);
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) return;
      for (int i = 0; i < 2; ++i) {
        if (fds[i].revents == 0) continue;
        int& fd = i == 0 ? output : error;
        std::string& into = i == 0 ? result.output : result.error;
        char buffer[4096];
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
          closeFd(fd);
        else
          into.append(buffer, static_cast<size_t>(n));
      }
    }
  };
  if (limitMillis < 0) {
    collect(-1);
    result.status = wait();
  } else {
    for (int left; (output >= 0 || error >= 0) && (left = limitMillis - elapsedMillis()) > 0;) collect(left);
    result.status = waitWithin(limitMillis - elapsedMillis(), &result.timedOut);
    collect(0);  // what it wrote before it ended; a descendant may still hold the pipes
  }
  closeFd(output);
  closeFd(error);
  return result;
}

Child startChild(const ChildCommand& command) {
  if (command.argv.empty()) throw std::invalid_argument("startChild: no program");
  // Everything the child needs is made before the fork.
  std::vector<char*> argv, envp;
  for (const std::string& word : command.argv) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  if (command.environment) {
    for (const std::string& variable : *command.environment) envp.push_back(const_cast<char*>(variable.c_str()));
    envp.push_back(nullptr);
  }
  char** environment = command.environment ? envp.data() : environ;
  bool searchPath = command.argv[0].find('/') == std::string::npos;
  long highest = sysconf(_SC_OPEN_MAX);
  if (highest < 0 || highest > 65536) highest = 65536;

  Plumbing plumbing;
  plumbing.prepare(0, command.streams.input);
  plumbing.prepare(1, command.streams.output);
  plumbing.prepare(2, command.streams.error);
  pid_t pid = forkChild();
  if (pid == 0) {
    plumbing.placeInChild();
    closeOtherDescriptors(highest);
    if (!command.directory.empty() && chdir(command.directory.c_str()) != 0) _exit(127);
    if (searchPath)
      execvpe(argv[0], argv.data(), environment);
    else
      execve(argv[0], argv.data(), environment);
    _exit(127);
  }
  return plumbing.handOver(pid);
}

ChildResult runChild(const ChildCommand& command, const std::string& input, int limitMillis) {
  return startChild(command).finish(input, limitMillis);
}

Child startFunction(const std::function<int()>& work, const ChildStreams& streams) {
  Plumbing plumbing;
  plumbing.prepare(0, streams.input);
  plumbing.prepare(1, streams.output);
  plumbing.prepare(2, streams.error);
  pid_t pid = forkChild();
  if (pid == 0) {
    plumbing.placeInChild();
    _exit(work());
  }
  return plumbing.handOver(pid);
}

ChildResult runFunction(const std::function<int()>& work, const ChildStreams& streams, const std::string& input,
                        int limitMillis) {
  return startFunction(work, streams).finish(input, limitMillis);
}
