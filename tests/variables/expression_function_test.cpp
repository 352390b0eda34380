#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "variables/animation.h"
#include "variables/expression.h"
#include "variables/expression_context.h"
#include "variables/expression_functions.h"

namespace {

struct function_case_t {
  const char* text;
  float t;
  float expected;
};

// Each built-in function as an animation channel of "t", evaluated in the global context.
TEST(ExpressionFunctionTest, BuiltinsOfTheTimeInTheGlobalContext) {
  const float inf = std::numeric_limits<float>::infinity();
  const std::vector<function_case_t> cases = {
      {"sin(t)", 0.5f, std::sin(0.5f)},
      {"cos(t)", 0.5f, std::cos(0.5f)},
      {"cos(0)", 9.0f, 1.0f},
      {"tan(t)", 0.5f, std::tan(0.5f)},
      {"asin(t)", 0.5f, std::asin(0.5f)},
      {"acos(t)", 0.5f, std::acos(0.5f)},
      {"atan(t)", 2.0f, std::atan(2.0f)},
      {"log(t)", 2.0f, std::log(2.0f)},
      {"log(0)", 1.0f, -inf},
      {"exp(t)", 2.0f, std::exp(2.0f)},
      {"exp(0)", 2.0f, 1.0f},
      {"min(3, 2)", 0.0f, 2.0f},
      {"min(t, 2)", 1.0f, 1.0f},
      {"max(3, 2)", 0.0f, 3.0f},
      {"max(t, 2)", 1.0f, 2.0f},
      {"lerp(2, 4, 0.25)", 0.0f, 2.5f},
      {"lerp(0, 10, t)", 0.3f, 3.0f},
      {"clamp(5, 0, 1)", 0.0f, 1.0f},
      {"clamp(-1, 0, 1)", 0.0f, 0.0f},
      {"clamp(0.5, 1, 0)", 0.0f, 0.0f},
      {"clamp(t, 0, 1)", 0.5f, 0.5f},
      {"sin(0, 5)", 0.0f, 0.0f},
      {"max(1)", 0.0f, 1.0f},
      {"lerp(1, 2)", 0.0f, 1.0f},
      {"sin()", 0.0f, 0.0f},
      {"other + t", 2.0f, 2.0f},
  };
  variable_ptr_t v = construct_variable("v", VT_FLOAT, 0.0f);
  v->animation = construct_animation(v.get());
  v->animation->interpolation = INTERPOLATION_EXPRESSION;
  for (const function_case_t& c : cases) {
    set_channel_expression(*v->animation, 0, c.text);
    ASSERT_NE(v->animation->expressions[0], nullptr) << c.text;
    EXPECT_FLOAT_EQ(std::get<float>(variable_value_at(*v, c.t)), c.expected) << c.text;
    EXPECT_EQ(*global_expression_context().find_variable("t"), c.t);
  }
  set_channel_expression(*v->animation, 0, "asin(2)");
  EXPECT_TRUE(std::isnan(std::get<float>(variable_value_at(*v, 0.0f))));
}

TEST(ExpressionFunctionTest, NanArgumentsOfMinMaxAndClamp) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(expression_min(nan, 2.0f), 2.0f);
  EXPECT_TRUE(std::isnan(expression_min(2.0f, nan)));
  EXPECT_EQ(expression_max(nan, 2.0f), 2.0f);
  EXPECT_TRUE(std::isnan(expression_max(2.0f, nan)));
  EXPECT_TRUE(std::isnan(expression_clamp(nan, 0.0f, 1.0f)));
  EXPECT_EQ(lerp(2.0f, 4.0f, 0.25f), 2.5f);
}

TEST(ExpressionFunctionTest, ContextsRegisterAndLookUpByExactName) {
  expression_context_t context = construct_expression_context();
  EXPECT_TRUE(context.functions.empty() && context.variables.empty());
  register_math_functions(context);
  EXPECT_EQ(context.functions.size(), 12u);
  for (const char* name :
       {"sin", "cos", "tan", "asin", "acos", "atan", "log", "exp", "min", "max", "lerp", "clamp"}) {
    EXPECT_NE(context.find_function(name), nullptr) << name;
  }
  EXPECT_EQ(context.find_function("Sin"), nullptr);
  EXPECT_EQ(context.find_variable("t"), nullptr);
  EXPECT_TRUE(context.variables.empty());  // a lookup creates nothing

  // Registering again replaces entries rather than adding.
  register_math_functions(context);
  EXPECT_EQ(context.functions.size(), 12u);

  expression_context_t& lsystem = lsystem_expression_context();
  register_lsystem_math_functions();
  EXPECT_EQ(lsystem.functions.size(), 12u);
  lsystem.set_variable("t", 2.0f);
  EXPECT_EQ(parser::parse_expression("max(t, 1)")->evaluate(lsystem), 2.0f);
  EXPECT_EQ(global_expression_context().functions.size(), 12u);
}

}  // namespace
