#include "browse/entryorder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "tests/support/sandbox.h"

namespace {

int sign(int value) { return (value > 0) - (value < 0); }

struct OrderCase {
  const char* description;
  const char* a;
  const char* b;
  int expected;  // -1: a first, 0: equivalent, 1: b first
};

const OrderCase kCases[] = {
    {"case is ignored", "b", "B", 0},
    {"a name before its extensions", "a", "a1", -1},
    {"a name before a longer one starting with it", "Film", "Film 2", -1},
    {"blank is special, letter ordinary", "a b", "ab", -1},
    {"digits compare as bytes", "10 Film", "9 Film", -1},
    {"underscore before letters", "_extras", "Alien", -1},
    {"digits before letters", "2001", "Alien", -1},
    {"letters in alphabetical order", "alien", "Brazil", -1},
    {"brace after letters in bytes, still special", "{x}", "a", -1},
    {"control byte is ordinary, after specials", "\x01", "!", 1},
    {"DEL is ordinary, after letters", "\x7f", "z", 1},
    {"ASCII before two-byte UTF-8", "Zebra", "\xc3\x84", -1},
    {"A-umlaut after z", "\xc3\x84", "z", 1},
    {"Cyrillic capital folds to small", "\xd0\xaf\xd0\xb1\xd0\xbb\xd0\xbe\xd0\xba\xd0\xbe",
     "\xd0\xb0\xd1\x80\xd0\xb1\xd1\x83\xd0\xb7", 1},                       // Яблоко after арбуз
    {"Cyrillic capital and small equivalent", "\xd0\x91", "\xd0\xb1", 0},  // Б б
    {"Cyrillic А before Б", "\xd0\xb0", "\xd0\x91", -1},
    {"Yo is not folded: capital before small a", "\xd0\x81", "\xd0\xb0", -1},  // Ё
    {"small yo after small ya", "\xd1\x91", "\xd1\x8f", 1},                    // ё я
    {"both ended", "", "", 0},
    {"empty before anything", "", "a", -1},
};

int keyOrder(const char* a, const char* b) {
  std::string x, y;
  appendEntrySortKey(a, x);
  appendEntrySortKey(b, y);
  return sign(x.compare(y));
}

TEST(EntryOrder, NamesAndTheirSortKeysCompareAsTheTableSays) {
  for (const OrderCase& c : kCases) {
    EXPECT_EQ(c.expected, sign(compareEntryNames(c.a, c.b))) << c.description;
    EXPECT_EQ(-c.expected, sign(compareEntryNames(c.b, c.a))) << c.description << " (swapped)";
    EXPECT_EQ(c.expected, keyOrder(c.a, c.b)) << c.description << " (sort keys)";
  }
}

// Names in buffers of exactly their size, so that a read past the end is
// caught by the address sanitizer.
char* exact(const std::string& text) {
  char* buffer = static_cast<char*>(malloc(text.size() + 1));
  memcpy(buffer, text.c_str(), text.size() + 1);
  return buffer;
}

TEST(EntryOrder, LoneLeadByteAtTheEndIsNotReadPast) {
  char* lone = exact("a\xd0");
  char* full = exact("a\xd0\x90");  // а (capital, folded)
  char* same = exact("a\xd0\x80");  // decodes to what the lone byte gives
  char* longer = exact("a\xd0\x80x");
  EXPECT_LT(compareEntryNames(lone, full), 0);
  EXPECT_EQ(0, compareEntryNames(lone, same));
  EXPECT_LT(compareEntryNames(lone, longer), 0);
  EXPECT_GT(compareEntryNames(longer, lone), 0);
  EXPECT_EQ(0, compareEntryNames(lone, lone));
  for (char* p : {lone, full, same, longer}) free(p);
}

TEST(EntryOrder, SortKeysOrderAsTheNamesDo) {
  // Random names over the bytes that matter: specials, letters of both cases,
  // control bytes, lead and continuation bytes (also cut off at the end).
  const char alphabet[] = " !09AZaz_{~\x01\x7f\xd0\xd1\x90\xb0\x80";
  std::mt19937 random(20261209);
  for (int round = 0; round < 20000; ++round) {
    std::string a, b;
    for (std::string* name : {&a, &b}) {
      size_t length = 1 + random() % 6;
      for (size_t i = 0; i < length; ++i) *name += alphabet[random() % (sizeof alphabet - 1)];
    }
    if (round % 3 == 0) b = a.substr(0, a.size() / 2) + b;  // a shared start
    ASSERT_EQ(sign(compareEntryNames(a.c_str(), b.c_str())), keyOrder(a.c_str(), b.c_str()))
        << "\"" << a << "\" vs \"" << b << "\"";
  }
}

// The folder compares the first eight bytes of the sort keys before the rest:
// names alike in their first eight or more bytes, beyond ASCII too.
TEST(EntryOrder, SortedFolderIsInEntryOrder) {
  Sandbox box;
  std::mt19937 random(20261210);
  const char alphabet[] = "aA0_\xd0\x90\xd1\x80";
  for (int i = 0; i < 300; ++i) {
    std::string name = i % 2 ? "Track \xd0\x90\xd0\x80 " : "track 0";
    for (size_t n = random() % 8; n-- > 0;) name += alphabet[random() % (sizeof alphabet - 1)];
    box.write("/g/" + name, "");
  }
  SortedFolder many(box.path("/g"));
  ASSERT_TRUE(many.ok());
  EXPECT_GT(many.count(), 100u);
  for (size_t i = 1; i < many.count(); ++i)
    ASSERT_LE(compareEntryNames(many.name(i - 1), many.name(i)), 0) << many.name(i - 1) << " before " << many.name(i);
}

}  // namespace
