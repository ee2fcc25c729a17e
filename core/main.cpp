// The CGI entry: one request per process, serialised across the machine by a
// named semaphore; "daemon" starts the history poller, "restore" frees a
// semaphore left taken by a dead or hung process.
#include <cxxabi.h>
#include <fcntl.h>
#include <semaphore.h>
#include <signal.h>
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

void startHistoryPoller() {
  fflush(stdout);
  pid_t pid = fork();
  if (pid != 0) return;
  detachPoller();
  std::string program = rooted(paths::kSelfProgram);
  for (;;) {
    runProgram(program, {kPollerArgument});
    sleep(kPollerPause);
  }
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

  while (sem_wait(semaphore) != 0 && errno == EINTR) {
  }
  int pidFile = writePidFile();
  if (pidFile < 0) {
    sem_post(semaphore);
    sem_close(semaphore);
    return 1;
  }
  serve(queryString, method);
  releasePidFile(pidFile);
  sem_post(semaphore);
  sem_close(semaphore);
  return 0;
}
