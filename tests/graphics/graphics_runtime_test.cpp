// The graphics runtime: real draws through its state-set, geometry, constant-buffer, resource and
// render-target calls, read back and compared with hand-derived pixels; its caches, the unbinding
// edge cases, UAV counters and tracing.

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <fmt/printf.h>

#include "graphics/geometry.h"
#include "graphics/input_layout.h"
#include "shaders/shader.h"
#include "graphics/state_set.h"
#include "common/graphics_test_support.h"

namespace {

using d3d11_test::rgba;
using graphics_test::graphics_fixture_t;

// Positions straight through; a constant colour from b0.
const char* position_vs = R"(
float4 main(float4 pos : POSITION) : SV_Position { return pos; })";
const char* constant_ps = R"(
cbuffer colour : register(b0) { float4 value; };
float4 main(float4 pos : SV_Position) : SV_Target { return value; })";

// One triangle that covers the whole viewport, as four-component positions.
const float fullscreen_positions[] = {-1, -1, 0, 1, -1, 3, 0, 1, 3, -1, 0, 1};

class GraphicsRuntimeTest : public graphics_fixture_t {
 protected:
  void SetUp() override {
    graphics_fixture_t::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    vs = vertex_shader(position_vs);
    const auto elements = build_input_layout({VF_POS_XYZW});
    ASSERT_EQ(device->CreateInputLayout(elements.data(), UINT(elements.size()), last_vs_code.data(),
                                        last_vs_code.size(), &layout),
              S_OK);
    ps = pixel_shader(constant_ps);
  }
  void TearDown() override {
    vs.Release();
    ps.Release();
    layout.Release();
    colour_buffer.reset();
    draw_states = {};
    draw_geometry = {};
    graphics_fixture_t::TearDown();
  }

  // The pass-like set-up: the position shaders, the geometry and the colour in b0.
  void bind_constant_colour(const geometry_t& geometry, const float colour[4]) {
    context->VSSetShader(vs, nullptr, 0);
    context->PSSetShader(ps, nullptr, 0);
    runtime->set_input_layout(layout);
    runtime->set_geometry(geometry);
    colour_buffer = resources->create_constant_buffer(16, false, colour);
    runtime->set_constant_buffer(STAGE_PIXEL, 0, colour_buffer.get());
  }

  geometry_t fullscreen_geometry() {
    geometry_t geometry;
    geometry.stride = 16;
    geometry.vertex_buffer = resources->create_vertex_buffer(3, 16, fullscreen_positions, false);
    return geometry;
  }

  // The state set of the given presets (no culling) and the full-screen triangle in the colour.
  void prepare_fullscreen(int depth_stencil, int blend, const float colour[4],
                          std::vector<int32_t> samplers = {}) {
    ASSERT_TRUE(draw_states.create(depth_stencil, blend, 2, samplers));
    runtime->set_state_set(draw_states);
    draw_geometry = fullscreen_geometry();
    bind_constant_colour(draw_geometry, colour);
  }

  std::shared_ptr<render_target_t> target(int w, int h, uint32_t flags = RT_SRV) {
    return resources->create_render_target(RT_SIZE_EXPLICIT, w, h, DXGI_FORMAT_R8G8B8A8_UNORM, flags);
  }

  static void expect_near(uint32_t actual, uint32_t expected) {
    for (int shift = 0; shift < 32; shift += 8) {
      const int a = int(actual >> shift & 0xFF), e = int(expected >> shift & 0xFF);
      EXPECT_LE(std::abs(a - e), 1) << std::hex << actual << " vs " << expected;
    }
  }

  // A full-screen triangle at depth z in the colour, depth-tested (LESS, writes on) into
  // whatever target is bound.
  void draw_at_depth(float z, const float colour[4]) {
    geometry_t geometry;
    geometry.stride = 16;
    float positions[12];
    std::memcpy(positions, fullscreen_positions, sizeof(positions));
    for (int v = 0; v < 3; ++v) positions[v * 4 + 2] = z;
    geometry.vertex_buffer = resources->create_vertex_buffer(3, 16, positions, false);
    state_set_t states;
    ASSERT_TRUE(states.create(1, 1, 2, {}));
    runtime->set_state_set(states);
    bind_constant_colour(geometry, colour);
    runtime->draw(3, 0);
  }

  // Whether the target's depth buffer holds 1.0: a draw at 0.5 passes only then, after the
  // depth was first lowered to 0.2 by the caller.
  bool depth_is_cleared(render_target_t* rt) {
    const float marker[4] = {1, 1, 0, 1};
    runtime->set_render_target(rt, nullptr, false);
    draw_at_depth(0.5f, marker);
    return read_rgba8(rt->texture)[0] == rgba(255, 255, 0, 255);
  }

  com_ptr_t<ID3D11VertexShader> vs;
  com_ptr_t<ID3D11PixelShader> ps;
  com_ptr_t<ID3D11InputLayout> layout;
  std::unique_ptr<constant_buffer_t> colour_buffer;
  state_set_t draw_states;
  geometry_t draw_geometry;
};

TEST_F(GraphicsRuntimeTest, BeginFrameBindsTheBackBufferAndClearsItToTheFrameColour) {
  runtime->begin_frame();
  EXPECT_EQ(runtime->get_render_target(0), gsys->backbuffer.get());
  const float2 size = runtime->get_render_target_size(0);
  EXPECT_EQ(size.x, 64.0f);
  EXPECT_EQ(size.y, 32.0f);
  const auto pixels = read_rgba8(gsys->backbuffer->texture);
  // 0.1, 0.2, 0.5 and 1.0 in eight bits.
  expect_near(pixels[0], rgba(26, 51, 128, 255));
  expect_near(pixels.back(), rgba(26, 51, 128, 255));
}

TEST_F(GraphicsRuntimeTest, BeginFrameAlsoClearsTheBackBufferDepth) {
  const float black[4] = {0, 0, 0, 0};
  runtime->set_render_target(gsys->backbuffer.get(), black, true);
  draw_at_depth(0.2f, black);
  runtime->begin_frame();
  EXPECT_TRUE(depth_is_cleared(gsys->backbuffer.get()));
}

TEST_F(GraphicsRuntimeTest, AFullScreenDrawBlendsThroughTheStateSetIntoTheClearedTarget) {
  auto rt = target(16, 8);
  const float clear[4] = {0.25f, 0.0f, 0.5f, 1.0f};
  EXPECT_EQ(runtime->set_render_target(rt.get(), clear, false), nullptr);
  const float colour[4] = {0.5f, 0.25f, 0.0f, 0.0f};
  prepare_fullscreen(2, 4, colour);  // depth off, "oneone", no culling
  runtime->draw(3, 0);
  // Added on top of the clear colour.
  for (uint32_t p : read_rgba8(rt->texture)) expect_near(p, rgba(191, 64, 128, 255));
}

TEST_F(GraphicsRuntimeTest, IndexedDrawsFromTheDynamicRingUseTheReturnedBaseVertex) {
  auto rt = target(8, 8);
  const float black[4] = {0, 0, 0, 0};
  runtime->set_render_target(rt.get(), black, false);
  state_set_t states;
  ASSERT_TRUE(states.create(2, 1, 2, {}));
  runtime->set_state_set(states);

  geometry_t geometry;
  geometry.create_dynamic_vertices(6, 16);
  const uint32_t indices[] = {0, 1, 2};
  geometry.create_index_buffer(3, 0, indices);
  // A first batch of three vertices far off screen, then the full-screen triangle.
  dyn_buffer_base& ring = *geometry.dyn_vertices;
  const float off_screen[12] = {5, 5, 0, 1, 6, 5, 0, 1, 5, 6, 0, 1};
  std::memcpy(ring.shadow, off_screen, sizeof(off_screen));
  EXPECT_EQ(ring.commit(ring.shadow + sizeof(off_screen)), 0);
  std::memcpy(ring.shadow, fullscreen_positions, sizeof(fullscreen_positions));
  const int base = ring.commit(ring.shadow + sizeof(fullscreen_positions));
  EXPECT_EQ(base, 3);

  const float colour[4] = {0.0f, 1.0f, 0.0f, 1.0f};
  bind_constant_colour(geometry, colour);
  runtime->draw_indexed(3, 0, base);
  for (uint32_t p : read_rgba8(rt->texture)) EXPECT_EQ(p, rgba(0, 255, 0, 255));
}

TEST_F(GraphicsRuntimeTest, OnlyReadyShadersAreBoundAndTheVertexShaderBringsItsLayout) {
  auto rt = target(2, 2);
  runtime->set_render_target(rt.get(), nullptr, false);
  const float colour[4] = {1, 0, 0, 1};
  prepare_fullscreen(2, 1, colour);
  runtime->set_input_layout(nullptr);
  context->VSSetShader(nullptr, nullptr, 0);

  shader_t vertex(STAGE_VERTEX, path_info_t("shaders/test.hlsl"), "main");
  vertex.vertex_shader = vs;
  vertex.input_layout = layout;
  vertex.state = SHADER_STATE_READY;
  runtime->set_vertex_shader(&vertex);
  shader_t red(STAGE_PIXEL, path_info_t("shaders/test.hlsl"), "red");
  red.pixel_shader = ps;
  red.state = SHADER_STATE_READY;
  runtime->set_pixel_shader(&red);
  runtime->draw(3, 0);
  EXPECT_EQ(read_rgba8(rt->texture)[0], rgba(255, 0, 0, 255));

  shader_t green(STAGE_PIXEL, path_info_t("shaders/test.hlsl"), "green");
  green.pixel_shader = pixel_shader(R"(
float4 main(float4 pos : SV_Position) : SV_Target { return float4(0, 1, 0, 1); })");
  for (int32_t state : {SHADER_STATE_NEW, SHADER_STATE_FAILED}) {
    green.state = state;
    runtime->set_pixel_shader(&green);
    runtime->draw(3, 0);
    EXPECT_EQ(read_rgba8(rt->texture)[0], rgba(255, 0, 0, 255)) << state;
  }
  green.state = SHADER_STATE_READY;
  runtime->set_pixel_shader(&green);
  runtime->draw(3, 0);
  EXPECT_EQ(read_rgba8(rt->texture)[0], rgba(0, 255, 0, 255));

  // Null unbinds the stages; the draw then reaches no target.
  runtime->set_vertex_shader(nullptr);
  runtime->set_pixel_shader(nullptr);
  runtime->set_geometry_shader(nullptr);
  runtime->set_compute_shader(nullptr);
  const float black[4] = {0, 0, 0, 0};
  runtime->clear_render_target(rt.get(), black);
  runtime->draw(3, 0);
  EXPECT_EQ(read_rgba8(rt->texture)[0], 0u);
}

TEST_F(GraphicsRuntimeTest, SamplersAndShaderResourcesReachThePixelShader) {
  // Left texel red, right texel green, sampled with point clamp from the state set's slot 0.
  const uint32_t texels[2] = {rgba(255, 0, 0, 255), rgba(0, 255, 0, 255)};
  D3D11_TEXTURE2D_DESC desc{
      2, 1, 1, 1, DXGI_FORMAT_R8G8B8A8_UNORM, {1, 0}, D3D11_USAGE_DEFAULT, D3D11_BIND_SHADER_RESOURCE, 0, 0};
  const D3D11_SUBRESOURCE_DATA init{texels, 8, 0};
  com_ptr_t<ID3D11Texture2D> texture;
  ASSERT_EQ(device->CreateTexture2D(&desc, &init, &texture), S_OK);
  com_ptr_t<ID3D11ShaderResourceView> srv;
  ASSERT_EQ(device->CreateShaderResourceView(texture, nullptr, &srv), S_OK);

  auto rt = target(4, 2);
  runtime->set_render_target(rt.get(), nullptr, false);
  const float unused[4] = {};
  prepare_fullscreen(2, 1, unused, {2});
  auto sample_ps = pixel_shader(R"(
Texture2D image : register(t0);
SamplerState point_clamp : register(s0);
float4 main(float4 pos : SV_Position) : SV_Target { return image.Sample(point_clamp, pos.xy / float2(4, 2)); })");
  context->PSSetShader(sample_ps, nullptr, 0);
  runtime->set_shader_resource(STAGE_PIXEL, 0, srv);
  EXPECT_TRUE(runtime->has_shader_resource(0));
  const float2 size = runtime->get_shader_resource_size(0);
  EXPECT_EQ(size.x, 2.0f);
  EXPECT_EQ(size.y, 1.0f);
  runtime->draw(3, 0);
  const auto pixels = read_rgba8(rt->texture);
  const uint32_t red = rgba(255, 0, 0, 255), green = rgba(0, 255, 0, 255);
  EXPECT_EQ(pixels, std::vector<uint32_t>({red, red, green, green, red, red, green, green}));
}

TEST_F(GraphicsRuntimeTest, UnsettingShaderResourcesTouchesOnlyTheSlotsTheRuntimeBound) {
  auto red = target(1, 1);
  auto blue = target(1, 1);
  const float red_colour[4] = {1, 0, 0, 1}, blue_colour[4] = {0, 0, 1, 1};
  runtime->clear_render_target(red.get(), red_colour);
  runtime->clear_render_target(blue.get(), blue_colour);

  auto rt = target(2, 2);
  runtime->set_render_target(rt.get(), nullptr, false);
  const float unused[4] = {};
  prepare_fullscreen(2, 1, unused);
  auto sum_ps = pixel_shader(R"(
Texture2D first : register(t0);
Texture2D third : register(t2);
float4 main(float4 pos : SV_Position) : SV_Target { return first.Load(int3(0, 0, 0)) + third.Load(int3(0, 0, 0)); })");
  context->PSSetShader(sum_ps, nullptr, 0);

  // Slot 0 through the runtime, slot 2 behind its back.
  runtime->set_shader_resource(STAGE_PIXEL, 0, red->srv);
  ID3D11ShaderResourceView* direct[1] = {blue->srv};
  context->PSSetShaderResources(2, 1, direct);
  EXPECT_FALSE(runtime->has_shader_resource(2));
  runtime->draw(3, 0);
  EXPECT_EQ(read_rgba8(rt->texture)[0], rgba(255, 0, 255, 255));

  runtime->unset_shader_resources(STAGE_PIXEL, 0, 4);
  EXPECT_FALSE(runtime->has_shader_resource(0));
  EXPECT_EQ(runtime->get_shader_resource_size(0).x, 0.0f);
  runtime->draw(3, 0);
  // Slot 0 now reads nothing; slot 2 was never cached, so no call reached it.
  EXPECT_EQ(read_rgba8(rt->texture)[0], rgba(0, 0, 255, 255));
}

TEST_F(GraphicsRuntimeTest, SeveralTargetsClearByTheirOwnColourAndDepthOfEveryTarget) {
  auto first = target(4, 4);
  auto second = target(4, 4, RT_SRV | RT_DEPTH);
  const float green[4] = {0, 1, 0, 1}, black[4] = {0, 0, 0, 0};
  runtime->set_render_target(second.get(), black, true);
  draw_at_depth(0.2f, black);
  std::vector<render_target_t*> list = {first.get(), second.get()};
  const float* colours[2] = {green, nullptr};
  runtime->set_render_target(gsys->backbuffer.get(), nullptr, false);
  const auto previous = runtime->set_render_targets(list, colours, true);
  ASSERT_EQ(previous.size(), 2);
  EXPECT_EQ(previous[0], gsys->backbuffer.get());
  EXPECT_EQ(previous[1], nullptr);
  EXPECT_EQ(runtime->get_render_target(0), first.get());
  EXPECT_EQ(runtime->get_render_target(1), second.get());

  EXPECT_EQ(read_rgba8(first->texture)[0], rgba(0, 255, 0, 255));
  // Target 1 had no colour.
  EXPECT_EQ(read_rgba8(second->texture)[0], 0u);

  // Both targets receive the draw (blend off, depth not bound).
  const float colour[4] = {1, 0, 0, 1};
  prepare_fullscreen(1, 1, colour);
  auto two_ps = pixel_shader(R"(
struct out_t { float4 a : SV_Target0; float4 b : SV_Target1; };
out_t main(float4 pos : SV_Position) { out_t o; o.a = float4(1, 0, 0, 1); o.b = float4(0, 0, 1, 1); return o; })");
  context->PSSetShader(two_ps, nullptr, 0);
  runtime->draw(3, 0);
  EXPECT_EQ(read_rgba8(first->texture)[5], rgba(255, 0, 0, 255));
  EXPECT_EQ(read_rgba8(second->texture)[5], rgba(0, 0, 255, 255));

  // Restoring takes the remembered list back.
  runtime->set_render_targets(previous, {}, false);
  EXPECT_EQ(runtime->get_render_target(0), gsys->backbuffer.get());
  EXPECT_EQ(runtime->get_render_target(1), nullptr);

  // Target 1's depth was cleared though target 0 had no depth to bind.
  EXPECT_TRUE(depth_is_cleared(second.get()));
}

// Binding one target leaves the others unbound on the device, so the record forgets them too: a
// later save and restore around a block must not bring back a target that was unbound meanwhile,
// and a two-target draw after it writes into nothing but what is bound.
TEST_F(GraphicsRuntimeTest, BindingOneTargetForgetsTheOthersAndARestoreBindsOnlyWhatWasBound) {
  auto first = target(4, 4), second = target(4, 4), single = target(4, 4), out0 = target(4, 4),
       out1 = target(4, 4);
  const float black[4] = {0, 0, 0, 0};
  for (auto* t : {first.get(), second.get(), single.get()}) runtime->clear_render_target(t, black);
  std::vector<render_target_t*> pair = {first.get(), second.get()};
  runtime->set_render_targets_clear_all(pair, nullptr, false);
  EXPECT_EQ(runtime->set_render_target(single.get(), nullptr, false), first.get());
  EXPECT_EQ(runtime->get_render_target(1), nullptr);

  // As the engine does around a block: its outputs bound, then what was bound before restored.
  std::vector<render_target_t*> outputs = {out0.get(), out1.get()};
  const auto previous = runtime->set_render_targets_clear_all(outputs, nullptr, false);
  runtime->set_render_targets(previous, {}, false);
  EXPECT_EQ(runtime->get_render_target(0), single.get());
  EXPECT_EQ(runtime->get_render_target(1), nullptr);

  const float colour[4] = {1, 0, 0, 1};
  prepare_fullscreen(1, 1, colour);
  auto two_ps = pixel_shader(R"(
struct out_t { float4 a : SV_Target0; float4 b : SV_Target1; };
out_t main(float4 pos : SV_Position) { out_t o; o.a = float4(1, 0, 0, 1); o.b = float4(0, 0, 1, 1); return o; })");
  context->PSSetShader(two_ps, nullptr, 0);
  runtime->draw(3, 0);
  EXPECT_EQ(read_rgba8(single->texture)[5], rgba(255, 0, 0, 255));
  EXPECT_EQ(read_rgba8(second->texture)[5], 0u) << "a target unbound before the block was bound again";
}

// A shorter list replaces what was bound; restoring brings back every target it replaced.
TEST_F(GraphicsRuntimeTest, RestoringAfterAShorterListBindsEveryTargetAgain) {
  auto first = target(4, 4), second = target(4, 4), other = target(4, 4);
  std::vector<render_target_t*> pair = {first.get(), second.get()};
  runtime->set_render_targets_clear_all(pair, nullptr, false);
  std::vector<render_target_t*> one = {other.get()};
  const auto previous = runtime->set_render_targets_clear_all(one, nullptr, false);
  EXPECT_EQ(runtime->get_render_target(1), nullptr);
  runtime->set_render_targets(previous, {}, false);
  EXPECT_EQ(runtime->get_render_target(0), first.get());
  EXPECT_EQ(runtime->get_render_target(1), second.get());
}

// The record of bound targets after each way of binding equals what the device has bound, and
// every call answers what was bound before it.
TEST_F(GraphicsRuntimeTest, TheRecordOfBoundTargetsFollowsOneAndSeveralTargets) {
  auto a = target(2, 2), b = target(4, 2), c = target(8, 4), d = target(2, 6), e = target(6, 6), f = target(1, 3);
  render_target_t* const back = gsys->backbuffer.get();
  runtime->begin_frame();
  struct step_t {
    const char* what;
    std::function<std::vector<render_target_t*>()> call;  // what the call answered
    std::vector<render_target_t*> answer;
    std::vector<render_target_t*> record;  // slots 0 to 3 afterwards
  };
  auto several = [&](std::vector<render_target_t*> list) {
    return [this, list] {
      const bound_targets_t previous = runtime->set_render_targets(list, {}, false);
      return std::vector<render_target_t*>(previous.begin(), previous.end());
    };
  };
  const step_t steps[] = {
      {"three targets", several({a.get(), b.get(), c.get()}), {back, nullptr, nullptr},
       {a.get(), b.get(), c.get(), nullptr}},
      {"one target", [&] { return std::vector<render_target_t*>{runtime->set_render_target(d.get(), nullptr, false)}; },
       {a.get()}, {d.get(), nullptr, nullptr, nullptr}},
      {"two targets", several({e.get(), f.get()}), {d.get(), nullptr}, {e.get(), f.get(), nullptr, nullptr}},
      {"clear all of one",
       [&] {
         const std::vector<render_target_t*> list = {a.get()};
         const bound_targets_t previous = runtime->set_render_targets_clear_all(list, nullptr, false);
         return std::vector<render_target_t*>(previous.begin(), previous.end());
       },
       {e.get(), f.get()}, {a.get(), nullptr, nullptr, nullptr}},
      {"unset two",
       [&] {
         runtime->unset_render_targets(1, 2);
         return std::vector<render_target_t*>{};
       },
       {}, {a.get(), nullptr, nullptr, nullptr}},
  };
  for (const step_t& step : steps) {
    SCOPED_TRACE(step.what);
    EXPECT_EQ(step.call(), step.answer);
    for (int slot = 0; slot < 4; ++slot) {
      EXPECT_EQ(runtime->get_render_target(slot), step.record[slot]) << slot;
      const render_target_t* t = step.record[slot];
      const float2 size = runtime->get_render_target_size(slot);
      EXPECT_EQ(size.x, t ? t->viewport.Width : 0.0f) << slot;
      EXPECT_EQ(size.y, t ? t->viewport.Height : 0.0f) << slot;
    }
  }

  // After one target the record holds that target alone, as the device does: a two-target draw
  // reaches it and nothing else.
  const float black[4] = {0, 0, 0, 0};
  runtime->set_render_targets_clear_all(std::vector<render_target_t*>{e.get(), f.get()}, black, false);
  runtime->set_render_target(d.get(), black, false);
  EXPECT_EQ(runtime->get_render_target(1), nullptr);
  const float white[4] = {1, 1, 1, 1};
  prepare_fullscreen(2, 1, white);
  auto two_ps = pixel_shader(R"(
struct out_t { float4 a : SV_Target0; float4 b : SV_Target1; };
out_t main(float4 pos : SV_Position) { out_t o; o.a = float4(1, 1, 1, 1); o.b = float4(1, 1, 1, 1); return o; })");
  context->PSSetShader(two_ps, nullptr, 0);
  runtime->draw(3, 0);
  EXPECT_EQ(read_rgba8(d->texture)[0], rgba(255, 255, 255, 255));
  EXPECT_EQ(read_rgba8(f->texture)[0], 0u);
}

// The geometry's stride reads a vertex buffer; a dynamic ring is read with its own stride.
TEST_F(GraphicsRuntimeTest, SetGeometryTakesTheGeometrysStrideOrTheRingsOwn) {
  auto rt = target(4, 4);
  const float black[4] = {0, 0, 0, 0};
  runtime->set_render_target(rt.get(), black, false);
  const float green[4] = {0, 1, 0, 1};
  prepare_fullscreen(2, 1, green);
  // Every second position is the full-screen triangle; the others lie off screen.
  const float interleaved[24] = {-1, -1, 0, 1, 5, 5, 0, 1, -1, 3, 0, 1, 6, 5, 0, 1, 3, -1, 0, 1, 5, 6, 0, 1};
  geometry_t strided;
  strided.vertex_buffer = resources->create_vertex_buffer(6, 16, interleaved, false);
  strided.stride = 32;
  runtime->set_geometry(strided);
  runtime->draw(3, 0);
  for (uint32_t p : read_rgba8(rt->texture)) ASSERT_EQ(p, rgba(0, 255, 0, 255));

  runtime->clear_render_target(rt.get(), black);
  geometry_t ring;
  ring.create_dynamic_vertices(3, 16);
  ring.stride = 48;  // not read for a ring
  std::memcpy(ring.dyn_vertices->shadow, fullscreen_positions, sizeof(fullscreen_positions));
  const int base = ring.dyn_vertices->commit(ring.dyn_vertices->shadow + sizeof(fullscreen_positions));
  runtime->set_geometry(ring);
  runtime->draw(3, base);
  for (uint32_t p : read_rgba8(rt->texture)) ASSERT_EQ(p, rgba(0, 255, 0, 255));
}

TEST_F(GraphicsRuntimeTest, ClearAllClearsEveryTargetWithTheOneColour) {
  auto first = target(2, 2);
  auto second = target(2, 2);
  const float grey[4] = {0.5f, 0.5f, 0.5f, 1.0f};
  std::vector<render_target_t*> list = {first.get(), second.get()};
  runtime->set_render_targets_clear_all(list, grey, false);
  expect_near(read_rgba8(first->texture)[3], rgba(128, 128, 128, 255));
  expect_near(read_rgba8(second->texture)[3], rgba(128, 128, 128, 255));
}

TEST_F(GraphicsRuntimeTest, AGpuBufferInTheTargetListBindsAsAUavAfterTheViewsWithItsCounterReset) {
  auto list_buffer = resources->create_buffer(64, 4, BUF_UAV | BUF_SRV | BUF_APPEND);
  ASSERT_TRUE(list_buffer);
  // Five items appended before: binding with the targets starts the counter at 0 again.
  auto append_cs = compute_shader(R"(
AppendStructuredBuffer<uint> items : register(u0);
[numthreads(1, 1, 1)] void main(uint3 id : SV_DispatchThreadID) { items.Append(id.x); })");
  context->CSSetShader(append_cs, nullptr, 0);
  runtime->set_compute_uav(0, list_buffer->uav, 0);
  runtime->dispatch(5, 1, 1);
  runtime->unset_compute_uavs(0, 1);
  EXPECT_EQ(runtime->read_uav_counter(list_buffer->uav), 5u);

  auto rt = target(4, 2);
  std::vector<render_target_t*> list = {rt.get(), list_buffer.get()};
  runtime->set_render_targets_clear_all(list, nullptr, false);
  const float colour[4] = {1, 1, 1, 1};
  prepare_fullscreen(2, 1, colour);
  auto append_ps = pixel_shader(R"(
AppendStructuredBuffer<uint> items : register(u1);
float4 main(float4 pos : SV_Position) : SV_Target { items.Append(uint(pos.x)); return float4(1, 1, 1, 1); })");
  context->PSSetShader(append_ps, nullptr, 0);
  runtime->draw(3, 0);
  runtime->unset_render_targets(0, 8);
  EXPECT_EQ(runtime->get_render_target(0), nullptr);
  EXPECT_EQ(runtime->read_uav_counter(list_buffer->uav), 8u);
  EXPECT_EQ(read_rgba8(rt->texture)[7], rgba(255, 255, 255, 255));
}

TEST_F(GraphicsRuntimeTest, ReadingTheCounterAfterThirtySevenAppendsGivesThirtySeven) {
  auto list_buffer = resources->create_buffer(64, 4, BUF_UAV | BUF_SRV | BUF_APPEND | BUF_COUNT_BUFFER);
  auto append_cs = compute_shader(R"(
AppendStructuredBuffer<uint> items : register(u0);
[numthreads(1, 1, 1)] void main(uint3 id : SV_DispatchThreadID) { items.Append(id.x); })");
  context->CSSetShader(append_cs, nullptr, 0);
  std::vector<ID3D11UnorderedAccessView*> views = {list_buffer->uav};
  std::vector<uint32_t> counts = {0};
  runtime->set_compute_uavs(0, views, counts);
  runtime->dispatch(37, 1, 1);
  EXPECT_EQ(runtime->read_uav_counter(list_buffer->uav), 37u);
  // Unbinding keeps the counter; binding again with "keep" continues from it.
  runtime->unset_compute_uavs(0, 1);
  runtime->set_compute_uav(0, list_buffer->uav, ~0u);
  runtime->dispatch(3, 1, 1);
  EXPECT_EQ(runtime->read_uav_counter(list_buffer->uav), 40u);
  runtime->shutdown();
  EXPECT_EQ(runtime->read_uav_counter(list_buffer->uav), 0u);
}

TEST_F(GraphicsRuntimeTest, ANullTargetUnbindsAndTheCachesAnswerForEmptySlots) {
  EXPECT_EQ(runtime->get_render_target_size(3).x, 0.0f);
  EXPECT_EQ(runtime->get_render_target_size(3).y, 0.0f);
  EXPECT_FALSE(runtime->has_shader_resource(7));
  EXPECT_EQ(runtime->get_shader_resource_size(7).x, 0.0f);

  // Numbers beyond the cache, as shader metadata may name them, answer as empty slots.
  for (int slot : {-1, 8, 99}) {
    EXPECT_EQ(runtime->get_render_target(slot), nullptr);
    EXPECT_EQ(runtime->get_render_target_size(slot).x, 0.0f);
    EXPECT_FALSE(runtime->has_shader_resource(slot));
    EXPECT_EQ(runtime->get_shader_resource_size(slot).y, 0.0f);
  }

  auto rt = target(8, 2);
  runtime->set_render_target(rt.get(), nullptr, false);
  EXPECT_EQ(runtime->get_render_target_size(0).x, 8.0f);
  // Ranges reaching past the cache unbind what lies within it.
  runtime->unset_render_targets(0, 12);
  EXPECT_EQ(runtime->get_render_target(0), nullptr);
  runtime->set_render_target(rt.get(), nullptr, false);
  EXPECT_EQ(runtime->set_render_target(nullptr, nullptr, true), rt.get());
  EXPECT_EQ(runtime->get_render_target(0), nullptr);
  EXPECT_EQ(runtime->get_render_target_size(0).x, 0.0f);
}

TEST_F(GraphicsRuntimeTest, ClearingATargetClearsItsDepthToo) {
  auto rt = target(2, 2, RT_SRV | RT_DEPTH);
  const float black[4] = {0, 0, 0, 0}, colour[4] = {0, 0, 1, 1};
  runtime->set_render_target(rt.get(), black, true);
  draw_at_depth(0.2f, black);
  // Without a clear the draw at 0.5 fails the depth test.
  EXPECT_FALSE(depth_is_cleared(rt.get()));
  runtime->clear_render_target(rt.get(), colour);
  EXPECT_EQ(read_rgba8(rt->texture)[0], rgba(0, 0, 255, 255));
  EXPECT_TRUE(depth_is_cleared(rt.get()));
}

TEST_F(GraphicsRuntimeTest, MappedBuffersAreWrittenWholeByDiscard) {
  auto buffer = resources->create_constant_buffer(16, true, nullptr);
  void* mapped = runtime->map_buffer(buffer.get());
  ASSERT_NE(mapped, nullptr);
  const uint32_t values[4] = {7, 8, 9, 10};
  std::memcpy(mapped, values, sizeof(values));
  runtime->unmap_buffer(buffer.get());
  EXPECT_EQ(read_buffer<uint32_t>(buffer->buffer, 4), std::vector<uint32_t>({7, 8, 9, 10}));
  // An immutable buffer cannot be mapped.
  const uint32_t fixed[4] = {};
  auto immutable = resources->create_constant_buffer(16, false, fixed);
  EXPECT_EQ(runtime->map_buffer(immutable.get()), nullptr);
}

TEST_F(GraphicsRuntimeTest, TracingReportsStatesSamplersClearsAndDispatches) {
  std::vector<std::string> lines;
  runtime->trace_enabled = true;
  runtime->trace_sink = [&](const std::string& line) { lines.push_back(line); };
  state_set_t states;
  ASSERT_TRUE(states.create(1, 1, 1, {}));
  runtime->set_state_set(states);
  sampler_state_t* samplers[2] = {states.samplers[0].get(), nullptr};
  runtime->set_samplers(STAGE_PIXEL | STAGE_COMPUTE, 0, samplers);
  auto rt = target(2, 2, RT_DEPTH);
  const float colour[4] = {0.5f, 0, 0, 1};
  runtime->clear_render_target(rt.get(), colour);
  runtime->dispatch(3, 2, 1);
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], fmt::sprintf("set rasterize state: %p", static_cast<void*>(states.rasterizer.get())));
  EXPECT_EQ(lines[1], fmt::sprintf("set blend state: %p", static_cast<void*>(states.blend.get())));
  EXPECT_EQ(lines[2],
            fmt::sprintf("set depth stencil state: %p", static_cast<void*>(states.depth_stencil.get())));
  EXPECT_EQ(lines[3], "set 2 samplers");
  EXPECT_EQ(lines[4], fmt::sprintf("clear rt: %p, col: 0.500000, 0.000000, 0.000000, 1.000000",
                                   static_cast<void*>(rt.get())));
  EXPECT_EQ(lines[5], "clear depth");
  EXPECT_EQ(lines[6], "dispatch: 3, 2, 1");

  runtime->trace_enabled = false;
  runtime->set_state_set(states);
  EXPECT_EQ(lines.size(), 7u);
}

}  // namespace
