#include <gtest/gtest.h>

#include <functional>

#include "shaders/cached_reflection.h"
#include "shaders/shader_compile_task.h"
#include "support/systems.h"
#include "common/log_capture.h"
#include "common/reflection_blob_builder.h"

using reflection_test::blob_builder_t;
using variable_t_ = blob_builder_t::variable_t;

namespace {

class apply_reflection_test : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = g_systems;
    g_systems = &systems_;  // no graphics resources: constant buffers get no GPU buffer
  }
  void TearDown() override { g_systems = previous_; }

  std::shared_ptr<shader_t> apply(const blob_builder_t& blob, int32_t stage = SHADER_STAGE_PIXEL) {
    compile_task_t task(nullptr);
    task.shader = std::make_shared<shader_t>(stage, path_info_t("shaders/t.hlsl"), "Main");
    const auto bytes = blob.bytes();
    cached_reflection_t reflection;
    reflection.load(bytes.data(), bytes.size());
    task.apply_reflection(reflection);
    return task.shader;
  }

  systems_t systems_;
  systems_t* previous_ = nullptr;
};

variable_t_ var(const std::string& name, uint32_t offset, uint32_t type_class, uint32_t component, uint32_t rows,
                uint32_t columns, uint32_t flags = 2) {
  variable_t_ v;
  v.name = name, v.offset = offset, v.type_class = type_class, v.component = component;
  v.rows = rows, v.columns = columns, v.flags = flags;
  return v;
}

}  // namespace

TEST(ReflectedEntryType, ClassAndComponentTable) {
  struct case_t {
    uint32_t type_class, component, rows, columns;
    uint8_t expected;
  };
  const case_t cases[] = {
      {0, 1, 1, 1, VT_BOOL},    {0, 2, 1, 1, VT_INT},       {0, 19, 1, 1, VT_INT},     {0, 3, 1, 1, VT_FLOAT},
      {0, 0, 1, 1, VT_NONE},    {1, 3, 1, 2, VT_FLOAT2},    {1, 19, 1, 2, VT_INT2},    {1, 2, 1, 3, VT_INT3},
      {1, 3, 1, 3, VT_FLOAT3},  {1, 1, 1, 3, VT_FLOAT3},    {1, 2, 1, 4, VT_INT4},     {1, 3, 1, 4, VT_FLOAT4},
      {1, 3, 1, 1, VT_NONE},    {1, 3, 1, 5, VT_NONE},      {3, 3, 3, 3, VT_FLOAT3X3}, {3, 3, 4, 4, VT_FLOAT4X4},
      {3, 3, 4, 3, VT_NONE},    {2, 3, 4, 4, VT_NONE},      {4, 3, 1, 1, VT_NONE},     {5, 3, 1, 1, VT_NONE},
  };
  for (const case_t& c : cases) {
    D3D11_SHADER_TYPE_DESC type{};
    type.Class = D3D_SHADER_VARIABLE_CLASS(c.type_class);
    type.Type = D3D_SHADER_VARIABLE_TYPE(c.component);
    type.Rows = c.rows, type.Columns = c.columns;
    EXPECT_EQ(reflected_entry_type(type), c.expected) << c.type_class << " " << c.component << " " << c.columns;
  }
}

TEST_F(apply_reflection_test, ConstantBufferEntriesByNameAndFlag) {
  log_capture_t log;
  blob_builder_t b;
  b.buffers = {{"Params",
                0,
                128,
                {var("speed", 0, 0, 3, 1, 1), var("unused", 4, 0, 3, 1, 1, 0), var("_pad0", 8, 0, 3, 1, 1),
                 var("_pa", 12, 0, 3, 1, 1), var("tint", 16, 1, 3, 1, 4), var("baseColor", 32, 1, 3, 1, 4),
                 var("colder", 48, 1, 3, 1, 4), var("cot", 64, 1, 3, 1, 4), var("col3", 80, 1, 3, 1, 3),
                 var("rowmajor", 96, 2, 3, 4, 4), var("nested", 100, 5, 0, 1, 1), var("half", 104, 0, 0, 1, 1),
                 var("flags", 108, 1, 19, 1, 2), var("mask", 116, 1, 1, 1, 3)}}};
  auto s = apply(b);
  ASSERT_EQ(s->cbuffers.size(), 1u);
  ASSERT_TRUE(s->cbuffers[0]);
  const cbuffer_t& buffer = *s->cbuffers[0];
  EXPECT_EQ(buffer.name, "Params");
  EXPECT_EQ(buffer.size, 128);
  EXPECT_EQ(buffer.stages, SHADER_STAGE_PIXEL);
  EXPECT_EQ(buffer.slot, 0);
  struct expected_t {
    const char* name;
    int32_t offset;
    uint8_t type;
  };
  const expected_t expected[] = {{"speed", 0, VT_FLOAT},    {"_pa", 12, VT_FLOAT},   {"tint", 16, VT_FLOAT4},
                                 {"baseColor", 32, VT_FLOAT4}, {"colder", 48, VT_COLOR}, {"cot", 64, VT_FLOAT4},
                                 {"col3", 80, VT_FLOAT3},   {"flags", 108, VT_INT2}, {"mask", 116, VT_FLOAT3}};
  ASSERT_EQ(buffer.entries.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    const cb_entry_t& e = buffer.entries[i];
    EXPECT_EQ(e.name, expected[i].name);
    EXPECT_EQ(e.var_name, expected[i].name);
    EXPECT_EQ(e.offset, expected[i].offset) << e.name;
    EXPECT_EQ(e.type, expected[i].type) << e.name;
    EXPECT_EQ(e.flags, 0u);
    EXPECT_TRUE(value_matches_type(e.default_value, variable_type_t(e.type))) << e.name;
  }
  EXPECT_TRUE(log.contains(LOG_LEVEL_INF, "Skipping unused cb entry: unused"));
  EXPECT_TRUE(log.contains(LOG_LEVEL_INF, "Skipping padding: _pad0"));
  EXPECT_TRUE(log.contains(LOG_LEVEL_DBG, "Skipping unsupported variable: rowmajor"));
  EXPECT_TRUE(log.contains(LOG_LEVEL_DBG, "Skipping unsupported variable: half"));
  for (const auto& line : log.lines) EXPECT_EQ(line.second.find("nested"), std::string::npos);
}

TEST_F(apply_reflection_test, SlotPlacementOfConstantBuffers) {
  struct case_t {
    const char* what;
    std::vector<blob_builder_t::binding_t> bindings;
    std::vector<blob_builder_t::buffer_t> buffers;
    std::vector<const char*> slots;  // name per register, "" for none
  };
  const auto buffer = [](const char* name, bool used = true) {
    return blob_builder_t::buffer_t{name, 0, 16, {var("v", 0, 0, 3, 1, 1, used ? 2 : 0)}};
  };
  const case_t cases[] = {
      {"registers 2 and 0 in that order", {{"A", 0, 2}, {"B", 0, 0}}, {buffer("A"), buffer("B")}, {"B", "", "A"}},
      {"no same-named resource: the index", {}, {buffer("A"), buffer("B")}, {"A", "B"}},
      {"all variables unused: no buffer", {{"A", 0, 1}}, {buffer("A", false)}, {}},
      {"a resource-binding buffer is no constant buffer", {}, {{"S", 3, 32, {}}, buffer("B")}, {"", "B"}},
      {"beyond the bindable registers", {{"A", 0, 40}}, {buffer("A")}, {}},
  };
  for (const case_t& c : cases) {
    blob_builder_t b;
    b.bindings = c.bindings;
    b.buffers = c.buffers;
    auto s = apply(b);
    ASSERT_EQ(s->cbuffers.size(), c.slots.size()) << c.what;
    for (size_t i = 0; i < c.slots.size(); ++i) {
      if (std::string(c.slots[i]).empty()) {
        EXPECT_FALSE(s->cbuffers[i]) << c.what;
      } else {
        ASSERT_TRUE(s->cbuffers[i]) << c.what;
        EXPECT_EQ(s->cbuffers[i]->name, c.slots[i]) << c.what;
        EXPECT_EQ(s->cbuffers[i]->slot, int32_t(i)) << c.what;
      }
    }
  }
}

TEST_F(apply_reflection_test, StructuredStridesResourcesSamplersAndOutputs) {
  log_capture_t log;
  blob_builder_t b;
  b.outputs = {{"SV_Target", 0}, {"SV_Target", 1}, {"TEXCOORD", 9}};
  b.bindings = {{"albedo", 2, 1, 12}, {"pointSampler", 3, 2, 0}, {"rw", 6, 3, 0}, {"counted", 11, 4, 0},
                {"appended", 9, 5, 0}, {"tb", 1, 6, 0},        {"far", 2, 9, 0}};
  b.buffers = {{"particles", 3, 48, {}}, {"appended", 3, 32, {}}};
  auto s = apply(b);
  EXPECT_EQ(s->buffer_strides.at("particles"), 48);
  EXPECT_EQ(s->buffer_strides.at("appended"), 32);
  EXPECT_TRUE(s->cbuffers.empty());

  EXPECT_TRUE(s->outputs[0].used);
  EXPECT_TRUE(s->outputs[1].used);
  EXPECT_EQ(s->outputs[1].parameter.SemanticIndex, 1u);
  EXPECT_EQ(s->outputs[1].parameter.SemanticName, nullptr);
  EXPECT_EQ(s->outputs[1].name, "");
  for (int i = 2; i < 5; ++i) EXPECT_FALSE(s->outputs[i].used) << i;
  EXPECT_TRUE(s->outputs[5].used);
  EXPECT_EQ(s->outputs[5].kind, 9);
  EXPECT_EQ(s->outputs[5].name, "appended");

  const shader_resource_slot_t& texture = s->resources[1];
  EXPECT_EQ(texture.input_type, 2);
  EXPECT_EQ(texture.binding.name, "albedo");
  EXPECT_EQ(texture.binding.flags, 12);
  EXPECT_EQ(texture.binding_name, "albedo");
  EXPECT_EQ(texture.display_name, "albedo");
  EXPECT_TRUE(texture.needs_texture);
  EXPECT_EQ(s->resources[3].input_type, 6);
  EXPECT_EQ(s->resources[3].display_name, "");
  EXPECT_TRUE(s->resources[3].needs_texture);
  EXPECT_EQ(s->resources[4].input_type, 11);
  EXPECT_FALSE(s->resources[6].needs_texture);
  EXPECT_FALSE(s->resources[0].needs_texture);

  ASSERT_EQ(s->samplers.size(), 1u);
  EXPECT_EQ(s->samplers[0].name, "pointSampler");
  EXPECT_EQ(s->samplers[0].bind_point, 2);
  EXPECT_TRUE(log.contains(LOG_LEVEL_DBG, "Unsupported bound resource 1 in shaders/t.hlsl:Main"));
}

TEST_F(apply_reflection_test, EmptyReflectionResetsTheTables) {
  compile_task_t task(nullptr);
  task.shader = std::make_shared<shader_t>(SHADER_STAGE_PIXEL, path_info_t("shaders/t.hlsl"), "Main");
  task.shader->resources[2].needs_texture = true;
  task.shader->outputs[0].used = true;
  task.shader->samplers.push_back({"s", 3, 0, 0});
  cached_reflection_t reflection;
  reflection.load(nullptr, 0);
  task.apply_reflection(reflection);
  EXPECT_FALSE(task.shader->resources[2].needs_texture);
  EXPECT_FALSE(task.shader->outputs[0].used);
  EXPECT_TRUE(task.shader->samplers.empty());
}

TEST_F(apply_reflection_test, CountsBeyondTheListsAreSkipped) {
  blob_builder_t b;
  b.outputs = {{"SV_Target", 0}};
  b.desc_outputs = 5;
  b.desc_bindings = 3;
  b.desc_buffers = 4;
  b.buffers = {{"P", 0, 16, {var("a", 0, 0, 3, 1, 1)}}};
  auto s = apply(b);
  EXPECT_TRUE(s->outputs[0].used);
  ASSERT_EQ(s->cbuffers.size(), 1u);
  EXPECT_EQ(s->cbuffers[0]->entries.size(), 1u);
}

// A register the device has no slot for fails the reflection and is not stored: a sampler there
// would size the pass's sampler list by it. The last slot of each kind is fine.
TEST_F(apply_reflection_test, RegistersPastTheDeviceSlotsFailTheReflection) {
  struct case_t {
    const char* name;
    blob_builder_t::binding_t binding;
    const char* problem;  // null: applies
  };
  const case_t cases[] = {
      {"sampler 15", {"s", 3, 15, 0}, nullptr},
      {"sampler 2^31", {"s", 3, 0x80000000u, 0}, "s at register 2147483648, the device has 16"},
      {"texture 127", {"t", 2, 127, 0}, nullptr},
      {"texture 128", {"t", 2, 128, 0}, "t at register 128, the device has 128"},
      {"constant buffer 14", {"c", 0, 14, 0}, "c at register 14, the device has 14"},
      {"read-write buffer 8", {"u", 6, 8, 0}, "u at register 8, the device has 8"},
      {"append buffer 8", {"a", 9, 8, 0}, "a at register 8, the device has 8"},
  };
  for (const case_t& c : cases) {
    SCOPED_TRACE(c.name);
    blob_builder_t b;
    b.bindings = {c.binding};
    compile_task_t task(nullptr);
    task.shader = std::make_shared<shader_t>(SHADER_STAGE_PIXEL, path_info_t("shaders/t.hlsl"), "Main");
    const auto bytes = b.bytes();
    cached_reflection_t reflection;
    ASSERT_TRUE(reflection.load(bytes.data(), bytes.size()));
    auto applied = task.apply_reflection(reflection);
    ASSERT_EQ(applied.has_value(), c.problem == nullptr);
    if (c.problem) {
      EXPECT_EQ(applied.error(), c.problem);
      EXPECT_TRUE(task.shader->samplers.empty());
    }
  }
}

// Counts in the billions in the description end with the lists the blob holds.
TEST_F(apply_reflection_test, DescriptionCountsInTheBillionsStopAtTheLists) {
  blob_builder_t b;
  b.outputs = {{"SV_Target", 0}};
  b.bindings = {{"s", 3, 1, 0}};
  b.buffers = {{"P", 0, 16, {var("a", 0, 0, 3, 1, 1)}}};
  b.desc_outputs = b.desc_bindings = b.desc_buffers = 0x7FFFFFFF;
  auto s = apply(b);
  EXPECT_TRUE(s->outputs[0].used);
  EXPECT_EQ(s->samplers.size(), 1u);
  ASSERT_EQ(s->cbuffers.size(), 1u);
}
