#include "browse/filelisting.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <random>
#include <vector>

namespace {

struct Entry {
  std::string name;
  bool folder;
  std::string cover;
  bool playable;
};

// The writer under test and the JSON writer, whose bytes stored listings and
// the front end know, given the same entries: folders and files mixed.
void expectSameAsTheJsonWriter(const std::string& listingPath, const std::vector<Entry>& entries) {
  FileListWriter writer(listingPath);
  Json::Value folders(Json::arrayValue), files(Json::arrayValue);
  for (const Entry& entry : entries) {
    Json::Value item(Json::objectValue);
    item["name"] = entry.name;
    if (entry.folder) item["path"] = listingPath + entry.name;
    if (!entry.cover.empty()) item["cover"] = entry.cover;
    if (entry.playable) item["play_path"] = listingPath + entry.name;
    if (entry.folder) {
      writer.addFolder(entry.name.c_str(), entry.cover, entry.playable);
      folders.append(item);
    } else {
      writer.addFile(entry.name.c_str(), entry.playable);
      files.append(item);
    }
  }
  for (const Json::Value& file : files) folders.append(file);
  Json::Value root(Json::objectValue);
  std::string currDir = listingPath.substr(0, listingPath.size() - 1);
  root["currDirPlayPath"] = currDir;
  root["files"] = folders;
  EXPECT_EQ(Json::FastWriter().write(root), writer.finish(currDir));
}

TEST(FileListWriter, WritesWhatTheJsonWriterWrites) {
  expectSameAsTheJsonWriter("local/USB/", {});
  std::vector<Entry> entries = {
      {"a.mkv", false, "", true},
      {"Album", true, "/covers/AB.jpg", true},
      {"notes.txt", false, "", false},
      {"Extras", true, "", false},
      {"quote \" back \\ slash / tab \t nl \n cr \r bell \x07 del \x7f", false, "", true},
      {"\xd0\xaf\xd0\xb1\xd0\xbb\xd0\xbe\xd0\xba\xd0\xbe \xe2\x82\xac \xf0\x9f\x8e\xb5", true, "/covers/\xd0\xaf.jpg",
       true},
      {"lone \xd0 lead, stray \x90 continuation, overlong \xc0\xaf, \xff", true, "", false},
  };
  std::mt19937 random(7);
  for (int i = 0; i < 300; ++i) {
    std::string name;
    for (size_t n = 1 + random() % 24; n > 0; --n) name += static_cast<char>(1 + random() % 255);
    entries.push_back({name, random() % 2 == 0, "", random() % 2 == 0});
  }
  expectSameAsTheJsonWriter("local/USB/", entries);
  expectSameAsTheJsonWriter("local/\xc3\x84 \"q\"/", entries);
}

}  // namespace
