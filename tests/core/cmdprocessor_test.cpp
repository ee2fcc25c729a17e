#include "core/cmdprocessor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <regex>

#include "core/paths.h"
#include "core/utils.h"
#include "tests/core/scratchroot.h"

namespace {

class CmdProcSaves : public CmdProcessor {
 public:
  using CmdProcessor::CmdProcessor;
  ProcessResult* process() override {
    Config::instance()->set("touched", "yes");
    return makeOkResult("");
  }
};

class CmdProcActions : public CmdMultiActionProcessor {
 public:
  explicit CmdProcActions(Request* request);

 private:
  static const Action kActions[];

  ProcessResult* one() { return makeOkResult("one"); }
  ProcessResult* check() {
    if (ProcessResult* missing =
            checkRequired(*m_request, {{"a", "a not defined", false}, {"b", "b not defined", true}}))
      return missing;
    return makeOkResult("");
  }
};

const CmdMultiActionProcessor::Action CmdProcActions::kActions[] = {{"one", &CmdProcActions::one},
                                                                    {"check", &CmdProcActions::check}};

CmdProcActions::CmdProcActions(Request* request) : CmdMultiActionProcessor(request, kActions) {}

CmdProcessorCreatorImpl<CmdProcSaves> s_saves("test_saves");
CmdProcessorCreatorImpl<CmdProcActions> s_actions("test_actions");

struct Outcome {
  int status = 0;
  std::string body;
  std::string cookie;  // the Set-Cookie value, empty when none
};

// One request as the entry point serves it: parse, create, run, delete.
// Unless traced, "log=0" goes first: the log object lives once per process,
// so only forked children may create it.
Outcome serve(const std::string& query, const char* cookie = "bid=TEST", bool traced = false) {
  if (cookie)
    setenv("HTTP_COOKIE", cookie, 1);
  else
    unsetenv("HTTP_COOKIE");
  std::string queryText = traced ? query : "log=0&" + query;
  Request request(queryText.c_str(), "GET");
  std::unique_ptr<CmdProcessor> processor(createProcessor(commandRegistry(), &request));
  ProcessResult* result = processor->run();
  Outcome outcome;
  outcome.status = result->status();
  if (auto* text = dynamic_cast<ProcessResultText*>(result)) outcome.body = text->text();
  if (auto* json = dynamic_cast<ProcessResultJson*>(result)) outcome.body = toJsonText(json->value());
  for (const auto& header : result->headers())
    if (header.first == "Set-Cookie") outcome.cookie = header.second;
  return outcome;
}

class CmdProcessorTest : public ::testing::Test {
 protected:
  void SetUp() override { removeScratch(paths::kConfigFile); }
};

TEST_F(CmdProcessorTest, CommandsAndActionsAreDispatchedByName) {
  struct Case {
    const char* query;
    int status;
    const char* body;
  };
  const Case cases[] = {
      {"cmd=nothing", 500, "Unknown command 'nothing'"},
      {"", 500, "Unknown command ''"},
      {"cmd=a%27b", 500, "Unknown command 'a'b'"},
      {"cmd=nothing&cmd=test_actions", 500, "Unknown command 'nothing'"},
      {"cmd=test_actions", 500, "action not defined"},
      {"cmd=test_actions&action=", 500, "action not defined"},
      {"cmd=test_actions&action=foo", 500, "unknown action 'foo'"},
      {"cmd=test_actions&action=one", 200, "{\"message\":\"one\"}\n"},
      {"cmd=test_actions&action=check", 500, "a not defined"},
      {"cmd=test_actions&action=check&a=", 500, "a not defined"},
      {"cmd=test_actions&action=check&a=1", 500, "b not defined"},
      {"cmd=test_actions&action=check&a=1&b=", 200, "{\"message\":\"ok\"}\n"},
  };
  for (const Case& c : cases) {
    Outcome outcome = serve(c.query);
    EXPECT_EQ(c.status, outcome.status) << c.query;
    EXPECT_EQ(c.body, outcome.body) << c.query;
  }
  // An unknown command still creates and saves the configuration.
  EXPECT_TRUE(scratchExists(paths::kConfigFile));
}

// The bid is the MD5 of the second (browsers of one second share it) and
// lives ten years; a request that sends one gets no cookie.
TEST_F(CmdProcessorTest, RequestWithoutBidGetsOneFromTheTime) {
  time_t before = time(nullptr);
  Outcome outcome = serve("cmd=nothing", nullptr);
  time_t after = time(nullptr);
  std::smatch match;
  ASSERT_TRUE(std::regex_match(outcome.cookie, match, std::regex("bid=([0-9A-F]{32}); expires=(.*); path=/")))
      << outcome.cookie;
  EXPECT_TRUE(match[1] == md5Hex(std::to_string(before)) || match[1] == md5Hex(std::to_string(after))) << match[1];
  const time_t kTenYears = 3650 * 86400;
  EXPECT_TRUE(match[2] == cookieDate(before + kTenYears) || match[2] == cookieDate(after + kTenYears)) << match[2];

  EXPECT_EQ("", serve("cmd=nothing", "bid=ABC").cookie);
  EXPECT_EQ("", serve("cmd=nothing", "x=1; bid=ABC").cookie);
  EXPECT_NE("", serve("cmd=nothing", "x=1").cookie) << "a cookie header without bid counts as none";
}

TEST_F(CmdProcessorTest, ConfigurationIsSavedBeforeTheResultIsHandedOut) {
  setenv("HTTP_COOKIE", "bid=TEST", 1);
  Request request("log=0&cmd=test_saves", "GET");
  std::unique_ptr<CmdProcessor> processor(createProcessor(commandRegistry(), &request));
  processor->run();
  EXPECT_NE(std::string::npos, readScratch(paths::kConfigFile).find("\"touched\" : \"yes\""));
}

// The trace line shows the query unless log is 0 (as a number), with the
// value of every parameter that decodes to "password" as "***".
TEST_F(CmdProcessorTest, TraceLineUnlessLogIsZeroWithoutPasswords) {
  struct Case {
    const char* query;
    const char* trace;  // nullptr: none
  };
  const Case cases[] = {
      {"cmd=nothing&log=0", nullptr},
      {"cmd=nothing&log=abc", nullptr},
      {"cmd=nothing&log=", nullptr},
      {"cmd=nothing&log=00", nullptr},
      {"cmd=nothing&log=1", "cmd=nothing&log=1"},
      {"cmd=nothing", "cmd=nothing"},
      {"cmd=nothing&log=-1", "cmd=nothing&log=-1"},
      {"log=2x&cmd=nothing", "log=2x&cmd=nothing"},
      {"cmd=nothing&password=secret&user=u&p%61ss+word=x&pass%77ord=secret2&xpassword=shown&password",
       "cmd=nothing&password=***&user=u&p%61ss+word=x&pass%77ord=***&xpassword=shown&password"},
  };
  for (const Case& c : cases) {
    removeScratch(paths::kLogFile);
    std::string query = c.query;
    inChild([&] { serve(query, "bid=TEST", true); });
    std::string log = readScratch(paths::kLogFile);
    if (c.trace)
      EXPECT_EQ(" :  ------- process command: " + std::string(c.trace) + "\n",
                log.substr(std::min(log.find(" : "), log.size())))
          << query;
    else
      EXPECT_EQ("", log) << query;
  }
}

}  // namespace
