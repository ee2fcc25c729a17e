// The CGI entry: one request per process, serialised across the machine by a
// named semaphore; "daemon" starts the history poller, "restore" frees a
// semaphore left taken by a dead or hung process.
#include <cxxabi.h>
#include <dirent.h>
#include <fcntl.h>
#include <semaphore.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <typeinfo>

#include "core/cmdprocessor.h"
#include "core/log.h"
#include "core/originguard.h"
#include "core/paths.h"
#include "core/process.h"
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

// Every request takes the pid-file lock before anything else and keeps it
// until it has released the semaphore, and the pid is written only under the
// lock. So the semaphore is taken and given back only by the lock holder, the
// pid file names the holder, and "restore" can check and repair the
// semaphore under the same lock without racing a live request. A waiting
// request waits for the lock, not in sem_wait.
int openPidFile() { return openFile(rooted(paths::kPidFile), O_WRONLY | O_CREAT, 0600); }

// Replaces the pid file's text by this process's pid; false after answering.
// The pid is written over the old one and the file cut only when it was
// longer: cutting a file costs a journal commit on the flash, and pids
// mostly have the same length. A reader that meets the old tail sees a pid
// that is not the lock holder's and leaves it.
bool writePid(int fd) {
  char pid[34];
  intToString(static_cast<int>(getpid()), pid, 10);
  size_t length = strlen(pid);
  if (pwrite(fd, pid, length, 0) == static_cast<ssize_t>(length) &&
      (regularFileSize(fd) == length || ftruncate(fd, static_cast<off_t>(length)) == 0))
    return true;
  writeErrorResult("pid write error");
  return false;
}

void writeLockError() {
  char text[64];
  snprintf(text, sizeof text, "lockf failed %d\n", errno);
  writeErrorResult(text);
}

// Kills the children of a process, each with its process group when it leads
// one: a program run with a time limit leads its own, and an update script
// with everything it started is in it.
void killChildren(pid_t parent) {
  DIR* proc = opendir("/proc");
  while (dirent* entry = proc ? readdir(proc) : nullptr) {
    pid_t pid = atoi(entry->d_name);
    std::string stat;
    if (pid <= 0 || !readFile(std::string("/proc/") + entry->d_name + "/stat", stat, 1024)) continue;
    // "pid (name) state ppid pgrp ...": the name may hold blanks and parentheses.
    size_t nameEnd = stat.rfind(')');
    char state = 0;
    int ppid = 0, group = 0;
    if (nameEnd == std::string::npos || sscanf(stat.c_str() + nameEnd + 1, " %c %d %d", &state, &ppid, &group) != 3 ||
        ppid != parent)
      continue;
    kill(group == pid ? -pid : pid, SIGKILL);
  }
  if (proc) closedir(proc);
}

// The lock holder named by the pid file is killed, and what it runs with it.
// It is stopped first, so that it starts nothing more meanwhile. A holder that
// has not yet written its pid (the file names someone else) is only
// starting: it is left.
pid_t killLockHolder(int fd) {
  pid_t holder = wholeFileLockHolder(fd);
  if (holder <= 0) return 0;
  char text[16] = {0};
  if (pread(fd, text, 15, 0) <= 0 || atoi(text) != holder) return 0;
  kill(holder, SIGSTOP);
  killChildren(holder);
  kill(holder, SIGKILL);
  return holder;
}

// Takes the lock without queueing behind requests; after a kill it waits
// (briefly) for the killed holder's lock to go. False when a live process
// holds it: that holder takes over a semaphore left at 0 itself.
bool takeLockForRepair(int fd, pid_t killed) {
  for (int tries = 0; tries < 200; ++tries) {
    if (lockWholeFile(fd, false)) return true;
    if (killed == 0 || wholeFileLockHolder(fd) != killed) return false;
    sleepMillis(10);
  }
  return false;
}

// An update ended by "restore" leaves its download and unpacked package in
// /tmp, which is the box's RAM; the next update would only remove them then.
void removeUpdateLeftovers() {
  for (const char* file : {paths::kUpdateArchive, paths::kUpdateListing, paths::kUpdateErrors})
    unlink(rooted(file).c_str());
  for (const char* dir : {paths::kUpdateDir, paths::kUpdateCheckRoot}) removeTree(rooted(dir));
  sem_unlink(semaphoreNameFor(rooted(paths::kUpdateCheckRoot)).c_str());
}

void restore(sem_t* semaphore) {
  int fd = openFile(rooted(paths::kPidFile), O_RDWR | O_CREAT, 0600);
  if (fd >= 0) {
    pid_t killed = killLockHolder(fd);
    if (takeLockForRepair(fd, killed)) {
      if (killed > 0) removeUpdateLeftovers();
      int value = 0;
      sem_getvalue(semaphore, &value);
      if (value == 0) sem_post(semaphore);
      unlockWholeFile(fd);
    }
    closeFile(fd);
  }
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
  for (const char* name :
       {"QUERY_STRING", "REQUEST_METHOD", "CONTENT_LENGTH", "HTTP_COOKIE", "HTTP_HOST", "HTTP_ORIGIN", "HTTP_REFERER",
        "HTTP_SEC_FETCH_SITE", "HTTP_USER_AGENT", "HTTP_X_REQUESTED_WITH"})
    unsetenv(name);
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

// Outcome of waiting for the turn to serve.
enum class Turn { kTaken, kTerminated, kFailed };

// Waits for the pid-file lock, then takes the semaphore. Under the lock the
// semaphore can only be at 0 when the previous holder died holding it: this
// process then takes it over as it is.
Turn acquire(sem_t* semaphore, int pidFile) {
  g_mayHoldSemaphore = 1;
  catchTermination(false);
  while (!lockWholeFile(pidFile, true)) {
    if (errno != EINTR) {
      g_mayHoldSemaphore = 0;
      writeLockError();
      return Turn::kFailed;
    }
    if (g_terminate) {
      g_mayHoldSemaphore = 0;
      return Turn::kTerminated;
    }
  }
  catchTermination(true);
  while (sem_trywait(semaphore) != 0 && errno == EINTR) {
  }
  return Turn::kTaken;
}

// The semaphore goes back while the lock is still held.
void release(sem_t* semaphore, int pidFile) {
  sem_post(semaphore);
  unlockWholeFile(pidFile);
  closeFile(pidFile);
  g_mayHoldSemaphore = 0;
  sem_close(semaphore);
}

void dropUnsaved(std::unique_ptr<CmdProcessor>& processor, std::unique_ptr<Request>& request) {
  if (processor && Config::instance()) Config::instance()->discardChanges();
  processor.reset();
  request.reset();
}

std::string demangledName(const std::exception& error) {
  int status = 0;
  char* name = abi::__cxa_demangle(typeid(error).name(), nullptr, nullptr, &status);
  std::string text = status == 0 && name ? name : typeid(error).name();
  free(name);
  return text;
}

// The request and the processor are owned here. A command that ends with an
// exception is not saved: its processor is deleted with its changes dropped.
void serve(const char* queryString, const char* method, const std::string& body) {
  std::unique_ptr<Request> request;
  std::unique_ptr<CmdProcessor> processor;
  try {
    request.reset(new Request(queryString ? queryString : "", method, body));
    processor.reset(createProcessor(commandRegistry(), request.get()));
    processor->run()->output();
    return;
  } catch (const AppException& error) {
    dropUnsaved(processor, request);
    writeErrorResult(error.what());
  } catch (const std::exception& error) {
    dropUnsaved(processor, request);
    logError("%s\n%s", demangledName(error).c_str(), error.what());
    writeErrorResult("unknown error");
  }
}

// A request that a browser sends for a foreign page is answered with the
// refusal before "daemon", "restore" or any command sees it.
bool refusedAsForeign() {
  const char* reason = foreignRequestReason(OriginHeaders::fromEnvironment(), storedAllowedHosts);
  if (!reason) return false;
  logError("%s: %s", kCrossSiteRefused, reason);
  ProcessResultError result(kCrossSiteRefused);
  result.setStatus(kCrossSiteStatus);
  result.output();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // A client that goes away must not end the process while it holds the
  // semaphore: a write to the closed pipe fails instead.
  signal(SIGPIPE, SIG_IGN);
  const char* queryString = getenv("QUERY_STRING");
  const char* method = getenv("REQUEST_METHOD");
  if (!queryString && argc == 2) queryString = argv[1];
  if (refusedAsForeign()) return 0;

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

  // The body is read before the request waits for its turn, so that a client
  // that stops sending holds up nobody but itself.
  std::string body =
      Request::readBody(method, sandboxTimeLimit("TAVORC_BODY_TIME_LIMIT", Request::kBodyTimeLimitSeconds) * 1000L);
  int pidFile = openPidFile();
  if (pidFile < 0) {
    sem_close(semaphore);
    return 1;
  }
  Turn turn = acquire(semaphore, pidFile);
  if (turn != Turn::kTaken) {
    closeFile(pidFile);
    sem_close(semaphore);
    return turn == Turn::kTerminated ? 0 : 1;
  }
  if (!writePid(pidFile)) {
    release(semaphore, pidFile);
    return 1;
  }
  if (!g_terminate) serve(queryString, method, body);
  release(semaphore, pidFile);
  return 0;
}
