// The engine values constant-buffer entries flagged sys receive: every name a shader may read, written
// where the entry says, and rewritten frame after frame without allocating.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/allocation_counter.h"
#include "common/graphics_test_support.h"
#include "graphics/render_target.h"
#include "shaders/shader_cbuffer.h"
#include "variables/engine_context.h"

namespace {

// The engine's system variables and nothing else.
class system_variables_t final : public engine_variables_t {
 public:
  float get_cur_time() override { return 0.0f; }
  variable_ptr_t find_variable(const std::string& name) override {
    auto found = variables.find(name);
    return found == variables.end() ? nullptr : found->second;
  }
  variable_ptr_t get_or_create_variable(const std::string& name, variable_type_t type) override {
    variable_ptr_t& variable = variables[name];
    if (!variable) variable = construct_variable(name, type, make_default_value(type));
    return variable;
  }
  void set(const std::string& name, const typed_value_t& value) {
    get_or_create_variable(name, variable_type_of_value(value))->value.set(value);
  }
  std::unordered_map<std::string, variable_ptr_t> variables;
};

class ShaderSystemValuesTest : public graphics_test::graphics_fixture_t {
 protected:
  void SetUp() override {
    graphics_fixture_t::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    saved_ = *engine_context;
    engine_context->engine = &engine;
    engine.set("system::time", float4{1.5f, 2.0f, 3.0f, 4.0f});
    engine.set("system::cam-pos", float3{1.0f, 2.0f, 3.0f});
    engine.set("system::cam-dir", float3{0.0f, 0.5f, -1.0f});
    engine.set("system::cam-up", float3{0.0f, 1.0f, 0.0f});
    engine.set("system::cam-fov", 1.25f);
    engine.set("system::cam-near-plane", 0.125f);
    engine.set("system::cam-far-plane", 900.0f);
    engine.set("system::active-cam", int32_t(3));
    // Invertible: a scale and a translation.
    float4x4 view{};
    view.m[0][0] = 2.0f, view.m[1][1] = 4.0f, view.m[2][2] = 8.0f, view.m[3][3] = 1.0f;
    view.m[3][0] = 1.0f, view.m[3][1] = 2.0f, view.m[3][2] = 3.0f;
    engine.set("system::view", view);
    engine.set("system::proj", view);
    engine.set("system::viewProj", view);
    engine.set("my-own", float2{7.0f, 8.0f});
    target = resources->create_render_target(RT_SIZE_EXPLICIT, 4, 2, DXGI_FORMAT_R8G8B8A8_UNORM, RT_SRV);
    source = resources->create_render_target(RT_SIZE_EXPLICIT, 8, 16, DXGI_FORMAT_R8G8B8A8_UNORM, RT_SRV);
    ASSERT_TRUE(target && source);
    runtime->set_render_target(target.get(), nullptr, false);
    runtime->set_shader_resource(STAGE_PIXEL, 0, source->srv);
  }
  void TearDown() override {
    *engine_context = saved_;
    graphics_fixture_t::TearDown();
  }

  system_variables_t engine;
  std::shared_ptr<render_target_t> target, source;

 private:
  engine_context_t saved_;
};

// Every system value a shader may read, each in a slot of 64 bytes.
const char* const every_system_value[] = {
    "time", "cam-pos", "cam-dir", "cam-lookAt", "cam-up", "cam-fov", "cam-near-plane", "cam-far-plane", "view",
    "viewInv", "viewProj", "viewProjInv", "proj", "projInv", "active-cam", "rt0", "srv0", "srv0_rcp4", "my-own"};
constexpr size_t slot_bytes = 64;

cbuffer_t every_value_buffer(graphics_resource_impl_t& resources) {
  cbuffer_t buffer;
  buffer.name = "System";
  buffer.stages = STAGE_PIXEL;
  for (const char* name : every_system_value) {
    cb_entry_t& entry = buffer.entries.emplace_back();
    entry.name = name;
    entry.sys_name = name;
    entry.flags = CB_FLAG_SYS;
    entry.offset = int32_t((buffer.entries.size() - 1) * slot_bytes);
  }
  buffer.size = int32_t(buffer.entries.size() * slot_bytes);
  buffer.buffer = resources.create_constant_buffer(buffer.size, true, nullptr);
  return buffer;
}

TEST_F(ShaderSystemValuesTest, EveryValueIsWrittenAtItsEntry) {
  cbuffer_t buffer = every_value_buffer(*resources);
  std::vector<uint8_t> staging(buffer.size + 16);
  for (cb_entry_t& entry : buffer.entries) entry.write_system_value(staging.data(), size_t(buffer.size));
  auto at = [&](size_t index) { return reinterpret_cast<const float*>(staging.data() + index * slot_bytes); };
  auto expect_floats = [&](size_t index, std::vector<float> expected) {
    for (size_t i = 0; i < expected.size(); ++i)
      EXPECT_FLOAT_EQ(at(index)[i], expected[i]) << every_system_value[index] << "[" << i << "]";
  };
  expect_floats(0, {1.5f, 2.0f, 3.0f, 4.0f});
  expect_floats(1, {1.0f, 2.0f, 3.0f});
  expect_floats(2, {0.0f, 0.5f, -1.0f});
  expect_floats(3, {1.0f, 2.5f, 2.0f});  // position plus direction
  expect_floats(4, {0.0f, 1.0f, 0.0f});
  expect_floats(5, {1.25f});
  expect_floats(6, {0.125f});
  expect_floats(7, {900.0f});
  // Matrices go to the shader transposed; the inverse undoes the scale and the translation.
  for (size_t index : {8u, 10u, 12u}) expect_floats(index, {2, 0, 0, 1, 0, 4, 0, 2, 0, 0, 8, 3, 0, 0, 0, 1});
  for (size_t index : {9u, 11u, 13u})
    expect_floats(index, {0.5f, 0, 0, -0.5f, 0, 0.25f, 0, -0.5f, 0, 0, 0.125f, -0.375f, 0, 0, 0, 1});
  int32_t camera = 0;
  std::memcpy(&camera, at(14), sizeof(camera));
  EXPECT_EQ(camera, 3);
  expect_floats(15, {4.0f, 2.0f});
  expect_floats(16, {8.0f, 16.0f});
  expect_floats(17, {0.125f, 0.0625f, 0.0f, 0.0f});
  expect_floats(18, {7.0f, 8.0f});  // any other engine variable, by its own name
}

// A name changed after its first write is resolved again.
TEST_F(ShaderSystemValuesTest, ARenamedEntryReadsItsNewValue) {
  cbuffer_t buffer = every_value_buffer(*resources);
  std::vector<uint8_t> staging(buffer.size);
  cb_entry_t& entry = buffer.entries[0];
  entry.write_system_value(staging.data(), staging.size());
  entry.sys_name = "cam-far-plane";
  entry.write_system_value(staging.data(), staging.size());
  float value = 0.0f;
  std::memcpy(&value, staging.data(), sizeof(value));
  EXPECT_FLOAT_EQ(value, 900.0f);
}

// The names longer than a string's inline buffer, and the look-at point's two variables, once
// cost an allocation or a lookup by name at every write.
TEST_F(ShaderSystemValuesTest, RepeatedUpdatesAllocateNothing) {
  cbuffer_t buffer = every_value_buffer(*resources);
  ASSERT_TRUE(buffer.buffer);
  buffer.update();  // resolves the names
  uint64_t allocations = 0, bytes = 0;
  {
    test_support::allocation_counter_t counter;
    for (int frame = 0; frame < 3; ++frame) buffer.update();
    allocations = counter.count();
    bytes = counter.bytes();
  }
  EXPECT_EQ(allocations, 0u) << bytes << " bytes";
}

}  // namespace
