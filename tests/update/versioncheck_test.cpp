#include "update/versioncheck.h"

#include <gtest/gtest.h>

#include "core/result.h"

namespace {

TEST(VersionCheckUrl, CarriesIdVersionAndSignedCountdown) {
  EXPECT_EQ("http://up.example/last_version.php?user_id=AB12&version=0.7.1&r_starts=999",
            versionCheckUrl("http://up.example", "AB12", 999));
  EXPECT_EQ("http://up.example/last_version.php?user_id=&version=0.7.1&r_starts=-3",
            versionCheckUrl("http://up.example", "", -3));
}

struct ReplyCase {
  const char* description;
  std::string reply;
  bool silent;
  const char* answer;  // the answer as written, or null when the reply is unusable
};

// Test listings name a case by its description, not by its bytes.
void PrintTo(const ReplyCase& row, std::ostream* out) { *out << row.description; }

class VersionAnswer : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(VersionAnswer, Reply) {
  const ReplyCase& c = GetParam();
  Json::Value answer("untouched");
  bool usable = versionAnswer(c.reply, c.silent, answer);
  if (!c.answer) {
    EXPECT_FALSE(usable);
    EXPECT_EQ("untouched", answer.asString()) << "no half-built answer";
    return;
  }
  ASSERT_TRUE(usable);
  EXPECT_EQ(c.answer, toJsonText(answer));
}

const ReplyCase kReplies[] = {
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

std::string caseName(const ::testing::TestParamInfo<ReplyCase>& row) {
  std::string name;
  for (const char* p = row.param.description; *p; ++p) name += isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Replies, VersionAnswer, ::testing::ValuesIn(kReplies), caseName);

}  // namespace
