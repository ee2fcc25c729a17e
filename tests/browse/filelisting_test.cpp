#include "browse/filelisting.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <random>

namespace {

// What the JSON writer makes of the same listing.
std::string written(const std::string& currDir, const std::vector<FileEntry>& entries) {
  Json::Value root(Json::objectValue);
  root["currDirPlayPath"] = currDir;
  Json::Value files(Json::arrayValue);
  for (const FileEntry& entry : entries) {
    Json::Value item(Json::objectValue);
    item["name"] = entry.name;
    if (!entry.path.empty()) item["path"] = entry.path;
    if (!entry.cover.empty()) item["cover"] = entry.cover;
    if (!entry.playPath.empty()) item["play_path"] = entry.playPath;
    files.append(item);
  }
  root["files"] = files;
  return Json::FastWriter().write(root);
}

TEST(FileListJson, EmptyListing) {
  EXPECT_EQ("{\"currDirPlayPath\":\"local/USB\",\"files\":[]}\n", fileListJson("local/USB", {}));
}

TEST(FileListJson, MembersInTheWritersOrderAndEmptyFieldsLeftOut) {
  std::vector<FileEntry> entries = {{"Album", "local/USB/Album", "/covers/AB.jpg", "local/USB/Album"},
                                    {"Extras", "local/USB/Extras", "", ""},
                                    {"notes.txt", "", "", ""},
                                    {"a.mkv", "", "", "local/USB/a.mkv"}};
  EXPECT_EQ(written("local/USB", entries), fileListJson("local/USB", entries));
}

TEST(FileListJson, EscapesNamesExactlyAsTheWriterDoes) {
  std::vector<FileEntry> entries = {
      {"quote \" back \\ slash / tab \t nl \n cr \r bell \x07 del \x7f", "", "", ""},
      {"\xd0\xaf\xd0\xb1\xd0\xbb\xd0\xbe\xd0\xba\xd0\xbe \xe2\x82\xac \xf0\x9f\x8e\xb5", "", "", "x"},
      {"lone \xd0 lead, stray \x90 continuation, overlong \xc0\xaf, \xff", "", "", ""},
  };
  std::mt19937 random(7);
  for (int i = 0; i < 300; ++i) {
    std::string name;
    for (size_t n = random() % 24; n > 0; --n) name += static_cast<char>(1 + random() % 255);
    entries.push_back({name, random() % 2 ? "p/" + name : "", "", random() % 2 ? "q/" + name : ""});
  }
  EXPECT_EQ(written("local/\xc3\x84", entries), fileListJson("local/\xc3\x84", entries));
}

}  // namespace
