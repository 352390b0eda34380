// The L-system's camera scripts: nine lines of expressions of "t", read and evaluated.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "blocks/camera_script.h"
#include "variables/expression_context.h"

namespace {

TEST(CameraScriptTest, ReadsNineLinesWithAnyLineEndAndIgnoresTheRest) {
  const camera_script_t script = parse_camera_script("1\r\n2\r3\n4\n5\n6\n7\n8\n9\n10\n");
  for (int i = 0; i < 9; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(script.sources[size_t(i)], std::to_string(i + 1));
    ASSERT_TRUE(script.expressions[size_t(i)]);
  }
}

TEST(CameraScriptTest, LinesEvaluateAtTheLocalTime) {
  register_lsystem_math_functions();
  expression_context_t& context = lsystem_expression_context();
  const camera_script_t script =
      parse_camera_script("10 * sin(t)\n2 * t\n-cos(t) * 3\n0\n1\nt + 1\nclamp(t, 0, 0.5)\n1\nlerp(0, 4, t)\n");
  context.set_variable("t", 0.0f);
  camera_pose_t pose = evaluate_camera_script(script, context, {});
  EXPECT_FLOAT_EQ(pose.position.x, 0.0f);
  EXPECT_FLOAT_EQ(pose.position.y, 0.0f);
  EXPECT_FLOAT_EQ(pose.position.z, -3.0f);
  context.set_variable("t", 2.0f);
  pose = evaluate_camera_script(script, context, {});
  EXPECT_NEAR(pose.position.x, 10.0f * std::sin(2.0f), 1e-5f);
  EXPECT_FLOAT_EQ(pose.position.y, 4.0f);
  EXPECT_FLOAT_EQ(pose.target.y, 1.0f);
  EXPECT_FLOAT_EQ(pose.target.z, 3.0f);
  EXPECT_FLOAT_EQ(pose.up.x, 0.5f);
  EXPECT_FLOAT_EQ(pose.up.z, 8.0f);
}

// A line that is missing or does not parse is never evaluated: its component stays.
TEST(CameraScriptTest, LinesWithoutAnExpressionKeepTheCurrentComponent) {
  struct case_t {
    const char* name;
    const char* text;
  };
  const camera_pose_t current{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
  for (const case_t c : {case_t{"empty file", ""}, case_t{"unparsable lines", ")\n*\n+\n)\n(\n]\n,\n)\n*\n"},
                         case_t{"three lines only", "11\n12\n13"}}) {
    SCOPED_TRACE(c.name);
    const camera_script_t script = parse_camera_script(c.text);
    const camera_pose_t pose = evaluate_camera_script(script, lsystem_expression_context(), current);
    const bool three = std::string(c.name) == "three lines only";
    EXPECT_FLOAT_EQ(pose.position.x, three ? 11.0f : 1.0f);
    EXPECT_FLOAT_EQ(pose.position.z, three ? 13.0f : 3.0f);
    EXPECT_FLOAT_EQ(pose.target.y, 5.0f);
    EXPECT_FLOAT_EQ(pose.up.z, 9.0f);
  }
}

// One NaN in the pose would make the view matrix NaN: such a line keeps its component and is
// flagged for the block to report.
TEST(CameraScriptTest, LinesWithoutAFiniteValueKeepTheCurrentComponentAndAreFlagged) {
  register_lsystem_math_functions();
  const camera_pose_t current{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
  const camera_script_t script = parse_camera_script("log(0)\n20\nlog(-1)\n40\nexp(1000)\n60\n70\n80\n90\n");
  const camera_pose_t pose = evaluate_camera_script(script, lsystem_expression_context(), current);
  EXPECT_FLOAT_EQ(pose.position.x, 1.0f);
  EXPECT_FLOAT_EQ(pose.position.y, 20.0f);
  EXPECT_FLOAT_EQ(pose.position.z, 3.0f);
  EXPECT_FLOAT_EQ(pose.target.x, 40.0f);
  EXPECT_FLOAT_EQ(pose.target.y, 5.0f);
  EXPECT_FLOAT_EQ(pose.up.z, 90.0f);
  EXPECT_EQ(pose.non_finite_lines, 0b10101);
}

}  // namespace
