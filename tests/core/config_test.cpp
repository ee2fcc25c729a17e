#include "core/config.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "core/optionrules.h"
#include "core/paths.h"
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

const char kDefaults[] =
    "{\"options\":{\"common\":{\"autocheck_upd\":\"true\",\"language\":\"en\",\"pbopt\":\"false\"}},\"version\":\"2\"}";

class ConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    removeScratch(kFile);
    removeScratch(kFile + ".bad");
  }
  // One request's life: load with the bid, let the test work, save on the way out.
  void request(const std::string& bid, const std::function<void(Config&)>& work) {
    Config config(bid);
    work(config);
  }
};

TEST_F(ConfigTest, LoadingMigratesRepairsOrReplacesTheDocument) {
  const std::string deep =
      "{\"version\":\"2\",\"options\":{\"common\":{\"language\":\"fr\"}},\"a\":" + std::string(5000, '[') +
      std::string(5000, ']') + "}";
  struct Row {
    const char* description;
    std::string file;  // "-": no file
    std::string document;
  } rows[] = {
      {"no file", "-", kDefaults},
      {"version 1: options move below common, language and pbopt reset",
       "{\"version\":\"1\",\"favorites\":[1],\"options\":{\"language\":\"de\",\"autocheck_upd\":\"false\","
       "\"show_covers\":\"true\"}}",
       "{\"version\":\"2\",\"favorites\":[1],\"options\":{\"common\":{\"autocheck_upd\":\"false\",\"language\":\"en\","
       "\"pbopt\":\"false\",\"show_covers\":\"true\"}}}"},
      {"version 0 with options that are no object", "{\"version\":\"0\",\"options\":[1,2]}", kDefaults},
      {"version 1 with an option of another type",
       "{\"version\":\"1\",\"options\":{\"autocheck_upd\":5,\"pbopt\":\"true\"}}", kDefaults},
      {"a version that is a number", "{\"version\":2,\"options\":{\"common\":{\"a\":\"b\"}}}",
       "{\"version\":\"2\",\"options\":{\"common\":{\"a\":\"b\"}}}"},
      {"a version of the future", "{\"version\":\"3\",\"options\":{\"common\":{\"a\":\"b\"}}}",
       "{\"version\":\"2\",\"options\":{\"common\":{\"a\":\"b\"}}}"},
      {"a version that is an object", "{\"version\":{},\"options\":{\"common\":{\"a\":\"b\"}}}",
       "{\"version\":\"2\",\"options\":{\"common\":{\"a\":\"b\"}}}"},
      {"no version: everything goes", "{\"favorites\":[\"a\"],\"options\":{\"common\":{\"language\":\"de\"}}}",
       kDefaults},
      {"a null version", "{\"version\":null,\"x\":1}", kDefaults},
      {"empty", "", kDefaults},
      {"cut off", "{", kDefaults},
      {"no JSON", "not json", kDefaults},
      {"an array", "[1,2]", kDefaults},
      {"a text", "\"text\"", kDefaults},
      {"nesting deeper than the reader takes", std::string(100000, '['), kDefaults},
      {"deep nesting in a member", deep, kDefaults},
  };
  for (const Row& row : rows) {
    SetUp();
    if (row.file != "-") writeScratch(kFile, row.file);
    request("X", [](Config&) {});
    EXPECT_EQ(parsed(row.document), saved()) << row.description;
  }
  // A document of the current format, as the program writes it, is not even written again.
  std::string current =
      "{\n\t\"nnvc\" : \"17\",\n\t\"options\" : \n\t{\n\t\t\"common\" : \n\t\t{\n\t\t\t\"language\" : "
      "\"fr\"\n\t\t}\n\t},"
      "\n\t\"version\" : \"2\"\n}\n";
  writeScratch(kFile, current);
  request("X", [](Config& config) { EXPECT_EQ("", config.get("autocheck_upd")); });
  EXPECT_EQ(current, readScratch(kFile));
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
    EXPECT_EQ(parsed("[{\"name\":\"B\"}]"), config.root()["favorites"]);
  });
  EXPECT_EQ(std::string::npos, readScratch(kFile).find("\"de\""));
}

// "language" and "show_covers" live under the bid while pbopt is "true" at
// the start of a request; other options, and those while it is not, are common.
TEST_F(ConfigTest, PerBrowserOptionsLiveUnderTheBid) {
  request("X", [](Config& config) {
    config.set("pbopt", "true");
    config.set("language", "de");  // pbopt counts from the next request
  });
  request("X", [](Config& config) {
    config.set("language", "fr");
    config.set("show_covers", "false");
    config.set("autocheck_upd", "false");
    EXPECT_EQ("fr", config.get("language"));
  });
  EXPECT_EQ(parsed("{\"common\":{\"autocheck_upd\":\"false\",\"language\":\"de\",\"pbopt\":\"true\"},"
                   "\"X\":{\"language\":\"fr\",\"show_covers\":\"false\"}}"),
            saved()["options"]);
  request("Y", [](Config& config) {
    EXPECT_EQ("de", config.get("language"));
    EXPECT_EQ(parsed("{\"autocheck_upd\":\"false\",\"language\":\"de\",\"pbopt\":\"true\"}"), config.allOptions());
  });
  request("X", [](Config& config) {
    EXPECT_EQ(parsed("{\"autocheck_upd\":\"false\",\"language\":\"fr\",\"pbopt\":\"true\",\"show_covers\":\"false\"}"),
              config.allOptions());
    config.root()["options"]["X"]["language"] = 7;
  });
  request("X", [](Config& config) { EXPECT_EQ("", config.get("language")) << "a value that is no text"; });
  request("X", [](Config& config) { config.set("pbopt", "false"); });
  request("X", [](Config& config) {
    EXPECT_EQ("de", config.get("language"));
    EXPECT_EQ("de", config.allOptions()["language"].asString());
  });
}

// A save replaces the file (keeping its mode, leaving no temporary file);
// after an early save the end of the request writes nothing more.
TEST_F(ConfigTest, SaveReplacesTheFileOnce) {
  request("X", [](Config&) {});
  ASSERT_EQ(0, chmod(scratchPath(kFile).c_str(), 0600));
  {
    Config config("X");
    config.set("a", "1");
    config.setLpd("storage_uuid://1/a");
    ASSERT_TRUE(config.save());
    removeScratch(kFile + ".copy");
    ASSERT_EQ(0, rename(scratchPath(kFile).c_str(), scratchPath(kFile + ".copy").c_str()));
  }
  EXPECT_FALSE(scratchExists(kFile)) << "written twice";
  ASSERT_EQ(0, rename(scratchPath(kFile + ".copy").c_str(), scratchPath(kFile).c_str()));
  struct stat st;
  ASSERT_EQ(0, stat(scratchPath(kFile).c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 07777);
  EXPECT_EQ("1", saved()["options"]["common"]["a"].asString());
  EXPECT_EQ("storage_uuid://1/a", saved()["lpd"].asString());

  std::string folder = scratchPath(kFile.substr(0, kFile.rfind('/')));
  DIR* dir = opendir(folder.c_str());
  ASSERT_NE(nullptr, dir);
  std::vector<std::string> names;
  while (struct dirent* entry = readdir(dir))
    if (entry->d_name[0] != '.') names.push_back(entry->d_name);
  closedir(dir);
  EXPECT_EQ(std::vector<std::string>{"tavorc.conf"}, names);

  request("X", [](Config& config) { config.setLpd(""); });
  EXPECT_FALSE(saved().isMember("lpd")) << "an empty lpd is removed";
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
      {"allowed_hosts", "box.example.com, media.home.example", true},
      {"allowed_hosts", "box.example.com,,x", false},
      {"allowed_hosts", "*.example.com", false},
      {"language", "*", true},  // every other option takes any text
  };
  for (const Row& row : rows)
    EXPECT_EQ(row.accepted, isAcceptableOptionValue(row.name, row.value)) << row.name << "=" << row.value;
  EXPECT_TRUE(isListedHost(" Box.Example.com , media.home.example", "box.example.com"));
  EXPECT_FALSE(isListedHost("box.example.com", "example.com"));
}

}  // namespace
