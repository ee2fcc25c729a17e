#include "tests/support/cgiprocess.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <semaphore.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>
#include <sstream>

#include "core/paths.h"
#include "tests/support/programs.h"

CgiRequest optionSet(const std::string& name, const std::string& value, const std::string& cookie) {
  CgiRequest request;
  request.query = "cmd=option&action=set&opt_name=" + name + "&opt_value=" + value;
  request.cookie = cookie;
  return request;
}

int semaphoreValue(const Sandbox& sandbox) {
  sem_t* semaphore = sem_open(sandbox.semaphoreName().c_str(), 0);
  if (semaphore == SEM_FAILED) return -1;
  int value = -1;
  sem_getvalue(semaphore, &value);
  sem_close(semaphore);
  return value;
}

// Asks every 10 ms, for up to millis, until done() says yes.
template <typename Done>
static bool waitUntil(Done done, int millis) {
  for (int waited = 0; waited < millis; waited += 10) {
    if (done()) return true;
    usleep(10000);
  }
  return false;
}

bool waitForSemaphore(const Sandbox& sandbox, int millis) {
  return waitUntil([&] { return semaphoreValue(sandbox) != -1; }, millis);
}

bool waitForPidFile(const Sandbox& sandbox, pid_t pid, int millis) {
  return waitUntil([&] { return sandbox.read(paths::kPidFile) == std::to_string(pid); }, millis);
}

// The kernel lists a blocked lock request in /proc/locks as
// "N: -> POSIX  ADVISORY  WRITE PID ...".
static bool isLockWaiter(pid_t pid) {
  std::istringstream locks(fileText("/proc/locks"));
  std::string number, arrow, kind, mode, access, holder;
  for (std::string line; std::getline(locks, line);) {
    std::istringstream words(line);
    if (words >> number >> arrow >> kind >> mode >> access >> holder && arrow == "->" && holder == std::to_string(pid))
      return true;
  }
  return false;
}

bool waitForLockWaiter(pid_t pid, int millis) {
  return waitUntil([pid] { return isLockWaiter(pid); }, millis);
}

bool parsesAsJson(const std::string& text, Json::Value* into) {
  Json::Value value;
  Json::Reader reader;
  bool ok = reader.parse(text, value, false);
  if (into) *into = value;
  return ok;
}

Json::Value readJson(const Sandbox& sandbox, const std::string& fixed) {
  Json::Value value;
  if (!sandbox.exists(fixed) || !parsesAsJson(sandbox.read(fixed), &value)) return Json::Value();
  return value;
}

std::string withDatesMasked(const CgiResponse& response) {
  static const std::regex kDate(R"([A-Z][a-z]{2}, \d\d [A-Z][a-z]{2} \d{4} \d\d:\d\d:\d\d GMT)");
  std::string date = response.header("Date");
  EXPECT_TRUE(std::regex_match(date, kDate)) << "Date: " << date;
  EXPECT_EQ(date, response.header("Expires"));
  std::string raw = response.raw;
  std::string dateLine = "\nDate: " + date + "\nExpires: " + date + "\n";
  size_t at = raw.find(dateLine);
  EXPECT_NE(std::string::npos, at) << raw;
  if (at != std::string::npos) raw.replace(at, dateLine.size(), "\nDate: <date>\nExpires: <date>\n");
  return raw;
}

void installGatedStorage(const Sandbox& sandbox) {
  sandbox.write(paths::kMtab, "/dev/sda1 " + sandbox.path("/tmp/mnt/storage/sda1") + " vfat rw 0 0\n");
  sandbox.write("/etc/blkid.tab", "/dev/sda1: LABEL=\"USB\" UUID=\"1\"\n");
  sandbox.mkdirs("/tmp/mnt/storage/sda1/Album");
  mkfifo(sandbox.path("/var/gate").c_str(), 0600);
  unlink(sandbox.path(paths::kBlkid).c_str());
  sandbox.write(paths::kBlkid, "#!/bin/sh\ntimeout 20 cat \"$TAVORC_ROOT/var/gate\" >/dev/null\nexec '" + sourceDir() +
                                   "/tests/support/standins/blkid' \"$@\"\n");
  chmod(sandbox.path(paths::kBlkid).c_str(), 0755);
}

bool openGate(const Sandbox& sandbox, int millis) {
  for (int waited = 0; waited < millis; waited += 10) {
    int fd = open(sandbox.path("/var/gate").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
      close(fd);
      return true;
    }
    usleep(10000);
  }
  return false;
}

CgiProcess startHangingHolder(const Sandbox& sandbox) {
  installGatedStorage(sandbox);
  CgiRequest request;
  request.query = "cmd=file_list&path=local/USB";
  request.cookie = "bid=TEST";
  return startCgi(sandbox, request);
}

int waitWithin(CgiProcess& process, int millis) {
  bool timedOut = false;
  int status = process.waitWithin(millis, &timedOut);
  return timedOut ? -1 : status;
}

CgiResponse finishWithin(CgiProcess& process, int millis) {
  int status = waitWithin(process, millis);
  std::string raw = process.readOutput();
  process.closeInput();
  CgiResponse response = parseCgi(raw);
  response.exitStatus = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return response;
}
