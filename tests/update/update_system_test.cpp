// The built tavorc against a real update server: what it asks, what it
// answers, what it leaves in the sandbox.
#include <gtest/gtest.h>
#include <json/json.h>

#include <ctime>
#include <string>
#include <vector>

#include "core/paths.h"
#include "tests/update/update_harness.h"

using namespace updatetest;

namespace {

const char kSerial[] = "07A1-B2C3-D4E5\n";
using paths::kConfigFile;
using paths::kUpdateDir;
const char kUnable[] = "Unable to check for updates";

std::string configWith(const std::string& autocheck, const std::string& extraMembers = "") {
  return R"({"version":"2","options":{"common":{"autocheck_upd":")" + autocheck +
         R"(","language":"en","pbopt":"false"}})" + extraMembers + "}";
}

class UpdateSystem : public ::testing::Test {
 protected:
  Sandbox sandbox;
  UpdateServer server;

  void SetUp() override { sandbox.write(paths::kSysInfo, std::string("model: T-100\nserial_number: ") + kSerial); }

  CgiResponse request(const std::string& query, const std::string& url = "") {
    return runCgi(sandbox, query, url.empty() ? server.url() : url);
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

  std::string checkRequest(const std::string& userId, const std::string& starts) {
    return "GET /last_version.php?user_id=" + userId + "&version=0.7.1&r_starts=" + starts + " HTTP/1.1";
  }
};

void expectAnswer(const CgiResponse& r, int status, const std::string& type, const std::string& body) {
  std::string date = r.header("Date");
  EXPECT_EQ("Status: " + std::to_string(status) + "\nContent-Type: " + type + "\nDate: " + date +
                "\nExpires: " + date + "\n",
            r.headers);
  EXPECT_EQ(body, r.body);
  EXPECT_EQ(0, r.exitStatus);
}

void expectJson(const CgiResponse& r, const std::string& body) {
  expectAnswer(r, 200, "application/json; charset=utf8", body);
}

void expectError(const CgiResponse& r, const std::string& message) { expectAnswer(r, 500, "text/plain", message); }

// ---- check_new_version

TEST_F(UpdateSystem, CheckPassesReplyThroughAndSendsIdVersionAndCountdown) {
  server.put("last_version.php", R"({"versionNumber":"0.8","notes":"fixes"})");
  time_t before = time(nullptr);
  CgiResponse r = request("cmd=check_new_version");
  time_t after = time(nullptr);

  expectJson(r, "{\"currentVersionNumber\":\"0.7.1\",\"notes\":\"fixes\",\"silentMode\":\"false\","
                "\"versionNumber\":\"0.8\"}\n");
  EXPECT_EQ(std::vector<std::string>{checkRequest(sha1OfText(kSerial), "999")}, server.requests());
  expectNextCheck(before, after, 86400);
  EXPECT_FALSE(config().isMember("do")) << "reading the countdown creates nothing";
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

  // the switch only holds back automatic checks
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
  CgiResponse r = request("cmd=check_new_version", "http://127.0.0.1:" + std::to_string(unusedPort()));
  expectError(r, kUnable);
  EXPECT_LT(r.seconds, 5.0);
}

TEST_F(UpdateSystem, SilentServerIsGivenUpWithinTheTimeLimit) {
  SilentServer silent;
  CgiResponse r = request("cmd=check_new_version", silent.url());
  expectError(r, kUnable);
  EXPECT_LT(r.seconds, 15.0);
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

const char kRecordingScript[] =
    "echo \"$(pwd) $#\" > \"$TAVORC_ROOT/updated\"\n"
    "exit 3\n";

TEST_F(UpdateSystem, UpdateRunsTopLevelScriptInUnpackDirectory) {
  server.put("download.php", makeZip({{"update.sh", kRecordingScript}, {"files/new.txt", "payload"}}));
  CgiResponse r = request("cmd=try_update");

  expectJson(r, "{\"message\":\"ok\"}\n");  // the script's own status does not matter
  EXPECT_EQ(sandbox.path(kUpdateDir) + " 0\n", sandbox.read("/updated"));
  EXPECT_EQ("payload", sandbox.read(std::string(kUpdateDir) + "/files/new.txt"));
  EXPECT_EQ(std::vector<std::string>{"GET /download.php?file_name=tavo_update&user_id=" + sha1OfText(kSerial) +
                                     " HTTP/1.1"},
            server.requests());
}

TEST_F(UpdateSystem, UpdateScriptInSubfolderIsNotRun) {
  // a script left by an earlier update must not stand in for the missing one
  sandbox.write(std::string(kUpdateDir) + "/update.sh", kRecordingScript);
  server.put("download.php", makeZip({{"tavo/update.sh", kRecordingScript}}));

  expectError(request("cmd=try_update"), "error 2");
  EXPECT_FALSE(sandbox.exists("/updated"));
  EXPECT_FALSE(sandbox.exists(std::string(kUpdateDir) + "/update.sh"));
  EXPECT_TRUE(sandbox.exists(std::string(kUpdateDir) + "/tavo/update.sh"));
}

TEST_F(UpdateSystem, ArchiveThatIsNotZipIsNotRun) {
  server.put("download.php", "<html>maintenance</html>");
  expectError(request("cmd=try_update"), "error 2");
}

TEST_F(UpdateSystem, FailedDownloadAnswersError0EvenAfterAnEarlierUpdate) {
  server.put("download.php", makeZip({{"update.sh", kRecordingScript}}));
  expectJson(request("cmd=try_update"), "{\"message\":\"ok\"}\n");
  sandbox.write("/updated", "");

  server.remove("download.php");
  expectError(request("cmd=try_update"), "error 0 ");
  EXPECT_EQ("", sandbox.read("/updated")) << "the old update must not run again";

  expectError(request("cmd=try_update", "http://127.0.0.1:" + std::to_string(unusedPort())), "error 0 ");
}

TEST_F(UpdateSystem, UnpackDirectoryThatCannotBeMadeAnswersError1) {
  sandbox.write(kUpdateDir, "a file where the folder belongs");
  server.put("download.php", makeZip({{"update.sh", kRecordingScript}}));
  expectError(request("cmd=try_update"), "error 1");
  EXPECT_FALSE(sandbox.exists("/updated"));
}

TEST(UpdateSystemRoot, RootWithBlanksAndQuotesIsOneWordForTheShell) {
  Sandbox sandbox("tavorc update it's $(x) -XXXXXX");
  UpdateServer server;
  sandbox.write(std::string(kUpdateDir) + "/stale.txt", "from an earlier update");
  server.put("download.php", makeZip({{"update.sh", kRecordingScript}}));

  expectJson(runCgi(sandbox, "cmd=try_update", server.url()), "{\"message\":\"ok\"}\n");
  EXPECT_EQ(sandbox.path(kUpdateDir) + " 0\n", sandbox.read("/updated"));
  EXPECT_FALSE(sandbox.exists(std::string(kUpdateDir) + "/stale.txt"));
}

}  // namespace
