#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "variables/animation.h"
#include "variables/variable.h"

namespace {

const float nan_f = std::numeric_limits<float>::quiet_NaN();

struct equals_case_t {
  const char* name;
  typed_value_t a;
  typed_value_t b;
  bool equal;
};

TEST(VariableValueTest, ValueEqualsFollowsTheOneComparisonRule) {
  const std::vector<equals_case_t> cases = {
      {"empty never equal", typed_value_t{}, typed_value_t{}, false},
      {"bool", true, true, true},
      {"bool differs", true, false, false},
      {"int", int32_t{3}, int32_t{3}, true},
      {"int vs float", int32_t{1}, 1.0f, false},
      {"float", 2.5f, 2.5f, true},
      {"float nan", nan_f, nan_f, false},
      {"float signed zero", 0.0f, -0.0f, true},
      {"int2", int2{1, 2}, int2{1, 2}, true},
      {"int3 differs", int3{1, 2, 3}, int3{1, 2, 4}, false},
      {"int4", int4{1, 2, 3, 4}, int4{1, 2, 3, 4}, true},
      {"float2", float2{1, 2}, float2{1, 2}, true},
      {"float3 differs", float3{1, 2, 3}, float3{1, 2, 3.5f}, false},
      {"float4 nan", float4{1, 2, 3, nan_f}, float4{1, 2, 3, nan_f}, false},
      {"color", color_t{1, 0, 0, 1}, color_t{1, 0, 0, 1}, true},
      {"color vs float4", color_t{1, 0, 0, 1}, float4{1, 0, 0, 1}, false},
      {"string", std::string("abc"), std::string("abc"), true},
      {"string differs", std::string("abc"), std::string("abd"), false},
      {"float3x3 identity", float3x3{}, float3x3{}, false},
      {"float4x4", make_default_value(VT_FLOAT4X4), make_default_value(VT_FLOAT4X4), false},
  };
  for (const equals_case_t& c : cases) {
    EXPECT_EQ(value_equals(c.a, c.b), c.equal) << c.name;
  }
}

TEST(VariableValueTest, SetAssignsOnlyDifferentValuesAndNeverClearsTheFlag) {
  struct set_case_t {
    const char* name;
    typed_value_t held;
    bool changed_before;
    typed_value_t assigned;
    bool assigns;
    bool changed_after;
  };
  const std::vector<set_case_t> cases = {
      {"equal keeps false", 1.0f, false, 1.0f, false, false},
      {"equal keeps true", 1.0f, true, 1.0f, false, true},
      {"different sets", 1.0f, false, 2.0f, true, true},
      {"other alternative sets", int32_t{1}, false, 1.0f, true, true},
      {"matrix always sets", float3x3{}, false, float3x3{}, true, true},
      {"empty always sets", typed_value_t{}, false, typed_value_t{}, true, true},
  };
  for (const set_case_t& c : cases) {
    tracked_value_t tracked{c.changed_before, c.held};
    EXPECT_EQ(tracked.set(c.assigned), c.assigns) << c.name;
    EXPECT_EQ(tracked.changed, c.changed_after) << c.name;
    EXPECT_EQ(tracked.value.index(), c.assigned.index()) << c.name;
    destroy_tracked_value(tracked);
    EXPECT_EQ(tracked.value.index(), size_t{TV_EMPTY}) << c.name;
    EXPECT_EQ(tracked.changed, c.changed_after) << c.name;
  }
}

TEST(VariableValueTest, ParseVariableTypeIsExact) {
  EXPECT_EQ(parse_variable_type("float4x4"), VT_FLOAT4X4);
  EXPECT_EQ(parse_variable_type("color"), VT_COLOR);
  EXPECT_EQ(parse_variable_type("bool"), VT_BOOL);
  EXPECT_EQ(parse_variable_type("float3x3"), VT_FLOAT3X3);
  EXPECT_EQ(parse_variable_type("Float"), VT_NONE);
  EXPECT_EQ(parse_variable_type("float "), VT_NONE);
  EXPECT_EQ(parse_variable_type(""), VT_NONE);
  for (int code = 1; code <= VT_FLOAT4X4; ++code) {
    const auto type = static_cast<variable_type_t>(code);
    EXPECT_EQ(parse_variable_type(variable_type_name(type)), type) << code;
  }
}

TEST(VariableValueTest, DefaultValuesHoldTheirTypesAlternative) {
  for (int code = 1; code <= VT_FLOAT4X4; ++code) {
    const auto type = static_cast<variable_type_t>(code);
    EXPECT_TRUE(value_matches_type(make_default_value(type), type)) << code;
  }
  EXPECT_TRUE(std::get<bool>(make_default_value(VT_BOOL)));
  const color_t color = std::get<color_t>(make_default_value(VT_COLOR));
  EXPECT_EQ(color.r, 0.0f);
  EXPECT_EQ(color.a, 1.0f);
  EXPECT_EQ(make_default_value(VT_NONE).index(), TV_INT);
  EXPECT_EQ(std::get<int32_t>(make_default_value(static_cast<variable_type_t>(200))), 0);
  const float4x4 m = std::get<float4x4>(make_default_value(VT_FLOAT4X4));
  const float3x3 m3 = std::get<float3x3>(make_default_value(VT_FLOAT3X3));
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) EXPECT_EQ(m.m[r][c], r == c ? 1.0f : 0.0f);
  }
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) EXPECT_EQ(m3.m[r][c], r == c ? 1.0f : 0.0f);
  }
}

TEST(VariableValueTest, FloatVariableNormalizesIntDefaultAndRange) {
  variable_ptr_t v = construct_ranged_variable("gain", VT_FLOAT, int32_t{3}, int32_t{1}, int32_t{5}, 0x100);
  EXPECT_EQ(std::get<float>(v->default_value), 3.0f);
  EXPECT_EQ(std::get<float>(v->value.value), 3.0f);
  EXPECT_TRUE(v->value.changed);
  EXPECT_EQ(std::get<float>(v->min), 1.0f);
  EXPECT_EQ(std::get<float>(v->max), 5.0f);
  EXPECT_EQ(v->flags, 0x100 | VAR_FLAG_HAS_MIN | VAR_FLAG_HAS_MAX);

  // Other types keep what they were given.
  variable_ptr_t i = construct_variable("count", VT_INT, int32_t{3});
  EXPECT_EQ(std::get<int32_t>(i->value.value), 3);
  EXPECT_TRUE(i->min.index() == TV_EMPTY && i->max.index() == TV_EMPTY);
  EXPECT_EQ(i->shared_from_this(), i);
}

TEST(VariableValueTest, EmptyVariable) {
  variable_ptr_t v = make_empty_variable();
  EXPECT_TRUE(v->name.empty());
  EXPECT_EQ(v->flags, 0);
  EXPECT_EQ(v->type, VT_NONE);
  EXPECT_FALSE(v->value.changed);
  EXPECT_EQ(v->value.value.index(), TV_EMPTY);
  EXPECT_EQ(v->default_value.index(), TV_EMPTY);
  EXPECT_EQ(v->animation, nullptr);
}

TEST(VariableValueTest, PackWritesEachTypesBytes) {
  struct pack_case_t {
    variable_type_t type;
    typed_value_t value;
    std::vector<uint8_t> expected;
  };
  auto bytes_of = [](const auto& value, size_t size) {
    std::vector<uint8_t> out(size);
    std::memcpy(out.data(), &value, size);
    return out;
  };
  const int32_t ints[4] = {-1, 2, 3, 4};
  const float floats[4] = {1.5f, -2.0f, 3.25f, 4.0f};
  float4x4 m4;
  for (int i = 0; i < 16; ++i) m4.data()[i] = static_cast<float>(i);
  float3x3 m3;
  for (int i = 0; i < 9; ++i) m3.data()[i] = static_cast<float>(i) + 0.5f;
  const std::vector<pack_case_t> cases = {
      {VT_BOOL, true, {1}},
      {VT_BOOL, false, {0}},
      {VT_INT, int32_t{-1}, bytes_of(ints, 4)},
      {VT_INT2, int2{-1, 2}, bytes_of(ints, 8)},
      {VT_INT3, int3{-1, 2, 3}, bytes_of(ints, 12)},
      {VT_INT4, int4{-1, 2, 3, 4}, bytes_of(ints, 16)},
      {VT_FLOAT, 1.5f, bytes_of(floats, 4)},
      {VT_FLOAT2, float2{1.5f, -2.0f}, bytes_of(floats, 8)},
      {VT_FLOAT3, float3{1.5f, -2.0f, 3.25f}, bytes_of(floats, 12)},
      {VT_FLOAT4, float4{1.5f, -2.0f, 3.25f, 4.0f}, bytes_of(floats, 16)},
      {VT_COLOR, color_t{1.5f, -2.0f, 3.25f, 4.0f}, bytes_of(floats, 16)},
      {VT_FLOAT3X3, m3, bytes_of(m3, 36)},
      {VT_FLOAT4X4, m4, bytes_of(m4, 64)},
      {VT_STRING, std::string("text"), {}},
      {VT_NONE, int32_t{7}, {}},
      // A value of another alternative is never reinterpreted: the type's default goes out.
      {VT_FLOAT, int32_t{7}, bytes_of(0.0f, 4)},
  };
  for (const pack_case_t& c : cases) {
    variable_t v;
    v.type = c.type;
    v.value.value = c.value;
    std::vector<uint8_t> buffer(80, 0xCD);
    uint8_t* end = pack_variable_value(v, buffer.data());
    ASSERT_EQ(static_cast<size_t>(end - buffer.data()), c.expected.size()) << int(c.type);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + c.expected.size()), c.expected)
        << int(c.type);
    EXPECT_EQ(buffer[c.expected.size()], 0xCD) << int(c.type);
    EXPECT_EQ(packed_value_size(c.type), c.expected.size()) << int(c.type);
  }
}

TEST(VariableValueTest, EvaluationFlagsOnlyRealChanges) {
  variable_ptr_t still = construct_variable("still", VT_FLOAT, 2.0f);
  still->value.changed = false;
  EXPECT_FALSE(evaluate_variable_at(*still, 5.0f));
  EXPECT_FALSE(still->value.changed);

  variable_ptr_t matrix = construct_variable("m", VT_FLOAT4X4, make_default_value(VT_FLOAT4X4));
  matrix->value.changed = false;
  EXPECT_TRUE(evaluate_variable_at(*matrix, 5.0f));
  EXPECT_TRUE(matrix->value.changed);

  variable_ptr_t moving = construct_variable("moving", VT_FLOAT, 0.0f);
  moving->animation = construct_animation(moving.get());
  moving->animation->keys[0] = {{0, 0}, {1, 10}};
  moving->value.changed = false;
  EXPECT_EQ(std::get<float>(variable_value_at(*moving, 0.5f)), 5.0f);
  EXPECT_FALSE(moving->value.changed);  // asking for a value changes nothing
  EXPECT_TRUE(evaluate_variable_at(*moving, 0.5f));
  EXPECT_EQ(std::get<float>(moving->value.value), 5.0f);
  moving->value.changed = false;
  EXPECT_FALSE(evaluate_variable_at(*moving, 0.5f));

  // An animated string returns its current value, so it is never flagged.
  variable_ptr_t text = construct_variable("text", VT_STRING, std::string("a"));
  text->animation = construct_animation(text.get());
  text->value.changed = false;
  EXPECT_FALSE(evaluate_variable_at(*text, 1.0f));
}

// A clone carries the source's own minimum and maximum, each in its place, and no range when the
// source has none.
TEST(VariableValueTest, CloneCarriesMinimumAndMaximum) {
  struct case_t {
    const char* name;
    variable_type_t type;
    typed_value_t default_value, min, max;
  };
  const std::vector<case_t> cases = {
      {"float", VT_FLOAT, 2.0f, -1.5f, 7.25f},
      {"int", VT_INT, int32_t{3}, int32_t{-4}, int32_t{9}},
      {"int2", VT_INT2, int2{1, 1}, int2{-1, -2}, int2{5, 6}},
      {"float3", VT_FLOAT3, float3{0, 0, 0}, float3{-1, -2, -3}, float3{4, 5, 6}},
      {"color", VT_COLOR, color_t{0.5f, 0.5f, 0.5f, 1}, color_t{0, 0.1f, 0.2f, 0.3f}, color_t{1, 0.9f, 0.8f, 0.7f}},
      {"string", VT_STRING, std::string("mid"), std::string("a"), std::string("z")},
  };
  for (const case_t& c : cases) {
    SCOPED_TRACE(c.name);
    variable_ptr_t source = construct_ranged_variable(c.name, c.type, c.default_value, c.min, c.max);
    variable_ptr_t clone = clone_variable(*source);
    EXPECT_TRUE(value_equals(clone->min, c.min));
    EXPECT_TRUE(value_equals(clone->max, c.max));
    EXPECT_EQ(clone->flags & 6, 6);
    // A later change of the source's range does not reach the clone.
    source->min = c.max;
    EXPECT_TRUE(value_equals(clone->min, c.min));
  }
  variable_ptr_t plain = construct_variable("plain", VT_FLOAT, 1.0f);
  variable_ptr_t clone = clone_variable(*plain);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(clone->min));
  EXPECT_TRUE(std::holds_alternative<std::monostate>(clone->max));
  EXPECT_EQ(clone->flags & 6, 0);
}

TEST(VariableValueTest, CloneIsDeepAndEvaluatesLikeItsSource) {
  variable_ptr_t source =
      construct_ranged_variable("pos", VT_FLOAT2, float2{1, 2}, float2{0, 0}, float2{5, 5}, 0x40);
  source->value.changed = false;
  source->value.value = float2{3, 4};
  source->animation = construct_animation(source.get());
  source->animation->keys[0] = {{0, 0}, {1, 1}, {2, 0}};
  source->animation->interpolation = INTERPOLATION_SPLINE;
  set_channel_expression(*source->animation, 1, "2*t");

  variable_ptr_t clone = clone_variable(*source);
  EXPECT_EQ(clone->name, "pos");
  EXPECT_EQ(clone->flags, source->flags);
  EXPECT_FALSE(clone->value.changed);
  EXPECT_TRUE(std::get<float2>(clone->value.value).x == 3 && std::get<float2>(clone->value.value).y == 4);
  EXPECT_EQ(std::get<float2>(clone->max).x, 5.0f);
  ASSERT_NE(clone->animation, nullptr);
  EXPECT_EQ(clone->animation->owner, clone.get());
  EXPECT_NE(clone->animation->expressions[1].get(), source->animation->expressions[1].get());
  for (float t : {-1.0f, 0.0f, 0.3f, 0.5f, 1.7f, 2.5f}) {
    const float2 a = std::get<float2>(variable_value_at(*source, t));
    const float2 b = std::get<float2>(variable_value_at(*clone, t));
    EXPECT_EQ(a.x, b.x) << t;
  }
  // Expression channels follow when the whole animation switches to them.
  source->animation->interpolation = INTERPOLATION_EXPRESSION;
  clone->animation->interpolation = INTERPOLATION_EXPRESSION;
  EXPECT_EQ(std::get<float2>(variable_value_at(*clone, 1.5f)).y, 3.0f);
  source.reset();
  EXPECT_EQ(std::get<float2>(variable_value_at(*clone, 2.0f)).y, 4.0f);
}

}  // namespace
