#include "core/result.h"

#include <gtest/gtest.h>

#include <ctime>
#include <functional>
#include <memory>
#include <string>

#include "tests/core/scratchroot.h"

namespace {

std::string captured(ProcessResult& result) {
  testing::internal::CaptureStdout();
  result.output();
  return testing::internal::GetCapturedStdout();
}

// The header lines every answer starts with, dated when.
std::string head(int status, const std::string& type, time_t when) {
  return "Status: " + std::to_string(status) + "\nContent-Type: " + type + "\nDate: " + httpDate(when) +
         "\nExpires: " + httpDate(when) + "\n";
}

TEST(ResultDates, UseTheTwoFormatsOfTheProtocol) {
  EXPECT_EQ("Tue, 08 Dec 2026 04:20:00 GMT", httpDate(1796703600));
  EXPECT_EQ("Fri, 05-Dec-2036 04:20:00 GMT", cookieDate(1796703600 + 315360000));
  EXPECT_EQ("Thu, 01 Jan 1970 00:00:00 GMT", httpDate(0));
  EXPECT_EQ("Sun, 29-Feb-2004 23:59:59 GMT", cookieDate(1078099199));
  if (sizeof(time_t) >= 8) {  // the year is not cut to four digits
    EXPECT_EQ("Sat, 01 Jan 10000 00:00:00 GMT", httpDate(static_cast<time_t>(253402300800LL)));
  }
}

// Answers whole: headers, a blank line, the body; line feeds only, and one
// at the end of JSON but none after a text (the executed API reference
// cannot show that last line feed).
TEST(ResultOutput, EachKindWritesHeadersBlankLineAndBody) {
  const char kJson[] = "application/json; charset=utf8";
  struct Row {
    const char* description;
    std::function<ProcessResult*()> make;
    int status;
    const char* type;
    std::string body;
  } rows[] = {
      {"text, without a line feed of its own", [] { return new ProcessResultText("hello"); }, 200, "text/plain",
       "hello"},
      {"an error", [] { return makeErrorResult("play_path not defined"); }, 500, "text/plain", "play_path not defined"},
      {"ok with its default message", [] { return makeOkResult(""); }, 200, kJson, "{\"message\":\"ok\"}\n"},
      {"JSON of every kind of member",
       [] {
         auto* result = new ProcessResultJson();
         result->set("version", "0.7.1");
         result->set("sdb", false);
         Json::Value nested(Json::objectValue);
         nested["a"] = Json::Value(Json::arrayValue);
         result->set("options", nested);
         result->set("rows", std::list<std::map<std::string, std::string>>{{{"b", "2"}, {"a", "1"}}, {}});
         return result;
       },
       200, kJson,
       "{\"options\":{\"a\":[]},\"rows\":[{\"a\":\"1\",\"b\":\"2\"},{}],\"sdb\":false,\"version\":\"0.7.1\"}\n"},
  };
  for (const Row& row : rows) {
    std::unique_ptr<ProcessResult> result(row.make());
    time_t when = 0;
    std::string raw;
    do {  // within one second of the clock, so that the dates are known
      when = time(nullptr);
      raw = captured(*result);
    } while (time(nullptr) != when);
    EXPECT_EQ(head(row.status, row.type, when) + "\n" + row.body, raw) << row.description;
  }
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

  EXPECT_EQ(nullptr, ProcessResultJsonFile::open(scratchPath("/tmp/no answer.json")));
  writeScratch("/tmp/empty.json", "");
  EXPECT_EQ(nullptr, ProcessResultJsonFile::open(scratchPath("/tmp/empty.json")));
  EXPECT_EQ(nullptr, ProcessResultJsonFile::open(scratchRoot()));
}

}  // namespace
