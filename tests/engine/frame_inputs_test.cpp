// A block's inputs as the frame resolves them, read from the presented pixels: another block's
// output rendered in a chain of its own, the output cache with its reuse and ageing, the guard
// against chains that read themselves, and blocks held back by an input that does not resolve.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include <fmt/printf.h>

#include "common/content_engine_fixture.h"
#include "common/log_capture.h"
#include "engine/block_base.h"
#include "engine/engine_impl.h"
#include "shaders/render_pass.h"
#include "shaders/shader.h"
#include "blocks/block_shader.h"

namespace {

struct rgb_t {
  float r, g, b;
};

// A full-screen flash of the colour; strength 1.
std::string flash_block(int id, float start, float end, int layer, rgb_t c) {
  return fmt::sprintf(R"(
[[blocks]]
class-name = "shader"
id = %d
name = "flash %d"
start-time = %f
end-time = %f
layer = %d
[blocks.renderpass]
rp-name = "PsFlash"
type = 1
rasterizer-state = 2
blend-state = 1
depth-stencil-state = 2
[blocks.renderpass.vs]
type = 1
filename = "shaders/default.hlsl"
entrypoint = "VsQuad"
[blocks.renderpass.ps]
type = 4
filename = "shaders/demo/flash.hlsl"
entrypoint = "PsFlash"
[blocks.renderpass.ps.vars]
Flash:strength = {name = "strength", flags = 0, type = 6, default = {type = 6, value = 1.0}}
Flash:flashColor = {name = "flash-color", flags = 0, type = 10, default = {type = 10, value = color(%f, %f, %f, 1.0)}}
)",
                      id, id, start, end, layer, c.r, c.g, c.b);
}

// A block that shows its first input texel for texel, gamma-encoded (the presentation's own gamma
// shader), without clearing first.
std::string copy_block(int id, float start, float end, int layer, const std::string& input) {
  return fmt::sprintf(R"(
[[blocks]]
class-name = "shader"
id = %d
name = "copy %d"
start-time = %f
end-time = %f
layer = %d
do-clear-color = {name = "do-clear-color", flags = 0, type = 1, default = {type = 1, value = false}}
bound-inputs = [%s]
[blocks.renderpass]
rp-name = "PsGamma"
type = 1
rasterizer-state = 2
blend-state = 1
depth-stencil-state = 2
[blocks.renderpass.vs]
type = 1
filename = "shaders/default.hlsl"
entrypoint = "VsQuad"
[blocks.renderpass.ps]
type = 4
filename = "shaders/posteffects/gamma22.hlsl"
entrypoint = "PsGamma"
)",
                      id, id, start, end, layer, input);
}

std::string block_input(int id, bool dynamic) {
  return fmt::sprintf("{type = 3, block-id = %d, is-dynamic = %s}", id, dynamic ? "true" : "false");
}

// The presented pixel of a flat linear colour: gamma 2.2 into eight bits.
uint32_t presented(rgb_t c) {
  auto encode = [](float v) { return uint32_t(std::lround(255.0 * std::pow(v, 1.0 / 2.2))); };
  return encode(c.r) | encode(c.g) << 8 | encode(c.b) << 16 | 0xffu << 24;
}

// The presented pixel of a colour that went through the copying block first.
uint32_t copied(rgb_t c) {
  auto gamma = [](float v) { return float(std::pow(v, 1.0 / 2.2)); };
  return presented({gamma(c.r), gamma(c.g), gamma(c.b)});
}

bool near(uint32_t a, uint32_t b) {
  for (int shift = 0; shift < 24; shift += 8)
    if (std::abs(int(a >> shift & 0xff) - int(b >> shift & 0xff)) > 2) return false;
  return true;
}

const rgb_t below{0.2f, 0.6f, 0.1f};  // the flash under the copying block
const rgb_t other{0.5f, 0.25f, 1.0f};  // the block the copying block reads

class FrameInputsTest : public content_test::content_engine_fixture_t {
 protected:
  uint32_t centre(float t) { return frame_at(t)[size_t(height / 2) * width + width / 2]; }
  shader_t& flash_shader(int id) {
    auto* block = dynamic_cast<block_shader_effect_t*>(current_engine()->find_block(id));
    EXPECT_TRUE(block && block->pass && block->pass->ps);
    return *block->pass->ps;
  }
  int first_executes(const log_capture_t& log, const std::string& name) {
    int n = 0;
    for (const auto& [level, text] : log.lines) n += text.starts_with("First execute: " + name + " (") ? 1 : 0;
    return n;
  }
};

// The copying block sits on a flash in the same chain; its input decides what shows: the other
// block's output when it resolves, the flash below (copied into the block's target before it
// runs) when the block is held back. One engine per case, as the player has.
struct input_case_t {
  const char* what;
  const char* input;
  bool resolves;
};

class FrameInputTest : public FrameInputsTest, public testing::WithParamInterface<input_case_t> {};

TEST_P(FrameInputTest, AnInputThatDoesNotResolveHoldsTheBlockBack) {
  const input_case_t& c = GetParam();
  ASSERT_TRUE(start_blocks(flash_block(1, 20, 30, 0, other) + flash_block(3, 0, 10, 0, below) +
                           copy_block(2, 0, 10, 1, c.input)));
  const uint32_t expected = c.resolves ? copied(other) : presented(below);
  const uint32_t pixel = centre(1.0f);
  EXPECT_TRUE(near(pixel, expected)) << std::hex << pixel << " instead of " << expected;
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, FrameInputTest,
    testing::Values(input_case_t{"another block's output", "{type = 3, block-id = 1, is-dynamic = true}", true},
                    input_case_t{"no such block", "{type = 3, block-id = 99, is-dynamic = true}", false},
                    input_case_t{"unresolved", "{type = 1}", false},
                    input_case_t{"a missing texture file", "{type = 4, texture-path = \"textures/none.png\"}", false},
                    input_case_t{"a layer below the chain", "{type = 2, layer_offset = 2}", false}),
    [](const testing::TestParamInfo<input_case_t>& info) { return std::to_string(info.index); });

// An output read through a non-dynamic input is rendered once and reused while each frame reads
// it; a dynamic input renders it anew every frame; a frame that does not read it drops it.
struct cache_case_t {
  const char* what;
  bool dynamic;
  std::vector<float> frames_between;  // after the flash went dark, before the last frame at 3 s
  rgb_t last;
};

class OutputCacheTest : public FrameInputsTest, public testing::WithParamInterface<cache_case_t> {};

TEST_P(OutputCacheTest, ReusesNonDynamicOutputsAndAgesThemOut) {
  const cache_case_t& c = GetParam();
  ASSERT_TRUE(start_blocks(flash_block(1, 20, 30, 0, other) + copy_block(2, 0, 10, 0, block_input(1, c.dynamic))));
  EXPECT_TRUE(near(centre(1.0f), copied(other)));
  // The flash goes dark: only a new rendering of it shows that.
  ASSERT_TRUE(flash_shader(1).set_cb_value("Flash", "strength", 0.0f));
  for (float t : c.frames_between) centre(t);
  const uint32_t pixel = centre(3.0f);
  EXPECT_TRUE(near(pixel, copied(c.last))) << std::hex << pixel;
}

INSTANTIATE_TEST_SUITE_P(
    Frames, OutputCacheTest,
    testing::Values(cache_case_t{"non-dynamic reused", false, {2.0f}, other},
                    cache_case_t{"dynamic rendered anew", true, {2.0f}, {0, 0, 0}},
                    cache_case_t{"non-dynamic dropped after a frame without it", false, {12.0f}, {0, 0, 0}},
                    cache_case_t{"non-dynamic kept while read", false, {2.0f, 2.5f}, other}),
    [](const testing::TestParamInfo<cache_case_t>& info) { return std::to_string(info.index); });

// A chain that reads its own output, directly or through another block's chain, ends: the block
// whose input would render a chain already being rendered is not executed.
struct cycle_case_t {
  const char* what;
  int first_input_id, other_block_id;  // the other block, when there is one, reads the first
  bool dynamic;
  int executed;
};

class SelfReadingChainTest : public FrameInputsTest, public testing::WithParamInterface<cycle_case_t> {};

TEST_P(SelfReadingChainTest, EndsAndTheClosingBlockIsHeldBack) {
  const cycle_case_t& c = GetParam();
  std::string blocks = copy_block(2, 0, 10, 0, block_input(c.first_input_id, c.dynamic));
  if (c.other_block_id) blocks += copy_block(c.other_block_id, 20, 30, 0, block_input(2, c.dynamic));
  ASSERT_TRUE(start_blocks(blocks));
  log_capture_t log;
  for (float t : {1.0f, 1.5f, 2.0f}) {
    bool playing = false;
    frame_at(t, &playing);
    EXPECT_TRUE(playing);
  }
  EXPECT_EQ(first_executes(log, "gamma22:PsGamma"), c.executed);
}

INSTANTIATE_TEST_SUITE_P(
    Cycles, SelfReadingChainTest,
    testing::Values(cycle_case_t{"itself", 2, 0, true, 0}, cycle_case_t{"through another chain", 4, 4, true, 1},
                    cycle_case_t{"non-dynamic through another chain", 4, 4, false, 1}),
    [](const testing::TestParamInfo<cycle_case_t>& info) { return std::to_string(info.index); });

// A faded chain's output is its image blitted into the shared target with the fade, which the
// blocks above read through mip-filtered samplers too: its mips are made from the faded image, not
// left as the shared target last had them.
TEST_F(FrameInputsTest, AFadedChainsOutputHasMipsOfItsOwn) {
  ASSERT_TRUE(
      start("[settings]\nproject-name = \"test\"\nfade-mode = 1\nblock-fade-in = 0.5\n"
            "camera-fade-in = 0.0\n" +
            flash_block(1, 0, 10, 0, other)));
  frame_at(0.25f);
  auto& cache = static_cast<engine_impl_t*>(current_engine())->output_cache;
  auto cached = cache.find(1);
  ASSERT_NE(cached, cache.end());
  ID3D11Texture2D* texture = cached->second.target->texture.get();
  using half4_t = std::array<uint16_t, 4>;
  const std::vector<half4_t> image = read_texels<half4_t>(texture, 0);
  ASSERT_FALSE(image.empty());
  EXPECT_NE(image[0], (half4_t{0, 0, 0, 0})) << "the faded flash";
  for (UINT level = 1; level <= 3; ++level) {
    SCOPED_TRACE(::testing::Message() << "level " << level);
    for (const half4_t& texel : read_texels<half4_t>(texture, level)) EXPECT_EQ(texel, image[0]);
  }
}

}  // namespace
