// The update server's reply to the version check, and the reply fuzz target
// run briefly.
#include "update/versioncheck.h"

#include <gtest/gtest.h>

#include "core/result.h"
#include "tests/support/fuzzrun.h"

int fuzzVersionReply(const uint8_t* data, size_t size);

namespace {

TEST(VersionAnswer, ObjectsWithAVersionNumberPassThroughAndNothingElseIsHalfBuilt) {
  const struct {
    const char* description;
    std::string reply;
    bool silent;
    const char* answer;  // the answer as written, or null when the reply is unusable
  } cases[] = {
      {"further members pass through, in name order", R"({"versionNumber":"0.8","notes":"fixes"})", false,
       "{\"currentVersionNumber\":\"0.7.1\",\"notes\":\"fixes\",\"silentMode\":\"false\",\"versionNumber\":\"0.8\"}\n"},
      {"a version number of any type other than null", R"({"versionNumber":8})", true,
       "{\"currentVersionNumber\":\"0.7.1\",\"silentMode\":\"true\",\"versionNumber\":8}\n"},
      {"the server's own current version and silent mode are replaced",
       R"({"versionNumber":false,"currentVersionNumber":"9.9","silentMode":true})", false,
       "{\"currentVersionNumber\":\"0.7.1\",\"silentMode\":\"false\",\"versionNumber\":false}\n"},
      {"an array", R"([{"versionNumber":"0.8"}])", false, nullptr},
      {"null", "null", false, nullptr},
      {"a bare string", R"("0.8")", false, nullptr},
      {"an object without versionNumber", R"({"version":"0.8"})", false, nullptr},
      {"versionNumber null", R"({"versionNumber":null})", false, nullptr},
      {"an empty reply (failed download)", "", false, nullptr},
      {"an error page", "<html><body>502 Bad Gateway</body></html>", false, nullptr},
      {"a cut-off reply", R"({"versionNumber":"0.8","no)", false, nullptr},
      {"nesting deeper than the reader allows", std::string(100000, '['), false, nullptr},
      {"deep nesting inside a usable object", "{\"versionNumber\":1,\"x\":" + std::string(100000, '['), false, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.description);
    Json::Value answer("untouched");
    bool usable = versionAnswer(c.reply, c.silent, answer);
    EXPECT_EQ(c.answer != nullptr, usable);
    EXPECT_EQ(c.answer ? c.answer : "\"untouched\"\n", toJsonText(answer));
  }
}

TEST(VersionReplyFuzz, AcceptedRepliesWriteBackTheSame) {
  std::vector<std::string> seeds = {
      "{\"versionNumber\":\"0.7.2\",\"versionName\":\"0.7.2\",\"releaseNotes\":\"Fixes\"}",
      "{\"versionNumber\":null}",
      "[1,2]",
      "{\"versionNumber\":7,\"x\":{\"y\":[1.5e300,-0.0,\"\\u00e9\\ud83d\\ude00\"]}}",
      "{\"versionNumber\":\"\x95.7\"}",
  };
  EXPECT_GT(runFuzzBriefly(fuzzVersionReply, seeds), 20000u);
}

}  // namespace
