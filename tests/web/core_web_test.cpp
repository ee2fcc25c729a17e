#include <dirent.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <set>

#include "core/paths.h"
#include "tests/support/cgiprocess.h"
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

// A client that promises a body and stops sending: the others are served
// first, and the stalled request goes on without a body after its time
// limit (5 s), the client still connected.
TEST(CoreWeb, StalledPostBodyHoldsUpNobody) {
  Sandbox sandbox;
  WebServer server(sandbox, webDir(sandbox));
  ASSERT_TRUE(server.running());
  int stalled = connectTo(server.port());
  ASSERT_GE(stalled, 0);
  std::string head =
      "POST /cgi-bin/do2?cmd=option&action=set HTTP/1.1\r\nHost: 127.0.0.1\r\n"
      "Cookie: bid=W\r\nContent-Length: 100\r\n\r\nstalled=1&b=";
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(static_cast<ssize_t>(head.size()), write(stalled, head.data(), head.size()));
  ASSERT_TRUE(waitForSemaphore(sandbox)) << "the stalled request never started";
  std::string other =
      curlGet(tavorcUrl(server, "cmd=option&action=set&opt_name=other&opt_value=1"), "-b bid=W --max-time 20");
  double servedAfter = secondsSince(start);
  EXPECT_NE(std::string::npos, other.find("{\"message\":\"ok\"}")) << other;
  struct pollfd answer = {stalled, POLLIN, 0};
  EXPECT_EQ(0, poll(&answer, 1, 0)) << "the stalled request answered before the other one";

  std::string text;
  char buffer[4096];
  ssize_t n;
  struct timeval limit = {30, 0};
  setsockopt(stalled, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  while (text.find("option name not defined") == std::string::npos && (n = read(stalled, buffer, sizeof buffer)) > 0)
    text.append(buffer, static_cast<size_t>(n));
  double stalledAfter = secondsSince(start);
  close(stalled);
  EXPECT_EQ(0u, text.find("HTTP/1.1 500")) << text;
  EXPECT_NE(std::string::npos, text.find("option name not defined")) << text;
  EXPECT_GE(stalledAfter, 4.5) << "the stalled request did not wait for its body";
  Json::Value common = readJson(sandbox, paths::kConfigFile)["options"]["common"];
  EXPECT_FALSE(common.isMember("stalled"));
  EXPECT_EQ("1", common["other"].asString());
  printf("[ figures  ] stalled POST: another request served after %.2f s; the stalled one answered after %.2f s\n",
         servedAfter, stalledAfter);
}

// Names of the temporary files a killed save left in the configuration folder.
std::vector<std::string> leftoverTemporaries(const Sandbox& sandbox) {
  std::vector<std::string> names;
  DIR* dir = opendir(sandbox.path("/persistfs/orvex/etc").c_str());
  while (struct dirent* entry = dir ? readdir(dir) : nullptr)
    if (std::string(entry->d_name).find(".tmp") != std::string::npos) names.push_back(entry->d_name);
  if (dir) closedir(dir);
  return names;
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
  int answered = 0, restores = 0;
  std::set<int> mustHave;
  start = std::chrono::steady_clock::now();
  for (int i = 0; i < kRequests; ++i) {
    CgiProcess process = startCgi(sandbox, optionSet("k" + std::to_string(i), "v" + std::to_string(i), "bid=W"));
    usleep(static_cast<useconds_t>(random() % static_cast<unsigned long>(spanMicros)));
    kill(process.pid, SIGKILL);
    if (process.finish().body == kOk) {
      ++answered;
      mustHave.insert(i);
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
      kRequests, spanMicros, perRequest * 1000, answered, kRequests - answered, restores,
      leftoverTemporaries(sandbox).size(), secondsSince(start));
  EXPECT_GT(answered, 0);
  EXPECT_LT(answered, kRequests);
  // A save killed mid-way leaves at most its one temporary file behind.
  EXPECT_LE(leftoverTemporaries(sandbox).size(), 1u);
}

// The page of another site, or a name rebound to the box, reaches nothing
// through the web server: not a command, not "restore", not "daemon"
// (status 403, no file, no semaphore); the box's own page and curl pass.
TEST(CoreWeb, ForeignPageAndReboundNameAreRefusedWith403) {
  Sandbox sandbox;
  WebServer server(sandbox, webDir(sandbox));
  ASSERT_TRUE(server.running());
  std::string url = tavorcUrl(server, "cmd=option&action=set");
  std::string own = "http://127.0.0.1:" + std::to_string(server.port());
  const struct {
    std::string url, headers;
  } foreign[] = {
      {url, "-H 'Origin: http://localhost:8299' -d show_covers=1"},
      {url, "-H 'Host: rebind.attacker.example' -d show_covers=2"},
      {url, "-e http://localhost:8299/ -d show_covers=3"},
      {tavorcUrl(server, "restore"), "-H 'Sec-Fetch-Site: cross-site'"},
      {tavorcUrl(server, "daemon"), "-H 'Sec-Fetch-Site: same-site'"},
  };
  for (const auto& row : foreign) {
    std::string answer = curlGet(row.url, "-b bid=W " + row.headers);
    EXPECT_EQ(0u, answer.find("HTTP/1.1 403 ")) << row.headers << "\n" << answer;
    EXPECT_EQ("\r\n\r\ncross-site request refused", answer.substr(answer.size() - 30)) << answer;
  }
  EXPECT_EQ(-1, semaphoreValue(sandbox));
  for (const char* file : {paths::kConfigFile, paths::kPidFile, paths::kPollerPidFile})
    EXPECT_FALSE(sandbox.exists(file)) << file;

  std::string page = curlGet(
      url, "-b bid=W -H 'Origin: " + own + "' -e " + own + "/rc/ -H 'Sec-Fetch-Site: same-origin' -d show_covers=4");
  EXPECT_EQ(0u, page.find("HTTP/1.1 200 ")) << page;
  EXPECT_EQ(0u, curlGet(url, "-b bid=W -d play_dwc=5").find("HTTP/1.1 200 "));
  Json::Value common = readJson(sandbox, paths::kConfigFile)["options"]["common"];
  EXPECT_EQ("4", common["show_covers"].asString());
  EXPECT_EQ("5", common["play_dwc"].asString());
}

}  // namespace
