#include "support/strings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(StringsTest, ToUtf8ConvertsAllPlanes) {
  // a, e acute, euro sign, U+1F600 as a surrogate pair.
  const char16_t text[] = {u'a', 0x00E9, 0x20AC, 0xD83D, 0xDE00, 0};
  EXPECT_EQ(to_utf8(text), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
}

TEST(StringsTest, ToUtf8FailsWhenOutputExceedsTwiceTheInput) {
  // Three bytes per unit need more than 2n + 1 bytes including the terminator.
  const char16_t text[] = {0x20AC, 0x20AC, 0};
  EXPECT_EQ(to_utf8(text), "");
  EXPECT_EQ(to_utf8(nullptr), "");
  EXPECT_EQ(to_utf8(u""), "");
}

TEST(StringsTest, ToUtf8ReplacesUnpairedSurrogates) {
  const char16_t text[] = {0xD800, u'x', u'y', 0};
  EXPECT_EQ(to_utf8(text), "\xEF\xBF\xBDxy");
}

TEST(StringsTest, ToUtf8NCountsUnitsAndKeepsOutOnFailure) {
  std::string out = "old";
  const char16_t text[] = {u'a', u'b', u'c'};
  EXPECT_TRUE(to_utf8_n(text, 2, out));
  EXPECT_EQ(out, "ab");
  // One unit gives room for three bytes without a terminator.
  const char16_t euro[] = {0x20AC};
  EXPECT_TRUE(to_utf8_n(euro, 1, out));
  EXPECT_EQ(out, "\xE2\x82\xAC");
  out = "old";
  const char16_t wide[] = {0x20AC, 0x20AC, 0x20AC};
  EXPECT_FALSE(to_utf8_n(wide, 3, out));
  EXPECT_FALSE(to_utf8_n(nullptr, 3, out));
  EXPECT_EQ(out, "old");
}

TEST(StringsTest, ToUtf16DecodesEveryLengthAndReplacesWhatIsNotUtf8) {
  struct case_t {
    const char* what;
    std::string text;
    std::u16string expected;
  };
  const case_t cases[] = {
      {"ascii", "--zip a.dat", u"--zip a.dat"},
      {"empty", "", u""},
      {"two bytes", "\xC3\xA9t\xC3\xA9", u"\u00E9t\u00E9"},
      {"three bytes", "\xE2\x82\xAC", u"\u20AC"},
      {"four bytes", "\xF0\x9F\x98\x80!", std::u16string{0xD83D, 0xDE00, u'!'}},
      {"highest code point", "\xF4\x8F\xBF\xBF", std::u16string{0xDBFF, 0xDFFF}},
      {"stray continuation byte", "a\x80" "b", u"a\uFFFDb"},
      {"byte that starts nothing", "\xFF", u"\uFFFD"},
      {"truncated at the end", "x\xE2\x82", u"x\uFFFD"},
      {"cut short by ASCII", "\xE2\x82z", u"\uFFFDz"},
      {"overlong two-byte form", "\xC0\xAF", u"\uFFFD\uFFFD"},
      {"overlong three-byte form", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
      {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
  };
  for (const case_t& c : cases) EXPECT_EQ(to_utf16(c.text), c.expected) << c.what;
  // Back to the bytes it came from.
  EXPECT_EQ(to_utf8(to_utf16("a\xC3\xA9\xF0\x9F\x98\x80").c_str()), "a\xC3\xA9\xF0\x9F\x98\x80");
}

TEST(StringsTest, SplitFirstDot) {
  struct case_t {
    const char* text;
    bool result;
    const char* head;
    const char* tail;
  } cases[] = {
      {"a.b.c", true, "a", "b.c"},
      {"abc", false, "abc", ""},
      {".x", true, "", "x"},
      {"x.", true, "x", ""},
  };
  for (const case_t& c : cases) {
    std::string head = "h", tail = "t";
    EXPECT_EQ(split_first_dot(c.text, head, tail), c.result) << c.text;
    EXPECT_EQ(head, c.head) << c.text;
    EXPECT_EQ(tail, c.tail) << c.text;
  }
}

TEST(StringsTest, SplitStringDropsEmptyPieces) {
  EXPECT_EQ(split_string("a,,b,", ','), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(split_string(",,", ','), std::vector<std::string>{});
  EXPECT_EQ(split_string("", ','), std::vector<std::string>{});
  EXPECT_EQ(split_string("one", ','), std::vector<std::string>{"one"});
}

TEST(StringsTest, JoinStrings) {
  EXPECT_EQ(join_strings({"a", "b", "c"}, ", "), "a, b, c");
  EXPECT_EQ(join_strings({"a", "b"}, "/", true), "a/b/");
  EXPECT_EQ(join_strings({}, "/", true), "");
}

TEST(StringsTest, CaseAndReplaceAreBytewise) {
  EXPECT_EQ(to_lower("AbC-\xC3\x89Z"), "abc-\xC3\x89z");
  EXPECT_EQ(replace_char("a\\b\\c", '\\', '/'), "a/b/c");
}

TEST(StringsTest, FormatStringHasExactLength) {
  std::string s = format_string("%s:%d:%x", "key", -4, 0x80070057u);
  EXPECT_EQ(s, "key:-4:80070057");
  EXPECT_EQ(s.size(), 15u);
  EXPECT_EQ(format_string("%s", ""), "");
  std::string long_text(5000, 'q');
  EXPECT_EQ(format_string("<%s>", long_text.c_str()), "<" + long_text + ">");
}
