#include "support/options.h"

#include <gtest/gtest.h>

namespace {

// A parser with the player's kind of options.
struct OptionsTest : ::testing::Test {
  OptionsTest() {
    parser.add_flag("d", "debug", &debug);
    parser.add_string("z", "zip", &zip);
  }
  ArgParser parser;
  bool debug = false;
  std::string zip;
};

TEST_F(OptionsTest, MissingValueFails) {
  EXPECT_FALSE(parser.parse({"-d", "-z"}));
  EXPECT_EQ(parser.error, "Too few arguments left for: -z");
  EXPECT_TRUE(debug);
}

TEST_F(OptionsTest, FirstNonOptionEndsParsing) {
  ASSERT_TRUE(parser.parse({"-d", "foo", "-z", "x"}));
  EXPECT_TRUE(debug);
  EXPECT_EQ(zip, "");
  EXPECT_EQ(parser.positionals, (std::vector<std::string>{"foo", "-z", "x"}));
}

TEST_F(OptionsTest, LongAndShortNames) {
  ASSERT_TRUE(parser.parse({"--zip", "a.zip", "--debug"}));
  EXPECT_TRUE(debug);
  EXPECT_EQ(zip, "a.zip");
  EXPECT_TRUE(parser.positionals.empty());
  EXPECT_TRUE(parser.error.empty());
}

TEST_F(OptionsTest, WrongDashCountIsPositional) {
  ASSERT_TRUE(parser.parse({"-debug", "--d"}));
  EXPECT_FALSE(debug);
  EXPECT_EQ(parser.positionals, (std::vector<std::string>{"-debug", "--d"}));
}

TEST_F(OptionsTest, NoArguments) {
  EXPECT_TRUE(parser.parse(0, nullptr));
  EXPECT_TRUE(parser.positionals.empty());
}

}  // namespace
