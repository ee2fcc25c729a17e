// The built tavorc against a real update server (lighttpd on 127.0.0.1) with
// the real wget and unzip: what it asks, what it answers, what it leaves.
#include <gtest/gtest.h>
#include <json/json.h>
#include <signal.h>

#include <cctype>
#include <chrono>
#include <ctime>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/paths.h"
#include "core/result.h"
#include "core/utils.h"
#include "tests/support/programs.h"
#include "tests/support/sandbox.h"
#include "tests/support/webserver.h"
#include "tests/update/update_server.h"

namespace {

using paths::kConfigFile;
using paths::kUpdateDir;
using Files = std::vector<std::pair<std::string, std::string>>;

const char kModel[] = "model: T-100\n";
const char kSerial[] = "07A1-B2C3-D4E5\n";
const std::string kWithSerial = kModel + std::string("serial_number: ") + kSerial;
const char kUnable[] = "Unable to check for updates";
const char kOk[] = "{\"message\":\"ok\"}\n";
const long kDay = 86400;

// An update script that records where and how it ran, and a file of its package.
const char kRecordingScript[] = "echo \"$(pwd) $# $(cat files/new.txt 2>/dev/null)\" > \"$TAVORC_ROOT/updated\"\n";

std::string configWith(const std::string& autocheck, const std::string& extraMembers = "") {
  return R"({"version":"2","options":{"common":{"autocheck_upd":")" + autocheck +
         R"(","language":"en","pbopt":"false"}})" + extraMembers + "}";
}

// The upper-case hexadecimal SHA-1 as the system's sha1sum computes it.
std::string sha1OfText(const std::string& text) {
  std::string digest = shellOutput("printf '%s' " + shellQuote(text) + " | sha1sum").substr(0, 40);
  for (char& c : digest) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return digest;
}

std::string checkRequest(const std::string& userId, const std::string& starts) {
  return "GET /last_version.php?user_id=" + userId + "&version=0.7.1&r_starts=" + starts + " HTTP/1.1";
}

// True once the process has ended (polled for 5 s).
bool gone(pid_t pid) {
  for (int tenth = 0; tenth < 50; ++tenth) {
    if (pid > 0 && (kill(pid, 0) != 0 || isZombie(pid))) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

class UpdateSystem : public ::testing::Test {
 protected:
  Sandbox sandbox;
  UpdateServer server{sandbox.path("/update-server")};
  SigningKey key{sandbox.path("/key")};
  time_t sentAt = 0, answeredAt = 0;  // of the last request

  void SetUp() override { sandbox.write(paths::kSysInfo, kWithSerial); }

  CgiResponse request(const std::string& query, const std::string& url = "") {
    CgiRequest r;
    r.query = query;
    r.cookie = "bid=TEST";
    r.environment = {"TAVORC_UPDATE_URL=" + (url.empty() ? server.url() : url), key.environment()};
    sentAt = time(nullptr);
    CgiResponse response = sandbox.run(r);
    answeredAt = time(nullptr);
    return response;
  }

  // A package of these files, signed (unless signer is null) and then
  // changed; the update server hands it out.
  void offer(const Files& files, const SigningKey* signer, const Files& changesAfterSigning = {}) {
    std::string folder = "/zip-" + std::to_string(++m_zips);
    for (const auto& file : files) sandbox.write(folder + "/" + file.first, file.second);
    if (signer) signer->sign(sandbox.path(folder));
    for (const auto& file : changesAfterSigning) sandbox.write(folder + "/" + file.first, file.second);
    server.put("download.php", shellOutput("cd " + shellQuote(sandbox.path(folder)) + " && zip -q -X -r - ."));
  }

  // The archive, its unpacked files and what the script wrote are gone.
  void expectNothingLeftInTmp() {
    for (const char* path : {paths::kUpdateArchive, paths::kUpdateDir, paths::kUpdateListing, paths::kUpdateErrors,
                             paths::kUpdateCheckRoot})
      EXPECT_FALSE(sandbox.exists(path)) << path;
  }

  Json::Value config() {
    Json::Value root;
    EXPECT_TRUE(Json::Reader().parse(sandbox.read(kConfigFile), root, false));
    return root;
  }

  // The last request put the next automatic check this far off.
  void expectNextCheck(long delay) {
    Json::Value nnvc = config()["nnvc"];
    ASSERT_TRUE(nnvc.isString());
    EXPECT_GE(std::stol(nnvc.asString()), sentAt + delay);
    EXPECT_LE(std::stol(nnvc.asString()), answeredAt + delay);
  }

 private:
  int m_zips = 0;
};

// ---- check_new_version, drml and cancel_update

TEST_F(UpdateSystem, CheckAsksTheServerWithIdVersionAndCountdownAndPassesTheReplyOn) {
  server.put("last_version.php", R"({"versionNumber":"0.8","notes":"fixes"})");
  const std::string id = sha1OfText(kSerial);
  auto offered = [](const std::string& silent) {
    return "{\"currentVersionNumber\":\"0.7.1\",\"notes\":\"fixes\",\"silentMode\":\"" + silent +
           "\",\"versionNumber\":\"0.8\"}\n";
  };
  const struct {
    const char* description;
    std::string sysinfo, config;  // config empty: none yet
    const char* query;
    std::string answer;
    std::vector<std::string> requests;  // what the server is asked
  } cases[] = {
      {"by hand", kWithSerial, "", "", offered("false"), {checkRequest(id, "999")}},
      {"no serial number", kModel, "", "", offered("false"), {checkRequest("", "999")}},
      {"automatic: silent, with the stored countdown",
       kWithSerial,
       configWith("true", R"(,"do":{"last_check":0,"r_starts":-2})"),
       "&auto_mode=1",
       offered("true"),
       {checkRequest(id, "-2")}},
      {"automatic, switched off", kWithSerial, configWith("false"), "&auto_mode=1", "{\"message\":\"cancel\"}\n", {}},
      {"switched off holds back automatic checks only",
       kWithSerial,
       configWith("false"),
       "&auto_mode=0",
       offered("false"),
       {checkRequest(id, "999")}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.description);
    sandbox.write(paths::kSysInfo, c.sysinfo);
    unlink(sandbox.path(kConfigFile).c_str());
    if (!c.config.empty()) sandbox.write(kConfigFile, c.config);
    size_t asked = server.requests().size();
    expectJson(request(std::string("cmd=check_new_version") + c.query), c.answer);
    std::vector<std::string> requests = server.requests();
    EXPECT_EQ(c.requests, std::vector<std::string>(requests.begin() + asked, requests.end()));
    expectNextCheck(kDay);
    EXPECT_EQ(c.config.find("\"do\"") != std::string::npos, config().isMember("do"))
        << "reading the countdown creates nothing";
  }
}

// "drml" puts the donation reminder off: the countdown (which app_info counts
// down) starts again at 3, and the next check reports it. "cancel_update"
// puts the next check a week off, and a check brings it back to a day.
TEST_F(UpdateSystem, RemindLaterRestartsTheCountdownAndCancelPutsTheNextCheckOff) {
  server.put("last_version.php", "null");
  expectJson(request("cmd=drml&action=anything"), kOk);
  EXPECT_EQ("{\"last_check\":0,\"r_starts\":3}\n", toJsonText(config()["do"])) << "made first, then put off";
  expectJson(request("cmd=cancel_update"), kOk);
  expectNextCheck(7 * kDay);
  expectError(request("cmd=check_new_version"), kUnable);
  expectNextCheck(kDay);
  EXPECT_EQ(std::vector<std::string>{checkRequest(sha1OfText(kSerial), "3")}, server.requests());

  sandbox.write(kConfigFile, configWith("true", R"(,"do":{"last_check":1000,"r_starts":0})"));
  request("cmd=drml");
  EXPECT_EQ("{\"last_check\":1000,\"r_starts\":3}\n", toJsonText(config()["do"])) << "due and shown, then put off";
}

// A refused connection is not retried; a server that never answers is given
// up after wget's time limits (-T 5 -t 2).
TEST_F(UpdateSystem, UnreachableServersAreGivenUpWithinTheTimeLimit) {
  SilentServer silent;
  for (const auto& [url, within] :
       {std::pair<std::string, long>{"http://127.0.0.1:" + std::to_string(freePort()), 5}, {silent.url(), 15}}) {
    SCOPED_TRACE(url);
    expectError(request("cmd=check_new_version", url), kUnable);
    EXPECT_LT(answeredAt - sentAt, within);
  }
}

// ---- try_update

TEST_F(UpdateSystem, SignedUpdateRunsItsScriptInTheUnpackedPackageAndLeavesNothingInTmp) {
  offer({{"update.sh", kRecordingScript}, {"files/new.txt", "payload"}}, &key);
  expectJson(request("cmd=try_update"), kOk);
  EXPECT_EQ(sandbox.path(kUpdateDir) + " 0 payload\n", sandbox.read("/updated"));
  EXPECT_EQ(
      std::vector<std::string>{"GET /download.php?file_name=tavo_update&user_id=" + sha1OfText(kSerial) + " HTTP/1.1"},
      server.requests());
  expectNothingLeftInTmp();

  // No archive comes now: the earlier one does not run again.
  sandbox.write("/updated", "");
  server.remove("download.php");
  expectError(request("cmd=try_update"), "error 0 ");
  EXPECT_EQ("", sandbox.read("/updated"));

  // A script that fails: "error 3", with its last message in the log.
  offer({{"update.sh", "echo 'health check failed: no answer' >&2\nexit 3\n"}}, &key);
  expectError(request("cmd=try_update"), "error 3");
  EXPECT_NE(std::string::npos,
            sandbox.read(paths::kLogFile).find(" error : update.sh failed: health check failed: no answer\n"));
  expectNothingLeftInTmp();
}

TEST_F(UpdateSystem, PackagesThatCannotBeCheckedOrUnpackedRunNothing) {
  SigningKey other(sandbox.path("/other-key"));
  const Files script = {{"update.sh", kRecordingScript}};
  const std::string big = shellOutput("head -c 20000000 /dev/urandom | base64 -w 0");
  const struct {
    const char* description;
    Files files;
    const SigningKey* signer;
    Files changes;        // written into the package after signing
    const char* archive;  // what the server hands out instead of the package
    const char* error;
  } cases[] = {
      {"unsigned", script, nullptr, {}, nullptr, "error 4"},
      {"signed with another key", script, &other, {}, nullptr, "error 4"},
      {"its script changed after signing", script, &key, {{"update.sh", "exit 0\n"}}, nullptr, "error 4"},
      {"a file added after signing", script, &key, {{"more.sh", "exit 0\n"}}, nullptr, "error 4"},
      {"over the download bound", {script[0], {"big", big}}, &key, {}, nullptr, "error 4"},
      {"unpacking beyond its bound", {script[0], {"0", std::string(33 << 20, '0')}}, &key, {}, nullptr, "error 4"},
      {"older than the version running", {script[0], {"version", "0.6.9\n"}}, &key, {}, nullptr, "error 4"},
      {"no zip archive", script, &key, {}, "<html>maintenance</html>", "error 2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.description);
    offer(c.files, c.signer, c.changes);
    if (c.archive) server.put("download.php", c.archive);
    expectError(request("cmd=try_update"), c.error);
    EXPECT_FALSE(sandbox.exists("/updated"));
    expectNothingLeftInTmp();
  }
  EXPECT_NE(std::string::npos, sandbox.read(paths::kLogFile).find("update refused: the package is not signed"));

  // A script left by an earlier update does not stand in for the package's.
  sandbox.write(std::string(kUpdateDir) + "/update.sh", kRecordingScript);
  offer({{"tavo/update.sh", kRecordingScript}}, &key);
  expectError(request("cmd=try_update"), "error 2");
  EXPECT_FALSE(sandbox.exists("/updated"));
  expectNothingLeftInTmp();

  sandbox.write(kUpdateDir, "a file where the folder belongs");
  offer(script, &key);
  expectError(request("cmd=try_update"), "error 1");
  EXPECT_FALSE(sandbox.exists("/updated"));
}

// The script runs in a process group of its own: the time limit ends it with
// what it started, and so does a "restore" that kills the request holding it.
TEST_F(UpdateSystem, TimeLimitAndRestoreEndTheScriptWithWhatItStarted) {
  // It stops as if in the new program's check, whose scratch root restore also removes.
  offer({{"update.sh",
          "mkdir -p \"$TAVORC_ROOT/tmp/orvex_check\"\nsleep 60 &\necho $! >\"$TAVORC_ROOT/sleeper\"\nwait\n"}},
        &key);
  CgiRequest limited;
  limited.query = "cmd=try_update";
  limited.cookie = "bid=TEST";
  limited.environment = {"TAVORC_UPDATE_URL=" + server.url(), key.environment(), "TAVORC_UPDATE_TIME_LIMIT=1"};
  expectError(sandbox.run(limited), "error 3");
  EXPECT_TRUE(gone(atoi(sandbox.read("/sleeper").c_str())));

  sandbox.write("/sleeper", "");
  limited.environment.pop_back();
  CgiProcess holder = startCgi(sandbox, limited);
  pid_t sleeper = 0;
  for (int tenth = 0; tenth < 100 && sleeper <= 0; ++tenth) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    sleeper = atoi(sandbox.read("/sleeper").c_str());
  }
  ASSERT_GT(sleeper, 0);
  EXPECT_EQ("ok", sandbox.get("restore").body);
  holder.wait();
  EXPECT_TRUE(gone(sleeper));
  expectNothingLeftInTmp();
}

}  // namespace
