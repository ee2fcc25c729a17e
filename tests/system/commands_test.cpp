#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <ctime>

#include "core/paths.h"
#include "core/result.h"
#include "tests/support/cgiprocess.h"
#include "tests/support/sandbox.h"

namespace {

Json::Value config(const Sandbox& sandbox) { return readJson(sandbox, paths::kConfigFile); }

std::string configWithDonation(const std::string& counters) {
  return "{\"version\":\"2\",\"options\":{\"common\":{\"language\":\"en\"}},\"do\":" + counters + "}";
}

// app_info: version, language, next check and the donation countdown.

// Each call advances the countdown by the pause since the previous one.
TEST(AppInfo, DonationCountdownFollowsThePausesBetweenCalls) {
  struct Case {
    const char* description;
    const char* counters;  // LAST stands for the time of the previous call; null: no configuration
    long ago;
    bool due;
    int64_t startsAfter;
    bool lastCheckMoves;
  };
  const Case cases[] = {
      {"fresh configuration", nullptr, 0, false, 6, true},
      {"two days after, at 1: due", "{\"last_check\":LAST,\"r_starts\":1}", 2 * 86400, true, 0, true},
      {"two days after, at 3: one less", "{\"last_check\":LAST,\"r_starts\":3}", 2 * 86400, false, 2, true},
      {"within a day: unchanged", "{\"last_check\":LAST,\"r_starts\":3}", 3600, false, 3, true},
      {"just over four days: back to 6", "{\"last_check\":LAST,\"r_starts\":1}", 4 * 86400 + 100, false, 6, true},
      {"just under four days: one less", "{\"last_check\":LAST,\"r_starts\":2}", 4 * 86400 - 100, false, 1, true},
      {"at 0 (after it was due): nothing changes", "{\"last_check\":LAST,\"r_starts\":0}", 2 * 86400, false, 0, false},
      {"not an object: defaults first", "\"xLAST\"", 0, false, 6, true},
      {"a count beyond the integers counts as 0", "{\"last_check\":LAST,\"r_starts\":99999999999}", 2 * 86400, false,
       99999999999LL, false},
      {"a time beyond the integers counts as long ago", "{\"last_check\":18446744073709551615,\"r_starts\":2}", 0,
       false, 6, true},
  };
  for (const Case& c : cases) {
    Sandbox sandbox;
    long previous = static_cast<long>(time(nullptr)) - c.ago;
    if (c.counters) {
      std::string counters = c.counters;
      size_t last = counters.find("LAST");
      if (last != std::string::npos) counters.replace(last, 4, std::to_string(previous));
      sandbox.write(paths::kConfigFile, configWithDonation(counters));
    }
    Json::Value answer;
    ASSERT_TRUE(parsesAsJson(sandbox.get("cmd=app_info").body, &answer)) << c.description;
    EXPECT_EQ(c.due, answer["sdb"].asBool()) << c.description;
    Json::Value stored = config(sandbox)["do"];
    EXPECT_EQ(c.startsAfter, stored["r_starts"].asInt64()) << c.description;
    if (c.lastCheckMoves)
      EXPECT_GE(stored["last_check"].asInt64(), static_cast<long>(time(nullptr)) - 60) << c.description;
    else
      EXPECT_EQ(previous, stored["last_check"].asInt64()) << c.description;
  }
}

TEST(AppInfo, NextCheckTimeIsRepairedOnlyWhenNotText) {
  Sandbox sandbox;
  sandbox.write(paths::kConfigFile, "{\"version\":\"2\",\"nnvc\":5}");
  EXPECT_NE(std::string::npos, sandbox.get("cmd=app_info").body.find("\"nnvc\":\"0\""));
  EXPECT_EQ("0", config(sandbox)["nnvc"].asString());
  sandbox.write(paths::kConfigFile, "{\"version\":\"2\",\"nnvc\":\"1796703600\"}");
  EXPECT_NE(std::string::npos, sandbox.get("cmd=app_info").body.find("\"nnvc\":\"1796703600\""));
}

TEST(AppInfo, LanguageIsPerBrowserWhenAsked) {
  Sandbox sandbox;
  sandbox.write(paths::kConfigFile,
                "{\"version\":\"2\",\"options\":{\"common\":{\"pbopt\":\"true\",\"language\":\"en\"},"
                "\"A\":{\"language\":\"de\"}}}");
  EXPECT_NE(std::string::npos, sandbox.get("cmd=app_info", "bid=A").body.find("\"lng\":\"de\""));
  EXPECT_NE(std::string::npos, sandbox.get("cmd=app_info", "bid=B").body.find("\"lng\":\"en\""));
}

// option: list and set.

CgiRequest post(const std::string& query, const std::string& body, const std::string& cookie = "bid=TEST") {
  CgiRequest request;
  request.query = query;
  request.method = "POST";
  request.body = body;
  request.cookie = cookie;
  return request;
}

TEST(Option, SetFromThePostBodyWithTheQueryWinning) {
  Sandbox sandbox;
  EXPECT_EQ("{\"message\":\"ok\"}\n", sandbox.get("cmd=option&action=set&opt_name=play_dwc").body);
  EXPECT_EQ(Json::Value(""), config(sandbox)["options"]["common"]["play_dwc"]) << "no value stores the empty text";
  EXPECT_EQ("{\"message\":\"ok\"}\n", sandbox.run(post("cmd=option&action=set", "a=1&b=2")).body);
  Json::Value common = config(sandbox)["options"]["common"];
  EXPECT_EQ("1", common["a"].asString());
  EXPECT_EQ("2", common["b"].asString());

  sandbox.run(post("cmd=option&action=set&opt_name=language&opt_value=de", "language=fr&c=3"));
  common = config(sandbox)["options"]["common"];
  EXPECT_EQ("de", common["language"].asString());
  EXPECT_EQ("3", common["c"].asString());

  // Only the first line of the body counts, its line feed included.
  sandbox.run(post("cmd=option&action=set", "d=4\ne=5"));
  common = config(sandbox)["options"]["common"];
  EXPECT_EQ("4\n", common["d"].asString());
  EXPECT_FALSE(common.isMember("e"));
}

TEST(Option, SetWithoutAnyNameIsAnErrorAndStoresNothing) {
  Sandbox sandbox;
  sandbox.get("cmd=option&action=list");
  std::string before = sandbox.read(paths::kConfigFile);
  CgiResponse response = sandbox.get("cmd=option&action=set&opt_value=x");
  EXPECT_EQ(500, response.status());
  EXPECT_EQ("option name not defined", response.body);
  EXPECT_EQ(before, sandbox.read(paths::kConfigFile));
  EXPECT_EQ("option name not defined", sandbox.run(post("cmd=option&action=set", "")).body);
}

// The configuration file as requests leave it.

ino_t inodeOf(const Sandbox& sandbox, const std::string& fixed) {
  struct stat status;
  return stat(sandbox.path(fixed).c_str(), &status) == 0 ? status.st_ino : 0;
}

// Every write replaces the file by a new one (a new inode): the inode tells
// whether a request wrote it.
TEST(ConfigFile, RequestsThatChangeNothingDoNotWriteIt) {
  Sandbox sandbox;
  sandbox.get("cmd=option&action=list");
  ino_t first = inodeOf(sandbox, paths::kConfigFile);
  ASSERT_NE(0u, first);
  for (const char* query : {"cmd=option&action=list", "cmd=log&log=0", "cmd=nothing",
                            "cmd=option&action=set&opt_name=language&opt_value=en"}) {
    sandbox.get(query);
    EXPECT_EQ(first, inodeOf(sandbox, paths::kConfigFile)) << query << " wrote the file";
  }
  sandbox.get("cmd=option&action=set&opt_name=language&opt_value=de");
  EXPECT_NE(first, inodeOf(sandbox, paths::kConfigFile));
  EXPECT_EQ("de", config(sandbox)["options"]["common"]["language"].asString());
}

TEST(ConfigFile, FailedSaveAnswersAnErrorAndKeepsTheOldFile) {
  Sandbox sandbox;
  sandbox.get("cmd=option&action=set&opt_name=a&opt_value=1");
  std::string before = sandbox.read(paths::kConfigFile);
  // The temporary file cannot be made: a folder is in its place.
  sandbox.mkdirs(std::string(paths::kConfigFile) + ".tmp");
  expectError(sandbox.get("cmd=option&action=set&opt_name=b&opt_value=2"), "config save failed");
  expectError(sandbox.get("cmd=favorite&action=add&name=F&path=local/USB/F"), "config save failed");
  EXPECT_EQ(before, sandbox.read(paths::kConfigFile));
  EXPECT_NE(std::string::npos, sandbox.read(paths::kLogFile).find("error : config save of "));
  // A request that changes nothing needs no write and answers as always.
  EXPECT_EQ(200, sandbox.get("cmd=option&action=list").status());
  // A new browser is still told its id with the error.
  EXPECT_NE("", sandbox.get("cmd=option&action=set&opt_name=c&opt_value=3", "").header("Set-Cookie"));
  rmdir(sandbox.path(std::string(paths::kConfigFile) + ".tmp").c_str());
  expectJson(sandbox.get("cmd=option&action=set&opt_name=b&opt_value=2"), "{\"message\":\"ok\"}\n");
  EXPECT_EQ("2", config(sandbox)["options"]["common"]["b"].asString());
}

TEST(ConfigFile, UnusableFileIsKeptBesideTheDefaults) {
  Sandbox sandbox;
  const char* documents[] = {
      "{\"version\":\"2\",\"favorites\":{\"F\":{\"name\":\"F\",\"path\":\"local/USB/F\"}},\"options\":{",
      "{\"versiom\":\"2\",\"favorites\":{}}",
      "[\"not an object\"]",
  };
  for (const char* document : documents) {
    sandbox.write(paths::kConfigFile, document);
    EXPECT_EQ(200, sandbox.get("cmd=option&action=list").status()) << document;
    EXPECT_EQ(document, sandbox.read(std::string(paths::kConfigFile) + ".bad"));
    EXPECT_EQ("en", config(sandbox)["options"]["common"]["language"].asString()) << document;
    EXPECT_EQ("2", config(sandbox)["version"].asString()) << document;
  }
  EXPECT_NE(std::string::npos,
            sandbox.read(paths::kLogFile).find(" is unusable; kept as " + sandbox.path(paths::kConfigFile) + ".bad"));
  // A good file is never copied.
  unlink(sandbox.path(std::string(paths::kConfigFile) + ".bad").c_str());
  sandbox.get("cmd=option&action=set&opt_name=a&opt_value=1");
  sandbox.get("cmd=option&action=list");
  EXPECT_FALSE(sandbox.exists(std::string(paths::kConfigFile) + ".bad"));
}

// Options and favourites are stored until the document would pass 256 KiB;
// the request that would pass it answers an error and stores nothing.
TEST(ConfigFile, DocumentStaysWithinItsBound) {
  Sandbox sandbox;
  sandbox.write(paths::kConfigFile,
                "{\"version\":\"2\",\"options\":{\"common\":{\"filler\":\"" + std::string(250 * 1024, 'f') + "\"}}}");
  const std::string value(511, 'v');
  CgiResponse response;
  for (int i = 0; i < 50 && (response = sandbox.run(optionSet("s" + std::to_string(i), value))).status() == 200; ++i) {
  }
  EXPECT_EQ("config too large", response.body);
  const std::string full = sandbox.read(paths::kConfigFile);
  EXPECT_LE(full.size(), 256u * 1024);
  EXPECT_GT(full.size(), 256u * 1024 - 1000) << "single options fill what is left";
  expectError(sandbox.run(post("cmd=option&action=set", "a=1&b=" + value)), "config too large");
  expectError(sandbox.get("cmd=favorite&action=add&name=" + value + "&path=" + value), "config too large");
  EXPECT_EQ(full, sandbox.read(paths::kConfigFile)) << "nothing of a refused request is stored";
  // Requests that do not add still work.
  expectJson(sandbox.get("cmd=favorite&action=del&name=nothing"), "{\"message\":\"ok\"}\n");
}

// A hand-edited history of thousands of entries is answered and kept as its
// newest 30, which gives the configuration's room back.
TEST(History, ReadCutsTheListToThirty) {
  Sandbox box;
  Json::Value config;
  config["version"] = "2";
  for (int i = 0; i < 3000; ++i) {
    Json::Value entry;
    entry["title"] = "Folder " + std::to_string(i);
    entry["virtual_path"] = "local/USB/Music/Folder " + std::to_string(i);
    entry["last_index"] = i;
    entry["play_position"] = i;
    config["history"].append(entry);
  }
  box.write(paths::kConfigFile, toJsonText(config));
  expectError(box.run(optionSet("language", "ru")), "config too large");

  Json::Value history;
  ASSERT_TRUE(parsesAsJson(box.get("cmd=history&action=get").body, &history));
  ASSERT_EQ(30u, history.size());
  EXPECT_EQ("Folder 0", history[0]["title"].asString());
  EXPECT_EQ(30u, readJson(box, paths::kConfigFile)["history"].size());
  expectJson(box.run(optionSet("language", "ru")), "{\"message\":\"ok\"}\n");
}

// The log is checked (and started afresh when stale) before it is answered.
TEST(LogCommand, StaleOrMissingLogAnswersEmpty) {
  Sandbox sandbox;
  CgiResponse response = sandbox.get("cmd=log&log=0");
  EXPECT_EQ("Status: 200\nContent-Type: text/plain\nDate: <date>\nExpires: <date>\n\n", withDatesMasked(response));
  sandbox.write(paths::kLogFile, "old\n");
  struct utimbuf times;
  times.actime = times.modtime = time(nullptr) - 7200;
  utime(sandbox.path(paths::kLogFile).c_str(), &times);
  EXPECT_EQ("", sandbox.get("cmd=log&log=0").body);
  sandbox.write(paths::kLogFile, "old\n");
  utime(sandbox.path(paths::kLogFile).c_str(), &times);
  EXPECT_EQ(std::string::npos, sandbox.get("cmd=log").body.find("old"));
}

// dict: a dictionary file as a JavaScript call.

TEST(Dict, AnswersTheDictionaryAsACallback) {
  Sandbox sandbox;
  sandbox.write("/tmp/www/rc/i18n/en",
                "title = Films\na = b = c\nkey=value\nsame = 1\nsame = 2\ncr = x\r\n\nafter = gone\n");
  CgiResponse response = sandbox.get("cmd=dict&action=get&lng=en&callback=cb");
  EXPECT_EQ(
      "Status: 200\nContent-Type: text/javascript\nDate: <date>\nExpires: <date>\n\n"
      "cb({\"a\":\"b = c\",\"cr\":\"x\\r\",\"same\":\"2\",\"title\":\"Films\"}\n)",
      withDatesMasked(response));
}

TEST(Dict, FifoNamedLikeADictionaryIsNotWaitedFor) {
  Sandbox sandbox;
  ASSERT_EQ(0, mkfifo(sandbox.path("/tmp/www/rc/i18n/fifo").c_str(), 0644));
  CgiRequest request;
  request.query = "cmd=dict&action=get&callback=cb&lng=fifo";
  request.cookie = "bid=TEST";
  CgiProcess process = startCgi(sandbox, request);
  CgiResponse response = finishWithin(process, 3000);
  EXPECT_EQ(0, response.exitStatus) << "the dictionary command waited on the FIFO";
  EXPECT_EQ("cb({}\n)", response.body);
  EXPECT_EQ(1, semaphoreValue(sandbox));
}

// A missing dictionary, or a name that would leave the dictionary folder,
// answers the empty object.
TEST(Dict, ChecksLanguageThenCallbackThenItsCharactersAndStaysInItsFolder) {
  Sandbox sandbox;
  for (const char* file : {"/tmp/www/rc/i18n/en", "/tmp/www/rc/i18n/.hidden", "/tmp/www/rc/i18n/sub/en", "/tmp/secret"})
    sandbox.write(file, "a = 1\n");
  struct Case {
    const char* query;
    int status;
    const char* body;
  };
  const Case cases[] = {
      {"cmd=dict&action=get&callback=a(b)", 500, "lng not defined"},
      {"cmd=dict&action=get&lng=&callback=cb", 500, "lng not defined"},
      {"cmd=dict&action=get&lng=xx&callback=", 500, "callback not defined"},
      {"cmd=dict&action=get&lng=en&callback=cb%3Balert(1)", 500, "invalid callback"},
      {"cmd=dict&action=get&lng=en&callback=a+b", 500, "invalid callback"},
      {"cmd=dict&action=get&lng=en&callback=jQuery_12.$cb", 200, "jQuery_12.$cb({\"a\":\"1\"}\n)"},
      {"cmd=dict&action=get&callback=cb&lng=.hidden", 200, "cb({}\n)"},
      {"cmd=dict&action=get&callback=cb&lng=sub/en", 200, "cb({}\n)"},
      {"cmd=dict&action=get&callback=cb&lng=..%2F..%2F..%2Fsecret", 200, "cb({}\n)"},
      {"cmd=dict&action=get&callback=cb&lng=%2Ftmp%2Fsecret", 200, "cb({}\n)"},
      {"cmd=dict&action=get&callback=cb&lng=..", 200, "cb({}\n)"},
      {"cmd=dict&action=get&callback=cb&lng=.", 200, "cb({}\n)"},
  };
  for (const Case& c : cases) {
    CgiResponse response = sandbox.get(c.query);
    EXPECT_EQ(c.status, response.status()) << c.query;
    EXPECT_EQ(c.body, response.body) << c.query;
  }
}

}  // namespace
