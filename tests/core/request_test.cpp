#include "core/request.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "core/originguard.h"
#include "tests/support/child.h"

namespace {

Request::Params parse(const std::string& text) {
  Request::Params params;
  Request::parseParameters(text, params);
  return params;
}

Request::Params cookies(const std::string& text) {
  Request::Params params;
  Request::parseCookies(text, params);
  return params;
}

struct ParseCase {
  const char* description;
  std::string text;
  Request::Params expected;
};

TEST(RequestParameters, SplitsPairsByTheTwoStateRule) {
  const ParseCase cases[] = {
      {"two plain pairs", "a=1&b=2", {{"a", "1"}, {"b", "2"}}},
      {"an ampersand before '=' belongs to the name", "a&b=2", {{"a&b", "2"}}},
      {"a doubled ampersand starts the next name", "a=1&&b=2", {{"a", "1"}, {"&b", "2"}}},
      {"a second '=' belongs to the value", "x=1=2", {{"x", "1=2"}}},
      {"the first occurrence wins", "a=1&a=2", {{"a", "1"}}},
      {"a trailing name without '=' has an empty value", "a=1&b", {{"a", "1"}, {"b", ""}}},
      {"a pair ended by '&' is kept with an empty name", "=x&a=1", {{"", "x"}, {"a", "1"}}},
      {"an empty pending name at the end is dropped", "a=1&=x", {{"a", "1"}}},
      {"empty text", "", {}},
      {"a lone '&' is a name", "&", {{"&", ""}}},
  };
  for (const ParseCase& c : cases) EXPECT_EQ(c.expected, parse(c.text)) << c.description;
}

TEST(RequestParameters, DecodesNamesAndValues) {
  const ParseCase cases[] = {
      {"slashes and plus", "cmd=file_list&path=%2Ftmp%2Fa+b", {{"cmd", "file_list"}, {"path", "/tmp/a b"}}},
      {"an encoded name", "%41=1", {{"A", "1"}}},
      {"percent at the end stays", "v=100%", {{"v", "100%"}}},
      {"percent with one character after it stays", "v=1%4", {{"v", "1%4"}}},
      {"percent before non-hex digits stays", "v=%zz", {{"v", "%zz"}}},
      {"hex digits in either case", "v=%2f%2F", {{"v", "//"}}},
      {"a decoded zero byte ends the value", "v=ab%00cd&w=1", {{"v", "ab"}, {"w", "1"}}},
      {"a decoded zero byte ends the name", "n%00x=1", {{"n", "1"}}},
      {"an encoded '&' and '=' do not split", "a=%26b%3Dc", {{"a", "&b=c"}}},
      {"bytes above 127 pass through", "v=%C3%A9", {{"v", "\xC3\xA9"}}},
      {"a name and a value beyond the buffers are cut",
       std::string(300, 'n') + "=" + std::string(2000, 'v') + "&b=2",
       {{std::string(Request::kMaxName, 'n'), std::string(Request::kMaxValue, 'v')}, {"b", "2"}}},
      {"exactly at the limits nothing is lost",
       std::string(127, 'x') + "=" + std::string(511, 'y'),
       {{std::string(127, 'x'), std::string(511, 'y')}}},
  };
  for (const ParseCase& c : cases) EXPECT_EQ(c.expected, parse(c.text)) << c.description;
}

TEST(RequestCookies, SkipTheCharacterAfterEachSeparatorAndDoNotDecode) {
  const ParseCase cases[] = {
      {"the usual separator", "bid=ABC; lang=en", {{"bid", "ABC"}, {"lang", "en"}}},
      {"no blank: the next character is skipped all the same", "bid=ABC;lang=en", {{"bid", "ABC"}, {"ang", "en"}}},
      {"values are not decoded", "a=x%20y+z", {{"a", "x%20y+z"}}},
      {"a trailing separator adds nothing", "a=1;", {{"a", "1"}}},
      {"the first occurrence wins", "a=1; a=2", {{"a", "1"}}},
      {"'=' inside a value", "a=b=c", {{"a", "b=c"}}},
  };
  for (const ParseCase& c : cases) EXPECT_EQ(c.expected, cookies(c.text)) << c.description;
}

class RequestEnvironment : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("HTTP_COOKIE");
    unsetenv("CONTENT_LENGTH");
  }
  void TearDown() override { SetUp(); }
};

TEST_F(RequestEnvironment, LookupsReadOnlyTheirOwnMap) {
  setenv("HTTP_COOKIE", "bid=B1; cmd=cookie", 1);
  std::string query = "cmd=app_info&n=12abc&e=&neg=-3";
  Request request(query.c_str(), "GET");
  EXPECT_EQ(query.c_str(), request.queryString());
  EXPECT_EQ("app_info", request.get("cmd"));
  EXPECT_EQ("", request.get("bid"));
  EXPECT_EQ("B1", request.cookie("bid"));
  EXPECT_EQ("", request.cookie("n"));
  EXPECT_EQ(12, request.getInt("n"));
  EXPECT_EQ(-3, request.getInt("neg"));
  EXPECT_EQ(0, request.getInt("absent"));
  EXPECT_TRUE(request.has("e"));
  EXPECT_FALSE(request.has("absent"));
  EXPECT_EQ("", request.post("cmd"));
  EXPECT_TRUE(request.postNames().empty());

  unsetenv("HTTP_COOKIE");
  Request none(nullptr, nullptr);
  EXPECT_EQ(nullptr, none.queryString());
  EXPECT_FALSE(none.has("cmd"));
  EXPECT_EQ("", none.cookie("bid"));
}

// Runs the request parser in a child whose standard input is a pipe holding
// body; with keepOpen the writing end stays open, so a parser that waits for
// more than it may read hangs and is stopped by the alarm. The child reports
// the fields it parsed on its standard output.
struct BodyOutcome {
  bool finished = false;
  Request::Params post;
};

BodyOutcome parseBody(const char* method, const char* contentLength, const std::string& body, bool keepOpen) {
  signal(SIGPIPE, SIG_IGN);  // a child that reads no body closes its end early
  ChildStreams streams;
  streams.input = Redirect::pipe();
  streams.output = Redirect::pipe();
  Child child = startFunction(
      [method, contentLength] {
        alarm(10);
        if (contentLength) setenv("CONTENT_LENGTH", contentLength, 1);
        Request request("cmd=option", method);
        std::string report;
        for (const std::string& name : request.postNames()) report += name + '\0' + request.post(name) + '\0';
        return write(STDOUT_FILENO, report.data(), report.size()) < 0 ? 2 : 0;
      },
      streams);
  // A child that reads no body may be gone already: the write then fails.
  if (!body.empty() && !child.write(body)) child.closeInput();
  if (!keepOpen) child.closeInput();
  std::string report = child.readOutput();
  int status = child.wait();
  child.closeInput();
  BodyOutcome outcome;
  outcome.finished = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  for (size_t at = 0; at < report.size();) {
    std::string name = report.c_str() + at;
    at += name.size() + 1;
    std::string value = report.c_str() + at;
    at += value.size() + 1;
    outcome.post[name] = value;
  }
  return outcome;
}

TEST(RequestBody, IsTheFirstLineOfAtMostContentLengthBytesOfAPost) {
  const std::string huge = "v=" + std::string(Request::kMaxBody - 2, 'x');
  struct Row {
    const char* description;
    const char* method;
    const char* length;
    std::string body;
    bool keepOpen;  // the sender stays connected: the parser must not wait for more
    Request::Params expected;
  } rows[] = {
      {"the first line, its line feed kept", "POST", "13", "a=1&b=x+y\nc=3", false, {{"a", "1"}, {"b", "x y\n"}}},
      {"at most CONTENT_LENGTH bytes", "post", "3", "a=12345", true, {{"a", "1"}}},
      {"a huge length is bounded", "POST", "1000000000000", huge, true, {{"v", std::string(Request::kMaxValue, 'x')}}},
      {"a length beyond any number",
       "POST",
       "99999999999999999999999",
       huge,
       true,
       {{"v", std::string(Request::kMaxValue, 'x')}}},
      {"GET", "GET", "3", "a=1", true, {}},
      {"no method", nullptr, "3", "a=1", true, {}},
      {"no length", "POST", nullptr, "a=1", true, {}},
      {"negative length", "POST", "-1", "a=1", true, {}},
      {"malformed length", "POST", "abc", "a=1", true, {}},
      {"empty length", "POST", "", "a=1", true, {}},
      {"zero length", "POST", "0", "a=1", true, {}},
  };
  for (const Row& row : rows) {
    BodyOutcome outcome = parseBody(row.method, row.length, row.body, row.keepOpen);
    EXPECT_TRUE(outcome.finished) << row.description << ": waited for input";
    EXPECT_EQ(row.expected, outcome.post) << row.description;
  }
}

TEST(OriginGuard, RefusesWhatABrowserSendsForAForeignPageOrName) {
  struct Row {
    const char* description;
    const char* host;
    const char* origin;
    const char* referer;
    const char* fetchSite;
    bool refused;
    bool https = false;
    const char* userAgent = nullptr;
    const char* fromPage = nullptr;  // X-Requested-With
  } rows[] = {
      {"no such headers: scripts, curl, the poller", nullptr, nullptr, nullptr, nullptr, false},
      {"the box's page", "192.168.1.20", nullptr, "http://192.168.1.20/rc/", "same-origin", false},
      {"the page's POST", "192.168.1.20:80", "http://192.168.1.20", nullptr, "same-origin", false},
      {"an address typed by the person", "box.local", nullptr, nullptr, "none", false},
      {"IPv6 with a port", "[fe80::1]:8080", "http://[FE80::1]:8080", nullptr, nullptr, false},
      {"the Host's port is 80 by default", "box.lan", "https://box.lan", nullptr, nullptr, true},
      {"and 443 over https", "box.lan", "https://box.lan:443", nullptr, nullptr, false, true},
      {"names of home networks", "tavo-box", nullptr, "http://tavo-box/rc/", nullptr, false},
      {"with the final dot of a name", "box.home.arpa.", nullptr, nullptr, nullptr, false},
      {"another home suffix", "box.internal", nullptr, nullptr, nullptr, false},
      {"localhost", "localhost:8080", nullptr, nullptr, nullptr, false},
      {"an image of a foreign page, Referer suppressed", "192.168.1.20", nullptr, nullptr, "cross-site", true},
      {"another port of the same address", "192.168.1.20", nullptr, nullptr, "same-site", true},
      {"a form of a foreign page", "192.168.1.20", "http://attacker.example", nullptr, "cross-site", true},
      {"a foreign Origin alone", "192.168.1.20", "http://localhost:8299", nullptr, nullptr, true},
      {"another port in the Origin", "192.168.1.20", "http://192.168.1.20:8080", nullptr, nullptr, true},
      {"an opaque Origin", "192.168.1.20", "null", nullptr, nullptr, true},
      {"a foreign Referer alone", "127.0.0.1:8080", nullptr, "http://localhost:8080/x.html", nullptr, true},
      {"a Referer with a user", "box.lan", nullptr, "http://box.lan@attacker.example/", nullptr, true},
      {"a Referer that is no URL", "box.lan", nullptr, "box.lan", nullptr, true},
      {"an Origin without a Host", nullptr, "http://box.lan", nullptr, nullptr, true},
      {"a rebound name", "rebind.attacker.example", nullptr, nullptr, nullptr, true},
      {"a rebound name, same origin", "rebind.attacker.example:80", "http://rebind.attacker.example", nullptr,
       "same-origin", true},
      {"a suffix without a name", ".local", nullptr, nullptr, nullptr, true},
      {"a name ending like a suffix", "evil-local", nullptr, nullptr, nullptr, false},
      {"a name containing a suffix", "box.local.attacker.example", nullptr, nullptr, nullptr, true},
      {"a malformed Host", "box.lan:80x", nullptr, nullptr, nullptr, true},
      {"the owner's name", "media.example.com", "http://media.example.com", nullptr, nullptr, false},
      // Over http at a home address a browser sends no Sec-Fetch-Site, and a
      // foreign page can suppress the Referer: a browser must show the page.
      {"a browser's image or link without any mark", "192.168.1.20", nullptr, nullptr, nullptr, true, false,
       "Mozilla/5.0 (X11; Linux x86_64)"},
      {"the box's page, marked by its header", "192.168.1.20", nullptr, nullptr, nullptr, false, false, "Mozilla/5.0",
       "tavorc"},
      {"the box's page, by its Referer", "192.168.1.20", nullptr, "http://192.168.1.20/rc/", nullptr, false, false,
       "Mozilla/5.0"},
      {"a script that is no browser", "192.168.1.20", nullptr, nullptr, nullptr, false, false, "curl/7.88.1"},
  };
  int asked = 0;
  for (const Row& row : rows) {
    OriginHeaders headers;
    headers.host = row.host;
    headers.origin = row.origin;
    headers.referer = row.referer;
    headers.fetchSite = row.fetchSite;
    headers.https = row.https;
    headers.userAgent = row.userAgent;
    headers.fromPage = row.fromPage;
    const char* reason = foreignRequestReason(headers, [&asked] {
      ++asked;
      return std::string("Box.example.com, media.example.com");
    });
    EXPECT_EQ(row.refused, reason != nullptr) << row.description << " " << (row.host ? row.host : "");
  }
  EXPECT_EQ(5, asked) << "the option is read only for names that are not the box's anyway";
}

}  // namespace
