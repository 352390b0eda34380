#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "variables/range_value.h"
#include "files/toml_file.h"
#include "variables/serializer_aux.h"
#include "common/filesystem_fixture.h"
#include "common/value_tree_writer.h"

namespace {

// Trees built by the savers are written as text, stored in a player directory and read back with
// serial::load_toml, as a project file would be.
class SerializerAuxRoundTripTest : public filesystem_fixture_t {
 protected:
  std::unique_ptr<serial::value_t> round_trip(const serial::value_t& root) {
    write("roundtrip.toml", test_writer::document_text(root));
    auto loaded = serial::load_toml(*fs, "/roundtrip.toml");
    EXPECT_TRUE(loaded.has_value()) << (loaded ? "" : loaded.error()) << "\n"
                                    << test_writer::document_text(root);
    return loaded ? std::move(*loaded) : std::make_unique<serial::value_t>();
  }
};

void expect_same_animation(const animation_t& a, const animation_t& b, const std::string& context) {
  EXPECT_EQ(a.type, b.type) << context;
  EXPECT_EQ(a.repeat, b.repeat) << context;
  EXPECT_EQ(a.interpolation, b.interpolation) << context;
  EXPECT_EQ(a.easing_type, b.easing_type) << context;
  EXPECT_EQ(a.speed, b.speed) << context;
  for (int c = 0; c < value_component_count(a.type); ++c) {
    ASSERT_EQ(a.keys[c].size(), b.keys[c].size()) << context << " channel " << c;
    for (size_t k = 0; k < a.keys[c].size(); ++k) {
      EXPECT_EQ(a.keys[c][k].time, b.keys[c][k].time) << context;
      EXPECT_EQ(a.keys[c][k].value, b.keys[c][k].value) << context;
    }
    EXPECT_EQ(a.expression_texts[c], b.expression_texts[c]) << context;
    EXPECT_EQ(a.expressions[c] != nullptr, b.expressions[c] != nullptr) << context;
  }
}

std::vector<typed_value_t> every_storable_value() {
  return {
      true,
      false,
      int32_t{0},
      int32_t{-2147483647 - 1},
      int32_t{2147483647},
      int2{-1, 2},
      int3{3, -4, 5},
      int4{6, 7, -8, 9},
      0.0f,
      -0.0f,
      0.1f,
      -1234.5678f,
      1e-7f,
      3.0e38f,
      float2{0.25f, -0.75f},
      float3{1.0f / 3.0f, 2.0f, -3.5f},
      float4{1, 2, 3, 4},
      color_t{0.2f, 0.4f, 0.6f, 0.8f},
      std::string(),
      std::string("plain"),
      std::string("with spaces # and a hash\nand a line end"),
  };
}

TEST_F(SerializerAuxRoundTripTest, TypedValueTables) {
  const std::vector<typed_value_t> values = every_storable_value();
  serial::value_t root;
  for (size_t i = 0; i < values.size(); ++i) {
    save_typed_value(*root.add("v" + std::to_string(i), serial::value_kind_t::table), values[i]);
  }
  std::unique_ptr<serial::value_t> loaded = round_trip(root);
  for (size_t i = 0; i < values.size(); ++i) {
    typed_value_t back;
    EXPECT_TRUE(load_typed_value(loaded->get("v" + std::to_string(i), serial::value_kind_t::table), back))
        << i;
    EXPECT_EQ(back.index(), values[i].index()) << i;
    EXPECT_TRUE(value_equals(back, values[i])) << i;
    if (values[i].index() == TV_FLOAT) {
      EXPECT_EQ(std::signbit(std::get<float>(back)), std::signbit(std::get<float>(values[i])));
    }
  }
}

TEST_F(SerializerAuxRoundTripTest, MatrixAndEmptyTablesDoNotReadBack) {
  serial::value_t root;
  save_typed_value(*root.add("m3", serial::value_kind_t::table), float3x3{});
  save_typed_value(*root.add("m4", serial::value_kind_t::table), make_default_value(VT_FLOAT4X4));
  save_typed_value(*root.add("none", serial::value_kind_t::table), typed_value_t{});
  EXPECT_EQ(root.get("m4", serial::value_kind_t::table).children.size(), 1u);
  EXPECT_TRUE(root.get("none", serial::value_kind_t::table).children.empty());
  std::unique_ptr<serial::value_t> loaded = round_trip(root);
  for (const char* name : {"m3", "m4", "none"}) {
    typed_value_t back = 1.0f;
    EXPECT_FALSE(load_typed_value(loaded->get(name, serial::value_kind_t::table), back)) << name;
    EXPECT_TRUE(value_equals(back, 1.0f)) << name;
  }
}

std::vector<variable_ptr_t> sample_variables() {
  std::vector<variable_ptr_t> variables;
  variables.push_back(construct_variable("static-float", VT_FLOAT, 0.5f, 0x1000));
  variables.back()->value.changed = false;

  variables.push_back(construct_ranged_variable("ranged-int", VT_INT, int32_t{3}, int32_t{-1}, int32_t{10}));
  variables.back()->value.set(int32_t{7});

  int index = 0;
  for (const typed_value_t& value : every_storable_value()) {
    const variable_type_t type = variable_type_of_value(value);
    const std::string name = fmt::sprintf("plain-%s-%d", variable_type_name(type), index++);
    variables.push_back(construct_variable(name, type, value));
    variables.back()->value.value = make_default_value(type);
  }

  variable_ptr_t moving =
      construct_ranged_variable("moving", VT_FLOAT3, float3{1, 2, 3}, float3{0, 0, 0}, float3{5, 5, 5}, 0x20);
  moving->animation = construct_animation(moving.get());
  moving->animation->repeat = REPEAT_PING_PONG;
  moving->animation->interpolation = INTERPOLATION_SPLINE;
  moving->animation->easing_type = EASING_ELASTIC_OUT;
  moving->animation->speed = 0.75f;
  moving->animation->keys[0] = {{0, 1}, {0.5f, -2}, {2, 3.25f}};
  moving->animation->keys[2] = {{1, 4}, {0.25f, 8}};  // out of order, kept as written
  set_channel_expression(*moving->animation, 1, "sin(t) * 2");
  variables.push_back(moving);

  variable_ptr_t tint = construct_variable("tint", VT_COLOR, color_t{1, 1, 1, 1});
  tint->animation = construct_animation(tint.get());
  tint->animation->interpolation = INTERPOLATION_EXPRESSION;
  for (int c = 0; c < 4; ++c)
    set_channel_expression(*tint->animation, c, "clamp(t, 0, " + std::to_string(c) + ")");
  variables.push_back(tint);
  return variables;
}

TEST_F(SerializerAuxRoundTripTest, VariableTables) {
  const std::vector<variable_ptr_t> variables = sample_variables();
  serial::value_t root;
  for (const variable_ptr_t& v : variables)
    save_variable(*root.add(v->name, serial::value_kind_t::table), *v);
  std::unique_ptr<serial::value_t> loaded = round_trip(root);

  for (const variable_ptr_t& source : variables) {
    const std::string& name = source->name;
    variable_ptr_t back = load_variable_at(*loaded, name);
    EXPECT_EQ(back->name, name);
    EXPECT_EQ(back->flags, source->flags) << name;
    EXPECT_EQ(back->type, source->type) << name;
    EXPECT_TRUE(value_equals(back->default_value, source->default_value)) << name;
    EXPECT_TRUE(value_equals(back->value.value, source->value.value)) << name;
    const bool value_written = !value_equals(source->value.value, source->default_value);
    EXPECT_EQ(back->value.changed, !value_written) << name;
    EXPECT_EQ(back->min.index(), source->min.index()) << name;
    if (source->min.index() != TV_EMPTY) {
      EXPECT_TRUE(value_equals(back->min, source->min)) << name;
    }
    if (source->max.index() != TV_EMPTY) {
      EXPECT_TRUE(value_equals(back->max, source->max)) << name;
    }
    ASSERT_EQ(back->animation != nullptr, source->animation != nullptr) << name;
    if (!source->animation) continue;
    EXPECT_EQ(back->animation->owner, back.get());
    expect_same_animation(*source->animation, *back->animation, name);
    for (float t : {-1.0f, 0.0f, 0.3f, 1.0f, 2.5f, 3.9f}) {
      EXPECT_TRUE(value_equals(variable_value_at(*source, t), variable_value_at(*back, t)))
          << name << " at " << t;
    }
  }
}

TEST_F(SerializerAuxRoundTripTest, MatrixVariablesComeBackEmpty) {
  variable_ptr_t m = construct_variable("view", VT_FLOAT4X4, make_default_value(VT_FLOAT4X4), 8);
  serial::value_t root;
  save_variable(*root.add("view", serial::value_kind_t::table), *m);
  EXPECT_TRUE(root.get("view", serial::value_kind_t::table).get("value", serial::value_kind_t::table).valid);
  std::unique_ptr<serial::value_t> loaded = round_trip(root);
  variable_ptr_t back = load_variable_at(*loaded, "view");
  EXPECT_EQ(back->type, VT_FLOAT4X4);
  EXPECT_EQ(back->flags, 8);
  EXPECT_EQ(back->default_value.index(), TV_EMPTY);
  EXPECT_EQ(back->value.value.index(), TV_EMPTY);
  // Never packed as something else: the identity goes out.
  float packed[16] = {};
  pack_variable_value(*back, reinterpret_cast<uint8_t*>(packed));
  EXPECT_EQ(packed[0], 1.0f);
  EXPECT_EQ(packed[5], 1.0f);
}

TEST_F(SerializerAuxRoundTripTest, AnimationTablesOfEveryType) {
  serial::value_t root;
  std::vector<std::unique_ptr<animation_t>> sources;
  for (int code = 0; code <= VT_FLOAT4X4; ++code) {
    auto a = std::make_unique<animation_t>();
    a->type = static_cast<variable_type_t>(code);
    a->repeat = code % 3;
    a->interpolation = code % 6;
    a->easing_type = code;
    a->speed = 0.5f * static_cast<float>(code);
    for (int c = 0; c < value_component_count(a->type); ++c) {
      for (int k = 0; k <= c; ++k) a->keys[c].push_back({0.5f * k, static_cast<float>(code * 10 + c)});
      if (c % 2 == 1) set_channel_expression(*a, c, "t + " + std::to_string(c));
    }
    save_animation(*root.add("anim" + std::to_string(code), serial::value_kind_t::table), *a);
    sources.push_back(std::move(a));
  }
  std::unique_ptr<serial::value_t> loaded = round_trip(root);
  for (int code = 0; code <= VT_FLOAT4X4; ++code) {
    animation_t back;
    EXPECT_TRUE(
        load_animation(loaded->get("anim" + std::to_string(code), serial::value_kind_t::table), back));
    expect_same_animation(*sources[code], back, "type " + std::to_string(code));
  }
}

TEST_F(SerializerAuxRoundTripTest, BlockStyleTablesAndRangeValues) {
  const std::vector<variable_ptr_t> saved = sample_variables();
  serial::value_t root;
  serial::value_t* block = root.add("block", serial::value_kind_t::table);
  for (const variable_ptr_t& v : saved) save_variable(*block->add(v->name, serial::value_kind_t::table), *v);
  range_value_t<float> threshold("threshold", -0.125f);
  range_value_t<int> particles("particles", 65536);
  threshold.save(*block);
  particles.save(*block);
  std::unique_ptr<serial::value_t> loaded = round_trip(root);
  const serial::value_t& block_table = loaded->get("block", serial::value_kind_t::table);

  std::vector<variable_ptr_t> members;
  for (const variable_ptr_t& v : saved)
    members.push_back(construct_variable(v->name, v->type, v->default_value));
  std::vector<variable_ptr_t*> pointers;
  for (variable_ptr_t& member : members) pointers.push_back(&member);
  load_variables(block_table, pointers);
  for (size_t i = 0; i < saved.size(); ++i) {
    EXPECT_TRUE(value_equals(members[i]->value.value, saved[i]->value.value)) << saved[i]->name;
    EXPECT_EQ(members[i]->animation != nullptr, saved[i]->animation != nullptr) << saved[i]->name;
  }
  range_value_t<float> threshold_back("threshold", 0.0f);
  range_value_t<int> particles_back("particles", 0);
  threshold_back.load(block_table);
  particles_back.load(block_table);
  EXPECT_EQ(threshold_back.value, -0.125f);
  EXPECT_EQ(particles_back.value, 65536);
}

}  // namespace
