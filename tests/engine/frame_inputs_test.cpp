// A block's inputs as the frame resolves them, read from the presented pixels: another block's
// output rendered in a chain of its own, the output cache with its reuse and ageing, the guard
// against chains that read themselves, and blocks held back by an input that does not resolve.

#include <gtest/gtest.h>

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

// A block that shows its first input as it is, without clearing first.
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
rp-name = "PsCopy"
type = 1
rasterizer-state = 2
blend-state = 1
depth-stencil-state = 2
samplers = [5, 5, 5, 5]
[blocks.renderpass.vs]
type = 1
filename = "shaders/default.hlsl"
entrypoint = "VsQuad"
[blocks.renderpass.ps]
type = 4
filename = "shaders/default.hlsl"
entrypoint = "PsCopy"
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
// runs) when the block is held back.
TEST_F(FrameInputsTest, AnInputThatDoesNotResolveHoldsTheBlockBack) {
  struct case_t {
    const char* what;
    std::string input;
    uint32_t expected;
  };
  const case_t cases[] = {
      {"another block's output", block_input(1, true), presented(other)},
      {"no such block", block_input(99, true), presented(below)},
      {"unresolved", "{type = 1}", presented(below)},
      {"a texture file that is not there", "{type = 4, texture-path = \"textures/none.png\"}", presented(below)},
      {"a layer below the chain", "{type = 2, layer_offset = 2}", presented(below)},
  };
  for (const case_t& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(start_blocks(flash_block(1, 20, 30, 0, other) + flash_block(3, 0, 10, 0, below) +
                             copy_block(2, 0, 10, 1, c.input)));
    const uint32_t pixel = centre(1.0f);
    EXPECT_TRUE(near(pixel, c.expected)) << std::hex << pixel << " instead of " << c.expected;
    stop();
  }
}

// An output read through a non-dynamic input is rendered once and reused while each frame reads
// it; a dynamic input renders it anew every frame; a frame that does not read it drops it.
TEST_F(FrameInputsTest, TheOutputCacheReusesNonDynamicOutputsAndAgesThemOut) {
  struct case_t {
    const char* what;
    bool dynamic;
    std::vector<float> frames_between;  // after the flash went dark, before the last frame at 3 s
    rgb_t last;
  };
  const case_t cases[] = {
      {"non-dynamic reused", false, {2.0f}, other},
      {"dynamic rendered anew", true, {2.0f}, {0, 0, 0}},
      {"non-dynamic dropped after a frame without it", false, {12.0f}, {0, 0, 0}},
      {"non-dynamic kept while read", false, {2.0f, 2.5f}, other},
  };
  for (const case_t& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(start_blocks(flash_block(1, 20, 30, 0, other) + copy_block(2, 0, 10, 0, block_input(1, c.dynamic))));
    EXPECT_TRUE(near(centre(1.0f), presented(other)));
    // The flash goes dark: only a new rendering of it shows that.
    ASSERT_TRUE(flash_shader(1).set_cb_value("Flash", "strength", 0.0f));
    for (float t : c.frames_between) centre(t);
    const uint32_t pixel = centre(3.0f);
    EXPECT_TRUE(near(pixel, presented(c.last))) << std::hex << pixel;
    stop();
  }
}

// A chain that reads its own output, directly or through another block's chain, ends: the block
// whose input would render a chain already being rendered is not executed.
TEST_F(FrameInputsTest, ChainsThatReadThemselvesEndAndTheClosingBlockIsHeldBack) {
  struct case_t {
    const char* what;
    std::string blocks;
    int copy_runs, other_runs;
  };
  const case_t cases[] = {
      {"itself", copy_block(2, 0, 10, 0, block_input(2, true)), 0, 0},
      {"through another chain",
       copy_block(2, 0, 10, 0, block_input(4, true)) + copy_block(4, 20, 30, 0, block_input(2, true)), 1, 0},
      {"non-dynamic through another chain",
       copy_block(2, 0, 10, 0, block_input(4, false)) + copy_block(4, 20, 30, 0, block_input(2, false)), 1, 0},
  };
  for (const case_t& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(start_blocks(c.blocks));
    log_capture_t log;
    for (float t : {1.0f, 1.5f, 2.0f}) {
      bool playing = false;
      frame_at(t, &playing);
      EXPECT_TRUE(playing);
    }
    EXPECT_EQ(first_executes(log, "default:PsCopy"), c.copy_runs + c.other_runs);
    stop();
  }
}

}  // namespace
