#include <gtest/gtest.h>

#include <fmt/printf.h>

#include <string>
#include <vector>

#include "variables/range_value.h"
#include "text/serial_reader.h"
#include "variables/serializer_aux.h"
#include "support/log.h"

namespace {

class capture_sink_t : public logger::log_sink_t {
 public:
  void write(const logger::log_record_t& record) override {
    messages.push_back(fmt::sprintf("%s %s", record.level_name, record.message));
    locations.push_back(record.location);
  }
  std::vector<std::string> messages;
  std::vector<std::string> locations;
};

// Parses the text of a table and captures what the loaders log.
class SerializerAuxTest : public testing::Test {
 protected:
  void SetUp() override {
    logger_.sinks.push_back({&sink_, -1});
    previous_ = logger::current_logger();
    logger::set_current_logger(&logger_);
  }
  void TearDown() override { logger::set_current_logger(previous_); }

  const serial::value_t& parse(const std::string& text) {
    auto parsed = serial::parse_text(text, "");
    EXPECT_TRUE(parsed.has_value()) << text << ": " << (parsed ? "" : parsed.error());
    roots_.push_back(parsed ? std::move(*parsed) : std::make_unique<serial::value_t>());
    return *roots_.back();
  }

  capture_sink_t sink_;
  logger::logger_t logger_{-1};
  logger::logger_t* previous_ = nullptr;
  std::vector<std::unique_ptr<serial::value_t>> roots_;
};

TEST_F(SerializerAuxTest, TypedValueTablesLoadByTheirTypeCode) {
  struct load_case_t {
    const char* text;
    typed_value_t expected;
  };
  const std::vector<load_case_t> cases = {
      {"type = 6\nvalue = 2", 2.0f},
      {"type = 6\nvalue = 2.5", 2.5f},
      {"type = 6", 0.0f},
      {"type = 2\nvalue = 2.9", int32_t{2}},
      {"type = 2\nvalue = -2.9", int32_t{-2}},
      {"type = 2.7\nvalue = 5", int32_t{5}},  // a float code is truncated
      {"type = 3\nvalue = float2(1, 2)", int2{0, 0}},
      {"type = 3\nvalue = int2(1, 2)", int2{1, 2}},
      {"type = 4\nvalue = int3(1, 2, 3)", int3{1, 2, 3}},
      {"type = 5\nvalue = int4(1, 2, 3, 4)", int4{1, 2, 3, 4}},
      {"type = 7\nvalue = float2(1.5, 2)", float2{1.5f, 2}},
      {"type = 8\nvalue = float3(1, 2, 3)", float3{1, 2, 3}},
      {"type = 9\nvalue = float4(1, 2, 3, 4)", float4{1, 2, 3, 4}},
      {"type = 9\nvalue = color(1, 2, 3, 4)", float4{0, 0, 0, 0}},
      {"type = 10", color_t{0, 0, 0, 0}},
      {"type = 10\nvalue = color(1, 0.5, 0)", color_t{1, 0.5f, 0, 1}},
      {"type = 11\nvalue = \"some text\"", std::string("some text")},
      {"type = 11\nvalue = 3", std::string()},
      {"type = 1\nvalue = true", true},
      {"type = 1\nvalue = 1", false},
      {"type = 1", false},
      {"type = 257\nvalue = true", true},
  };
  for (const load_case_t& c : cases) {
    typed_value_t value = std::string("before");
    EXPECT_TRUE(load_typed_value(parse(c.text), value)) << c.text;
    EXPECT_EQ(value.index(), c.expected.index()) << c.text;
    EXPECT_TRUE(value_equals(value, c.expected)) << c.text;
  }
  EXPECT_TRUE(sink_.messages.empty());
}

TEST_F(SerializerAuxTest, UnsupportedTypeCodesWarnAndKeepTheValue) {
  for (const char* text : {"type = 12", "type = 13", "type = 0\nvalue = 1", "", "type = 14", "type = -1"}) {
    sink_.messages.clear();
    typed_value_t value = 7.0f;
    EXPECT_FALSE(load_typed_value(parse(text), value)) << text;
    EXPECT_TRUE(value_equals(value, 7.0f)) << text;
    ASSERT_EQ(sink_.messages.size(), 1u) << text;
    EXPECT_EQ(sink_.messages[0].substr(0, 40), "WRN attempting to load unsupported type:") << text;
  }
  sink_.messages.clear();
  typed_value_t value;
  load_typed_value(parse("type = 12"), value);
  EXPECT_EQ(sink_.messages[0], "WRN attempting to load unsupported type: 12");
  EXPECT_NE(sink_.locations[0].find("serializer_aux"), std::string::npos);
  load_typed_value(parse("type = 511"), value);
  EXPECT_EQ(sink_.messages[1], "WRN attempting to load unsupported type: 255");
}

TEST_F(SerializerAuxTest, VariableTablesTakeTheirDefaults) {
  variable_t without_value;
  load_variable(parse("name = \"gain\"\nflags = 0\ntype = 6\ndefault = {type = 6, value = 0.5}"),
                without_value);
  EXPECT_EQ(without_value.name, "gain");
  EXPECT_EQ(without_value.type, VT_FLOAT);
  EXPECT_TRUE(value_equals(without_value.value.value, 0.5f));
  EXPECT_TRUE(without_value.value.changed);

  variable_t equal_value;
  load_variable(parse("type = 6\ndefault = {type = 6, value = 0.5}\nvalue = {type = 6, value = 0.5}"),
                equal_value);
  EXPECT_TRUE(value_equals(equal_value.value.value, 0.5f));
  EXPECT_FALSE(equal_value.value.changed);

  const std::string ranged =
      "type = 2\ndefault = {type = 2, value = 3}\nmin = {type = 2, value = 1}\n"
      "max = {type = 2, value = 9}\n";
  variable_t no_range;
  load_variable(parse(ranged + "flags = 0"), no_range);
  EXPECT_EQ(no_range.min.index(), TV_EMPTY);
  EXPECT_EQ(no_range.max.index(), TV_EMPTY);
  variable_t with_range;
  load_variable(parse(ranged + "flags = 6"), with_range);
  EXPECT_TRUE(value_equals(with_range.min, int32_t{1}));
  EXPECT_TRUE(value_equals(with_range.max, int32_t{9}));
  variable_t only_max;
  load_variable(parse(ranged + "flags = 4"), only_max);
  EXPECT_EQ(only_max.min.index(), TV_EMPTY);
  EXPECT_TRUE(value_equals(only_max.max, int32_t{9}));

  // "has-animation" must be a bool holding true.
  variable_t not_animated;
  load_variable(parse("type = 6\ndefault = {type = 6}\nhas-animation = 1\nanim = {type = 6}"), not_animated);
  EXPECT_EQ(not_animated.animation, nullptr);
  EXPECT_TRUE(sink_.messages.empty());
}

TEST_F(SerializerAuxTest, AnimationTablesReadTheirKeysInFileOrder) {
  variable_t v;
  const char* text =
      "type = 6\ndefault = {type = 6, value = 4}\nhas-animation = true\n"
      "anim = {type = 6, repeat = 2, interpolation = 1.9, speed = 3, channel_0 = ["
      "{time = 2, value = 1}, {value = 5}, {time = 1}, 7, {time = 0.5, value = 2.5}, {time = 3, value = "
      "\"x\"}], "
      "channel_1 = [{time = 1, value = 1}], expr_0 = \"t*2\"}";
  load_variable(parse(text), v);
  ASSERT_NE(v.animation, nullptr);
  const animation_t& a = *v.animation;
  EXPECT_EQ(a.owner, &v);
  EXPECT_EQ(a.repeat, 2);
  EXPECT_EQ(a.interpolation, 1);
  EXPECT_EQ(a.easing_type, 3);
  EXPECT_EQ(a.speed, 3.0f);
  ASSERT_EQ(a.keys[0].size(), 3u);
  EXPECT_EQ(a.keys[0][0].time, 2.0f);
  EXPECT_EQ(a.keys[0][0].value, 1.0f);
  EXPECT_EQ(a.keys[0][1].time, 0.0f);
  EXPECT_EQ(a.keys[0][1].value, 5.0f);
  EXPECT_EQ(a.keys[0][2].time, 0.5f);
  EXPECT_TRUE(a.keys[1].empty());  // beyond the channel count of a float
  EXPECT_EQ(a.expression_texts[0], "t*2");
  ASSERT_NE(a.expressions[0], nullptr);

  // Defaults of a bare table; an empty text keeps an earlier expression.
  animation_t b;
  set_channel_expression(b, 0, "1+1");
  b.keys[0] = {{0, 1}};
  load_animation(parse("expr_0 = \"\""), b);
  EXPECT_EQ(b.type, VT_NONE);
  EXPECT_EQ(b.repeat, 0);
  EXPECT_EQ(b.interpolation, 3);
  EXPECT_EQ(b.easing_type, 3);
  EXPECT_EQ(b.speed, 1.0f);
  EXPECT_TRUE(b.keys[0].empty());
  EXPECT_EQ(b.expression_texts[0], "1+1");
}

TEST_F(SerializerAuxTest, AnimationWithoutTypeGivesTheCurrentValue) {
  variable_t v;
  load_variable(parse("type = 8\ndefault = {type = 8, value = float3(1, 2, 3)}\nhas-animation = true\n"
                      "anim = {channel_0 = [{time = 0, value = 9}, {time = 1, value = 10}]}"),
                v);
  ASSERT_NE(v.animation, nullptr);
  EXPECT_EQ(v.animation->type, VT_NONE);
  EXPECT_EQ(v.animation->keys[0].size(), 2u);
  for (float t : {0.0f, 0.5f, 4.0f}) {
    const float3 value = std::get<float3>(variable_value_at(v, t));
    EXPECT_EQ(value.x, 1.0f);
    EXPECT_EQ(value.z, 3.0f);
  }
}

TEST_F(SerializerAuxTest, AnimationOfAnotherTypeNeverChangesTheValuesType) {
  variable_t v;
  load_variable(parse("type = 6\ndefault = {type = 6, value = 1}\nhas-animation = true\n"
                      "anim = {type = 8, channel_0 = [{time = 0, value = 9}]}"),
                v);
  v.value.changed = false;
  EXPECT_FALSE(evaluate_variable_at(v, 0.0f));
  EXPECT_TRUE(value_equals(v.value.value, 1.0f));
}

TEST_F(SerializerAuxTest, LoadVariablesReplacesFoundMembersOnly) {
  variable_ptr_t gain = construct_variable("gain", VT_FLOAT, 1.0f);
  variable_ptr_t count = construct_variable("count", VT_INT, int32_t{2});
  variable_ptr_t old_gain = gain;
  variable_ptr_t* members[] = {&gain, &count};
  load_variables(parse("gain = {name = \"gain\", type = 6, default = {type = 6, value = 0.25}}\n"
                       "count = 5\n"),
                 members);
  EXPECT_NE(gain, old_gain);
  EXPECT_TRUE(value_equals(gain->value.value, 0.25f));
  EXPECT_TRUE(value_equals(old_gain->value.value, 1.0f));  // its other holders keep the old object
  EXPECT_TRUE(value_equals(count->value.value, int32_t{2}));
  ASSERT_EQ(sink_.messages.size(), 1u);
  EXPECT_EQ(sink_.messages[0], "INF Unable to find count, using default values");
  EXPECT_NE(sink_.locations[0].find("range_value"), std::string::npos);
}

TEST_F(SerializerAuxTest, LoadVariableAtAMissingKey) {
  const serial::value_t& table =
      parse("pos = {name = \"pos\", type = 8, default = {type = 8, value = float3(1, 2, 3)}}");
  variable_ptr_t pos = load_variable_at(table, "pos");
  EXPECT_EQ(pos->name, "pos");
  EXPECT_TRUE(value_equals(pos->value.value, float3{1, 2, 3}));
  EXPECT_TRUE(sink_.messages.empty());

  variable_ptr_t missing = load_variable_at(table, "dir");
  EXPECT_TRUE(missing->name.empty());
  EXPECT_EQ(missing->type, VT_NONE);
  EXPECT_EQ(missing->value.value.index(), TV_EMPTY);
  EXPECT_TRUE(missing->value.changed);
  ASSERT_EQ(sink_.messages.size(), 1u);
  EXPECT_EQ(sink_.messages[0], "WRN attempting to load unsupported type: 0");

  // The keeping form leaves the caller's variable, so its value keeps its type.
  variable_ptr_t dir = construct_variable("dir", VT_FLOAT3, float3{0, 0, 1});
  EXPECT_EQ(load_variable_at(table, "dir", dir), dir);
  EXPECT_NE(load_variable_at(table, "pos", dir), dir);
}

TEST_F(SerializerAuxTest, RangeValuesLoadNumbersOnly) {
  range_value_t<int> count("count", 4);
  range_value_t<float> gain("gain", 0.5f);
  count.load(parse("count = 2.9\ngain = 3"));
  gain.load(parse("count = 2.9\ngain = 3"));
  EXPECT_EQ(count.value, 2);
  EXPECT_EQ(gain.value, 3.0f);
  count.load(parse("count = \"seven\"\ngain = true"));
  gain.load(parse("count = \"seven\"\ngain = true"));
  EXPECT_EQ(count.value, 2);
  EXPECT_EQ(gain.value, 3.0f);
  count.load(parse(""));
  EXPECT_EQ(count.value, 2);
  count.load(parse("count = -2.9"));
  EXPECT_EQ(count.value, -2);

  serial::value_t table;
  const range_value_base_t& base = count;
  base.save(table);
  gain.save(table);
  EXPECT_EQ(table.get("count", serial::value_kind_t::int_).payload.i[0], -2);
  EXPECT_EQ(table.get("gain", serial::value_kind_t::float_).payload.f[0], 3.0f);
}

}  // namespace
