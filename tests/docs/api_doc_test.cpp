// docs/API.md, executed: every ```request block of the reference is sent, in
// the order of the document, to tavorc in one sandbox root (the player
// simulator, the demo's sample storage and share, a local update server), and
// the answer must be the ```response block that follows it: the status, the
// headers shown and no others, in their order (dates and the "bid" cookie by
// shape), and the body byte for byte ("response shape": digits and 32-digit
// hex names by shape). An ```update-server block lists the requests the
// update server got during the example before it.
//
// TAVORC_API_ACTUAL=<file> also writes every real answer there, in the
// document's form, for updating the reference.
#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "core/paths.h"
#include "core/utils.h"
#include "tests/support/playersim.h"
#include "tests/support/programs.h"
#include "tests/support/sandbox.h"
#include "tests/update/update_server.h"

namespace {

struct Block {
  std::string kind;  // request, response, response shape, update-server
  std::string text;  // without the final line feed
  int line = 0;
  std::string fixture;  // "<!-- fixture: ... -->" before a request: what the example needs set up
};

std::vector<Block> readBlocks(const std::string& file) {
  std::ifstream in(file);
  std::vector<Block> blocks;
  std::string line;
  int number = 0;
  Block* open = nullptr;
  Block ignored;  // a block of another kind, read past
  std::string fixture;
  const std::string mark = "<!-- fixture: ";
  while (std::getline(in, line)) {
    ++number;
    if (!open && line.rfind(mark, 0) == 0) {
      fixture = line.substr(mark.size(), line.rfind(" -->") - mark.size());
    } else if (open) {
      if (line == "```") {
        if (!open->text.empty()) open->text.pop_back();
        open = nullptr;
      } else {
        open->text += line + "\n";
      }
    } else if (line.rfind("```", 0) == 0) {
      std::string kind = line.substr(3);
      if (kind == "request" || kind == "response" || kind == "response shape" || kind == "update-server") {
        blocks.push_back({kind, "", number + 1, kind == "request" ? fixture : ""});
        if (kind == "request") fixture.clear();
        open = &blocks.back();
      } else {
        open = &ignored;
      }
    }
  }
  return blocks;
}

// Dates and ids are compared by their form: the day and month names, the
// digits and the 32-digit hex ids (bid cookie, cover names) stand for any.
std::string shape(std::string text) {
  text = std::regex_replace(text, std::regex("[0-9A-F]{32}"), "<hex32>");
  text = std::regex_replace(text, std::regex("[0-9]"), "9");
  text = std::regex_replace(text, std::regex("\\b(Mon|Tue|Wed|Thu|Fri|Sat|Sun)\\b"), "Day");
  text = std::regex_replace(text, std::regex("\\b(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)\\b"), "Mon");
  return text;
}

struct Head {
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
};

// "first line\nName: value\n...\n\nbody"
Head splitMessage(const std::string& text, std::string& first) {
  Head head;
  std::istringstream in(text);
  std::getline(in, first);
  std::string line;
  while (std::getline(in, line) && !line.empty()) {
    size_t colon = line.find(": ");
    head.headers.emplace_back(line.substr(0, colon), colon == std::string::npos ? "" : line.substr(colon + 2));
  }
  size_t blank = text.find("\n\n");
  head.body = blank == std::string::npos ? "" : text.substr(blank + 2);
  return head;
}

CgiRequest toCgi(const Block& block, const std::string& updateUrl, const std::string& updateKey) {
  std::string first;
  Head head = splitMessage(block.text, first);
  CgiRequest request;
  std::istringstream words(first);
  std::string target;
  words >> request.method >> target;
  size_t question = target.find('?');
  request.query = question == std::string::npos ? "" : target.substr(question + 1);
  for (const auto& [name, value] : head.headers) {
    if (name == "Cookie") {
      request.cookie = value;
    } else if (name == "Content-Type") {
      request.environment.push_back("CONTENT_TYPE=" + value);
    } else {  // as the web server passes a header on: "Sec-Fetch-Site" is HTTP_SEC_FETCH_SITE
      std::string variable = "HTTP_" + name;
      for (char& c : variable) c = c == '-' ? '_' : static_cast<char>(toupper(static_cast<unsigned char>(c)));
      request.environment.push_back(variable + "=" + value);
    }
  }
  request.body = head.body;
  if (request.method == "GET") request.contentLength = "";
  request.environment.push_back("TAVORC_UPDATE_URL=" + updateUrl);
  request.environment.push_back(updateKey);
  return request;
}

const char* reason(int status) {
  return status == 200 ? "OK" : status == 403 ? "Forbidden" : status == 500 ? "Internal Server Error" : "?";
}

// The answer in the document's form, as the web server passes it on.
std::string asDocument(const CgiResponse& response, const std::string& body) {
  std::string text = "HTTP/1.1 " + std::to_string(response.status()) + " " + reason(response.status()) + "\n";
  for (const std::string& name : response.headerNames)
    if (name != "Status") text += name + ": " + response.header(name) + "\n";
  return text + "\n" + body;
}

class ApiReference : public ::testing::Test {
 protected:
  void SetUp() override {
    player.set("clock=frozen");
    shellOutput("sh " + sourceDir() + "/tools/make-sample-storage.sh " + box.root() + " && sh " + sourceDir() +
                "/tools/add-sample-share.sh " + box.root());
    box.write(paths::kSysInfo, "serial_number: DEMO-0001\n");
    box.write("/tmp/www/rc/i18n/de", "title = Filme\nplay = Abspielen\nback = Zurück\n");
    // The update server's offer; signed archives whose script leaves a mark
    // or fails, the first one unsigned too, and one without a script.
    server.put("last_version.php", "{\"versionNumber\":\"0.8.0\",\"notes\":\"demo update\"}\n");
    shellOutput("cd " + box.root() +
                " && mkdir -p pkg failing && printf 'date >\"$TAVORC_ROOT/tmp/updated\"\\n' >pkg/update.sh"
                " && printf 'exit 1\\n' >failing/update.sh && cd pkg && zip -q ../unsigned.zip update.sh"
                " && printf x >notes.txt && zip -q ../empty.zip notes.txt && rm notes.txt");
    key.sign(box.root() + "/pkg");
    key.sign(box.root() + "/failing");
    shellOutput("cd " + box.root() + "/pkg && zip -q ../update.zip * && cd ../failing && zip -q ../failing.zip *");
  }
  void TearDown() override {
    std::string poller = box.read(paths::kPollerPidFile);
    if (atoi(poller.c_str()) > 0) kill(atoi(poller.c_str()), SIGTERM);
  }

  Sandbox box;
  SimulatedPlayer player{box};
  UpdateServer server{box.root() + "/update-server"};
  SigningKey key{box.root() + "/key"};
};

TEST_F(ApiReference, EveryExampleAnswersAsDocumented) {
  std::vector<Block> blocks = readBlocks(sourceDir() + "/docs/API.md");
  ASSERT_GT(blocks.size(), 40u);
  const char* actualFile = getenv("TAVORC_API_ACTUAL");
  std::ofstream actual;
  if (actualFile) actual.open(actualFile);
  int examples = 0;
  for (size_t i = 0; i < blocks.size(); ++i) {
    const Block& request = blocks[i];
    if (request.kind != "request") {
      ADD_FAILURE() << "docs/API.md:" << request.line << ": a " << request.kind << " block without its request";
      continue;
    }
    ASSERT_LT(i + 1, blocks.size()) << "docs/API.md:" << request.line << ": request without response";
    const Block& expected = blocks[++i];
    ASSERT_EQ(expected.kind.rfind("response", 0), 0u)
        << "docs/API.md:" << expected.line << ": expected a response block";
    SCOPED_TRACE("docs/API.md:" + std::to_string(request.line) + ": " +
                 request.text.substr(0, request.text.find('\n')));
    ++examples;

    const std::string& fixture = request.fixture;
    if (fixture == "update server without an offer")
      server.remove("last_version.php");
    else if (fixture == "update server offers 0.8.0")
      server.put("last_version.php", "{\"versionNumber\":\"0.8.0\",\"notes\":\"demo update\"}\n");
    else if (fixture == "update server without an archive")
      server.remove("download.php");
    else if (fixture == "update server with an archive without update.sh")
      server.put("download.php", box.read("/empty.zip"));
    else if (fixture == "update server with an archive")
      server.put("download.php", box.read("/update.zip"));
    else if (fixture == "update server with an unsigned archive")
      server.put("download.php", box.read("/unsigned.zip"));
    else if (fixture == "update server with an archive whose script fails")
      server.put("download.php", box.read("/failing.zip"));
    else if (fixture == "player in standby")
      player.set("power=standby boot_seconds=0");
    else if (fixture == "player reports a position of years")
      player.set("duration=2147483647 position=2147483000");
    else if (!fixture.empty())
      ADD_FAILURE() << "unknown fixture " << fixture;
    size_t before = server.requests().size();
    CgiResponse response = box.run(toCgi(request, server.url(), key.environment()));
    EXPECT_EQ(response.exitStatus, 0);
    // On the box the real paths have no sandbox root in front.
    std::string body = response.body;
    replaceAll(body, box.root(), "");
    if (!body.empty() && body.back() == '\n') body.pop_back();
    if (actual.is_open())
      actual << "```request\n"
             << request.text << "\n```\n\n```" << expected.kind << "\n"
             << asDocument(response, body) << "\n```\n\n";

    std::string statusLine;
    Head want = splitMessage(expected.text, statusLine);
    EXPECT_EQ(statusLine.substr(0, 12), "HTTP/1.1 " + std::to_string(response.status()));
    std::vector<std::string> shown;
    for (const auto& [name, value] : want.headers) {
      shown.push_back(name);
      bool byShape = name == "Date" || name == "Expires" || name == "Set-Cookie";
      EXPECT_EQ(byShape ? shape(response.header(name)) : response.header(name), byShape ? shape(value) : value)
          << "header " << name;
    }
    std::vector<std::string> given;
    for (const std::string& name : response.headerNames)
      if (name != "Status") given.push_back(name);
    EXPECT_EQ(given, shown) << "the headers, in their order";
    if (expected.kind == "response shape")
      EXPECT_EQ(shape(body), shape(want.body));
    else
      EXPECT_EQ(body, want.body);

    if (i + 1 < blocks.size() && blocks[i + 1].kind == "update-server") {
      const Block& calls = blocks[++i];
      std::string got;
      std::vector<std::string> lines = server.requests();
      for (size_t n = before; n < lines.size(); ++n) got += lines[n] + "\n";
      if (!got.empty()) got.pop_back();
      if (actual.is_open()) actual << "```update-server\n" << got << "\n```\n\n";
      EXPECT_EQ(got, calls.text) << "update server requests";
    }
  }
  EXPECT_GT(examples, 40);
}

}  // namespace
