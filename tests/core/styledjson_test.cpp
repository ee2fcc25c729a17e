// The configuration's styled layout must be the JSON library's styled
// writer's, byte for byte, whatever a hand-edited document holds.
#include <gtest/gtest.h>
#include <json/json.h>

#include <random>
#include <sstream>
#include <string>

#include "core/jsonfile.h"
#include "core/plaintext.h"

namespace {

std::string libraryText(const Json::Value& value) {
  std::ostringstream text;
  Json::StyledStreamWriter("\t").write(text, value);
  return text.str();
}

// A random value: containers nest up to depth 3; arrays are short or long,
// of numbers or of long texts, so that both array layouts come up.
Json::Value randomValue(std::mt19937& random, int depth) {
  const char* texts[] = {"",
                         "plain",
                         "quote \" back \\ slash",
                         "tab\tline\n",
                         "\xd0\x90\xd0\xb1",
                         "\x7f del",
                         "a much longer text that fills most of a line by itself"};
  switch (random() % (depth >= 3 ? 6 : 8)) {
    case 0: return Json::Value();
    case 1: return Json::Value(static_cast<int>(random() % 2000) - 1000);
    case 2: return Json::Value(static_cast<Json::UInt64>(random()) << 33);
    case 3: return Json::Value(static_cast<double>(random() % 10000) / 7.0);
    case 4: return Json::Value(random() % 2 == 0);
    case 5: return Json::Value(texts[random() % 7]);
    case 6: {
      Json::Value array(Json::arrayValue);
      size_t size = random() % 3 == 0 ? 20 + random() % 20 : random() % 5;
      for (size_t i = 0; i < size; ++i) array.append(randomValue(random, depth + 1));
      return array;
    }
    default: {
      Json::Value object(Json::objectValue);
      for (size_t i = random() % 5; i > 0; --i)
        object[texts[random() % 7] + std::to_string(i)] = randomValue(random, depth + 1);
      return object;
    }
  }
}

TEST(StyledJson, SameBytesAsTheLibrarysStyledWriter) {
  std::mt19937 random(20261209);
  for (int round = 0; round < 3000; ++round) {
    Json::Value document = randomValue(random, 0);
    ASSERT_EQ(libraryText(document), styledJsonText(document)) << "round " << round;
  }
  Json::Value edge(Json::objectValue);
  edge["empty array"] = Json::Value(Json::arrayValue);
  edge["empty object"] = Json::Value(Json::objectValue);
  edge["numbers"] = Json::Value(Json::arrayValue);
  for (int i = 0; i < 24; ++i) edge["numbers"].append(i);  // 24 short values still fit one line
  edge["zero byte"] = Json::Value(std::string("a\0b\"", 4));
  EXPECT_EQ(libraryText(edge), styledJsonText(edge));
}

}  // namespace

// Every byte at every place of texts around the eight-byte steps: a text
// found plain is one the library's writer leaves as it stands.
TEST(PlainText, IsPrintableAsciiWithoutQuoteAndBackslash) {
  for (size_t length = 1; length <= 17; ++length) {
    for (size_t at = 0; at < length; ++at) {
      for (int byte = 1; byte < 256; ++byte) {
        std::string text(length, 'a');
        text[at] = static_cast<char>(byte);
        bool expected = byte >= 0x20 && byte < 0x7F && byte != '"' && byte != '\\';
        ASSERT_EQ(expected, isPlainText(text.data(), text.size()))
            << "byte " << byte << " at " << at << " of " << length;
        if (expected) {
          ASSERT_EQ("\"" + text + "\"", Json::valueToQuotedString(text.c_str()));
        }
      }
    }
  }
  EXPECT_TRUE(isPlainText("", 0));
  EXPECT_FALSE(isPlainText("ab\0cd", 5));  // a zero byte is escaped too
}
