// The CGI entry: one request per process, serialised across the machine by a
// named semaphore; "daemon" starts the history poller, "restore" frees a
// semaphore left taken by a dead or hung process.
#include <cxxabi.h>
#include <fcntl.h>
#include <semaphore.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <typeinfo>

#include "core/cmdprocessor.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/sysio.h"
#include "core/utils.h"

namespace {

const char kPollerArgument[] = "cmd=history&action=update&log=0";
const unsigned kPollerPause = 17;

void writeErrorResult(const std::string& message) {
  ProcessResultError result(message);
  result.output();
}

void writeTextResult(const std::string& text) {
  ProcessResultText result(text);
  result.output();
}

// The pid file names the serving process; its lock tells "restore" that the
// process is alive. Returns the locked descriptor, or -1 after answering.
int writePidFile() {
  int fd = openFile(rooted(paths::kPidFile), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) return -1;
  char pid[34];
  intToString(static_cast<int>(getpid()), pid, 10);
  std::string message;
  if (write(fd, pid, strlen(pid)) != static_cast<ssize_t>(strlen(pid))) {
    message = "pid write error";
  } else if (lockf(fd, F_LOCK, 0) != 0) {
    char text[64];
    snprintf(text, sizeof text, "lockf failed %d\n", errno);
    message = text;
  }
  if (message.empty()) return fd;
  writeErrorResult(message);
  closeFile(fd);
  return -1;
}

void releasePidFile(int fd) {
  lockf(fd, F_ULOCK, 0);
  closeFile(fd);
}

void killLockHolder() {
  int fd = openFile(rooted(paths::kPidFile), O_RDWR);
  if (fd < 0) return;
  if (lockf(fd, F_TEST, 0) != 0) {
    char text[16] = {0};
    if (pread(fd, text, 15, 0) > 0) {
      int pid = atoi(text);
      if (pid > 0) kill(pid, SIGKILL);
    }
  }
  closeFile(fd);
}

void restore(sem_t* semaphore) {
  killLockHolder();
  int value = 0;
  sem_getvalue(semaphore, &value);
  if (value == 0) sem_post(semaphore);
  sem_close(semaphore);
  writeTextResult("ok");
}

// The poller must not keep the web server's pipe open, nor hand the CGI
// variables of the request that started it to the requests it starts.
void detachPoller() {
  setsid();
  int devNull = openFile("/dev/null", O_RDWR);
  if (devNull >= 0) {
    dup2(devNull, STDIN_FILENO);
    dup2(devNull, STDOUT_FILENO);
    dup2(devNull, STDERR_FILENO);
    if (devNull > STDERR_FILENO) close(devNull);
  }
  for (const char* name : {"QUERY_STRING", "REQUEST_METHOD", "CONTENT_LENGTH", "HTTP_COOKIE"}) unsetenv(name);
}

// The running poller holds a lock on its pid file; a second one finds the
// lock taken and leaves, so that "daemon" never adds a poller to one that runs.
bool becomeOnlyPoller() {
  int fd = openFile(rooted(paths::kPollerPidFile), O_RDWR | O_CREAT, 0644);
  if (fd < 0) return false;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    closeFile(fd);
    return false;
  }
  std::string pid = std::to_string(getpid());
  if (ftruncate(fd, 0) != 0 || !writeFully(fd, pid.data(), pid.size())) logError("poller pid file not written");
  return true;  // the descriptor stays open, and the lock held, for the poller's life
}

void startHistoryPoller() {
  fflush(stdout);
  pid_t pid = fork();
  if (pid != 0) return;
  if (!becomeOnlyPoller()) _exit(0);
  detachPoller();
  std::string program = rooted(paths::kSelfProgram);
  for (;;) {
    runProgram(program, {kPollerArgument});
    sleep(kPollerPause);
  }
}

// The web server ends a request process whose client went away. A process
// that may hold the semaphore finishes its request first and releases it,
// rather than leave every later request waiting for "restore".
volatile sig_atomic_t g_mayHoldSemaphore = 0;
volatile sig_atomic_t g_terminate = 0;

void onTerminate(int) {
  g_terminate = 1;
  if (!g_mayHoldSemaphore) _exit(0);
}

// While waiting, a signal must interrupt sem_wait; once the semaphore is held,
// interrupted calls resume, so that the request finishes as it would have.
void catchTermination(bool resumeCalls) {
  struct sigaction action = {};
  action.sa_handler = onTerminate;
  sigemptyset(&action.sa_mask);
  action.sa_flags = resumeCalls ? SA_RESTART : 0;
  for (int number : {SIGTERM, SIGINT, SIGHUP}) sigaction(number, &action, nullptr);
}

// Waits for the semaphore; false when the process was told to end first.
bool acquire(sem_t* semaphore) {
  g_mayHoldSemaphore = 1;
  catchTermination(false);
  while (sem_wait(semaphore) != 0 && errno == EINTR) {
    if (g_terminate) {
      g_mayHoldSemaphore = 0;
      return false;
    }
  }
  catchTermination(true);
  return true;
}

void release(sem_t* semaphore) {
  sem_post(semaphore);
  g_mayHoldSemaphore = 0;
  sem_close(semaphore);
}

std::string demangledName(const std::exception& error) {
  int status = 0;
  char* name = abi::__cxa_demangle(typeid(error).name(), nullptr, nullptr, &status);
  std::string text = status == 0 && name ? name : typeid(error).name();
  free(name);
  return text;
}

void serve(const char* queryString, const char* method) {
  Request* request = nullptr;
  try {
    request = new Request(queryString ? queryString : "", method);
    CmdProcessor* processor = createProcessor(commandRegistry(), request);
    processor->run()->output();
    delete processor;
    delete request;
  } catch (const AppException& error) {
    delete request;
    writeErrorResult(error.what());
  } catch (const std::exception& error) {
    delete request;
    logError("%s\n%s", demangledName(error).c_str(), error.what());
    writeErrorResult("unknown error");
  }
}

}  // namespace

int main(int argc, char** argv) {
  // A client that goes away must not end the process while it holds the
  // semaphore: a write to the closed pipe fails instead.
  signal(SIGPIPE, SIG_IGN);
  const char* queryString = getenv("QUERY_STRING");
  const char* method = getenv("REQUEST_METHOD");
  if (!queryString && argc == 2) queryString = argv[1];

  if (queryString && strcmp(queryString, "daemon") == 0) {
    startHistoryPoller();
    return 0;
  }

  sem_t* semaphore = sem_open(semaphoreName().c_str(), O_CREAT, 0777, 1);
  if (semaphore == SEM_FAILED) {
    writeErrorResult("sem_open failed");
    return 1;
  }
  if (queryString && strcmp(queryString, "restore") == 0) {
    restore(semaphore);
    return 0;
  }

  if (!acquire(semaphore)) return 0;
  int pidFile = writePidFile();
  if (pidFile < 0) {
    release(semaphore);
    return 1;
  }
  if (!g_terminate) serve(queryString, method);
  releasePidFile(pidFile);
  release(semaphore);
  return 0;
}
