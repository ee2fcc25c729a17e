#include <gtest/gtest.h>
#include <semaphore.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <regex>

#include "core/paths.h"
#include "core/sysio.h"
#include "tests/support/cgiprocess.h"
#include "tests/support/sandbox.h"

namespace {

TEST(Entry, PidFileHoldsTheServingProcessWithoutLineEnd) {
  Sandbox sandbox;
  // Left by another program, or by a pid of more digits: it is cut to the pid.
  for (const char* before : {"", "12345678901234567890\n"}) {
    if (*before) sandbox.write(paths::kPidFile, before);
    CgiRequest request;
    request.query = "cmd=app_info";
    CgiProcess process = startCgi(sandbox, request);
    CgiResponse response = process.finish();
    EXPECT_EQ(200, response.status());
    EXPECT_EQ(std::to_string(process.pid), sandbox.read(paths::kPidFile)) << before;
    EXPECT_EQ(1, semaphoreValue(sandbox));
  }
  struct stat st;
  ASSERT_EQ(0, stat(sandbox.path(paths::kPidFile).c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 0777);

  // Without a pid file the request ends with status 1 and leaves the semaphore free.
  ASSERT_EQ(0, unlink(sandbox.path(paths::kPidFile).c_str()));
  ASSERT_EQ(0, rmdir(sandbox.path("/var/run").c_str()));
  CgiResponse response = sandbox.get("cmd=app_info");
  EXPECT_EQ(1, response.exitStatus);
  EXPECT_EQ("", response.raw);
  EXPECT_EQ(1, semaphoreValue(sandbox));
  sandbox.mkdirs("/var/run");
  EXPECT_EQ(200, sandbox.get("cmd=app_info").status());
}

TEST(Entry, OneArgumentIsTheQueryStringWhenThereIsNone) {
  Sandbox sandbox;
  CgiRequest web;
  web.query = "cmd=log&log=0";
  web.cookie = "bid=TEST";
  sandbox.write(paths::kLogFile, "a line\n");
  CgiResponse viaWeb = sandbox.run(web);

  CgiRequest command;
  command.setQuery = false;
  command.method = "";
  command.cookie = "bid=TEST";
  command.arguments = {"cmd=log&log=0"};
  CgiResponse viaCommand = sandbox.run(command);
  EXPECT_EQ(0, viaCommand.exitStatus);
  EXPECT_EQ(withDatesMasked(viaWeb), withDatesMasked(viaCommand));
  EXPECT_EQ("a line\n", viaCommand.body);

  // An empty QUERY_STRING is still the query string: the argument is ignored.
  CgiRequest empty = command;
  empty.setQuery = true;
  empty.query = "";
  EXPECT_EQ("Unknown command ''", sandbox.run(empty).body);

  command.arguments = {"cmd=log", "cmd=app_info"};
  CgiResponse two = sandbox.run(command);
  EXPECT_EQ(0, two.exitStatus);
  EXPECT_EQ("Status: 500\nContent-Type: text/plain\nDate: <date>\nExpires: <date>\n\nUnknown command ''",
            withDatesMasked(two));
}

TEST(Entry, RestoreWithoutHolderAnswersOkAndNeverRaisesAboveOne) {
  Sandbox sandbox;
  for (int i = 0; i < 2; ++i) {
    CgiResponse response = sandbox.get("restore");
    EXPECT_EQ(0, response.exitStatus);
    EXPECT_EQ("Status: 200\nContent-Type: text/plain\nDate: <date>\nExpires: <date>\n\nok", withDatesMasked(response));
    EXPECT_EQ(1, semaphoreValue(sandbox));
  }
  // A pid file left by a finished request names a process that holds no lock.
  EXPECT_EQ(200, sandbox.get("cmd=app_info").status());
  EXPECT_EQ(200, sandbox.get("restore").status());
  EXPECT_EQ(1, semaphoreValue(sandbox));
}

// "restore" kills the hung holder of the pid-file lock and frees the
// semaphore, and a request waiting behind it is served. A request that got
// past the semaphore while another holds the lock (the semaphore raised by a
// "restore" that raced a request) must not put its pid in the file before it
// holds the lock: "restore" would kill it, a waiter, and leave the holder.
TEST(Entry, RestoreKillsTheLockHolderNotAProcessWaitingBehindIt) {
  Sandbox sandbox;
  CgiProcess holder = startHangingHolder(sandbox);
  ASSERT_TRUE(waitForPidFile(sandbox, holder.pid));
  EXPECT_EQ(0, semaphoreValue(sandbox));
  sem_t* semaphore = sem_open(sandbox.semaphoreName().c_str(), 0);
  ASSERT_NE(SEM_FAILED, semaphore);
  sem_post(semaphore);
  sem_close(semaphore);
  CgiProcess waiting = startCgi(sandbox, optionSet("waiter", "1"));
  ASSERT_TRUE(waitForLockWaiter(waiting.pid));
  EXPECT_EQ(std::to_string(holder.pid), sandbox.read(paths::kPidFile));

  EXPECT_EQ("ok", sandbox.get("restore").body);
  int status = waitWithin(holder, 10000);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the hung holder was left";
  CgiResponse served = waiting.finish();
  EXPECT_EQ(0, served.exitStatus) << "the waiting request was killed";
  EXPECT_EQ("{\"message\":\"ok\"}\n", served.body);
  EXPECT_EQ(1, semaphoreValue(sandbox));
  sandbox.get("restore");
  EXPECT_EQ(1, semaphoreValue(sandbox));
  Json::Value common = readJson(sandbox, paths::kConfigFile)["options"]["common"];
  EXPECT_EQ("1", common["waiter"].asString());
  EXPECT_FALSE(common.isMember("cover_files_names"));  // the killed listing stored nothing
}

// Clients running requests while another client sends "restore" every 10 ms:
// requests stay serialised (the semaphore never above 1, no answered option
// lost), and "restore" kills no request that was still waiting.
TEST(Entry, RestoreAmongConcurrentRequestsKeepsThemSerialised) {
  Sandbox sandbox;
  const int kClients = 16, kRounds = 6;
  std::string samples = sandbox.path("/var/samples");
  Child restorer = startFunction([&sandbox, &samples] {
    int highest = -1, restores = 0;
    for (int i = 0; i < 100000 && !sandbox.exists("/var/stop"); ++i) {
      highest = std::max(highest, semaphoreValue(sandbox));
      sandbox.get("restore");
      ++restores;
      highest = std::max(highest, semaphoreValue(sandbox));
      usleep(10000);
    }
    FILE* out = fopen(samples.c_str(), "w");
    if (out) fprintf(out, "%d %d", highest, restores);
    if (out) fclose(out);
    return 0;
  });
  ASSERT_GE(restorer.pid, 0);
  int answered = 0, killed = 0, other = 0;
  std::vector<std::string> mustHave;
  for (int round = 0; round < kRounds; ++round) {
    std::vector<std::pair<std::string, CgiProcess>> running;
    for (int client = 0; client < kClients; ++client) {
      std::string name = "r" + std::to_string(round) + "c" + std::to_string(client);
      running.emplace_back(name, startCgi(sandbox, optionSet(name, "v")));
    }
    for (auto& [name, process] : running) {
      CgiResponse response = process.finish();
      if (response.body == "{\"message\":\"ok\"}\n") {
        ++answered;
        mustHave.push_back(name);
      } else if (response.exitStatus == -1) {
        ++killed;
      } else {
        ++other;
      }
    }
  }
  sandbox.write("/var/stop", "");
  restorer.wait();
  int highest = -1, restores = 0;
  ASSERT_EQ(2, sscanf(sandbox.read("/var/samples").c_str(), "%d %d", &highest, &restores));
  sandbox.get("restore");
  Json::Value common = readJson(sandbox, paths::kConfigFile)["options"]["common"];
  int lost = 0;
  for (const std::string& name : mustHave) lost += common[name].asString() != "v";
  printf(
      "[ figures  ] %d requests, %d restores: %d answered, %d killed holders, %d other; %d answered lost; "
      "semaphore at most %d, after %d\n",
      kClients * kRounds, restores, answered, killed, other, lost, highest, semaphoreValue(sandbox));
  EXPECT_LE(highest, 1);
  EXPECT_EQ(1, semaphoreValue(sandbox));
  EXPECT_EQ(0, lost);
  EXPECT_EQ(0, other);
  EXPECT_GT(answered, 0);
}

const char kListing[] =
    "{\"currDirPlayPath\":\"local/USB\",\"files\":[{\"name\":\"Album\",\"path\":\"local/USB/Album\"}]}\n";

// SIGTERM is sent to pid and not yet delivered.
bool terminationPending(pid_t pid) {
  std::string status;
  readFile("/proc/" + std::to_string(pid) + "/status", status);
  for (const char* field : {"\nSigPnd:\t", "\nShdPnd:\t"}) {
    size_t at = status.find(field);
    if (at != std::string::npos && (std::stoull(status.substr(at + 9), nullptr, 16) >> (SIGTERM - 1)) & 1) return true;
  }
  return false;
}

TEST(Entry, TerminationWaitsUntilTheSemaphoreIsReleased) {
  Sandbox sandbox;
  CgiProcess holder = startHangingHolder(sandbox);
  ASSERT_TRUE(waitForPidFile(sandbox, holder.pid));

  // A waiting request told to end goes at once and takes nothing.
  CgiProcess waiting = startCgi(sandbox, optionSet("second", "2"));
  ASSERT_TRUE(waitForLockWaiter(waiting.pid));
  ASSERT_EQ(0, kill(waiting.pid, SIGTERM));
  CgiResponse ended = waiting.finish();
  EXPECT_EQ(0, ended.exitStatus);
  EXPECT_EQ("", ended.raw);
  EXPECT_EQ(0, semaphoreValue(sandbox));

  // The holder told to end, once it has taken the signal, finishes its
  // request and releases the semaphore.
  ASSERT_EQ(0, kill(holder.pid, SIGTERM));
  for (int i = 0; i < 500 && terminationPending(holder.pid); ++i) usleep(10000);
  ASSERT_FALSE(terminationPending(holder.pid));
  ASSERT_TRUE(openGate(sandbox));
  CgiResponse finished = holder.finish();
  EXPECT_EQ(0, finished.exitStatus);
  EXPECT_EQ(kListing, finished.body);
  EXPECT_EQ(1, semaphoreValue(sandbox));
  Json::Value common = readJson(sandbox, paths::kConfigFile)["options"]["common"];
  EXPECT_EQ("cover,front,*.icon", common["cover_files_names"].asString());
  EXPECT_FALSE(common.isMember("second"));
}

TEST(Entry, RequestWhoseClientWentAwayStillFreesTheSemaphore) {
  Sandbox sandbox;
  CgiProcess process = startCgi(sandbox, optionSet("gone", "yes"), false, true);
  int status = process.wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(1, semaphoreValue(sandbox));
  EXPECT_EQ("yes", readJson(sandbox, paths::kConfigFile)["options"]["common"]["gone"].asString());
}

// The poller's program, installed as do2: records its argument, environment
// and parent (the poller), then ends.
void installRecordingDo2(const Sandbox& sandbox) {
  unlink(sandbox.path(paths::kSelfProgram).c_str());
  sandbox.write(paths::kSelfProgram,
                "#!/bin/sh\necho \"$PPID $# $*\" >> \"$TAVORC_ROOT/var/do2.calls\"\n"
                "env > \"$TAVORC_ROOT/var/do2.env\"\n");
  chmod(sandbox.path(paths::kSelfProgram).c_str(), 0755);
}

// Ends the poller named by its pid file.
struct PollerCleanup {
  const Sandbox& sandbox;
  ~PollerCleanup() {
    pid_t poller = atoi(sandbox.read(paths::kPollerPidFile).c_str());
    if (poller > 0) kill(poller, SIGKILL);
  }
};

TEST(Entry, DaemonReturnsAtOnceAndThePollerStartsDo2WithoutTheCgiVariables) {
  Sandbox sandbox;
  PollerCleanup cleanup{sandbox};
  installRecordingDo2(sandbox);
  CgiRequest request;
  request.query = "daemon";
  request.method = "POST";
  request.cookie = "bid=TEST";
  request.body = "x=1";
  request.environment = {"HTTP_HOST=box.lan", "HTTP_REFERER=http://box.lan/rc/", "HTTP_SEC_FETCH_SITE=same-origin"};
  // The poller does not keep the web server's pipe open: the answer ends
  // with the request, long before the limit.
  CgiProcess daemon = startCgi(sandbox, request);
  auto start = std::chrono::steady_clock::now();
  ChildResult result = static_cast<Child&>(daemon).finish("", 10000);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 9.0);
  EXPECT_TRUE(result.exited(0));
  EXPECT_EQ("", result.output);

  std::string calls;
  for (int i = 0; i < 1000 && (calls = sandbox.read("/var/do2.calls")).empty(); ++i) usleep(10000);
  std::smatch match;
  ASSERT_TRUE(std::regex_match(calls, match, std::regex(R"((\d+) 1 cmd=history&action=update&log=0\n)"))) << calls;
  pid_t poller = std::stoi(match[1]);
  // The poller runs in a session of its own, away from the web server's.
  EXPECT_EQ(poller, getsid(poller));
  EXPECT_EQ(-1, semaphoreValue(sandbox));  // "daemon" never opened it

  for (int i = 0; i < 1000 && sandbox.read("/var/do2.env").empty(); ++i) usleep(10000);
  std::string env = sandbox.read("/var/do2.env");
  for (const char* variable : {"QUERY_STRING=", "REQUEST_METHOD=", "CONTENT_LENGTH=", "HTTP_COOKIE=", "HTTP_HOST=",
                               "HTTP_REFERER=", "HTTP_SEC_FETCH_SITE="})
    EXPECT_EQ(std::string::npos, env.find(std::string("\n") + variable)) << variable << " reached do2";
  EXPECT_NE(std::string::npos, env.find("TAVORC_ROOT=" + sandbox.root() + "\n"));
  EXPECT_EQ(std::to_string(poller), sandbox.read(paths::kPollerPidFile));
}

}  // namespace
