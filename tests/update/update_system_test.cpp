// The built tavorc against a real update server (lighttpd on 127.0.0.1) with
// the real wget and unzip: what it asks, what it answers, what it leaves.
#include <gtest/gtest.h>
#include <json/json.h>
#include <signal.h>
#include <sys/stat.h>

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

const char kSerial[] = "07A1-B2C3-D4E5\n";
const char kUnable[] = "Unable to check for updates";

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

std::string unusedPortUrl() { return "http://127.0.0.1:" + std::to_string(freePort()); }

class UpdateSystem : public ::testing::Test {
 protected:
  Sandbox sandbox;
  UpdateServer server{sandbox.path("/update-server")};
  SigningKey key{sandbox.path("/key")};
  double seconds = 0;  // how long the last request took

  void SetUp() override { sandbox.write(paths::kSysInfo, std::string("model: T-100\nserial_number: ") + kSerial); }

  CgiResponse request(const std::string& query, const std::string& url = "") {
    CgiRequest r;
    r.query = query;
    r.cookie = "bid=TEST";
    r.environment = {"TAVORC_UPDATE_URL=" + (url.empty() ? server.url() : url), key.environment()};
    auto t0 = std::chrono::steady_clock::now();
    CgiResponse response = sandbox.run(r);
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return response;
  }

  void offer(const Files& files) { offer(files, &key); }
  void offer(const Files& files, const SigningKey* signer, const Files& changesAfterSigning = {});

  // The archive, its unpacked files and what the script wrote are gone.
  void expectNothingLeftInTmp() {
    for (const char* path : {paths::kUpdateArchive, paths::kUpdateDir, paths::kUpdateListing, paths::kUpdateErrors})
      EXPECT_FALSE(sandbox.exists(path)) << path;
  }

  static bool gone(pid_t pid) {
    for (int tenth = 0; tenth < 50; ++tenth) {
      if (pid > 0 && (kill(pid, 0) != 0 || isZombie(pid))) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

  Json::Value config() {
    Json::Value root;
    Json::Reader reader;
    EXPECT_TRUE(reader.parse(sandbox.read(kConfigFile), root, false));
    return root;
  }

  // "nnvc" lies between the two moments plus the delay.
  void expectNextCheck(time_t before, time_t after, long delay) {
    Json::Value nnvc = config()["nnvc"];
    ASSERT_TRUE(nnvc.isString());
    long value = std::stol(nnvc.asString());
    EXPECT_GE(value, before + delay);
    EXPECT_LE(value, after + delay);
  }

  std::string unpacked(const std::string& name) const { return std::string(kUpdateDir) + "/" + name; }

 private:
  int m_zips = 0;
};

std::string checkRequest(const std::string& userId, const std::string& starts) {
  return "GET /last_version.php?user_id=" + userId + "&version=0.7.1&r_starts=" + starts + " HTTP/1.1";
}

// ---- check_new_version

TEST_F(UpdateSystem, CheckPassesReplyThroughAndSendsIdVersionAndCountdown) {
  server.put("last_version.php", R"({"versionNumber":"0.8","notes":"fixes"})");
  time_t before = time(nullptr);
  CgiResponse r = request("cmd=check_new_version");
  time_t after = time(nullptr);

  expectJson(r,
             "{\"currentVersionNumber\":\"0.7.1\",\"notes\":\"fixes\",\"silentMode\":\"false\","
             "\"versionNumber\":\"0.8\"}\n");
  EXPECT_EQ(std::vector<std::string>{checkRequest(sha1OfText(kSerial), "999")}, server.requests());
  expectNextCheck(before, after, 86400);
  EXPECT_FALSE(config().isMember("do")) << "reading the countdown creates nothing";
}

// "drml" puts the donation reminder off: the countdown starts again at 3,
// which the next check reports and app_info counts down from.
TEST_F(UpdateSystem, RemindLaterRestartsTheCountdownTheServerIsTold) {
  server.put("last_version.php", R"({"versionNumber":"0.7.1"})");
  expectJson(request("cmd=drml&action=anything"), "{\"message\":\"ok\"}\n");
  EXPECT_EQ("{\"last_check\":0,\"r_starts\":3}\n", toJsonText(config()["do"])) << "made first, then put off";
  request("cmd=check_new_version");
  EXPECT_EQ(std::vector<std::string>{checkRequest(sha1OfText(kSerial), "3")}, server.requests());

  Json::Value stored = config();
  stored["do"] = Json::Value(Json::objectValue);
  stored["do"]["last_check"] = Json::Int64(time(nullptr) - 2 * 86400);
  stored["do"]["r_starts"] = 0;  // the reminder was due and shown
  sandbox.write(kConfigFile, toJsonText(stored));
  request("cmd=drml");
  EXPECT_EQ(3, config()["do"]["r_starts"].asInt());
  Json::Value info;
  ASSERT_TRUE(Json::Reader().parse(request("cmd=app_info").body, info));
  EXPECT_FALSE(info["sdb"].asBool()) << "two days later: one less, not yet due";
  EXPECT_EQ(2, config()["do"]["r_starts"].asInt());
}

TEST_F(UpdateSystem, AutomaticCheckIsSilentAndSendsStoredCountdown) {
  server.put("last_version.php", R"({"versionNumber":"0.8"})");
  sandbox.write(kConfigFile, configWith("true", R"(,"do":{"last_check":0,"r_starts":-2})"));
  CgiResponse r = request("cmd=check_new_version&auto_mode=1");

  expectJson(r, "{\"currentVersionNumber\":\"0.7.1\",\"silentMode\":\"true\",\"versionNumber\":\"0.8\"}\n");
  EXPECT_EQ(std::vector<std::string>{checkRequest(sha1OfText(kSerial), "-2")}, server.requests());
}

TEST_F(UpdateSystem, AutomaticCheckSwitchedOffCancelsWithoutAskingTheServer) {
  server.put("last_version.php", R"({"versionNumber":"0.8"})");
  sandbox.write(kConfigFile, configWith("false"));
  time_t before = time(nullptr);
  CgiResponse r = request("cmd=check_new_version&auto_mode=1");
  time_t after = time(nullptr);

  expectJson(r, "{\"message\":\"cancel\"}\n");
  EXPECT_TRUE(server.requests().empty());
  EXPECT_FALSE(sandbox.exists(paths::kVersionReply));
  expectNextCheck(before, after, 86400);

  // the switch holds back automatic checks only
  r = request("cmd=check_new_version&auto_mode=0");
  expectJson(r, "{\"currentVersionNumber\":\"0.7.1\",\"silentMode\":\"false\",\"versionNumber\":\"0.8\"}\n");
  EXPECT_EQ(1u, server.requests().size());
}

TEST_F(UpdateSystem, UnusableRepliesCannotBeChecked) {
  const struct {
    const char* description;
    const char* reply;  // null: the server has no such file
  } cases[] = {
      {"an array", R"([{"versionNumber":"0.8"}])"},
      {"null", "null"},
      {"no versionNumber", R"({"notes":"fixes"})"},
      {"versionNumber null", R"({"versionNumber":null})"},
      {"not found", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.description);
    if (c.reply)
      server.put("last_version.php", c.reply);
    else
      server.remove("last_version.php");
    expectError(request("cmd=check_new_version"), kUnable);
  }
}

TEST_F(UpdateSystem, MissingSerialNumberSendsEmptyUserId) {
  sandbox.write(paths::kSysInfo, "model: T-100\n");
  server.put("last_version.php", R"({"versionNumber":"0.8"})");
  request("cmd=check_new_version");
  EXPECT_EQ(std::vector<std::string>{checkRequest("", "999")}, server.requests());
}

TEST_F(UpdateSystem, ServerNobodyListensOnIsReportedAtOnce) {
  expectError(request("cmd=check_new_version", unusedPortUrl()), kUnable);
  EXPECT_LT(seconds, 5.0);
}

TEST_F(UpdateSystem, SilentServerIsGivenUpWithinTheTimeLimit) {
  SilentServer silent;
  expectError(request("cmd=check_new_version", silent.url()), kUnable);
  EXPECT_LT(seconds, 15.0);
}

// ---- cancel_update and the next check

TEST_F(UpdateSystem, CancelPutsNextCheckAWeekOffAndACheckBringsItBack) {
  time_t before = time(nullptr);
  CgiResponse r = request("cmd=cancel_update");
  time_t after = time(nullptr);
  expectJson(r, "{\"message\":\"ok\"}\n");
  expectNextCheck(before, after, 604800);
  EXPECT_TRUE(server.requests().empty());

  server.put("last_version.php", "null");
  before = time(nullptr);
  expectError(request("cmd=check_new_version"), kUnable);
  after = time(nullptr);
  expectNextCheck(before, after, 86400);
}

// ---- try_update

// A package made of these files, signed (unless signer is null) and then
// changed; the update server hands it out.
void UpdateSystem::offer(const Files& files, const SigningKey* signer, const Files& changesAfterSigning) {
  std::string folder = "/zip-" + std::to_string(++m_zips);
  for (const auto& file : files) sandbox.write(folder + "/" + file.first, file.second);
  if (signer) signer->sign(sandbox.path(folder));
  for (const auto& file : changesAfterSigning) sandbox.write(folder + "/" + file.first, file.second);
  server.put("download.php", shellOutput("cd " + shellQuote(sandbox.path(folder)) + " && zip -q -X -r - ."));
}

TEST_F(UpdateSystem, SignedUpdateRunsItsScriptInTheUnpackedPackageAndLeavesNothingInTmp) {
  offer({{"update.sh", kRecordingScript}, {"files/new.txt", "payload"}});
  expectJson(request("cmd=try_update"), "{\"message\":\"ok\"}\n");
  EXPECT_EQ(sandbox.path(kUpdateDir) + " 0 payload\n", sandbox.read("/updated"));
  EXPECT_EQ(
      std::vector<std::string>{"GET /download.php?file_name=tavo_update&user_id=" + sha1OfText(kSerial) + " HTTP/1.1"},
      server.requests());
  expectNothingLeftInTmp();

  // A script that fails: "error 3", with its last message in the log.
  offer({{"update.sh", "echo 'health check failed: no answer' >&2\nexit 3\n"}});
  expectError(request("cmd=try_update"), "error 3");
  EXPECT_NE(std::string::npos,
            sandbox.read(paths::kLogFile).find(" error : update.sh failed: health check failed: no answer\n"));
  expectNothingLeftInTmp();
}

TEST_F(UpdateSystem, PackagesNotSignedByTheMakerOrBeyondTheBoundsAreNotRun) {
  SigningKey other(sandbox.path("/other-key"));
  std::string big = shellOutput("head -c 20000000 /dev/urandom | base64 -w 0");
  const struct {
    const char* description;
    Files files;
    const SigningKey* signer;
    Files changes;  // written into the package after signing
  } cases[] = {
      {"unsigned", {{"update.sh", kRecordingScript}}, nullptr, {}},
      {"signed with another key", {{"update.sh", kRecordingScript}}, &other, {}},
      {"its script changed after signing",
       {{"update.sh", kRecordingScript}},
       &key,
       {{"update.sh", "touch $TAVORC_ROOT/updated\n"}}},
      {"a file added after signing", {{"update.sh", kRecordingScript}}, &key, {{"more.sh", "exit 0\n"}}},
      {"over the download bound", {{"update.sh", kRecordingScript}, {"big", big}}, &key, {}},
      {"unpacking beyond its bound",
       {{"update.sh", kRecordingScript}, {"zeros", std::string(33 << 20, '0')}},
       &key,
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.description);
    offer(c.files, c.signer, c.changes);
    expectError(request("cmd=try_update"), "error 4");
    EXPECT_FALSE(sandbox.exists("/updated"));
    expectNothingLeftInTmp();
  }
  EXPECT_NE(std::string::npos, sandbox.read(paths::kLogFile).find("update refused: the package is not signed"));
}

TEST_F(UpdateSystem, UpdateScriptInSubfolderIsNotRun) {
  // a script left by an earlier update must not stand in for the missing one
  sandbox.write(unpacked("update.sh"), kRecordingScript);
  offer({{"tavo/update.sh", kRecordingScript}});
  expectError(request("cmd=try_update"), "error 2");
  EXPECT_FALSE(sandbox.exists("/updated"));
  expectNothingLeftInTmp();
}

TEST_F(UpdateSystem, ArchiveThatIsNoZipIsNotRun) {
  server.put("download.php", "<html>maintenance</html>");
  expectError(request("cmd=try_update"), "error 2");
}

TEST_F(UpdateSystem, FailedDownloadAnswersError0EvenAfterAnEarlierUpdate) {
  offer({{"update.sh", kRecordingScript}});
  expectJson(request("cmd=try_update"), "{\"message\":\"ok\"}\n");
  sandbox.write("/updated", "");

  server.remove("download.php");
  expectError(request("cmd=try_update"), "error 0 ");
  EXPECT_EQ("", sandbox.read("/updated")) << "the old update must not run again";

  expectError(request("cmd=try_update", unusedPortUrl()), "error 0 ");
}

TEST_F(UpdateSystem, UnpackDirectoryThatCannotBeMadeAnswersError1) {
  sandbox.write(kUpdateDir, "a file where the folder belongs");
  offer({{"update.sh", kRecordingScript}});
  expectError(request("cmd=try_update"), "error 1");
  EXPECT_FALSE(sandbox.exists("/updated"));
}

// The script runs in a process group of its own: the time limit ends it with
// what it started, and so does a "restore" that kills the request holding it.
TEST_F(UpdateSystem, TimeLimitAndRestoreEndTheScriptWithWhatItStarted) {
  const char kHanging[] = "sleep 60 &\necho $! >\"$TAVORC_ROOT/sleeper\"\nwait\n";
  offer({{"update.sh", kHanging}});
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
}

}  // namespace
