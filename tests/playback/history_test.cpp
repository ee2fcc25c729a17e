// The history store and the panel's view state, on a configuration of their
// own (the Playing tests' sandbox root).
#include "playback/history.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "core/config.h"
#include "core/paths.h"
#include "core/result.h"
#include "playback/playlistview.h"
#include "tests/support/sandbox.h"

namespace {

class HistoryStore : public ::testing::Test {
 protected:
  void SetUp() override {
    static Sandbox box;
    if (!getenv("TAVORC_ROOT")) setenv("TAVORC_ROOT", box.root().c_str(), 1);
    unlink(rooted(paths::kConfigFile).c_str());
    m_config = std::make_unique<Config>("TEST");
  }

  static HistoryItem item(const std::string& path, int index = 0, int position = 0) {
    return {path.substr(path.rfind('/') + 1), path, index, position};
  }
  Json::Value& stored() { return m_config->root()["history"]; }

  std::unique_ptr<Config> m_config;
};

TEST_F(HistoryStore, NewestFirstAndAtMostThirty) {
  History history;
  for (int i = 1; i <= 31; ++i) history.add(item("local/USB/F" + std::to_string(i), i, i * 10));
  ASSERT_EQ(30u, stored().size());
  EXPECT_EQ("local/USB/F31", stored()[0]["virtual_path"].asString());
  EXPECT_EQ("local/USB/F2", stored()[29]["virtual_path"].asString()) << "the oldest went";

  history.add(item("local/USB/F10", 7, 99));
  ASSERT_EQ(30u, stored().size()) << "a folder already there is moved, not added";
  EXPECT_EQ("{\"last_index\":7,\"play_position\":99,\"title\":\"F10\",\"virtual_path\":\"local/USB/F10\"}\n",
            toJsonText(stored()[0]));
  EXPECT_EQ("local/USB/F31", stored()[1]["virtual_path"].asString());
  int copies = 0;
  for (const Json::Value& entry : stored()) copies += entry["virtual_path"].asString() == "local/USB/F10";
  EXPECT_EQ(1, copies);

  std::string before = toJsonText(stored());
  history.add(HistoryItem());
  EXPECT_EQ(before, toJsonText(stored())) << "an entry without a folder changes nothing";
}

TEST_F(HistoryStore, HandEditedEntriesNeverEndTheProcess) {
  Json::Value edited;
  ASSERT_TRUE(Json::Reader().parse(
      "[{\"virtual_path\":\"local/USB/A\",\"title\":7,\"last_index\":\"3\",\"play_position\":1e30},"
      " 5, null, {\"title\":\"no folder\"}, {\"virtual_path\":[1]},"
      " {\"virtual_path\":\"local/USB/B\",\"title\":\"B\",\"last_index\":2,\"play_position\":60}]",
      edited));
  stored() = edited;
  History().add(item("local/USB/C", 1, 5));
  EXPECT_EQ(
      "[{\"last_index\":1,\"play_position\":5,\"title\":\"C\",\"virtual_path\":\"local/USB/C\"},"
      "{\"last_index\":-1,\"play_position\":0,\"title\":\"\",\"virtual_path\":\"local/USB/A\"},"
      "{\"last_index\":2,\"play_position\":60,\"title\":\"B\",\"virtual_path\":\"local/USB/B\"}]\n",
      toJsonText(stored()))
      << "entries without a folder go, odd members read as their defaults";

  stored() = Json::Value("a text");
  History().add(item("local/USB/D"));
  EXPECT_EQ(1u, stored().size()) << "a history that is no list starts again";
}

TEST(PlaylistViewState, NormalisesIntoTheList) {
  const struct {
    const char* what;
    PlaylistViewState given;
    int rows;
    PlaylistViewState expected;
  } cases[] = {
      {"two rows, window around the second", {1, -4, 5}, 2, {1, 0, 1}},
      {"a full window stays", {12, 10, 19}, 40, {12, 10, 19}},
      {"window past the end is moved up", {38, 35, 44}, 40, {38, 30, 39}},
      {"cursor above a window that is moved down", {3, 15, 20}, 40, {11, 11, 20}},
      {"cursor below the window", {25, 10, 19}, 40, {19, 10, 19}},
      {"empty list", {3, 0, 9}, 0, {-1, 0, -1}},
  };
  for (const auto& c : cases) {
    PlaylistViewState state = c.given;
    state.normalize(c.rows);
    EXPECT_EQ(c.expected.pos, state.pos) << c.what;
    EXPECT_EQ(c.expected.top, state.top) << c.what;
    EXPECT_EQ(c.expected.bottom, state.bottom) << c.what;
  }
}

TEST_F(HistoryStore, ViewStateLoadsOnlyAStoredObject) {
  PlaylistViewState state;
  EXPECT_FALSE(PlaylistViewState::load(20, state));
  m_config->root()["last_pl_state"] = Json::Value(Json::arrayValue);
  EXPECT_FALSE(PlaylistViewState::load(20, state));
  Json::Value partial(Json::objectValue);
  partial["bottom"] = 15;
  partial["top"] = 12;
  partial["pos"] = "12";  // not a number: 0, then raised into the window
  m_config->root()["last_pl_state"] = partial;
  ASSERT_TRUE(PlaylistViewState::load(20, state));
  EXPECT_EQ(6, state.pos);
  EXPECT_EQ(6, state.top);
  EXPECT_EQ(15, state.bottom);
}

}  // namespace
