#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <set>

#include "core/paths.h"
#include "tests/support/cgiprocess.h"
#include "tests/support/child.h"
#include "tests/support/sandbox.h"
#include "tests/support/webserver.h"

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string webDir(const Sandbox& sandbox) {
  sandbox.mkdirs("/web");
  return sandbox.path("/web");
}

std::string tavorcUrl(const WebServer& server, const std::string& query) { return server.url("/cgi-bin/do2?" + query); }

// Names of the temporary files a killed save left in the configuration folder.
std::vector<std::string> leftoverTemporaries(const Sandbox& sandbox) {
  std::vector<std::string> names;
  DIR* dir = opendir(sandbox.path("/persistfs/orvex/etc").c_str());
  while (struct dirent* entry = dir ? readdir(dir) : nullptr)
    if (std::string(entry->d_name).find(".tmp") != std::string::npos) names.push_back(entry->d_name);
  if (dir) closedir(dir);
  return names;
}

TEST(CoreWeb, FiftyConcurrentOptionSetsAllLand) {
  Sandbox sandbox;
  WebServer server(sandbox, webDir(sandbox));
  ASSERT_TRUE(server.running());
  const int kRequests = 50;
  auto start = std::chrono::steady_clock::now();
  std::string codes = shellOutput("seq 1 " + std::to_string(kRequests) + " | xargs -P " + std::to_string(kRequests) +
                                  " -I{} curl -s -o /dev/null --max-time 60 -w '%{http_code}\\n' -b bid=W '" +
                                  tavorcUrl(server, "cmd=option&action=set&opt_name=o{}&opt_value=v{}") + "'");
  double took = secondsSince(start);
  int ok = 0;
  for (size_t at = 0; (at = codes.find("200\n", at)) != std::string::npos; at += 4) ++ok;
  printf("[ figures  ] %d concurrent option sets: %d answered 200 in %.2f s\n", kRequests, ok, took);
  EXPECT_EQ(kRequests, ok) << codes;

  Json::Value document;
  ASSERT_TRUE(parsesAsJson(sandbox.read(paths::kConfigFile), &document));
  Json::Value common = document["options"]["common"];
  int stored = 0;
  for (int i = 1; i <= kRequests; ++i) {
    std::string name = "o" + std::to_string(i);
    if (common[name].asString() == "v" + std::to_string(i))
      ++stored;
    else
      ADD_FAILURE() << name << " lost";
  }
  printf("[ figures  ] options stored: %d of %d; semaphore %d\n", stored, kRequests, semaphoreValue(sandbox));
  EXPECT_EQ("2", document["version"].asString());
  EXPECT_EQ(1, semaphoreValue(sandbox));
}

// curl in the background; its answer lands in a file.
pid_t curlInBackground(const std::string& url, const std::string& outFile) {
  return startChild({{"curl", "-s", "--max-time", "60", "-b", "bid=W", "-o", outFile, url}}).pid;
}

// Sends a request on fd and waits until its process holds the semaphore; the
// pid file's text, empty when it never did.
std::string sendHangingRequest(int fd, const std::string& head, const Sandbox& sandbox) {
  EXPECT_EQ(static_cast<ssize_t>(head.size()), write(fd, head.data(), head.size()));
  std::string holder;
  for (int i = 0; i < 500 && (holder.empty() || semaphoreValue(sandbox) != 0); ++i) {
    usleep(10000);
    holder = sandbox.read(paths::kPidFile);
  }
  return holder;
}

const char kGatedListing[] =
    "GET /cgi-bin/do2?cmd=file_list&path=local/USB HTTP/1.1\r\nHost: 127.0.0.1\r\n"
    "Cookie: bid=W\r\n\r\n";

TEST(CoreWeb, HungRequestBlocksOthersUntilRestoreKillsIt) {
  Sandbox sandbox;
  installGatedStorage(sandbox);
  WebServer server(sandbox, webDir(sandbox));
  ASSERT_TRUE(server.running());
  auto start = std::chrono::steady_clock::now();

  // A listing whose storage scan hangs (blkid waits at the gate) holds the semaphore.
  int hung = connectTo(server.port());
  ASSERT_GE(hung, 0);
  std::string holder = sendHangingRequest(hung, kGatedListing, sandbox);
  ASSERT_FALSE(holder.empty()) << "the hanging request never started";
  ASSERT_EQ(0, semaphoreValue(sandbox));
  pid_t holderPid = std::stoi(holder);
  EXPECT_EQ(0, kill(holderPid, 0));

  std::string blockedOut = sandbox.path("/web/blocked.out");
  pid_t blocked = curlInBackground(tavorcUrl(server, "cmd=option&action=set&opt_name=after&opt_value=1"), blockedOut);
  usleep(700000);
  EXPECT_EQ(0, waitpid(blocked, nullptr, WNOHANG)) << "a request was served past the hung one";

  std::string restore = curlGet(tavorcUrl(server, "restore"));
  EXPECT_NE(std::string::npos, restore.find("\r\n\r\nok")) << restore;
  int status = 0;
  ASSERT_EQ(blocked, waitpid(blocked, &status, 0));
  EXPECT_EQ(0, WEXITSTATUS(status));
  EXPECT_EQ("{\"message\":\"ok\"}\n", sandbox.read("/web/blocked.out"));
  for (int i = 0; i < 100 && kill(holderPid, 0) == 0; ++i) usleep(10000);
  EXPECT_NE(0, kill(holderPid, 0)) << "the hung holder still runs";

  curlGet(tavorcUrl(server, "restore"));
  EXPECT_EQ(1, semaphoreValue(sandbox));
  close(hung);
  std::string again = curlGet(tavorcUrl(server, "cmd=option&action=list"), "-b bid=W");
  EXPECT_NE(std::string::npos, again.find("\"after\":\"1\"")) << again;
  EXPECT_EQ(1, semaphoreValue(sandbox));
  openGate(sandbox, 100);  // the killed holder's blkid
  printf("[ figures  ] hung holder %d killed by restore, blocked request served, semaphore %d, %.2f s\n", holderPid,
         semaphoreValue(sandbox), secondsSince(start));
}

TEST(CoreWeb, ClientGoingAwayWhileItsRequestHoldsTheSemaphoreBlocksNobody) {
  Sandbox sandbox;
  installGatedStorage(sandbox);
  WebServer server(sandbox, webDir(sandbox));
  ASSERT_TRUE(server.running());
  int gone = connectTo(server.port());
  ASSERT_GE(gone, 0);
  std::string holder = sendHangingRequest(gone, kGatedListing, sandbox);
  ASSERT_FALSE(holder.empty()) << "the request never started";
  auto start = std::chrono::steady_clock::now();
  close(gone);
  // The web server ends the request; it finishes once its scan goes on and
  // releases the semaphore on its way out.
  usleep(200000);
  EXPECT_TRUE(openGate(sandbox));
  std::string next = curlGet(tavorcUrl(server, "cmd=option&action=list&log=0"), "-b bid=W --max-time 10");
  double took = secondsSince(start);
  EXPECT_NE(std::string::npos, next.find("HTTP/1.1 200")) << next;
  EXPECT_EQ(1, semaphoreValue(sandbox));
  for (int i = 0; i < 100 && kill(std::stoi(holder), 0) == 0; ++i) usleep(10000);
  EXPECT_NE(0, kill(std::stoi(holder), 0));
  printf("[ figures  ] request of a vanished client ended; next request served after %.2f s, semaphore %d\n", took,
         semaphoreValue(sandbox));
}

// A client that promises a body and stops sending: the others are served at
// once, and the stalled request goes on without a body after its time limit.
TEST(CoreWeb, StalledPostBodyHoldsUpNobody) {
  Sandbox sandbox;
  WebServer server(sandbox, webDir(sandbox));
  ASSERT_TRUE(server.running());
  int stalled = connectTo(server.port());
  ASSERT_GE(stalled, 0);
  std::string head =
      "POST /cgi-bin/do2?cmd=option&action=set HTTP/1.1\r\nHost: 127.0.0.1\r\n"
      "Cookie: bid=W\r\nContent-Length: 100\r\n\r\nstalled=1&b=";
  ASSERT_EQ(static_cast<ssize_t>(head.size()), write(stalled, head.data(), head.size()));
  usleep(300000);
  auto start = std::chrono::steady_clock::now();
  std::string other =
      curlGet(tavorcUrl(server, "cmd=option&action=set&opt_name=other&opt_value=1"), "-b bid=W --max-time 20");
  double servedAfter = secondsSince(start);
  EXPECT_NE(std::string::npos, other.find("{\"message\":\"ok\"}")) << other;
  EXPECT_LT(servedAfter, 3.0);  // well below the stalled body's 5 s
  std::string answer;
  char buffer[4096];
  ssize_t n;
  struct timeval limit = {15, 0};
  setsockopt(stalled, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  while (answer.find("option name not defined") == std::string::npos && (n = read(stalled, buffer, sizeof buffer)) > 0)
    answer.append(buffer, static_cast<size_t>(n));
  double stalledAfter = secondsSince(start);
  close(stalled);
  EXPECT_NE(std::string::npos, answer.find("HTTP/1.1 500")) << answer;
  EXPECT_NE(std::string::npos, answer.find("option name not defined")) << answer;
  EXPECT_FALSE(readJson(sandbox, paths::kConfigFile)["options"]["common"].isMember("stalled"));
  printf("[ figures  ] stalled POST: another request served after %.2f s; the stalled one answered after %.2f s\n",
         servedAfter, stalledAfter);
}

TEST(CoreWeb, RequestsKilledAtRandomMomentsNeverCorruptOrLoseAnsweredOptions) {
  Sandbox sandbox;
  const char kOk[] = "{\"message\":\"ok\"}\n";
  // How long one request takes here, so that the kills fall all over it.
  auto start = std::chrono::steady_clock::now();
  const int kWarmUp = 5;
  for (int i = 0; i < kWarmUp; ++i)
    ASSERT_EQ(kOk, sandbox.run(optionSet("k" + std::to_string(-1 - i), "v" + std::to_string(-1 - i), "bid=W")).body);
  double perRequest = secondsSince(start) / kWarmUp;
  long spanMicros = static_cast<long>(perRequest * 1.3e6);

  std::mt19937 random(20261208);
  const int kRequests = 200;
  int answered = 0, restores = 0, unanswered = 0;
  std::set<int> mustHave;
  start = std::chrono::steady_clock::now();
  for (int i = 0; i < kRequests; ++i) {
    CgiProcess process = startCgi(sandbox, optionSet("k" + std::to_string(i), "v" + std::to_string(i), "bid=W"));
    usleep(static_cast<useconds_t>(random() % static_cast<unsigned long>(spanMicros)));
    kill(process.pid, SIGKILL);
    CgiResponse response = process.finish();
    if (response.body == kOk) {
      ++answered;
      mustHave.insert(i);
    } else {
      ++unanswered;
    }
    std::string text = sandbox.read(paths::kConfigFile);
    Json::Value document;
    ASSERT_TRUE(parsesAsJson(text, &document)) << "unparsable configuration after request " << i << ": " << text;
    ASSERT_EQ("2", document["version"].asString());
    for (int k : mustHave)
      ASSERT_EQ("v" + std::to_string(k), document["options"]["common"]["k" + std::to_string(k)].asString())
          << "option k" << k << " was answered but is lost after request " << i;
    if (semaphoreValue(sandbox) == 0) {
      ++restores;
      ASSERT_EQ("ok", sandbox.get("restore").body);
    }
    ASSERT_EQ(1, semaphoreValue(sandbox));
  }
  printf(
      "[ figures  ] %d requests killed within %ld us (one request takes %.1f ms): %d had answered, %d had not; "
      "%d restores; %zu temporary files left; %.2f s\n",
      kRequests, spanMicros, perRequest * 1000, answered, unanswered, restores, leftoverTemporaries(sandbox).size(),
      secondsSince(start));
  EXPECT_GT(answered, 0);
  EXPECT_GT(unanswered, 0);
  // A save killed mid-way leaves at most its one temporary file behind.
  EXPECT_LE(leftoverTemporaries(sandbox).size(), 1u);
}

// Through the web server, a foreign page's request gets the status 403 and
// changes nothing; the box's own page and curl pass.
TEST(CoreWeb, ForeignPageAndReboundNameAreRefusedWith403) {
  Sandbox sandbox;
  WebServer server(sandbox, webDir(sandbox));
  ASSERT_TRUE(server.running());
  std::string url = tavorcUrl(server, "cmd=option&action=set");
  std::string own = "http://127.0.0.1:" + std::to_string(server.port());
  const std::string refusals[] = {
      curlGet(url, "-b bid=W -H 'Origin: http://localhost:8299' -d show_covers=1"),
      curlGet(url, "-b bid=W -H 'Host: rebind.attacker.example' -d show_covers=2"),
  };
  for (const std::string& answer : refusals) {
    EXPECT_EQ(0u, answer.find("HTTP/1.1 403 ")) << answer;
    EXPECT_EQ("\r\n\r\ncross-site request refused", answer.substr(answer.size() - 30)) << answer;
  }
  EXPECT_FALSE(sandbox.exists(paths::kConfigFile));
  std::string page =
      curlGet(url, "-b bid=W -H 'Origin: " + own + "' -H 'Sec-Fetch-Site: same-origin' -d show_covers=4");
  EXPECT_EQ(0u, page.find("HTTP/1.1 200 ")) << page;
  EXPECT_EQ(0u, curlGet(url, "-b bid=W -d play_dwc=5").find("HTTP/1.1 200 "));
  Json::Value common = readJson(sandbox, paths::kConfigFile)["options"]["common"];
  EXPECT_EQ("4", common["show_covers"].asString());
  EXPECT_EQ("5", common["play_dwc"].asString());
}

}  // namespace
