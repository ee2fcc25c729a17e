#include "core/result.h"

#include <gtest/gtest.h>

#include <ctime>
#include <memory>
#include <regex>
#include <string>

#include "tests/core/scratchroot.h"

namespace {

std::string captured(ProcessResult& result) {
  testing::internal::CaptureStdout();
  result.output();
  return testing::internal::GetCapturedStdout();
}

// Writes the result within one second of the clock and returns the bytes and
// that second, so that the expected dates can be computed exactly.
std::string outputAt(ProcessResult& result, time_t& when) {
  for (;;) {
    when = time(nullptr);
    std::string raw = captured(result);
    if (time(nullptr) == when) return raw;
  }
}

// The header lines every answer starts with, dated when.
std::string head(int status, const std::string& type, time_t when) {
  return "Status: " + std::to_string(status) + "\nContent-Type: " + type + "\nDate: " + httpDate(when) +
         "\nExpires: " + httpDate(when) + "\n";
}

time_t exampleTime() {
  struct tm parts = {};
  parts.tm_year = 2026 - 1900;
  parts.tm_mon = 11;
  parts.tm_mday = 8;
  parts.tm_hour = 4;
  parts.tm_min = 20;
  return timegm(&parts);
}

TEST(ResultDates, UseTheTwoFormatsOfTheProtocol) {
  EXPECT_EQ("Tue, 08 Dec 2026 04:20:00 GMT", httpDate(exampleTime()));
  EXPECT_EQ("Fri, 05-Dec-2036 04:20:00 GMT", cookieDate(exampleTime() + 315360000));
  EXPECT_EQ("Thu, 01 Jan 1970 00:00:00 GMT", httpDate(0));
  EXPECT_EQ("Sun, 29-Feb-2004 23:59:59 GMT", cookieDate(1078099199));
  if (sizeof(time_t) >= 8) {  // the year is not cut to four digits
    EXPECT_EQ("Sat, 01 Jan 10000 00:00:00 GMT", httpDate(static_cast<time_t>(253402300800LL)));
  }
}

TEST(ResultOutput, TextResultIsHeadersBlankLineAndTheBareText) {
  ProcessResultText result("hello");
  time_t when;
  std::string raw = outputAt(result, when);
  EXPECT_EQ(head(200, "text/plain", when) + "\nhello", raw);
  EXPECT_EQ(std::string::npos, raw.find('\r'));
}

TEST(ResultOutput, SubTypeAndErrorKind) {
  ProcessResultText script("cb({}\n)", "javascript");
  time_t when;
  std::string raw = outputAt(script, when);
  EXPECT_EQ(head(200, "text/javascript", when) + "\ncb({}\n)", raw);

  ProcessResultError error("play_path not defined");
  raw = outputAt(error, when);
  EXPECT_EQ(head(500, "text/plain", when) + "\nplay_path not defined", raw);
  std::unique_ptr<ProcessResult> made(makeErrorResult("x"));
  EXPECT_EQ(500, made->status());
}

TEST(ResultOutput, ExtraHeadersFollowInInsertionOrderAndTheCookieExpiresWithDashes) {
  ProcessResultText result("");
  result.addHeader("X-B", "2");
  result.setCookie("bid", "ABC", 0);
  result.addHeader("X-A", "1");
  time_t when;
  std::string raw = outputAt(result, when);
  EXPECT_EQ(head(200, "text/plain", when) + "X-B: 2\nSet-Cookie: bid=ABC; expires=" + cookieDate(when) +
                "; path=/\nX-A: 1\n\n",
            raw);
}

TEST(ResultOutput, BidCookieLivesTenYears) {
  ProcessResultText result("");
  time_t before = time(nullptr);
  result.setCookie("bid", "0123", 315360000);
  time_t after = time(nullptr);
  ASSERT_EQ(1u, result.headers().size());
  const std::string& cookie = result.headers()[0].second;
  EXPECT_TRUE(cookie == "bid=0123; expires=" + cookieDate(before + 315360000) + "; path=/" ||
              cookie == "bid=0123; expires=" + cookieDate(after + 315360000) + "; path=/")
      << cookie;
}

std::string jsonBody(ProcessResult& result) {
  std::string raw = captured(result);
  return raw.substr(raw.find("\n\n") + 2);
}

TEST(ResultJson, IsCompactSortedAndEndsWithOneLineFeed) {
  ProcessResultJson result;
  result.set("version", "0.7.1");
  result.set("sdb", false);
  Json::Value nested(Json::objectValue);
  nested["z"] = "1";
  nested["a"] = Json::Value(Json::arrayValue);
  result.set("options", nested);
  result.set("lng", std::string("en"));
  result.set("rows", std::list<std::map<std::string, std::string>>{{{"b", "2"}, {"a", "1"}}, {}});
  EXPECT_EQ(
      "{\"lng\":\"en\",\"options\":{\"a\":[],\"z\":\"1\"},\"rows\":[{\"a\":\"1\",\"b\":\"2\"},{}],\"sdb\":false,"
      "\"version\":\"0.7.1\"}\n",
      jsonBody(result));
  std::string raw = captured(result);
  EXPECT_NE(std::string::npos, raw.find("\nContent-Type: application/json; charset=utf8\n"));
}

TEST(ResultJson, NamesSortByteWise) {
  ProcessResultJson result;
  for (const char* key : {"b", "B", "a_b", "ab", "\xC3\xA9"}) result.set(key, true);
  // The writer escapes text beyond ASCII.
  EXPECT_EQ("{\"B\":true,\"a_b\":true,\"ab\":true,\"b\":true,\"\\u00e9\":true}\n", jsonBody(result));
}

TEST(ResultJson, UnsetPayloadIsNull) {
  ProcessResultJson result;
  EXPECT_EQ("null\n", jsonBody(result));
}

TEST(ResultJson, OkResultCarriesItsMessageEscaped) {
  std::unique_ptr<ProcessResult> ok(makeOkResult(""));
  EXPECT_EQ("{\"message\":\"ok\"}\n", jsonBody(*ok));
  std::unique_ptr<ProcessResult> quoted(makeOkResult("say \"hi\" \\ now"));
  EXPECT_EQ("{\"message\":\"say \\\"hi\\\" \\\\ now\"}\n", jsonBody(*quoted));
}

TEST(ResultJson, Utf8TextSurvivesTheRoundTrip) {
  ProcessResultJson result;
  result.set("t", std::string("caf\xC3\xA9 \xE2\x82\xAC"));
  Json::Value back;
  Json::Reader reader;
  ASSERT_TRUE(reader.parse(jsonBody(result), back));
  EXPECT_EQ("caf\xC3\xA9 \xE2\x82\xAC", back["t"].asString());
}

TEST(ResultJson, JsonTextIsWrittenAsGiven) {
  ProcessResultJsonText result("{\"a\" : 1}");
  EXPECT_EQ("{\"a\" : 1}", jsonBody(result));
}

TEST(ResultJsonFile, HeadersThenTheFileAsItIs) {
  // Larger than any buffer on the way, so that the order of headers and body shows.
  std::string text = "{\"files\":[";
  while (text.size() < 200000) text += "{\"name\":\"" + std::to_string(text.size()) + "\"},";
  text += "{}]}\n";
  writeScratch("/tmp/answer.json", text);
  std::unique_ptr<ProcessResult> result(ProcessResultJsonFile::open(scratchPath("/tmp/answer.json")));
  ASSERT_TRUE(result);
  result->addHeader("X-Extra", "1");
  // The file is read once: no second try when the clock moves on meanwhile.
  time_t when = time(nullptr);
  std::string raw = captured(*result);
  if (raw.find(httpDate(when)) == std::string::npos) ++when;
  EXPECT_EQ(head(200, "application/json; charset=utf8", when) + "X-Extra: 1\n\n" + text, raw);
}

TEST(ResultJsonFile, MissingOrEmptyFileGivesNone) {
  EXPECT_EQ(nullptr, ProcessResultJsonFile::open(scratchPath("/tmp/no answer.json")));
  writeScratch("/tmp/empty.json", "");
  EXPECT_EQ(nullptr, ProcessResultJsonFile::open(scratchPath("/tmp/empty.json")));
  EXPECT_EQ(nullptr, ProcessResultJsonFile::open(scratchRoot()));
}

}  // namespace
