#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "variables/expression.h"
#include "variables/expression_context.h"
#include "variables/expression_parser.h"

namespace {

using parser::parse_expression;

// A context with the built-in functions, a = 4 and t = 1.5.
expression_context_t make_context() {
  expression_context_t context;
  register_math_functions(context);
  context.set_variable("a", 4.0f);
  context.set_variable("t", 1.5f);
  return context;
}

struct eval_case_t {
  const char* text;
  float expected;
};

TEST(ExpressionParserTest, EvaluatesWellFormedTexts) {
  const expression_context_t context = make_context();
  const std::vector<eval_case_t> cases = {
      {"1+2*3", 7},
      {"(1+2)*3", 9},
      {"-2*3", -6},
      {"2--3", 5},
      {"8/2/2", 2},
      {"7/0", 0},
      {"7/(1-1)", 0},
      {"a-1-1", 2},
      {"-a*2", -8},
      {"1<2", 1},
      {"2<=1", 0},
      {"1==1.0", 1},
      {"1!=1", 0},
      {"2>1", 1},
      {"1>=2", 0},
      {"1<2<3", 1},
      {"3<2<1", 1},  // (3<2)<1
      {"1 ? 2 : 3", 2},
      {"0 ? 2 : 3", 3},
      {"1 ? 0 : 1 ? 5 : 6", 6},  // (1 ? 0 : 1) ? 5 : 6
      {"1 ? (0 ? 1 : 2) : 3", 2},
      {"x", 0},
      {"t*2", 3},
      {"x = 5", 0},
      {"cos(0)", 1},
      {"(cos)(0)", 1},
      {"foo(1)", 0},
      {"2(3)", 0},
      {"1 2", 1},
      {"3.", 3},
      {"12.25", 12.25f},
      {"007", 7},
      {"a + $", 4},
      {"  \t\r\n a\v\f ", 4},
      {"-2+3", 1},   // (-2)+3: the minus takes only the number
      {"-a+a", 0},
      {"-2*3+7", 1},
      {"1+1<3", 1},  // (1+1)<3: arithmetic before comparison
      {"3<1+1", 0},  // 3<(1+1)
      {"2*2==4", 1},
      {"4==2*2", 1},
      {"1+2>=3", 1},
      {"0-1<0", 1},
      {"1<2 ? 5 : 6", 5},
      {"max(1,)", 1},
      {"max(-1,)", 0},  // the missing second argument counts as 0
      {"a1_b", 0},
      {"2147483647", 2147483647.0f},
      {"99999999999", 2147483647.0f},  // saturates instead of wrapping
  };
  for (const eval_case_t& c : cases) {
    parser::expression_ptr_t tree = parse_expression(c.text);
    ASSERT_NE(tree, nullptr) << c.text;
    EXPECT_FLOAT_EQ(tree->evaluate(context), c.expected) << c.text;
  }
}

TEST(ExpressionParserTest, MalformedTextsGiveNoTree) {
  for (const char* text : {"", "   ", "1 ? 2", "(1+2", ".5", "_a", "!1", "~1", "+1", ")", ",", ":", "$", "()",
                           "f(1", "f(1,2", "1 : 2", "\x80", "("}) {
    EXPECT_EQ(parse_expression(text), nullptr) << text;
  }
}

TEST(ExpressionParserTest, MissingPartsCountAsZero) {
  const expression_context_t context = make_context();
  const std::vector<eval_case_t> cases = {
      {"1+", 1},   {"-", 0}, {"a*", 0}, {"a - )", 4}, {"1 ? 2 : ", 0},  // the ternary lacks its else part
      {"f(,)", 0},
  };
  for (const eval_case_t& c : cases) {
    parser::expression_ptr_t tree = parse_expression(c.text);
    const float value = tree ? tree->evaluate(context) : 0.0f;
    EXPECT_FLOAT_EQ(value, c.expected) << c.text;
  }
}

TEST(ExpressionParserTest, BuildsTheDocumentedShapes) {
  parser::expression_ptr_t tree = parse_expression("-a(b)");
  ASSERT_NE(tree, nullptr);
  ASSERT_EQ(tree->kind(), parser::EXPR_PREFIX);
  EXPECT_EQ(static_cast<parser::prefix_expression_t&>(*tree).operand->kind(), parser::EXPR_CALL);

  tree = parse_expression("x = 1 + 2");
  ASSERT_EQ(tree->kind(), parser::EXPR_ASSIGNMENT);
  EXPECT_EQ(static_cast<parser::assignment_expression_t&>(*tree).right->kind(), parser::EXPR_BINOP);

  tree = parse_expression("f()");
  ASSERT_EQ(tree->kind(), parser::EXPR_CALL);
  EXPECT_TRUE(static_cast<parser::call_expression_t&>(*tree).arguments.empty());
  tree = parse_expression("f(1,)");
  EXPECT_EQ(static_cast<parser::call_expression_t&>(*tree).arguments.size(), 1u);

  EXPECT_EQ(parse_expression("1.5")->kind(), parser::EXPR_FLOAT);
  EXPECT_EQ(parse_expression("15")->kind(), parser::EXPR_INT);
  EXPECT_EQ(parse_expression("a ? b : c")->kind(), parser::EXPR_TERNARY);
}

TEST(ExpressionParserTest, TokenizerCodes) {
  parser::parser_t p;
  p.tokenize("a<=b==c!=d>=e<f>g!(1.5)*2+3-4/5?6=7~8[9]{0};,:$ rest");
  std::vector<int> types;
  for (const parser::token_t& token : p.tokens()) types.push_back(token.type);
  const std::vector<int> expected = {2,  21, 2,  22, 2,  23, 2,  25, 2,  20, 2,  24, 2,  9,
                                     14, 12, 15, 5,  11, 3,  11, 4,  11, 6,  11, 7,  11, 8,
                                     11, 10, 11, 18, 11, 19, 16, 11, 17, 27, 26, 28, 1};
  EXPECT_EQ(types, expected);
  const parser::token_t& error = p.tokens().back();
  EXPECT_EQ(error.length, std::string("$ rest").size());
  EXPECT_FLOAT_EQ(p.tokens()[15].float_value, 1.5f);
}

TEST(ExpressionParserTest, OverlongNumbersAndDeepNestingAreRefused) {
  const std::string digits63(63, '1');
  ASSERT_NE(parse_expression(digits63), nullptr);
  EXPECT_EQ(parse_expression(std::string(64, '1')), nullptr);
  EXPECT_EQ(parse_expression(std::string(62, '1') + ".5"), nullptr);
  EXPECT_EQ(parse_expression(std::string(61, '0') + ".5")->evaluate(make_context()), 0.5f);

  // Deep nesting yields no tree instead of exhausting the stack, whichever way it nests.
  EXPECT_EQ(parse_expression(std::string(100000, '(') + "1"), nullptr);
  EXPECT_EQ(parse_expression(std::string(100000, '-') + "1"), nullptr);
  std::string sum = "1";
  for (int i = 0; i < 100000; ++i) sum += "+1";
  EXPECT_EQ(parse_expression(sum), nullptr);
  std::string calls;
  for (int i = 0; i < 50000; ++i) calls += "f(";
  EXPECT_EQ(parse_expression(calls), nullptr);

  // Nesting within the limit still parses.
  std::string shallow = std::string(100, '(') + "2" + std::string(100, ')');
  EXPECT_EQ(parse_expression(shallow)->evaluate(make_context()), 2.0f);
}

TEST(ExpressionParserTest, NanOperands) {
  expression_context_t context = make_context();
  context.set_variable("n", std::numeric_limits<float>::quiet_NaN());
  const std::vector<eval_case_t> cases = {
      {"n<1", 0}, {"n<=1", 0}, {"n>1", 0}, {"n>=1", 0}, {"n==n", 0}, {"n!=n", 1}, {"n ? 2 : 3", 2},
  };
  for (const eval_case_t& c : cases)
    EXPECT_EQ(parse_expression(c.text)->evaluate(context), c.expected) << c.text;
  EXPECT_TRUE(std::isnan(parse_expression("1/n")->evaluate(context)));
}

}  // namespace
