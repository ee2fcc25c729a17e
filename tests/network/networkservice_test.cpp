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

TEST(NetworkSource, NfsPathGetsLeadingSlashButKeyKeepsIt) {
  NetworkSource udp = nfs("v", "srv", "export/media", NETWORK_UDP);
  EXPECT_EQ("/export/media", udp.path());
  EXPECT_EQ("1:srv:export/media", udp.key());
  EXPECT_EQ("nfs-udp://srv:/export/media:", udp.mediaUrl());
  EXPECT_EQ("nfs-tcp://srv:/export/media:", nfs("v", "srv", "/export/media", NETWORK_TCP).mediaUrl());
  EXPECT_EQ("nfs/v", udp.virtualPrefix());
}

TEST(NetworkSource, SmbMediaUrlCarriesCredentialsOnlyWhenGiven) {
  EXPECT_EQ("smb://bob:pw@nas/Movies", smb("m", "nas", "Movies", "bob", "pw").mediaUrl());
  EXPECT_EQ("smb://bob@nas/Movies", smb("m", "nas", "Movies", "bob").mediaUrl());
  EXPECT_EQ("smb://nas/Movies", smb("m", "nas", "Movies", "", "pw").mediaUrl());
}

TEST(NetworkSource, OtherTypeHasNoVirtualPrefixAndSmbStyleUrl) {
  NetworkSource other(NETWORK_OTHER, NETWORK_PROTOCOL_OTHER, "2:nas:x", "t", "nas", "x", "", "");
  EXPECT_EQ("", other.virtualPrefix());
  EXPECT_EQ("smb://nas/x", other.mediaUrl());
  EXPECT_EQ("", mtabNeedle(other));
}

TEST(NetworkSource, PathFormsSwapPrefixesOnceMounted) {
  NetworkSource source = smb("Movies", "nas", "Films");
  source.setMountPoint("/tmp/mnt/smb/ABC");
  EXPECT_EQ("/tmp/mnt/smb/ABC/a/b.mkv", source.virtualToReal("smb/Movies/a/b.mkv"));
  EXPECT_EQ("smb/Movies/a.mkv", source.realToVirtual("/tmp/mnt/smb/ABC/a.mkv"));
  EXPECT_EQ("smb://nas/Films/a.mkv", source.realToMediaUrl("/tmp/mnt/smb/ABC/a.mkv"));
  EXPECT_EQ("/tmp/mnt/smb/ABC/x", source.mediaUrlToReal("smb://nas/Films/x"));
  EXPECT_EQ("smb/Movies/x", source.mediaUrlToVirtual("smb://nas/Films/x"));
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

TEST(MtabNeedle, EscapesTheShareAsTheMountTableWritesIt) {
  EXPECT_EQ("\\134\\134nas\\134Movies", mtabNeedle(smb("m", "nas", "Movies")));
  EXPECT_EQ("\\134\\134nas\\134My\\040Share/sub", mtabNeedle(smb("m", "nas", "My Share/sub")));
  EXPECT_EQ("nas:/export", mtabNeedle(nfs("n", "nas", "export")));
}

TEST(MtabNeedle, MatchesOnlyTheWholeFirstField) {
  struct Row {
    const char* what;
    NetworkSource source;
    const char* line;
    bool matches;
    const char* mountPoint;
  };
  const Row rows[] = {
      {"share itself", smb("m", "nas", "Movies"), "\\134\\134nas\\134Movies /tmp/mnt/smb/X cifs rw 0 0", true,
       "/tmp/mnt/smb/X"},
      {"longer share name", smb("m", "nas", "Movies"), "\\134\\134nas\\134Movies2 /tmp/mnt/smb/X cifs rw 0 0", false,
       ""},
      {"sub export", nfs("n", "nas", "/export"), "nas:/export/sub /tmp/mnt/nfs/Y nfs rw 0 0", false, ""},
      {"export itself", nfs("n", "nas", "/export"), "nas:/export /tmp/mnt/nfs/Y nfs rw 0 0", true, "/tmp/mnt/nfs/Y"},
      {"escaped space and backslash", smb("m", "nas", "Movies"),
       "\\134\\134nas\\134Movies /tmp/mnt/network/My\\040Share\\134x cifs rw 0 0", true,
       "/tmp/mnt/network/My Share\\x"},
      {"escaped backslash before digits", smb("m", "nas", "Movies"), "\\134\\134nas\\134Movies /m/a\\134040 cifs", true,
       "/m/a\\040"},
      {"escape decoded once", smb("m", "nas", "Movies"), "\\134\\134nas\\134Movies /m/a\\134134b cifs", true,
       "/m/a\\134b"},
      {"no directory on the line", smb("m", "nas", "Movies"), "\\134\\134nas\\134Movies none", false, ""},
      {"needle without the space", smb("m", "nas", "Movies"), "\\134\\134nas\\134Movies", false, ""},
      {"directory at end of line", nfs("n", "nas", "/e"), "nas:/e /mnt/e", true, "/mnt/e"},
  };
  for (const Row& row : rows) {
    std::string mountPoint;
    EXPECT_EQ(row.matches, mtabMountPoint(row.line, mtabNeedle(row.source), mountPoint)) << row.what;
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

TEST(PlayerNetworkFolders, ReadsOneSmbFolder) {
  std::list<NetworkSource> sources =
      parsePlayerNetworkFolders("name.0 = A\ntype.0 = 0\nserver.0 = nas\ndirectory.0 = share\n");
  ASSERT_EQ(1u, sources.size());
  const NetworkSource& a = sources.front();
  EXPECT_EQ("A", a.title());
  EXPECT_EQ("0:nas:share", a.key());
  EXPECT_EQ("smb/A", a.virtualPrefix());
  EXPECT_EQ("smb://nas/share", a.mediaUrl());
  EXPECT_TRUE(a.isPersist());
}

TEST(PlayerNetworkFolders, TakesEveryFieldAndKeepsSpacesInValues) {
  std::list<NetworkSource> sources = parsePlayerNetworkFolders(
      "name.3 = My  Movies \ntype.3 = 1\nserver.3 = 10.0.0.2\ndirectory.3 = export/v\nuser.3 = u\n"
      "password.3 = p w\nprotocol.3 = 1\n");
  ASSERT_EQ(1u, sources.size());
  const NetworkSource& s = sources.front();
  EXPECT_EQ("My  Movies ", s.title());
  EXPECT_EQ(NETWORK_NFS, s.type());
  EXPECT_EQ(NETWORK_TCP, s.protocol());
  EXPECT_EQ("/export/v", s.path());
  EXPECT_EQ("1:10.0.0.2:export/v", s.key());
  EXPECT_EQ("u", s.user());
  EXPECT_EQ("p w", s.password());
}

TEST(PlayerNetworkFolders, SkipsLinesThatDoNotFit) {
  struct Row {
    const char* what;
    const char* text;
    const char* expected;  // virtual prefix|key of each folder
  };
  const Row rows[] = {
      {"later line overwrites", "name.1 = x\nname.1 = y\n", "|::"},
      {"no spaces", "name.1=x\n", ""},
      {"no dot", "name1 = x\n", ""},
      {"empty value", "name.1 = \n", ""},
      {"negative index", "name.-1 = x\n", ""},
      {"index text too long", "name.12345678 = x\n", ""},
      {"unknown field makes no folder", "comment.1 = x\n", ""},
      {"last line loses its last character", "type.1 = 0\nserver.1 = nasX", "smb/|0:nas:"},
      {"folders in index order", "type.10 = 1\ntype.2 = 0\n", "smb/|0::/nfs/|1::"},
      {"index read as a number", "type.2x = 1\ntype.02 = 0\n", "smb/|0::"},
  };
  for (const Row& row : rows) {
    std::string got;
    for (const std::string& folder : titles(parsePlayerNetworkFolders(row.text)))
      got += (got.empty() ? "" : "/") + folder;
    EXPECT_EQ(row.expected, got) << row.what;
  }
  std::list<NetworkSource> overwritten = parsePlayerNetworkFolders("name.1 = x\nname.1 = y\n");
  ASSERT_EQ(1u, overwritten.size());
  EXPECT_EQ("y", overwritten.front().title());
  EXPECT_EQ(NETWORK_OTHER, overwritten.front().type());
}

TEST(PlayerNetworkFolders, CutsLongLinesIntoPieces) {
  // The reader takes 1023 characters at a time; the rest of the line is read
  // as a line of its own.
  std::string text = "name.0 = " + std::string(1014, 'a') + "type.0 = 0\n";
  std::list<NetworkSource> sources = parsePlayerNetworkFolders(text);
  ASSERT_EQ(1u, sources.size());
  EXPECT_EQ(std::string(1013, 'a'), sources.front().title());
  EXPECT_EQ(NETWORK_SMB, sources.front().type());
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

TEST(StoredSources, AddRefusesOtherTypeOrProtocolTexts) {
  Json::Value root(Json::objectValue);
  EXPECT_FALSE(storeNetworkSource(root, "t", "2", "0", "nas", "x", "", ""));
  EXPECT_FALSE(storeNetworkSource(root, "t", "0", "", "nas", "x", "", ""));
  EXPECT_FALSE(root.isMember("network_sources"));
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

// --- fuzz targets -------------------------------------------------------------

namespace {

int fuzzFolders(const uint8_t* data, size_t size) {
  std::list<NetworkSource> sources = parsePlayerNetworkFolders(std::string(reinterpret_cast<const char*>(data), size));
  for (const NetworkSource& source : sources) (void)source.mediaUrl();
  return 0;
}

int fuzzMtabLine(const uint8_t* data, size_t size) {
  std::string line(reinterpret_cast<const char*>(data), size);
  std::string mountPoint;
  mtabMountPoint(line, "\\134\\134nas\\134Movies", mountPoint);
  mtabMountPoint(line, "nas:/export", mountPoint);
  (void)mtabUnescape(line);
  return 0;
}

}  // namespace

TEST(NetworkFuzz, PlayerNetworkFolders) {
  EXPECT_GT(runFuzzBriefly(fuzzFolders, {"name.0 = A\ntype.0 = 0\nserver.0 = nas\ndirectory.0 = share\n",
                                         "protocol.12 = 1\npassword.1 = a b c\nuser.7 = x", "name.-3 = q\n."}),
            0u);
}

TEST(NetworkFuzz, MtabLine) {
  EXPECT_GT(runFuzzBriefly(fuzzMtabLine, {"\\134\\134nas\\134Movies /tmp/mnt/smb/My\\040X cifs rw 0 0",
                                          "nas:/export /a\\134b nfs rw 0 0"}),
            0u);
}
