#include "core/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "core/sysio.h"

namespace {

// Where the child's standard output and error go: the null device or a pipe.
struct ChildOutput {
  int outFd;
  int errFd;
};

[[noreturn]] void execChild(const std::string& path, const std::vector<std::string>& arguments, ChildOutput output,
                            bool ownGroup) {
  if (ownGroup) setpgid(0, 0);
  signal(SIGPIPE, SIG_DFL);  // the request process ignores it; its programs must not
  if (output.outFd >= 0) dup2(output.outFd, STDOUT_FILENO);
  if (output.errFd >= 0) dup2(output.errFd, STDERR_FILENO);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(path.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  execvp(path.c_str(), argv.data());
  _exit(127);
}

void killGroup(pid_t pid) {
  kill(-pid, SIGKILL);
  kill(pid, SIGKILL);
}

// Waits for the child, killing it (and its group) once the deadline passes.
void waitChild(pid_t pid, long deadline, ProgramResult& result) {
  int status = 0;
  for (;;) {
    pid_t got = waitpid(pid, &status, deadline ? WNOHANG : 0);
    if (got == pid) break;
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return;
    if (monotonicMillis() >= deadline) {
      result.timedOut = true;
      killGroup(pid);
      deadline = 0;
      continue;
    }
    sleepMillis(20);
  }
  result.status = status;
}

long deadlineFor(int timeLimitSeconds) {
  return timeLimitSeconds > 0 ? monotonicMillis() + timeLimitSeconds * 1000L : 0;
}

}  // namespace

ProgramResult runProgram(const std::string& path, const std::vector<std::string>& arguments, int timeLimitSeconds) {
  ProgramResult result;
  int devNull = openFile("/dev/null", O_WRONLY);
  pid_t pid = fork();
  if (pid == 0) execChild(path, arguments, {devNull, -1}, timeLimitSeconds > 0);
  if (devNull >= 0) closeFile(devNull);
  if (pid < 0) return result;
  waitChild(pid, deadlineFor(timeLimitSeconds), result);
  return result;
}

ProgramResult runProgramCapture(const std::string& path, const std::vector<std::string>& arguments,
                                int timeLimitSeconds, size_t outputLimit) {
  ProgramResult result;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return result;
  pid_t pid = fork();
  if (pid == 0) execChild(path, arguments, {fds[1], fds[1]}, true);
  closeFile(fds[1]);
  if (pid < 0) {
    closeFile(fds[0]);
    return result;
  }
  long deadline = deadlineFor(timeLimitSeconds);
  char buffer[4096];
  for (;;) {
    if (deadline) {
      long left = deadline - monotonicMillis();
      struct pollfd p = {fds[0], POLLIN, 0};
      int ready = left > 0 ? poll(&p, 1, static_cast<int>(left)) : 0;
      if (ready < 0 && errno == EINTR) continue;
      if (ready == 0) {
        result.timedOut = true;
        killGroup(pid);
        break;
      }
    }
    ssize_t n = read(fds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (result.output.size() + static_cast<size_t>(n) > outputLimit) {
      result.outputCut = true;
      result.output.clear();
      result.output.shrink_to_fit();
      killGroup(pid);
      break;
    }
    result.output.append(buffer, static_cast<size_t>(n));
  }
  closeFile(fds[0]);
  waitChild(pid, deadline, result);
  return result;
}

bool exitedCleanly(const ProgramResult& result) {
  return result.status >= 0 && WIFEXITED(result.status) && WEXITSTATUS(result.status) == 0;
}

void removeTree(const std::string& path) { runProgram("rm", {"-rf", "--", path}); }
