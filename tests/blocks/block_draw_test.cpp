// The particle and text blocks drawn headless through the engine, with the shaders and the font
// file of the content build: where their pixels land, and what a bad setting does to the frame.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include <fmt/printf.h>

#include "common/content_engine_fixture.h"
#include "common/log_capture.h"
#include "engine/block_base.h"
#include "engine/engine.h"
#include "support/log.h"
#include "text/serial_reader.h"

namespace {

class BlockDrawTest : public content_test::content_engine_fixture_t {
 protected:
  int lit(const std::vector<uint32_t>& frame, int x0, int y0, int x1, int y1, int threshold = 60) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) n += brightness(frame[size_t(y) * width + size_t(x)]) > threshold ? 1 : 0;
    return n;
  }
};

const char* ring_camera = R"(
camera-spans = [{id = 7, end = 10.0}]
[[blocks.cameras]]
name = "front"
id = 7
pos = {name = "pos", flags = 0, type = 8, default = {type = 8, value = float3(0.0, 0.0, -8.0)}, has-animation = false}
dir = {name = "dir", flags = 0, type = 8, default = {type = 8, value = float3(0.0, 0.0, 1.0)}, has-animation = false}
up = {name = "up", flags = 0, type = 8, default = {type = 8, value = float3(0.0, 1.0, 0.0)}, has-animation = false}
fov = {name = "fov", flags = 0, type = 6, default = {type = 6, value = 1.0}, has-animation = false}
near-plane = {name = "near plane", flags = 0, type = 6, default = {type = 6, value = 0.1}, has-animation = false}
far-plane = {name = "far plane", flags = 0, type = 6, default = {type = 6, value = 100.0}, has-animation = false}
)";

std::string ring_block(const std::string& settings) {
  return fmt::sprintf(R"(
[[blocks]]
class-name = "simple-particlesystem"
id = 1
start-time = 0.0
end-time = 10.0
emitter-type = 3
radius = 3.0
velocity = 0.0
velocity-variance = 0.0
size = 2.0
%s
use-curl = {name = "use-curl", flags = 0, type = 1, default = {type = 1, value = false}, has-animation = false}
fade-in = {name = "fade-in", flags = 0, type = 6, default = {type = 6, value = 0.0}, has-animation = false}
%s)",
                      settings, ring_camera);
}

// The ring of radius 3 seen from 8 units with a field of view of 1 has a radius of 31 pixels of the
// 90-pixel-high frame: sprites lie on it, none at the centre or in the corners.
TEST_F(BlockDrawTest, ParticleRingDrawsSpritesOnItsRadius) {
  struct case_t {
    const char* settings;
    bool drawn;
    const char* warning;
  };
  const case_t cases[] = {
      {"spawn-rate = 60.0", true, nullptr},
      {"spawn-rate = 0.0", false, nullptr},
      {"spawn-rate = 60.0\nnum-spawns = 0\nuse-spawn-points = {name = \"use-spawn-points\", flags = 0, type = 1, "
       "default = {type = 1, value = false}, has-animation = false}",
       true, "num-spawns 0 × num-particles-per-spawn 50"},
      {"spawn-rate = 1000000000.0\nlifetime = 1000000000.0", true, "only the 5000 slots are used"},
  };
  for (const case_t& c : cases) {
    SCOPED_TRACE(c.settings);
    log_capture_t log;
    ASSERT_TRUE(start_blocks(ring_block(c.settings)));
    bool warned = c.warning == nullptr;
    for (const auto& [level, text] : log.lines)
      warned |= c.warning && level == LOG_LEVEL_WRN && text.find(c.warning) != std::string::npos;
    EXPECT_TRUE(warned);
    const std::vector<uint32_t> frame = frame_at(2.0f);
    int on_ring = 0, off_ring = 0;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const double r = std::hypot(x + 0.5 - width / 2.0, y + 0.5 - height / 2.0);
        const bool bright = brightness(frame[size_t(y) * width + size_t(x)]) > 60;
        if (std::abs(r - 31.0) < 4.0) on_ring += bright ? 1 : 0;
        if (std::abs(r - 31.0) > 9.0) off_ring += bright ? 1 : 0;
      }
    if (c.drawn) {
      EXPECT_GT(on_ring, 100);
    } else {
      EXPECT_EQ(on_ring, 0);
    }
    EXPECT_EQ(off_ring, 0);
    stop();
  }
}

// A second load gives the block a new pass, which needs buffers of its own.
TEST_F(BlockDrawTest, ParticleRingLoadedTwiceStillDraws) {
  const std::string blocks = ring_block("spawn-rate = 60.0");
  ASSERT_TRUE(start_blocks(blocks));
  auto project = serial::parse_text(blocks, "test");
  ASSERT_TRUE(project.has_value());
  ASSERT_EQ((*project)->get_array("blocks").size(), 1u);
  const serial::value_t& table = (*project)->get_array("blocks")[0];
  ASSERT_EQ(current_engine()->get_blocks().size(), 1u);
  block_base_t* block = current_engine()->get_blocks().front();
  EXPECT_TRUE(block->load(table));
  const std::vector<uint32_t> frame = frame_at(2.0f);
  EXPECT_GT(lit(frame, 0, 0, width, height), 100);
}

std::string text_block(int select, const std::string& extra) {
  return fmt::sprintf(R"(
[[blocks]]
class-name = "sdf-text"
id = 2
start-time = 0.0
end-time = 20.0
text-select = {name = "text-select", flags = 6, type = 2, default = {type = 2, value = %d}, has-animation = false}
%s
)",
                      select, extra);
}

// Settled credits (two lines near the centre once offset up by 29) light the middle band only; a
// selection outside the three texts draws nothing.
TEST_F(BlockDrawTest, CreditsSettleInTheMiddleAndAnUnknownSelectionDrawsNothing) {
  const std::string offset =
      "credits-offset = {name = \"credits-offset\", flags = 0, type = 6, default = {type = 6, value = 29.0}, "
      "has-animation = false}\ncredits-fade = {name = \"credits-fade\", flags = 0, type = 6, default = {type = 6, "
      "value = 0.3}, has-animation = false}";
  ASSERT_TRUE(start_blocks(text_block(2, offset)));
  const std::vector<uint32_t> settled = frame_at(12.0f);
  EXPECT_GT(lit(settled, 0, height / 4, width, 3 * height / 4), 200);
  EXPECT_EQ(lit(settled, 0, 0, width, 8), 0);
  EXPECT_EQ(lit(settled, 0, height - 8, width, height), 0);
  // Before any letter has started every letter waits behind the camera.
  const std::vector<uint32_t> before = frame_at(0.0f);
  EXPECT_EQ(lit(before, 0, 0, width, height, 30), 0);
  stop();

  ASSERT_TRUE(start_blocks(text_block(5, offset)));
  const std::vector<uint32_t> none = frame_at(12.0f);
  EXPECT_EQ(lit(none, 0, 0, width, height, 30), 0);
}

}  // namespace
