#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "variables/animation.h"
#include "variables/expression_context.h"
#include "variables/variable.h"

namespace {

const float nan_f = std::numeric_limits<float>::quiet_NaN();

// A float variable animated on channel 0.
struct animated_float_t {
  explicit animated_float_t(std::vector<animation_key_t> keys, int32_t interpolation = INTERPOLATION_LINEAR,
                            int32_t repeat = REPEAT_CLAMP, int32_t easing = EASING_CUBIC_IN_OUT) {
    variable = construct_variable("v", VT_FLOAT, 0.0f);
    variable->animation = construct_animation(variable.get());
    variable->animation->keys[0] = std::move(keys);
    variable->animation->interpolation = interpolation;
    variable->animation->repeat = repeat;
    variable->animation->easing_type = easing;
  }
  float at(float t) const { return std::get<float>(variable_value_at(*variable, t)); }
  variable_ptr_t variable;
};

struct key_case_t {
  const char* name;
  int32_t interpolation;
  int32_t repeat;
  int32_t easing;
  std::vector<animation_key_t> keys;
  float t;
  float expected;
};

TEST(AnimationEvalTest, KeyedCurvesAtAndBetweenKeysAndBeyondTheEnds) {
  const std::vector<animation_key_t> ramp = {{0, 0}, {1, 10}};
  const std::vector<animation_key_t> three = {{0, 2}, {1, 4}, {3, 0}};
  const std::vector<animation_key_t> uneven = {{0, 0}, {1, 10}, {4, 40}};
  const std::vector<key_case_t> cases = {
      // clamp
      {"linear between", INTERPOLATION_LINEAR, REPEAT_CLAMP, 3, ramp, 0.25f, 2.5f},
      {"linear before", INTERPOLATION_LINEAR, REPEAT_CLAMP, 3, ramp, -1.0f, 0.0f},
      {"linear after", INTERPOLATION_LINEAR, REPEAT_CLAMP, 3, ramp, 2.0f, 10.0f},
      {"linear at key", INTERPOLATION_LINEAR, REPEAT_CLAMP, 3, three, 1.0f, 4.0f},
      {"linear second segment", INTERPOLATION_LINEAR, REPEAT_CLAMP, 3, three, 2.0f, 2.0f},
      {"unknown repeat clamps", INTERPOLATION_LINEAR, 9, 3, ramp, 5.0f, 10.0f},
      // loop
      {"loop between", INTERPOLATION_LINEAR, REPEAT_LOOP, 3, ramp, 1.25f, 2.5f},
      {"loop at period", INTERPOLATION_LINEAR, REPEAT_LOOP, 3, ramp, 1.0f, 0.0f},
      {"loop negative stays before", INTERPOLATION_LINEAR, REPEAT_LOOP, 3, ramp, -0.5f, 0.0f},
      {"loop three keys", INTERPOLATION_LINEAR, REPEAT_LOOP, 3, three, 5.0f, 2.0f},
      // ping-pong
      {"pingpong rising", INTERPOLATION_LINEAR, REPEAT_PING_PONG, 3, ramp, 0.5f, 5.0f},
      {"pingpong falling", INTERPOLATION_LINEAR, REPEAT_PING_PONG, 3, ramp, 1.5f, 5.0f},
      {"pingpong second period", INTERPOLATION_LINEAR, REPEAT_PING_PONG, 3, ramp, 2.5f, 5.0f},
      {"pingpong near end", INTERPOLATION_LINEAR, REPEAT_PING_PONG, 3, ramp, 3.9f, 1.0f},
      {"pingpong at turn", INTERPOLATION_LINEAR, REPEAT_PING_PONG, 3, ramp, 1.0f, 10.0f},
      {"pingpong before", INTERPOLATION_LINEAR, REPEAT_PING_PONG, 3, ramp, -0.5f, 0.0f},
      // ping-pong of uneven keys (0, 0), (1, 10), (4, 40): mirrored at 4, 7 and 8
      {"pingpong uneven rising", INTERPOLATION_LINEAR, REPEAT_PING_PONG, 3, uneven, 2.5f, 25.0f},
      {"pingpong uneven at turn", INTERPOLATION_LINEAR, REPEAT_PING_PONG, 3, uneven, 4.0f, 40.0f},
      {"pingpong uneven long fall", INTERPOLATION_LINEAR, REPEAT_PING_PONG, 3, uneven, 5.0f, 30.0f},
      {"pingpong uneven short fall", INTERPOLATION_LINEAR, REPEAT_PING_PONG, 3, uneven, 7.5f, 5.0f},
      {"pingpong uneven second period", INTERPOLATION_LINEAR, REPEAT_PING_PONG, 3, uneven, 13.0f, 30.0f},
      {"pingpong uneven second rise", INTERPOLATION_LINEAR, REPEAT_PING_PONG, 3, uneven, 8.5f, 5.0f},
      {"pingpong uneven spline", INTERPOLATION_SPLINE, REPEAT_PING_PONG, 3, uneven, 5.0f, 850.0f / 27.0f},
      // sign step
      {"sign held positive", INTERPOLATION_SIGN_STEP, REPEAT_CLAMP, 3, {{0, 0.5f}, {1, -3}}, 0.5f, 1.0f},
      {"sign after last", INTERPOLATION_SIGN_STEP, REPEAT_CLAMP, 3, {{0, 0.5f}, {1, -3}}, 1.5f, -1.0f},
      {"sign before first", INTERPOLATION_SIGN_STEP, REPEAT_CLAMP, 3, {{0, 2.5f}, {1, -3}}, -1.0f, 1.0f},
      {"sign of zero", INTERPOLATION_SIGN_STEP, REPEAT_CLAMP, 3, {{0, 0}, {1, -3}}, 0.5f, 0.0f},
      {"sign of nan", INTERPOLATION_SIGN_STEP, REPEAT_CLAMP, 3, {{0, nan_f}, {1, -3}}, 0.5f, 0.0f},
      // spline
      {"spline mid", INTERPOLATION_SPLINE, REPEAT_CLAMP, 3, {{0, 0}, {1, 1}, {2, 0}}, 0.5f, 0.5625f},
      {"spline before", INTERPOLATION_SPLINE, REPEAT_CLAMP, 3, {{0, 0}, {1, 1}, {2, 0}}, -1.0f, 0.0f},
      {"spline at key", INTERPOLATION_SPLINE, REPEAT_CLAMP, 3, {{0, 0}, {1, 1}, {2, 0}}, 1.0f, 1.0f},
      {"spline after", INTERPOLATION_SPLINE, REPEAT_CLAMP, 3, {{0, 0}, {1, 1}, {2, 3}}, 9.0f, 3.0f},
      {"spline spacing ignored",
       INTERPOLATION_SPLINE,
       REPEAT_CLAMP,
       3,
       {{0, 0}, {5, 1}, {6, 0}},
       2.5f,
       0.5625f},
      {"spline pingpong", INTERPOLATION_SPLINE, REPEAT_PING_PONG, 3, {{0, 0}, {1, 1}, {2, 0}}, 3.5f, 0.5625f},
      // eased linear
      {"eased cubic in-out low",
       INTERPOLATION_EASED_LINEAR,
       REPEAT_CLAMP,
       3,
       {{0, 0}, {1, 1}},
       0.25f,
       0.0625f},
      {"eased cubic in-out high",
       INTERPOLATION_EASED_LINEAR,
       REPEAT_CLAMP,
       3,
       {{0, 0}, {1, 1}},
       0.75f,
       0.9375f},
      {"eased cubic in", INTERPOLATION_EASED_LINEAR, REPEAT_CLAMP, 1, {{0, 0}, {2, 8}}, 1.0f, 1.0f},
      {"eased after", INTERPOLATION_EASED_LINEAR, REPEAT_CLAMP, 1, {{0, 0}, {2, 8}}, 3.0f, 8.0f},
      // degenerate
      {"single key", INTERPOLATION_LINEAR, REPEAT_PING_PONG, 3, {{4, 7}}, -100.0f, 7.0f},
      {"unknown interpolation", 7, REPEAT_CLAMP, 3, ramp, 0.5f, 0.0f},
      {"unknown interpolation one key", 7, REPEAT_CLAMP, 3, {{0, 3}}, 0.5f, 0.0f},
      {"loop of zero period", INTERPOLATION_LINEAR, REPEAT_LOOP, 3, {{0, 3}, {0, 5}}, 0.5f, 3.0f},
      {"nan time", INTERPOLATION_LINEAR, REPEAT_CLAMP, 3, ramp, nan_f, 0.0f},
      {"nan time spline", INTERPOLATION_SPLINE, REPEAT_LOOP, 3, ramp, nan_f, 0.0f},
      // keys whose times do not ascend still bracket from the front
      {"descending keys", INTERPOLATION_LINEAR, REPEAT_CLAMP, 3, {{0, 0}, {4, 4}, {2, 8}}, 1.0f, 1.0f},
  };
  for (const key_case_t& c : cases) {
    animated_float_t a(c.keys, c.interpolation, c.repeat, c.easing);
    EXPECT_NEAR(a.at(c.t), c.expected, 1e-5f) << c.name;
  }
}

TEST(AnimationEvalTest, NoKeysOrInterpolationNoneGiveTheCurrentValue) {
  variable_ptr_t color = construct_variable("c", VT_COLOR, color_t{0.1f, 0.2f, 0.3f, 0.4f});
  color->animation = construct_animation(color.get());
  color->animation->keys[3] = {{0, 0}, {1, 1}};
  const color_t c = std::get<color_t>(variable_value_at(*color, 0.5f));
  EXPECT_FLOAT_EQ(c.r, 0.1f);
  EXPECT_FLOAT_EQ(c.g, 0.2f);
  EXPECT_FLOAT_EQ(c.b, 0.3f);
  EXPECT_FLOAT_EQ(c.a, 0.5f);

  color->animation->interpolation = INTERPOLATION_NONE;
  EXPECT_FLOAT_EQ(std::get<color_t>(variable_value_at(*color, 0.5f)).a, 0.4f);

  variable_ptr_t i = construct_variable("i", VT_INT, int32_t{9});
  i->animation = construct_animation(i.get());
  EXPECT_EQ(std::get<int32_t>(variable_value_at(*i, 3.0f)), 9);
}

TEST(AnimationEvalTest, IntChannelsTruncateTowardZero) {
  variable_ptr_t v = construct_variable("i", VT_INT2, int2{});
  v->animation = construct_animation(v.get());
  v->animation->keys[0] = {{0, 2.7f}};
  v->animation->keys[1] = {{0, -2.7f}};
  const int2 r = std::get<int2>(variable_value_at(*v, 0.0f));
  EXPECT_EQ(r.x, 2);
  EXPECT_EQ(r.y, -2);
  // Out of range and NaN stay defined.
  v->animation->keys[0] = {{0, 1e20f}};
  v->animation->keys[1] = {{0, nan_f}};
  const int2 s = std::get<int2>(variable_value_at(*v, 0.0f));
  EXPECT_EQ(s.x, std::numeric_limits<int32_t>::max());
  EXPECT_EQ(s.y, 0);
}

TEST(AnimationEvalTest, EveryTypeTakesItsChannels) {
  struct type_case_t {
    variable_type_t type;
    int channels;
  };
  for (const type_case_t c : {type_case_t{VT_INT, 1},
                              {VT_INT3, 3},
                              {VT_INT4, 4},
                              {VT_FLOAT, 1},
                              {VT_FLOAT2, 2},
                              {VT_FLOAT3, 3},
                              {VT_FLOAT4, 4},
                              {VT_COLOR, 4}}) {
    EXPECT_EQ(value_component_count(c.type), c.channels);
    variable_ptr_t v = construct_variable("v", c.type, make_default_value(c.type));
    v->animation = construct_animation(v.get());
    for (int k = 0; k < 4; ++k) v->animation->keys[k] = {{0, float(k + 1)}};
    const typed_value_t r = variable_value_at(*v, 0.0f);
    ASSERT_TRUE(value_matches_type(r, c.type)) << int(c.type);
    uint8_t bytes[16] = {};
    variable_t packed;
    packed.type = c.type;
    packed.value.value = r;
    pack_variable_value(packed, bytes);
    for (int k = 0; k < c.channels; ++k) {
      float component = 0;
      if (c.type <= VT_INT4) {
        int32_t i = 0;
        std::memcpy(&i, bytes + 4 * k, 4);
        component = float(i);
      } else {
        std::memcpy(&component, bytes + 4 * k, 4);
      }
      EXPECT_EQ(component, float(k + 1)) << int(c.type) << " channel " << k;
    }
  }
  for (variable_type_t t : {VT_NONE, VT_BOOL, VT_STRING, VT_FLOAT3X3, VT_FLOAT4X4}) {
    EXPECT_EQ(value_component_count(t), 1);
  }
  variable_ptr_t b = construct_variable("b", VT_BOOL, false);
  b->animation = construct_animation(b.get());
  b->animation->keys[0] = {{0, 1}, {1, 1}};
  EXPECT_FALSE(std::get<bool>(variable_value_at(*b, 0.5f)));
}

TEST(AnimationEvalTest, ExpressionChannelsSetTheGlobalTime) {
  animated_float_t a({}, INTERPOLATION_EXPRESSION);
  EXPECT_EQ(a.at(3.0f), 0.0f);  // no expression text
  set_channel_expression(*a.variable->animation, 0, "2*t");
  EXPECT_EQ(a.at(1.25f), 2.5f);
  EXPECT_EQ(*global_expression_context().find_variable("t"), 1.25f);
  EXPECT_EQ(a.at(-4.0f), -8.0f);
  set_channel_expression(*a.variable->animation, 0, "sin(t) * 0 + clamp(t, 0, 1)");
  EXPECT_EQ(a.at(7.0f), 1.0f);
  set_channel_expression(*a.variable->animation, 0, "");
  EXPECT_EQ(a.variable->animation->expressions[0], nullptr);
  EXPECT_EQ(a.at(7.0f), 0.0f);
}

TEST(AnimationEvalTest, EasingCurves) {
  struct easing_case_t {
    int32_t code;
    float t;
    float expected;
  };
  const float e_half = static_cast<float>(std::pow(2.0, -5.0) * std::cos(18.849556f * 0.5f));
  const std::vector<easing_case_t> cases = {
      {1, 0.5f, 0.125f},
      {1, -0.1f, 0.0f},
      {1, 1.5f, 1.0f},
      {2, 0.5f, 0.875f},
      {3, 0.25f, 0.0625f},
      {3, 0.5f, 0.5f},
      {3, 0.75f, 0.9375f},
      {4, 1.0f, 1.0f},
      {4, 0.5f, 0.25f * (2.70158f * 0.5f - 1.70158f)},
      {5, 0.5f, 1.0f - 0.25f * (2.70158f * 0.5f - 1.70158f)},
      {5, 0.0f, 0.0f},
      {6, 0.25f, 0.25f * (2.70158f * 0.5f - 1.70158f) / 2.0f},
      {6, 0.75f, (1.0f - 0.25f * (2.70158f * 0.5f - 1.70158f)) / 2.0f + 0.5f},
      {7, 0.5f, e_half},
      {7, 1.0f, 1.0f},
      {8, 0.5f, 1.0f - e_half},
      {8, 0.0f, 0.0f},
      {9, 0.25f, e_half / 2.0f},
      {9, 0.75f, (1.0f - e_half) / 2.0f + 0.5f},
      {0, 0.3f, 0.3f},
      {12, 0.3f, 0.3f},
      {-1, 0.7f, 0.7f},
  };
  for (const easing_case_t& c : cases) {
    EXPECT_NEAR(apply_easing(c.code, c.t), c.expected, 1e-6f) << c.code << " at " << c.t;
  }
  EXPECT_EQ(apply_easing(4, 1.0f), 1.0f);
  EXPECT_EQ(apply_easing(1, -0.1f), 0.0f);
  // Every curve runs from 0 to 1; the elastic ones only to within 2^-10.
  for (int code = 1; code <= 9; ++code) {
    const float tolerance = code >= EASING_ELASTIC_IN ? 1e-3f : 1e-6f;
    EXPECT_NEAR(apply_easing(code, 0.0f), 0.0f, tolerance) << code;
    EXPECT_NEAR(apply_easing(code, 1.0f), 1.0f, tolerance) << code;
  }
}

TEST(AnimationEvalTest, CloneCopiesModesKeysAndExpressions) {
  animated_float_t a({{0, 0}, {1, 1}, {3, -2}}, INTERPOLATION_EASED_LINEAR, REPEAT_PING_PONG,
                     EASING_BACK_IN_OUT);
  a.variable->animation->speed = 2.5f;
  variable_ptr_t other = construct_variable("w", VT_FLOAT, 0.0f);
  std::unique_ptr<animation_t> clone = clone_animation(*a.variable->animation, other.get());
  other->animation = std::move(clone);
  EXPECT_EQ(other->animation->speed, 2.5f);
  EXPECT_EQ(other->animation->easing_type, EASING_BACK_IN_OUT);
  for (float t = -1.0f; t < 8.0f; t += 0.37f) {
    EXPECT_EQ(a.at(t), std::get<float>(variable_value_at(*other, t))) << t;
  }
}

// What the source's channel count does not cover, and the fft band and factor, are the
// constructor's in the clone, not the source's.
TEST(AnimationEvalTest, CloneTakesOnlyCountedChannelsAndTheConstructorsFft) {
  animated_float_t a({{0, 1}, {1, 2}});
  animation_t& source = *a.variable->animation;
  source.fft_band = 3;
  source.fft_factor = 0.25f;
  source.keys[2] = {{0, 7}};
  set_channel_expression(source, 3, "t*2");
  variable_ptr_t other = construct_variable("w", VT_FLOAT, 0.0f);
  std::unique_ptr<animation_t> clone = clone_animation(source, other.get());
  EXPECT_EQ(clone->fft_band, 8);
  EXPECT_EQ(clone->fft_factor, 1.0f);
  EXPECT_EQ(clone->channel_count, 1);
  EXPECT_EQ(clone->keys[0].size(), 2u);
  EXPECT_TRUE(clone->keys[2].empty());
  EXPECT_TRUE(clone->expression_texts[3].empty());
  EXPECT_EQ(clone->expressions[3], nullptr);
}

TEST(AnimationEvalTest, KeySplineOfNoKeysIsZero) {
  EXPECT_EQ(evaluate_key_spline({}, 1.0f), 0.0f);
  const animation_key_t keys[] = {{0, 0}, {1, 1}, {2, 0}};
  EXPECT_FLOAT_EQ(evaluate_key_spline(keys, 0.5f), 0.5625f);
  EXPECT_FLOAT_EQ(evaluate_key_spline(keys, 1.5f), 0.5625f);
}

}  // namespace
