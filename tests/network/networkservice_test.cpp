#include "network/networkservice.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/mounttable.h"
#include "core/result.h"
#include "core/utils.h"
#include "network/netfolders.h"
#include "network/networkmount.h"
#include "network/storedsources.h"
#include "tests/support/fuzzrun.h"

int fuzzNetworkFolders(const uint8_t* data, size_t size);

namespace {

NetworkSource smb(const std::string& title, const std::string& address, const std::string& path,
                  const std::string& user = "", const std::string& password = "") {
  return NetworkSource(NETWORK_SMB, NETWORK_PROTOCOL_OTHER, makeSourceKey("0", address, path), title, address, path,
                       user, password);
}

NetworkSource nfs(const std::string& title, const std::string& address, const std::string& path, int protocol = 0) {
  return NetworkSource(NETWORK_NFS, protocol, makeSourceKey("1", address, path), title, address, path, "", "");
}

std::vector<std::string> titles(const std::list<NetworkSource>& sources) {
  std::vector<std::string> out;
  for (const NetworkSource& source : sources) out.push_back(source.virtualPrefix() + "|" + source.key());
  return out;
}

}  // namespace

// --- the source itself ------------------------------------------------------

// Its key, path, virtual prefix, media URL and its name in the mount table.
TEST(NetworkSource, FormsOfEachKind) {
  struct Row {
    const char* description;
    NetworkSource source;
    const char *key, *path, *prefix, *url, *needle;
  } rows[] = {
      {"SMB", smb("m", "nas", "Movies"), "0:nas:Movies", "Movies", "smb/m", "smb://nas/Movies",
       "\\134\\134nas\\134Movies"},
      {"SMB with user and password", smb("m", "nas", "Movies", "bob", "pw"), "0:nas:Movies", "Movies", "smb/m",
       "smb://bob:pw@nas/Movies", "\\134\\134nas\\134Movies"},
      {"SMB with a user only", smb("m", "nas", "Movies", "bob"), "0:nas:Movies", "Movies", "smb/m",
       "smb://bob@nas/Movies", "\\134\\134nas\\134Movies"},
      {"SMB with a password only", smb("m", "nas", "Movies", "", "pw"), "0:nas:Movies", "Movies", "smb/m",
       "smb://nas/Movies", "\\134\\134nas\\134Movies"},
      {"SMB share with a blank and a folder", smb("m", "nas", "My Share/sub"), "0:nas:My Share/sub", "My Share/sub",
       "smb/m", "smb://nas/My Share/sub", "\\134\\134nas\\134My\\040Share/sub"},
      {"NFS gets a leading slash, its key does not", nfs("v", "srv", "export/media", NETWORK_UDP), "1:srv:export/media",
       "/export/media", "nfs/v", "nfs-udp://srv:/export/media:", "srv:/export/media"},
      {"NFS over TCP", nfs("v", "srv", "/export/media", NETWORK_TCP), "1:srv:/export/media", "/export/media", "nfs/v",
       "nfs-tcp://srv:/export/media:", "srv:/export/media"},
      {"another type", NetworkSource(NETWORK_OTHER, NETWORK_PROTOCOL_OTHER, "2:nas:x", "t", "nas", "x", "", ""),
       "2:nas:x", "x", "", "smb://nas/x", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.description);
    EXPECT_EQ(row.key, row.source.key());
    EXPECT_EQ(row.path, row.source.path());
    EXPECT_EQ(row.prefix, row.source.virtualPrefix());
    EXPECT_EQ(row.url, row.source.mediaUrl());
    EXPECT_EQ(row.needle, mtabNeedle(row.source));
  }
}

TEST(NetworkSource, SameShareIgnoresTitleAndCredentials) {
  EXPECT_TRUE(smb("a", "nas", "x", "u", "p").isSameShare(smb("b", "nas", "x")));
  EXPECT_FALSE(smb("a", "nas", "x").isSameShare(smb("a", "nas", "y")));
  EXPECT_FALSE(smb("a", "nas", "/x").isSameShare(nfs("a", "nas", "/x")));
}

TEST(NetworkSource, SortPutsNfsFirstThenTitlesAndOtherTypesLast) {
  std::list<NetworkSource> list = {smb("a", "h", "1"), nfs("b", "h", "/2"),
                                   NetworkSource(NETWORK_OTHER, 0, "k", "0", "h", "3", "", ""), nfs("a", "h", "/4"),
                                   smb("B", "h", "5")};
  list.sort();
  EXPECT_EQ((std::vector<std::string>{"nfs/a|1:h:/4", "nfs/b|1:h:/2", "smb/B|0:h:5", "smb/a|0:h:1", "|k"}),
            titles(list));
}

// --- mount table ------------------------------------------------------------

// The mount table's lines are read as its own tests say; a share's line is
// the one whose whole first field is the share.
TEST(MtabNeedle, MatchesOnlyTheWholeFirstField) {
  struct Row {
    const char* what;
    NetworkSource source;
    const char* line;
    const char* mountPoint;  // "" when the line is not the share's
  } rows[] = {
      {"the share itself", smb("m", "nas", "Movies"), "\\134\\134nas\\134Movies /tmp/mnt/smb/X cifs rw 0 0",
       "/tmp/mnt/smb/X"},
      {"a longer share name", smb("m", "nas", "Movies"), "\\134\\134nas\\134Movies2 /tmp/mnt/smb/X cifs rw 0 0", ""},
      {"an export below", nfs("n", "nas", "/export"), "nas:/export/sub /tmp/mnt/nfs/Y nfs rw 0 0", ""},
      {"the export itself", nfs("n", "nas", "/export"), "nas:/export /tmp/mnt/nfs/Y nfs rw 0 0", "/tmp/mnt/nfs/Y"},
      {"only the share on the line", smb("m", "nas", "Movies"), "\\134\\134nas\\134Movies", ""},
  };
  for (const Row& row : rows) {
    std::string mountPoint;
    EXPECT_EQ(*row.mountPoint != 0, mtabMountPoint(row.line, mtabNeedle(row.source), mountPoint)) << row.what;
    EXPECT_EQ(row.mountPoint, mountPoint) << row.what;
  }
}

TEST(MtabEscape, RoundTripsEveryEscapedCharacter) {
  std::string text = "a b\tc\nd\\e\\040";
  EXPECT_EQ("a\\040b\\011c\\012d\\134e\\134040", mtabEscape(text));
  EXPECT_EQ(text, mtabUnescape(mtabEscape(text)));
  EXPECT_EQ("\\1\\", mtabUnescape("\\1\\"));
}

TEST(SmbMountOptions, DoublesCommasAndMasksThePassword) {
  EXPECT_EQ("username=,password=", smbMountOptions("", "", false));
  EXPECT_EQ("username=a,,b,password=c,,d,,", smbMountOptions("a,b", "c,d,", false));
  EXPECT_EQ("username=a,,b,password=***", smbMountOptions("a,b", "c,d,", true));
}

// --- the player's network folders ------------------------------------------

namespace {

// Each folder as "title|type|protocol|key|user|password", separated by "; ".
std::string folders(const std::string& text) {
  std::string out;
  for (const NetworkSource& s : parsePlayerNetworkFolders(text))
    out += (out.empty() ? "" : "; ") + s.title() + "|" + std::to_string(s.type()) + "|" + std::to_string(s.protocol()) +
           "|" + s.key() + "|" + s.user() + "|" + s.password();
  return out;
}

}  // namespace

TEST(PlayerNetworkFolders, ReadsTheFieldsOfEachIndex) {
  struct Row {
    const char* what;
    std::string text;
    std::string folders;
  } rows[] = {
      {"an SMB folder", "name.0 = A\ntype.0 = 0\nserver.0 = nas\ndirectory.0 = share\n", "A|0|-1|0:nas:share||"},
      {"every field, blanks in values kept",
       "name.3 = My  Movies \ntype.3 = 1\nserver.3 = 10.0.0.2\ndirectory.3 = export/v\nuser.3 = u\n"
       "password.3 = p w\nprotocol.3 = 1\n",
       "My  Movies |1|1|1:10.0.0.2:export/v|u|p w"},
      {"a later line overwrites", "name.1 = x\nname.1 = y\n", "y|-1|-1|::||"},
      {"no spaces", "name.1=x\n", ""},
      {"no dot", "name1 = x\n", ""},
      {"empty value", "name.1 = \n", ""},
      {"negative index", "name.-1 = x\n", ""},
      {"index text too long", "name.12345678 = x\n", ""},
      {"an unknown field makes no folder", "comment.1 = x\n", ""},
      {"the last line loses its last character", "type.1 = 0\nserver.1 = nasX", "|0|-1|0:nas:||"},
      {"folders in index order", "type.10 = 1\ntype.2 = 0\n", "|0|-1|0::||; |1|-1|1::||"},
      {"the index read as a number", "type.2x = 1\ntype.02 = 0\n", "|0|-1|0::||"},
      // The reader takes 1023 characters at a time; the rest of the line is read as a line of its own.
      {"a long line cut into pieces", "name.0 = " + std::string(1014, 'a') + "type.0 = 0\n",
       std::string(1013, 'a') + "|0|-1|0::||"},
  };
  for (const Row& row : rows) EXPECT_EQ(row.folders, folders(row.text)) << row.what;
}

// --- stored sources and the merge ------------------------------------------

TEST(StoredSources, ReadMembersInNameOrderWithMissingTextsEmpty) {
  Json::Value root;
  Json::Value& store = networkSourceStore(root);
  EXPECT_TRUE(root["network_sources"].isObject());
  store["1:b:/e"]["type"] = "1";
  store["1:b:/e"]["title"] = "E";
  store["1:b:/e"]["protocol"] = "1";
  store["1:b:/e"]["address"] = "b";
  store["1:b:/e"]["path"] = "/e";
  store["0:a:x"]["type"] = 0;  // not a text: counts as missing
  store["0:a:x"]["title"] = "X";
  store["zz"] = "not an object";
  std::list<NetworkSource> sources = storedNetworkSources(store);
  EXPECT_EQ((std::vector<std::string>{"|0:a:x", "nfs/E|1:b:/e", "|zz"}), titles(sources));
  EXPECT_FALSE(sources.front().isPersist());
  EXPECT_EQ(NETWORK_PROTOCOL_OTHER, sources.front().protocol());
}

TEST(StoredSources, StoreReplacesAMemberThatIsNotAnObject) {
  Json::Value root;
  root["network_sources"] = Json::Value(Json::arrayValue);
  networkSourceStore(root);
  EXPECT_EQ("{}\n", toJsonText(root["network_sources"]));
}

TEST(StoredSources, AddRenamesAClashingTitleAndReplacesTheSameShare) {
  Json::Value root;
  ASSERT_TRUE(storeNetworkSource(root, "Movies", "0", "0", "nas", "Films", "bob", "pw"));
  ASSERT_TRUE(storeNetworkSource(root, "Movies", "0", "1", "nas2", "Other", "", ""));
  const Json::Value& store = root["network_sources"];
  EXPECT_EQ(md5Hex("nas2Other"), store["0:nas2:Other"]["title"].asString());
  EXPECT_EQ(
      "{\"address\":\"nas\",\"password\":\"pw\",\"path\":\"Films\",\"protocol\":\"0\",\"title\":\"Movies\","
      "\"type\":\"0\",\"user\":\"bob\"}\n",
      toJsonText(store["0:nas:Films"]));
  // The same share again under its own title: the stored member counts as a clash.
  ASSERT_TRUE(storeNetworkSource(root, "Movies", "0", "0", "nas", "Films", "eve", ""));
  EXPECT_EQ(2u, store.size());
  EXPECT_EQ(md5Hex("nasFilms"), store["0:nas:Films"]["title"].asString());
  EXPECT_EQ("eve", store["0:nas:Films"]["user"].asString());
}

TEST(MergeSources, StoredShareWinsOverTheSamePlayerFolder) {
  Json::Value root;
  storeNetworkSource(root, "Stored", "0", "0", "nas", "share", "", "");
  std::list<NetworkSource> list = storedNetworkSources(root["network_sources"]);
  mergeNetworkSources(list, parsePlayerNetworkFolders("name.0 = Player\ntype.0 = 0\nserver.0 = nas\n"
                                                      "directory.0 = share\nname.1 = N\ntype.1 = 1\n"
                                                      "server.1 = s\ndirectory.1 = e\nname.2 = N2\ntype.2 = 1\n"
                                                      "server.2 = s\ndirectory.2 = /e\n"));
  EXPECT_EQ((std::vector<std::string>{"nfs/N|1:s:e", "smb/Stored|0:nas:share"}), titles(list));
  EXPECT_FALSE(list.back().isPersist());
  EXPECT_TRUE(list.front().isPersist());
}

TEST(NetworkFoldersFuzz, EveryShareFindsItsMountLine) {
  std::vector<std::string> seeds = {
      "name.0 = Films\ntype.0 = 0\nserver.0 = 192.168.1.5\ndirectory.0 = media/films\nuser.0 = guest\n"
      "password.0 = secret\nprotocol.0 = 1\n",
      "name.3 = Music Box\ntype.3 = 1\nserver.3 = 10.0.0.2\ndirectory.3 = /export/music\nprotocol.3 = 0\n",
      "name.1 = a\\134b\tc\ntype.1 = 0\nserver.1 = h\\x\ndirectory.1 = d e\n",
  };
  EXPECT_GT(runFuzzBriefly(fuzzNetworkFolders, seeds), 20000u);
}
