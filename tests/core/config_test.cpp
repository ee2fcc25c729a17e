#include "core/config.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <memory>

#include "core/optionrules.h"
#include "core/paths.h"
#include "core/result.h"
#include "tests/core/scratchroot.h"

namespace {

const std::string kFile = paths::kConfigFile;

Json::Value parsed(const std::string& text) {
  Json::Value value;
  Json::Reader reader;
  if (!reader.parse(text, value, false)) ADD_FAILURE() << "unparsable: " << text;
  return value;
}

Json::Value saved() { return parsed(readScratch(kFile)); }

Json::Value defaultOptions() {
  return parsed("{\"common\":{\"autocheck_upd\":\"true\",\"language\":\"en\",\"pbopt\":\"false\"}}");
}

// The whole document of a fresh configuration.
Json::Value defaultDocument() {
  Json::Value document;
  document["options"] = defaultOptions();
  document["version"] = "2";
  return document;
}

class ConfigTest : public ::testing::Test {
 protected:
  void SetUp() override { removeScratch(kFile); }
  // One request's life: load with the bid, let the test work, save on the way out.
  void request(const std::string& bid, const std::function<void(Config&)>& work) {
    Config config(bid);
    work(config);
  }
};

TEST_F(ConfigTest, MissingFileGivesTheDefaults) {
  request("X", [](Config& config) {
    EXPECT_EQ("en", config.get("language"));
    EXPECT_EQ("true", config.get("autocheck_upd"));
    EXPECT_EQ("false", config.get("pbopt"));
    EXPECT_EQ("", config.get("show_covers"));
  });
  EXPECT_EQ(defaultDocument(), saved());
  // Written with a tab as indentation.
  EXPECT_EQ(0u, readScratch(kFile).find("{\n\t\"options\" : \n\t{\n\t\t\"common\""));
}

TEST_F(ConfigTest, VersionOneDocumentIsMigrated) {
  writeScratch(kFile,
               "{\"version\":\"1\",\"favorites\":[1],\"options\":{\"language\":\"de\",\"autocheck_upd\":\"false\","
               "\"show_covers\":\"true\"}}");
  request("X", [](Config& config) { EXPECT_EQ("en", config.get("language")); });
  Json::Value document = saved();
  EXPECT_EQ(parsed("{\"common\":{\"autocheck_upd\":\"false\",\"language\":\"en\",\"pbopt\":\"false\","
                   "\"show_covers\":\"true\"}}"),
            document["options"]);
  EXPECT_EQ("2", document["version"].asString());
  EXPECT_EQ(parsed("[1]"), document["favorites"]);
}

TEST_F(ConfigTest, MigrationRepairsMissingOrOddOptions) {
  for (const char* text : {"{\"version\":\"0\",\"options\":[1,2]}",
                           "{\"version\":\"1\",\"options\":{\"autocheck_upd\":5,\"pbopt\":\"true\"}}"}) {
    writeScratch(kFile, text);
    request("X", [](Config&) {});
    EXPECT_EQ(defaultOptions(), saved()["options"]) << text;
  }
}

TEST_F(ConfigTest, DocumentWithoutVersionLosesEverything) {
  writeScratch(kFile, "{\"favorites\":[\"a\"],\"history\":{\"x\":1},\"options\":{\"common\":{\"language\":\"de\"}}}");
  request("X", [](Config& config) { EXPECT_EQ("en", config.get("language")); });
  EXPECT_EQ(defaultDocument(), saved());
}

TEST_F(ConfigTest, CurrentDocumentIsKeptAsItIs) {
  std::string text = "{\"nnvc\":\"17\",\"options\":{\"common\":{\"language\":\"fr\"}},\"version\":\"2\"}";
  writeScratch(kFile, text);
  request("X", [](Config& config) {
    EXPECT_EQ("fr", config.get("language"));
    EXPECT_EQ("", config.get("autocheck_upd"));
  });
  EXPECT_EQ(parsed(text), saved());
}

// The file's writer cuts a member name at a zero byte: kept, "options\0x"
// would be saved as a second "options" and replace the real one next time.
TEST_F(ConfigTest, MemberNameWithAZeroByteIsDroppedNotSavedUnderAShorterName) {
  writeScratch(kFile,
               "{\"options\":{\"common\":{\"language\":\"fr\"}},\"options\\u0000x\":{\"common\":{\"language\":"
               "\"de\"}},\"favorites\":[{\"na\\u0000me\":\"A\",\"name\":\"B\"}],\"version\":\"2\"}");
  request("X", [](Config& config) { config.set("show_covers", "true"); });
  request("X", [](Config& config) {
    EXPECT_EQ("fr", config.get("language"));
    EXPECT_EQ("B", config.root()["favorites"][0]["name"].asString());
    EXPECT_EQ(1u, config.root()["favorites"][0].size());
  });
  EXPECT_EQ(std::string::npos, readScratch(kFile).find("\"de\""));
}

TEST_F(ConfigTest, OddVersionsBecomeVersionTwo) {
  for (const char* version : {"\"3\"", "2", "1.5", "true", "{}"}) {
    writeScratch(kFile, std::string("{\"version\":") + version + ",\"options\":{\"common\":{\"a\":\"b\"}}}");
    request("X", [](Config&) {});
    Json::Value document = saved();
    EXPECT_EQ("2", document["version"].asString()) << version;
    EXPECT_EQ("b", document["options"]["common"]["a"].asString()) << version;
  }
}

TEST_F(ConfigTest, UnusableFilesGiveTheDefaults) {
  const char* texts[] = {
      "", "{", "not json", "[1,2]", "\"text\"", "5", "null", "{\"version\":null,\"x\":1}",
  };
  for (const char* text : texts) {
    writeScratch(kFile, text);
    request("X", [&](Config& config) { EXPECT_EQ("en", config.get("language")) << text; });
    EXPECT_EQ(defaultDocument(), saved()) << text;
  }
  // Nesting deeper than the reader accepts ends in the defaults, not a crash.
  for (const std::string& deep : {std::string(100000, '['),
                                  "{\"version\":\"2\",\"options\":{\"common\":{"
                                  "\"language\":\"fr\"}},\"a\":" +
                                      std::string(5000, '[') + std::string(5000, ']') + "}"}) {
    writeScratch(kFile, deep);
    request("X", [](Config& config) { EXPECT_EQ("en", config.get("language")); });
  }
}

TEST_F(ConfigTest, PerBrowserOptionsLiveUnderTheBid) {
  writeScratch(kFile, "{\"version\":\"2\",\"options\":{\"common\":{\"pbopt\":\"true\",\"language\":\"en\"}}}");
  request("X", [](Config& config) {
    config.set("language", "de");
    config.set("show_covers", "false");
    config.set("autocheck_upd", "false");
    EXPECT_EQ("de", config.get("language"));
  });
  Json::Value options = saved()["options"];
  EXPECT_EQ(parsed("{\"language\":\"de\",\"show_covers\":\"false\"}"), options["X"]);
  EXPECT_EQ(parsed("{\"autocheck_upd\":\"false\",\"language\":\"en\",\"pbopt\":\"true\"}"), options["common"]);

  request("Y", [](Config& config) {
    EXPECT_EQ("en", config.get("language"));
    EXPECT_EQ("", config.get("show_covers"));
    EXPECT_EQ(parsed("{\"autocheck_upd\":\"false\",\"language\":\"en\",\"pbopt\":\"true\"}"), config.allOptions());
  });
  request("X", [](Config& config) {
    EXPECT_EQ(parsed("{\"autocheck_upd\":\"false\",\"language\":\"de\",\"pbopt\":\"true\",\"show_covers\":\"false\"}"),
              config.allOptions());
  });
}

TEST_F(ConfigTest, PerBrowserValueThatIsNotTextReadsEmpty) {
  writeScratch(kFile,
               "{\"version\":\"2\",\"options\":{\"common\":{\"pbopt\":\"true\",\"language\":\"en\"},"
               "\"X\":{\"language\":7}}}");
  request("X", [](Config& config) { EXPECT_EQ("", config.get("language")); });
}

TEST_F(ConfigTest, PbOptTakesEffectFromTheNextRequest) {
  request("X", [](Config& config) {
    config.set("pbopt", "true");
    config.set("language", "de");
    EXPECT_EQ("de", config.get("language"));
  });
  EXPECT_EQ("de", saved()["options"]["common"]["language"].asString());
  EXPECT_FALSE(saved()["options"].isMember("X"));
  request("X", [](Config& config) { config.set("language", "fr"); });
  EXPECT_EQ("fr", saved()["options"]["X"]["language"].asString());
  EXPECT_EQ("de", saved()["options"]["common"]["language"].asString());
}

TEST_F(ConfigTest, PerBrowserOffIgnoresTheBidObject) {
  writeScratch(kFile,
               "{\"version\":\"2\",\"options\":{\"common\":{\"pbopt\":\"false\",\"language\":\"en\"},"
               "\"X\":{\"language\":\"de\"}}}");
  request("X", [](Config& config) {
    EXPECT_EQ("en", config.get("language"));
    EXPECT_EQ("en", config.allOptions()["language"].asString());
  });
}

TEST_F(ConfigTest, SaveReplacesTheFileKeepingItsModeAndLeavingNoTemporaryFile) {
  request("X", [](Config&) {});
  ASSERT_EQ(0, chmod(scratchPath(kFile).c_str(), 0600));
  request("X", [](Config& config) { config.set("a", "1"); });
  struct stat st;
  ASSERT_EQ(0, stat(scratchPath(kFile).c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 07777);
  EXPECT_EQ("1", saved()["options"]["common"]["a"].asString());

  std::string folder = scratchPath(kFile.substr(0, kFile.rfind('/')));
  DIR* dir = opendir(folder.c_str());
  ASSERT_NE(nullptr, dir);
  std::vector<std::string> names;
  while (struct dirent* entry = readdir(dir))
    if (entry->d_name[0] != '.') names.push_back(entry->d_name);
  closedir(dir);
  EXPECT_EQ(std::vector<std::string>{"tavorc.conf"}, names);
}

TEST_F(ConfigTest, OneObjectPerProcess) {
  Config first("X");
  EXPECT_EQ(&first, Config::instance());
  try {
    Config second("Y");
    ADD_FAILURE() << "a second configuration was created";
  } catch (const AppException& error) {
    EXPECT_STREQ("double config", error.what());
  }
  EXPECT_EQ(&first, Config::instance());
  EXPECT_EQ("X", Config::instance()->bid());
}

TEST_F(ConfigTest, LpdIsATopLevelTextThatEmptyRemoves) {
  request("X", [](Config& config) {
    EXPECT_EQ("", config.lpd());
    config.setLpd("storage_uuid://1/a");
  });
  EXPECT_EQ("storage_uuid://1/a", saved()["lpd"].asString());
  request("X", [](Config& config) {
    EXPECT_EQ("storage_uuid://1/a", config.lpd());
    config.setLpd("");
  });
  EXPECT_FALSE(saved().isMember("lpd"));
}

TEST_F(ConfigTest, EarlySaveIsTheOnlyWrite) {
  {
    Config config("X");
    config.set("a", "1");
    config.save();
    EXPECT_EQ("1", saved()["options"]["common"]["a"].asString());
    removeScratch(kFile);
  }
  EXPECT_FALSE(scratchExists(kFile));
}

TEST(OptionRules, CoverPatternsAndHostNamesTakeOnlyWhatTheyNeed) {
  struct Row {
    const char* name;
    const char* value;
    bool accepted;
  } rows[] = {
      {"cover_files_exts", "jpg,jpeg,png", true},
      {"cover_files_exts", "JPG,Gif,bmp,webp,", true},
      {"cover_files_exts", "html", false},
      {"cover_files_exts", "*", false},
      {"cover_files_exts", "jpg,,png", false},
      {"cover_files_names", "cover,front,*.icon", true},
      {"cover_files_names", "folder,,Album Art", true},
      {"cover_files_names", "*", false},
      {"cover_files_names", "*.*", false},
      {"cover_files_names", "c*ver", false},
      {"cover_files_names", "../../etc/passwd", false},
      {"allowed_hosts", "box.example.com, media.fritz.box", true},
      {"allowed_hosts", "box.example.com,,x", false},
      {"allowed_hosts", "*.example.com", false},
      {"language", "*", true},  // every other option takes any text
  };
  for (const Row& row : rows)
    EXPECT_EQ(row.accepted, isAcceptableOptionValue(row.name, row.value)) << row.name << "=" << row.value;
  EXPECT_TRUE(isListedHost(" Box.Example.com , media.fritz.box", "box.example.com"));
  EXPECT_FALSE(isListedHost("box.example.com", "example.com"));
}

}  // namespace
