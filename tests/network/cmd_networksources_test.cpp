// The three network source commands through the built program, one sandbox
// root per test.
#include <gtest/gtest.h>

#include "core/config.h"
#include "core/paths.h"
#include "tests/support/cgiprocess.h"
#include "tests/support/sandbox.h"

namespace {

const char* const kOk = "{\"message\":\"ok\"}\n";

std::string entry(const std::string& persist, const std::string& key, const std::string& name, const std::string& path,
                  const std::string& title, const std::string& type) {
  return "{\"is_persist\":\"" + persist + "\",\"key\":\"" + key + "\",\"name\":\"" + name + "\",\"path\":\"" + path +
         "\",\"title\":\"" + title + "\",\"type\":\"" + type + "\"}";
}

std::string listBody(const std::string& entries) { return "{\"sources\":[" + entries + "]}\n"; }

}  // namespace

// Shares added here are listed with the player's own folders (those of
// another type last, without a virtual path) and deleted again.
TEST(NetworkSourceCommands, AddListDeleteRoundTrip) {
  Sandbox box;
  box.write(paths::kNetworkFolders,
            "name.4 = Exports\ntype.4 = 1\nserver.4 = srv\ndirectory.4 = export\nprotocol.4 = 1\n"
            "name.7 = Odd\ntype.7 = 5\nserver.7 = srv\ndirectory.7 = odd\n");
  const std::string exports = entry("1", "1:srv:export", "nfs/Exports", "/export", "Exports", "NFS");
  const std::string odd = entry("1", "5:srv:odd", "", "odd", "Odd", "SMB");
  expectJson(box.get("cmd=network_source_list"), listBody(exports + "," + odd));
  // The password in a POST body rather than the URL; a query parameter wins over the body's.
  CgiRequest add;
  add.method = "POST";
  add.query = "cmd=network_source_add&type=0";
  add.body = "title=Movies&type=9&protocol=0&address=nas&path=Films&user=bob&password=pw";
  add.cookie = "bid=TEST";
  expectJson(box.run(add), kOk);
  expectJson(box.get("cmd=network_source_add&title=Video&type=1&protocol=1&address=10.0.0.2&path=export%2Fv"), kOk);
  const std::string video = entry("0", "1:10.0.0.2:export/v", "nfs/Video", "/export/v", "Video", "NFS");
  expectJson(box.get("cmd=network_source_list"),
             listBody(exports + "," + video + "," + entry("0", "0:nas:Films", "smb/Movies", "Films", "Movies", "SMB") +
                      "," + odd));
  Json::Value stored = readJson(box, paths::kConfigFile)["network_sources"]["0:nas:Films"];
  EXPECT_EQ("bob pw", stored["user"].asString() + " " + stored["password"].asString());

  expectJson(box.get("cmd=network_source_del&source_key=0%3Anas%3AFilms"), kOk);
  expectJson(box.get("cmd=network_source_del&source_key=no-such-key"), kOk);
  expectJson(box.get("cmd=network_source_list"), listBody(exports + "," + video + "," + odd));
  EXPECT_EQ(std::string::npos, box.read(paths::kConfigFile).find("Films"));
  EXPECT_EQ("", box.read("/var/standin.log"));  // neither listing nor deleting an unmounted share runs anything
}

// After any refusal nothing is stored.
TEST(NetworkSourceCommands, AddChecksItsParametersInOrder) {
  struct Row {
    const char* query;
    const char* error;
  };
  const Row rows[] = {
      {"", "Title not defined"},
      {"&title=T&address=nas&path=x", "Type not defined"},
      {"&title=T&type=0&path=x", "Server not defined"},
      {"&title=T&type=0&address=nas", "Directory not defined"},
      {"&title=T&type=1&address=nas&path=x&protocol=", "Protocol not defined"},
      {"&title=T&type=0&address=nas&path=x", "Protocol not defined"},
      {"&title=T&type=00&protocol=0&address=nas&path=x", "Type not valid"},
      {"&title=T&type=1&protocol=tcp&address=nas&path=x", "Protocol not valid"},
      {"&title=T&type=0&protocol=1+&address=nas&path=x", "Protocol not valid"},
  };
  Sandbox box;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.query);
    expectError(box.get(std::string("cmd=network_source_add") + row.query), row.error);
  }
  expectJson(box.get("cmd=network_source_list"), listBody(""));
  expectError(box.get("cmd=network_source_del&source_key="), "source name not defined");
  // An add that would take the configuration past its bound.
  std::string filler(Config::kMaxDocumentBytes - 300, 'x');
  box.write(paths::kConfigFile, "{\"version\":\"2\",\"filler\":\"" + filler + "\"}");
  expectError(box.get("cmd=network_source_add&title=Movies&type=0&protocol=0&address=nas&path=Films&user=" +
                      std::string(400, 'u')),
              Config::kTooLarge);
  expectJson(box.get("cmd=network_source_list"), listBody(""));
}
