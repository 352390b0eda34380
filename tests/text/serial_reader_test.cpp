#include <gtest/gtest.h>

#include "text/serial_reader.h"

using serial::value_kind_t;
using serial::value_t;

namespace {

const value_t& root_of(const serial::parse_result_t& result) {
  EXPECT_TRUE(result.has_value()) << (result ? "" : result.error());
  return result ? **result : serial::null_value();
}

struct error_case_t {
  const char* text;
  const char* source;
  const char* message;
};

class SerialReaderErrorTest : public testing::TestWithParam<error_case_t> {};

TEST_P(SerialReaderErrorTest, FailsWithExactMessage) {
  const error_case_t& c = GetParam();
  auto result = serial::parse_text(c.text, c.source);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error(), c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, SerialReaderErrorTest,
    testing::Values(
        error_case_t{"a = 1\nkey", "", "Error: expected: =, got eof on line: 2, key"},
        error_case_t{"$ = 1\n", "", "Error: expected: =, got $ on line: 1, $ = 1\n"},
        error_case_t{"n = -\n", "", "error parsing int/float value"},
        error_case_t{"n = 1e3\n", "", "Error: expected: =, got eof on line: 2, "},
        error_case_t{"v = int2 (1, 2)", "", "Error: expected: =, got ( on line: 1, v = int2 (1, 2)"},
        error_case_t{"v = int2(1, 2, 3)", "", "Error: expected: ), got , on line: 1, v = int2(1, 2, 3)"},
        error_case_t{"c = color(1, 0)", "",
                     "Error: unsupported length for color variable: 2 on line: 1, "
                     "c = color(1, 0)"},
        error_case_t{"c = color(1, 0, 0", "",
                     "Error: error parsing int/float for color on line: 1, "
                     "c = color(1, 0, 0"},
        error_case_t{"t = {a 1}", "", "Error: expected: =, got 1 on line: 1, t = {a 1}"},
        error_case_t{"s = \"open\nmore", "", "Error: eof looking for: \" on line: 1, s = \"open\n"},
        error_case_t{"[open", "", "Error: eof looking for: ] on line: 1, [open"},
        error_case_t{"x =", "", "unexpected end of file"}, error_case_t{"[..]\n", "", "invalid key"},
        error_case_t{"a = 1\n[a.b]\n", "", "error creating sub: a (unsupported type)"},
        error_case_t{"a = 1\r\nb = 2\r\nc ! 3\r\n", "", "Error: expected: =, got ! on line: 3, c ! 3\r"},
        error_case_t{"a = 1\r\nb = 2\r\nc ! 3\r\n", "/p.toml", "Error: expected: =, got !\n/p.toml(3)"},
        error_case_t{"x = [1 ; 2]", "", "Error: unexpected character in array: ; on line: 1, x = [1 ; 2]"},
        error_case_t{"v = int2(1, x)", "",
                     "Error: error parsing int for vector on line: 1, "
                     "v = int2(1, x)"}));

// Comments end on their line end, so every comment line counts towards the error's line.
INSTANTIATE_TEST_SUITE_P(
    LinesAfterComments, SerialReaderErrorTest,
    testing::Values(
        error_case_t{"# one\n# two\nc ! 3\n", "", "Error: expected: =, got ! on line: 3, c ! 3\n"},
        error_case_t{"a = 1 # note\nc ! 3", "", "Error: expected: =, got ! on line: 2, c ! 3"},
        error_case_t{"# one\r\n# two\r\nc ! 3\r\n", "", "Error: expected: =, got ! on line: 3, c ! 3\r"},
        error_case_t{"# one\r# two\rc ! 3", "", "Error: expected: =, got ! on line: 3, c ! 3"},
        error_case_t{"# a\n\n  # indented\n[t] # header\n# x\nk ! 1\n", "/f.toml",
                     "Error: expected: =, got !\n/f.toml(6)"},
        error_case_t{"x = [1, # first\n # second\n 2 ; 3]", "",
                     "Error: unexpected character in array: ; on line: 3,  2 ; 3]"},
        error_case_t{"t = {a = 1, # c\n b ! 2}", "", "Error: expected: =, got ! on line: 2,  b ! 2}"}));

TEST(SerialReaderTest, EmptyAndCommentOnlyTextsGiveEmptyRoots) {
  for (const char* text : {"", "  \n\t\r\n", "# only a comment", "# one\n  # two\n"}) {
    auto result = serial::parse_text(text, "");
    ASSERT_TRUE(result.has_value()) << text;
    EXPECT_EQ((*result)->kind, value_kind_t::table);
    EXPECT_TRUE((*result)->children.empty());
  }
}

struct scalar_case_t {
  const char* text;
  value_kind_t kind;
  int32_t i;
  float f;
};

class SerialReaderScalarTest : public testing::TestWithParam<scalar_case_t> {};

TEST_P(SerialReaderScalarTest, ReadsValue) {
  const scalar_case_t& c = GetParam();
  auto result = serial::parse_text(c.text, "");
  const value_t& v = root_of(result).get("n", c.kind);
  ASSERT_TRUE(v.valid) << c.text;
  if (c.kind == value_kind_t::float_)
    EXPECT_FLOAT_EQ(v.payload.f[0], c.f) << c.text;
  else
    EXPECT_EQ(v.payload.i[0], c.i) << c.text;
}

INSTANTIATE_TEST_SUITE_P(Numbers, SerialReaderScalarTest,
                         testing::Values(scalar_case_t{"n = 5", value_kind_t::int_, 5, 0},
                                         scalar_case_t{"n = 5.", value_kind_t::float_, 0, 5.0f},
                                         scalar_case_t{"n = .5", value_kind_t::float_, 0, 0.5f},
                                         scalar_case_t{"n = -12", value_kind_t::int_, -12, 0},
                                         scalar_case_t{"n = +7", value_kind_t::int_, 7, 0},
                                         scalar_case_t{"n = 1-2", value_kind_t::int_, 1, 0},
                                         scalar_case_t{"n = 1.5.3", value_kind_t::float_, 0, 1.5f},
                                         scalar_case_t{"n = 0x1F", value_kind_t::int_, 31, 0},
                                         scalar_case_t{"n = 0x", value_kind_t::int_, 0, 0},
                                         scalar_case_t{"n = 0XFFFFFFFF", value_kind_t::int_, -1, 0},
                                         scalar_case_t{"n = 0b101", value_kind_t::int_, 5, 0},
                                         scalar_case_t{"n = 0B", value_kind_t::int_, 0, 0},
                                         scalar_case_t{"n = true", value_kind_t::bool_, 1, 0},
                                         scalar_case_t{"n = false", value_kind_t::bool_, 0, 0}));

TEST(SerialReaderTest, WordsAndStrings) {
  auto result =
      serial::parse_text("a = hello\nb = True\nc = \"x # not a comment\"\nd = \"two\nlines\"\n", "");
  const value_t& root = root_of(result);
  EXPECT_EQ(root.get_string("a", ""), "hello");
  EXPECT_EQ(root.get_string("b", ""), "True");
  EXPECT_EQ(root.get_string("c", ""), "x # not a comment");
  EXPECT_EQ(root.get_string("d", ""), "two\nlines");
}

TEST(SerialReaderTest, VectorsAndColours) {
  auto result = serial::parse_text(
      "a = int2(1.9, -1.9)\nb = float3(1, 2, 3)\nc = color(1, 0.5, 0)\n"
      "d = color(1 0 0 1)\ne = int4( 1 , 2 ,3,4 )\nf = float2(0.25,-.5)",
      "");
  const value_t& root = root_of(result);
  const value_t& a = root.get("a", value_kind_t::int2);
  EXPECT_EQ(a.payload.i[0], 1);
  EXPECT_EQ(a.payload.i[1], -1);
  const value_t& b = root.get("b", value_kind_t::float3);
  EXPECT_EQ(b.payload.f[0], 1.0f);
  EXPECT_EQ(b.payload.f[2], 3.0f);
  const value_t& c = root.get("c", value_kind_t::color);
  EXPECT_EQ(c.payload.f[1], 0.5f);
  EXPECT_EQ(c.payload.f[3], 1.0f);
  const value_t& d = root.get("d", value_kind_t::color);
  EXPECT_EQ(d.payload.f[0], 1.0f);
  EXPECT_EQ(d.payload.f[3], 1.0f);
  const value_t& e = root.get("e", value_kind_t::int4);
  EXPECT_EQ(e.payload.i[3], 4);
  const value_t& f = root.get("f", value_kind_t::float2);
  EXPECT_EQ(f.payload.f[1], -0.5f);
}

TEST(SerialReaderTest, EntriesNeedNoLineEnds) {
  auto result = serial::parse_text("a = 1 b = 2 [t] c = 3", "");
  const value_t& root = root_of(result);
  EXPECT_EQ(root.get_int("a", 0), 1);
  EXPECT_EQ(root.get_int("b", 0), 2);
  EXPECT_EQ(root.get("t", value_kind_t::table).get_int("c", 0), 3);
}

TEST(SerialReaderTest, EmptyKeyIsAName) {
  auto result = serial::parse_text("= 1", "");
  EXPECT_EQ(root_of(result).get_int("", 0), 1);
}

TEST(SerialReaderTest, HeadersAndDottedKeys) {
  auto result = serial::parse_text(
      "[a.b]\nc = 1\n[a]\nx.y = 2\nk = 1\n[a]\nk = 2\n"
      "[[p]]\nn = 1\n[[p]]\nn = 2\n[p.q]\nm = 3\n[ s ]\nv = 4\n[.u..w.]\nz = 5\n",
      "");
  const value_t& root = root_of(result);
  const value_t& a = root.get("a", value_kind_t::table);
  EXPECT_EQ(a.get("b", value_kind_t::table).get_int("c", 0), 1);
  EXPECT_EQ(a.get("x", value_kind_t::table).get_int("y", 0), 2);
  EXPECT_EQ(a.get_int("k", 0), 2);
  auto p = root.get_array("p");
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(p[0].get_int("n", 0), 1);
  EXPECT_EQ(p[1].get_int("n", 0), 2);
  EXPECT_EQ(p[1].get("q", value_kind_t::table).get_int("m", 0), 3);
  EXPECT_EQ(root.get(" s ", value_kind_t::table).get_int("v", 0), 4);
  EXPECT_FALSE(root.get("s", value_kind_t::table).valid);
  EXPECT_EQ(root.get("u", value_kind_t::table).get("w", value_kind_t::table).get_int("z", 0), 5);
}

TEST(SerialReaderTest, ArraysAndInlineTables) {
  auto result = serial::parse_text(
      "m = [1, \"two\", [3, 4],]\nn = [1 2]\no = [1 , 2]\n"
      "t = {a = 1, b.c = 2}\nx = [1, [2, 3]",
      "");
  const value_t& root = root_of(result);
  auto m = root.get_array("m");
  ASSERT_EQ(m.size(), 3u);
  EXPECT_EQ(m[0].as_int(0), 1);
  EXPECT_EQ(m[1].as_string(), "two");
  EXPECT_EQ(m[2].items.size(), 2u);
  EXPECT_EQ(root.get_array("n").size(), 2u);
  // Whitespace before a comma makes an empty item, as the format has always read it.
  auto o = root.get_array("o");
  ASSERT_EQ(o.size(), 3u);
  EXPECT_EQ(o[1].kind, value_kind_t::string);
  EXPECT_EQ(o[1].text, "");
  EXPECT_EQ(o[2].as_int(0), 2);
  const value_t& t = root.get("t", value_kind_t::table);
  EXPECT_EQ(t.get_int("a", 0), 1);
  EXPECT_EQ(t.get_int("b.c", 0), 2);
  auto x = root.get_array("x");
  ASSERT_EQ(x.size(), 2u);
  EXPECT_EQ(x[1].items.size(), 2u);
}

TEST(SerialReaderTest, HostileNestingFailsInsteadOfOverflowingTheStack) {
  std::string deep = "x = " + std::string(100000, '[');
  EXPECT_FALSE(serial::parse_text(deep, "").has_value());
  std::string dotted = "[";
  for (int i = 0; i < 10000; ++i) dotted += "a.";
  dotted += "a]";
  EXPECT_FALSE(serial::parse_text(dotted, "").has_value());
}

}  // namespace
