// The bytes each system value writes into a constant buffer, after the engine published a block's
// time and camera, compared with values worked out by hand.

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/engine_test_support.h"
#include "common/graphics_test_support.h"
#include "engine/block_base.h"
#include "engine/block_camera.h"
#include "engine/engine_impl.h"
#include "media/rocket_manager.h"
#include "shaders/shader_cbuffer.h"

namespace {

// Tracks of fixed values.
class fixed_tracks_t final : public rocket_manager_t {
 public:
  float get_value(const std::string& name) override { return values.count(name) ? values[name] : 0.0f; }
  const sync_track* find_track(const std::string& name) override {
    return values.count(name) ? reinterpret_cast<const sync_track*>(&values[name]) : nullptr;
  }
  float get_value(const sync_track* track) override { return track ? *reinterpret_cast<const float*>(track) : 0.0f; }
  void update() override {}
  std::map<std::string, float> values;
};

class SystemValuesTest : public graphics_test::graphics_fixture_t {
 protected:
  void SetUp() override {
    graphics_fixture_t::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    saved_ = *engine_context;
    *engine_context = engine_context_t{};
    engine_context->soundsystem = &music_;
    engine_context->rocket_manager = &tracks_;
    engine_.create_system_variables();
    engine_context->engine = &engine_;
  }
  void TearDown() override {
    if (engine_context->engine == &engine_) *engine_context = saved_;
    graphics_fixture_t::TearDown();
  }

  fake_music_t music_;
  fixed_tracks_t tracks_;
  engine_impl_t engine_;
  engine_context_t saved_;
};

struct value_case_t {
  const char* sys_name;
  std::vector<float> expected;  // the floats written; an int is compared by its bits
};

// A row-vector matrix as the shader reads it: column by column.
std::vector<float> columns(const float (&rows)[4][4]) {
  std::vector<float> out;
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r) out.push_back(rows[r][c]);
  return out;
}

TEST_F(SystemValuesTest, EveryValueWritesItsBytes) {
  // A block from 10 s to 14 s, seen at 12.5 s in its second camera span, by a camera at (1, 2, 3)
  // looking along +z with a 90 degree field of view, near 1 and far 2, into an 8 x 4 output.
  auto block = make_test_block(1, 10, 14);
  auto camera = std::make_shared<block_camera_t>();
  camera->init_defaults();
  camera->pos->value.value = float3{1, 2, 3};
  camera->dir->value.value = float3{0, 0, 1};
  camera->up->value.value = float3{0, 1, 0};
  camera->fov->value.value = 1.5707964f;
  camera->near_plane->value.value = 1.0f;
  camera->far_plane->value.value = 2.0f;
  block->cameras = {camera};
  block->camera_spans = {{2, camera}, {10, camera}};
  music_.position = 12.5f;
  auto output = resources->create_render_target(RT_SIZE_EXPLICIT, 8, 4, DXGI_FORMAT_R8G8B8A8_UNORM, RT_SRV);
  auto second = resources->create_render_target(RT_SIZE_EXPLICIT, 2, 6, DXGI_FORMAT_R8G8B8A8_UNORM, RT_SRV);
  auto texture = resources->create_render_target(RT_SIZE_EXPLICIT, 16, 8, DXGI_FORMAT_R8G8B8A8_UNORM, RT_SRV);
  render_context_t context;
  context.outputs = {output.get(), second.get()};
  context.time = 12.5f;
  context.local_time = 2.5f;
  context.delta_time = 0.25f;
  engine_.publish_system_variables(*block, context);
  runtime->set_render_targets(context.outputs, {}, false);
  runtime->set_shader_resource(STAGE_PIXEL, 2, texture->srv);
  engine_.get_or_create_variable("user::offset", VT_FLOAT2)->value.value = float2{3, 4};
  tracks_.values["bass"] = 0.75f;

  // view: the identity turn and the eye moved to the origin; proj: e = 1, x scaled by 1 / aspect 2,
  // depth far / (far - near) = 2 and -near * far / (far - near) = -2.
  const float view[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {-1, -2, -3, 1}};
  const float view_inv[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {1, 2, 3, 1}};
  const float proj[4][4] = {{0.5f, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 2, 1}, {0, 0, -2, 0}};
  const float proj_inv[4][4] = {{2, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 0, -0.5f}, {0, 0, 1, 1}};
  const float view_proj[4][4] = {{0.5f, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 2, 1}, {-0.5f, -2, -8, -3}};
  const float view_proj_inv[4][4] = {{2, 0, 0, 0}, {0, 1, 0, 0}, {-0.5f, -1, -1.5f, -0.5f}, {1, 2, 4, 1}};
  int32_t span = 1;
  float span_bits;
  std::memcpy(&span_bits, &span, 4);
  const std::vector<value_case_t> cases = {
      {"time", {12.5f, 2.5f, 0.25f, 4}},
      {"cam-pos", {1, 2, 3}},
      {"cam-dir", {0, 0, 1}},
      {"cam-lookAt", {1, 2, 4}},
      {"cam-up", {0, 1, 0}},
      {"cam-fov", {1.5707964f}},
      {"cam-near-plane", {1}},
      {"cam-far-plane", {2}},
      {"view", columns(view)},
      {"viewInv", columns(view_inv)},
      {"viewProj", columns(view_proj)},
      {"viewProjInv", columns(view_proj_inv)},
      {"proj", columns(proj)},
      {"projInv", columns(proj_inv)},
      {"active-cam", {span_bits}},
      {"rt0", {8, 4}},
      {"rt1", {2, 6}},
      {"rt2", {0, 0}},
      {"srv2", {16, 8}},
      {"srv2_rcp4", {1.0f / 16, 1.0f / 8, 0, 0}},
      {"srv3", {0, 0}},
      {"srv3_rcp4", {0, 0, 0, 0}},
      {"user::offset", {3, 4}},
  };

  // Each value in its own 64-byte place, after a marker that no value may overwrite.
  cbuffer_t cb;
  cb.name = "Sys";
  cb.stages = STAGE_PIXEL;
  cb.size = int32_t(64 * (cases.size() + 2));
  for (size_t i = 0; i < cases.size(); ++i) {
    cb_entry_t entry;
    entry.name = cases[i].sys_name;
    entry.sys_name = cases[i].sys_name;
    entry.offset = int32_t(64 * i);
    entry.flags = CB_FLAG_SYS;
    cb.entries.push_back(entry);
  }
  cb_entry_t sync;
  sync.name = sync.sync_name = "bass";
  sync.type = VT_FLOAT;
  sync.offset = int32_t(64 * cases.size());
  sync.flags = CB_FLAG_VAR | CB_FLAG_SYNC;
  cb.entries.push_back(sync);
  cb.buffer = resources->create_constant_buffer(cb.size, true, nullptr);
  ASSERT_TRUE(cb.buffer);
  cb.update();

  const std::vector<float> bytes = read_buffer<float>(cb.buffer->buffer, size_t(cb.size) / 4);
  for (size_t i = 0; i < cases.size(); ++i) {
    const value_case_t& c = cases[i];
    for (size_t k = 0; k < 16; ++k) {
      const float written = bytes[16 * i + k];
      const float expected = k < c.expected.size() ? c.expected[k] : 0.0f;
      if (std::string(c.sys_name) == "active-cam" && k == 0) {
        EXPECT_EQ(std::memcmp(&written, &expected, 4), 0) << c.sys_name;
      } else {
        EXPECT_NEAR(written, expected, 1e-6f) << c.sys_name << " float " << k;
      }
    }
  }
  EXPECT_EQ(bytes[16 * cases.size()], 0.75f) << "sync track";

  // The published values change what the next upload writes.
  music_.position = 11.0f;  // the first span
  context.time = 11.0f;
  context.local_time = 1.0f;
  engine_.publish_system_variables(*block, context);
  cb.update();
  const std::vector<float> later = read_buffer<float>(cb.buffer->buffer, 16);
  EXPECT_EQ(later[0], 11.0f);
  EXPECT_EQ(later[1], 1.0f);
  int32_t active = -1;
  std::memcpy(&active, &read_buffer<float>(cb.buffer->buffer, size_t(cb.size) / 4)[16 * 14], 4);
  EXPECT_EQ(active, 0);
}

}  // namespace
