// Blocks that cannot draw in a frame, played through the engine: one that throws half-way (as a
// block does when a target or buffer cannot be made) and one whose texture input does not load.
// The frame goes on, the block's outputs hold what the engine clears them to, the image below
// shows through as when the block draws nothing, and a failure is logged once.

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include <fmt/printf.h>

#include "common/content_engine_fixture.h"
#include "common/log_capture.h"
#include "engine/block_factory.h"
#include "graphics/graphics_runtime.h"
#include "support/log.h"
#include "support/systems.h"

namespace {

// Stands in for "dummy" blocks, acting by its name: "fill" clears its colour output to red (id 1)
// or green (any other id); "failing" clears it to magenta, then throws; "unloadable" throws from
// its load and would clear to magenta.
class scripted_block_t final : public block_base_t {
 public:
  scripted_block_t() : block_base_t("dummy") {}
  // "unloadable" fails as a reader does on a file that promises more than it holds.
  bool load(const serial::value_t& table) override {
    const bool loaded = block_base_t::load(table);
    if (name == "unloadable") throw std::bad_alloc();
    return loaded;
  }
  void execute(const render_context_t& context) override {
    block_base_t::execute(context);
    const float red[4] = {1, 0, 0, 1}, green[4] = {0, 1, 0, 1}, magenta[4] = {1, 0, 1, 1};
    if (name == "fill") S(runtime)->clear_render_target(context.outputs[0], id == 1 ? red : green);
    if (name == "failing" || name == "unloadable") S(runtime)->clear_render_target(context.outputs[0], magenta);
    if (name == "failing") throw std::runtime_error("CreateTexture2D: the size is 0");
  }
};

block_ptr_t make_scripted_block() { return std::make_shared<scripted_block_t>(); }

// Colour channels only: the presentation's FXAA keeps its own value in alpha.
constexpr uint32_t red = 0x0000ff, blue = 0xff0000, rgb = 0xffffff;

std::string block(int id, const char* name, float start, float end, int layer, const std::string& extra) {
  return fmt::sprintf(
      "[[blocks]]\nclass-name = \"dummy\"\nid = %d\nname = \"%s\"\nstart-time = %f\nend-time = %f\nlayer = %d\n%s\n",
      id, name, start, end, layer, extra);
}

const std::string no_clear =
    "do-clear-color = {name = \"do-clear-color\", flags = 0, type = 1, default = {type = 1, value = false}, "
    "has-animation = false}";
const std::string blue_clear =
    "clear-color = {name = \"clear-color\", flags = 0, type = 10, default = {type = 10, value = color(0.0, 0.0, "
    "1.0, 1.0)}, has-animation = false}";

class BlockFailureTest : public content_test::content_engine_fixture_t {
 protected:
  void SetUp() override {
    content_engine_fixture_t::SetUp();
    register_block_class("dummy", make_scripted_block);
  }
  void TearDown() override {
    register_block_class("dummy", make_dummy_block);
    content_engine_fixture_t::TearDown();
  }

  static void expect_everywhere(const std::vector<uint32_t>& frame, uint32_t expected, const char* what) {
    ASSERT_FALSE(frame.empty());
    int wrong = 0;
    for (uint32_t pixel : frame) wrong += (pixel & rgb) != expected ? 1 : 0;
    EXPECT_EQ(wrong, 0) << what << ": first pixel " << std::hex << (frame[0] & rgb) << " instead of " << expected;
  }
};

int warnings_containing(const log_capture_t& log, const std::string& text) {
  int n = 0;
  for (const auto& [level, line] : log.lines) n += level == LOG_LEVEL_WRN && line.find(text) != std::string::npos;
  return n;
}

// The failing block sits above a red one; whatever it drew before it threw is gone.
TEST_F(BlockFailureTest, ABlockThatThrowsDrawsNothingAndTheFrameGoesOn) {
  struct case_t {
    const char* what;
    std::string settings;
    uint32_t expected;
  };
  const case_t cases[] = {
      {"the image below shows through", no_clear, red},
      {"cleared to its colour", blue_clear, blue},
      {"blended with nothing of its own", no_clear + "\nblend-mode = 1", red},
  };
  for (const case_t& c : cases) {
    SCOPED_TRACE(c.what);
    log_capture_t log;
    ASSERT_TRUE(start_blocks(block(1, "fill", 0, 10, 0, "") + block(2, "failing", 0, 10, 1, c.settings)));
    for (float t : {1.0f, 2.0f, 3.0f}) {
      bool playing = false;
      expect_everywhere(frame_at(t, &playing), c.expected, c.what);
      EXPECT_TRUE(playing);
    }
    EXPECT_EQ(warnings_containing(log, "Block 2 (failing) draws nothing: CreateTexture2D: the size is 0"), 1);
    stop();
  }
}

// A block whose load throws does not stop the start: it keeps its place on its layer, is never
// executed, and the block below shows through it.
TEST_F(BlockFailureTest, ABlockWhoseLoadThrowsStartsAndDrawsNothing) {
  log_capture_t log;
  ASSERT_TRUE(start_blocks(block(1, "fill", 0, 10, 0, "") + block(2, "unloadable", 0, 10, 1, no_clear)));
  EXPECT_EQ(warnings_containing(log, "Block 2 (unloadable) could not load and draws nothing"), 1);
  expect_everywhere(frame_at(1.0f), red, "the block below");
}

// A texture that does not load keeps the block from running, but its output is cleared as usual:
// not what the pooled target held from the frame before.
TEST_F(BlockFailureTest, ABlockWhoseTextureInputDoesNotLoadLeavesItsOutputCleared) {
  const std::string missing_texture =
      blue_clear + "\nbound-inputs = [{type = 4, texture-path = \"textures/no-such-texture.png\"}]";
  ASSERT_TRUE(start_blocks(block(1, "fill", 0, 2, 0, "") + block(2, "fill", 2, 4, 0, missing_texture)));
  expect_everywhere(frame_at(1.0f), red, "the first block");
  expect_everywhere(frame_at(3.0f), blue, "the block without its texture");
}

}  // namespace
