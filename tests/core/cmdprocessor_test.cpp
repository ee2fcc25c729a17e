#include "core/cmdprocessor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <regex>

#include "core/paths.h"
#include "core/utils.h"
#include "tests/core/scratchroot.h"

namespace {

class CmdProcFirst : public CmdProcessor {
 public:
  using CmdProcessor::CmdProcessor;
  ProcessResult* process() override {
    Config::instance()->set("touched", "yes");
    return makeOkResult("first");
  }
};

class CmdProcSecond : public CmdProcessor {
 public:
  using CmdProcessor::CmdProcessor;
  ProcessResult* process() override { return makeOkResult("second"); }
};

class CmdProcThrows : public CmdProcessor {
 public:
  using CmdProcessor::CmdProcessor;
  ProcessResult* process() override { throw AppException("broken"); }
};

class CmdProcActions : public CmdMultiActionProcessor {
 public:
  explicit CmdProcActions(Request* request);

 private:
  static const Action kActions[];

  ProcessResult* replaced() { return makeOkResult("replaced"); }
  ProcessResult* one() { return makeOkResult("one"); }
  ProcessResult* check() {
    if (ProcessResult* missing =
            checkRequired(*m_request, {{"a", "a not defined", false}, {"b", "b not defined", true}}))
      return missing;
    return makeOkResult("");
  }
};

const CmdMultiActionProcessor::Action CmdProcActions::kActions[] = {
    {"one", &CmdProcActions::replaced}, {"one", &CmdProcActions::one}, {"check", &CmdProcActions::check}};

CmdProcActions::CmdProcActions(Request* request) : CmdMultiActionProcessor(request, kActions) {}

CmdProcessorCreatorImpl<CmdProcFirst> s_first("test_twice");
CmdProcessorCreatorImpl<CmdProcSecond> s_second("test_twice");
CmdProcessorCreatorImpl<CmdProcThrows> s_throws("test_throws");
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

TEST_F(CmdProcessorTest, CoreCommandsAreRegistered) {
  for (const char* name : {"app_info", "option", "log", "dict"}) EXPECT_EQ(1u, commandRegistry().count(name)) << name;
}

TEST_F(CmdProcessorTest, FirstCreatorOfANameWinsAndTheFirstCmdSelects) {
  EXPECT_EQ("{\"message\":\"first\"}\n", serve("cmd=test_twice").body);
  EXPECT_EQ("{\"message\":\"first\"}\n", serve("cmd=test_twice&cmd=test_actions").body);
}

TEST_F(CmdProcessorTest, UnknownOrMissingCommandAnswersItsName) {
  struct Case {
    const char* query;
    const char* body;
  };
  const Case cases[] = {
      {"cmd=nothing", "Unknown command 'nothing'"},
      {"", "Unknown command ''"},
      {"cmd=a%27b", "Unknown command 'a'b'"},
  };
  for (const Case& c : cases) {
    Outcome outcome = serve(c.query);
    EXPECT_EQ(500, outcome.status) << c.query;
    EXPECT_EQ(c.body, outcome.body) << c.query;
  }
  // The configuration is still created and saved.
  EXPECT_TRUE(scratchExists(paths::kConfigFile));
}

TEST_F(CmdProcessorTest, RequestWithoutBidGetsOneFromTheTime) {
  time_t before = time(nullptr);
  Outcome outcome = serve("cmd=nothing", nullptr);
  time_t after = time(nullptr);
  std::smatch match;
  ASSERT_TRUE(std::regex_match(outcome.cookie, match,
                               std::regex("bid=([0-9A-F]{32}); expires=[A-Z][a-z]{2}, \\d\\d-[A-Z][a-z]{2}-\\d{4} "
                                          "\\d\\d:\\d\\d:\\d\\d GMT; path=/")))
      << outcome.cookie;
  std::string bid = match[1];
  EXPECT_TRUE(bid == md5Hex(std::to_string(before)) || bid == md5Hex(std::to_string(after))) << bid;

  EXPECT_EQ("", serve("cmd=nothing", "bid=ABC").cookie);
  EXPECT_EQ("", serve("cmd=nothing", "x=1; bid=ABC").cookie);
  // A cookie header without "bid" counts as none.
  EXPECT_NE("", serve("cmd=nothing", "x=1").cookie);
}

TEST_F(CmdProcessorTest, RequestsOfOneSecondShareTheirNewBid) {
  for (;;) {
    time_t start = time(nullptr);
    std::string first = serve("cmd=nothing", nullptr).cookie;
    std::string second = serve("cmd=nothing", nullptr).cookie;
    if (time(nullptr) != start) continue;
    EXPECT_EQ(first.substr(0, 36), second.substr(0, 36));
    break;
  }
}

TEST_F(CmdProcessorTest, ConfigurationIsSavedBeforeTheResultIsHandedOut) {
  setenv("HTTP_COOKIE", "bid=TEST", 1);
  Request request("log=0&cmd=test_twice", "GET");
  std::unique_ptr<CmdProcessor> processor(createProcessor(commandRegistry(), &request));
  processor->run();
  EXPECT_NE(std::string::npos, readScratch(paths::kConfigFile).find("\"touched\" : \"yes\""));
}

TEST_F(CmdProcessorTest, ExceptionLeavesRunWithoutResultOrCookie) {
  unsetenv("HTTP_COOKIE");
  Request request("log=0&cmd=test_throws", "GET");
  CmdProcessor* processor = createProcessor(commandRegistry(), &request);
  EXPECT_THROW(processor->run(), AppException);
  delete processor;
}

TEST_F(CmdProcessorTest, ActionsAreDispatchedByName) {
  struct Case {
    const char* query;
    int status;
    const char* body;
  };
  const Case cases[] = {
      {"cmd=test_actions", 500, "action not defined"},
      {"cmd=test_actions&action=", 500, "action not defined"},
      {"cmd=test_actions&action=foo", 500, "unknown action 'foo'"},
      {"cmd=test_actions&action=one", 200, "{\"message\":\"one\"}\n"},
      {"cmd=test_actions&action=check", 500, "a not defined"},
      {"cmd=test_actions&action=check&a=", 500, "a not defined"},
      {"cmd=test_actions&action=check&a=1", 500, "b not defined"},
      {"cmd=test_actions&action=check&a=1&b=", 200, "{\"message\":\"ok\"}\n"},
      {"cmd=option&action=", 500, "action not defined"},
      {"cmd=option&action=foo", 500, "unknown action 'foo'"},
  };
  for (const Case& c : cases) {
    Outcome outcome = serve(c.query);
    EXPECT_EQ(c.status, outcome.status) << c.query;
    EXPECT_EQ(c.body, outcome.body) << c.query;
  }
}

TEST_F(CmdProcessorTest, TraceLineUnlessLogIsZero) {
  struct Case {
    const char* query;
    bool traced;
  };
  const Case cases[] = {
      {"cmd=nothing&log=0", false},  {"cmd=nothing&log=abc", false}, {"cmd=nothing&log=", false},
      {"cmd=nothing&log=00", false}, {"cmd=nothing&log=1", true},    {"cmd=nothing", true},
      {"cmd=nothing&log=-1", true},  {"log=2x&cmd=nothing", true},
  };
  for (const Case& c : cases) {
    removeScratch(paths::kLogFile);
    std::string query = c.query;
    inChild([&] { serve(query, "bid=TEST", true); });
    std::string log = readScratch(paths::kLogFile);
    if (c.traced)
      EXPECT_NE(std::string::npos, log.find(" :  ------- process command: " + query + "\n")) << query;
    else
      EXPECT_EQ("", log) << query;
  }
}

TEST_F(CmdProcessorTest, TraceHidesPasswords) {
  removeScratch(paths::kLogFile);
  inChild([] {
    serve("cmd=nothing&password=secret&user=u&p%61ss+word=x&pass%77ord=secret2&xpassword=shown&password", "bid=TEST",
          true);
  });
  std::string log = readScratch(paths::kLogFile);
  EXPECT_NE(std::string::npos,
            log.find("process command: cmd=nothing&password=***&user=u&p%61ss+word=x&pass%77ord=***&xpassword=shown&"
                     "password\n"))
      << log;
  EXPECT_EQ(std::string::npos, log.find("secret"));
}

}  // namespace
