// The three network source commands through the built program, one sandbox
// root per test.
#include <gtest/gtest.h>

#include "core/config.h"
#include "core/paths.h"
#include "core/utils.h"
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

TEST(NetworkSourceCommands, AddListDeleteRoundTrip) {
  Sandbox box;
  expectJson(box.get("cmd=network_source_list"), listBody(""));
  // The password in a POST body rather than the URL; a query parameter wins over the body's.
  CgiRequest add;
  add.method = "POST";
  add.query = "cmd=network_source_add&type=0";
  add.body = "title=Movies&type=9&protocol=0&address=nas&path=Films&user=bob&password=pw";
  add.cookie = "bid=TEST";
  expectJson(box.run(add), kOk);
  expectJson(box.get("cmd=network_source_add&title=Video&type=1&protocol=1&address=10.0.0.2&path=export%2Fv"), kOk);
  expectJson(box.get("cmd=network_source_list"),
             listBody(entry("0", "1:10.0.0.2:export/v", "nfs/Video", "/export/v", "Video", "NFS") + "," +
                      entry("0", "0:nas:Films", "smb/Movies", "Films", "Movies", "SMB")));
  std::string config = box.read(paths::kConfigFile);
  EXPECT_NE(std::string::npos, config.find("\t\t\"0:nas:Films\" : \n\t\t{\n\t\t\t\"address\" : \"nas\",\n\t\t\t"
                                           "\"password\" : \"pw\",\n\t\t\t\"path\" : \"Films\",\n\t\t\t"
                                           "\"protocol\" : \"0\",\n\t\t\t\"title\" : \"Movies\",\n\t\t\t"
                                           "\"type\" : \"0\",\n\t\t\t\"user\" : \"bob\"\n\t\t}"))
      << config;

  expectJson(box.get("cmd=network_source_del&source_key=0%3Anas%3AFilms"), kOk);
  expectJson(box.get("cmd=network_source_del&source_key=no-such-key"), kOk);
  expectJson(box.get("cmd=network_source_list"),
             listBody(entry("0", "1:10.0.0.2:export/v", "nfs/Video", "/export/v", "Video", "NFS")));
  EXPECT_EQ(std::string::npos, box.read(paths::kConfigFile).find("Films"));
  EXPECT_EQ("", box.read("/var/standin.log"));  // neither listing nor deleting an unmounted share runs anything
}

TEST(NetworkSourceCommands, AddChecksItsParametersInOrder) {
  struct Row {
    const char* query;
    const char* error;
  };
  const Row rows[] = {
      {"", "Title not defined"},
      {"&type=0&address=nas&path=x", "Title not defined"},
      {"&title=T&address=nas&path=x", "Type not defined"},
      {"&title=T&type=0&path=x", "Server not defined"},
      {"&title=T&type=0&address=nas", "Directory not defined"},
      {"&title=T&type=1&address=nas&path=x", "Protocol not defined"},
      {"&title=T&type=1&address=nas&path=x&protocol=", "Protocol not defined"},
      // An add that would store nothing is refused (the list below stays empty).
      {"&title=T&type=0&address=nas&path=x", "Protocol not defined"},
      {"&title=T&type=2&protocol=0&address=nas&path=x", "Type not valid"},
      {"&title=T&type=00&protocol=0&address=nas&path=x", "Type not valid"},
      {"&title=T&type=1&protocol=tcp&address=nas&path=x", "Protocol not valid"},
      {"&title=T&type=0&protocol=1+&address=nas&path=x", "Protocol not valid"},
  };
  Sandbox box;
  for (const Row& row : rows) {
    CgiResponse response = box.get(std::string("cmd=network_source_add") + row.query);
    SCOPED_TRACE(row.query);
    expectError(response, row.error);
  }
  expectJson(box.get("cmd=network_source_list"), listBody(""));
  expectError(box.get("cmd=network_source_del"), "source name not defined");
  expectError(box.get("cmd=network_source_del&source_key="), "source name not defined");
}

TEST(NetworkSourceCommands, AddThatWouldPassTheConfigurationBoundStoresNothing) {
  Sandbox box;
  std::string filler(Config::kMaxDocumentBytes - 300, 'x');
  box.write(paths::kConfigFile, "{\"version\":\"2\",\"filler\":\"" + filler + "\"}");
  expectError(box.get("cmd=network_source_add&title=Movies&type=0&protocol=0&address=nas&path=Films&user=" +
                      std::string(400, 'u')),
              Config::kTooLarge);
  expectJson(box.get("cmd=network_source_list"), listBody(""));
}

TEST(NetworkSourceCommands, ClashingTitlesAreRenamedToTheShareHash) {
  Sandbox box;
  box.get("cmd=network_source_add&title=Movies&type=0&protocol=0&address=nas&path=Films");
  box.get("cmd=network_source_add&title=Movies&type=0&protocol=0&address=nas2&path=Other");
  std::string other = md5Hex("nas2Other");
  expectJson(box.get("cmd=network_source_list"),
             listBody(entry("0", "0:nas2:Other", "smb/" + other, "Other", other, "SMB") + "," +
                      entry("0", "0:nas:Films", "smb/Movies", "Films", "Movies", "SMB")));
  // The same share again under its own title counts as a clash with itself.
  box.get("cmd=network_source_add&title=Movies&type=0&protocol=0&address=nas&path=Films&user=eve");
  std::string films = md5Hex("nasFilms");
  expectJson(box.get("cmd=network_source_list"),
             listBody(entry("0", "0:nas2:Other", "smb/" + other, "Other", other, "SMB") + "," +
                      entry("0", "0:nas:Films", "smb/" + films, "Films", films, "SMB")));
}

TEST(NetworkSourceCommands, PlayerFoldersAreMergedWithStoredShares) {
  Sandbox box;
  box.write(paths::kNetworkFolders,
            "name.1 = Player Movies\ntype.1 = 0\nserver.1 = nas\ndirectory.1 = Films\n"
            "name.4 = Exports\ntype.4 = 1\nserver.4 = srv\ndirectory.4 = export\nprotocol.4 = 1\n"
            "name.7 = Odd\ntype.7 = 5\nserver.7 = srv\ndirectory.7 = odd\n");
  box.get("cmd=network_source_add&title=Movies&type=0&protocol=0&address=nas&path=Films");
  expectJson(box.get("cmd=network_source_list"),
             listBody(entry("1", "1:srv:export", "nfs/Exports", "/export", "Exports", "NFS") + "," +
                      entry("0", "0:nas:Films", "smb/Movies", "Films", "Movies", "SMB") + "," +
                      entry("1", "5:srv:odd", "", "odd", "Odd", "SMB")));
}
