// A block played through the engine while its shader's metadata is edited: a half-saved file makes
// the shader's version fail, and the fixed file brings a ready version that the block draws with
// from the frame that version is ready.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "common/shader_manager_fixture.h"
#include "engine/engine.h"
#include "media/soundsystem.h"

namespace {

// The tint (1, 1, 1, 1) by the speed: white once presented.
const char* good_metadata = R"(cbuffers = [ { Params = [ { name = "tint", var = "tint", default = float4(1, 1, 1, 1) },
                               { name = "speed", var = "speed", default = 1.0 } ] } ]
)";
const char* half_saved_metadata = "cbuffers = [ { Params = [ { name = \"tint\", var = ";

// An intro block whose pixel shader draws the tint by the speed (its texture is not bound: zero).
const char* intro_project = R"([settings]
project-name = "reload"
fade-mode = 0
block-fade-in = 0.0
camera-fade-in = 0.0
[[blocks]]
class-name = "intro-block"
id = 1
start-time = 0.0
end-time = 100.0
rp = {type = 1, rasterizer-state = 2, blend-state = 1, depth-stencil-state = 2, samplers = [5], vs = {type = 1, filename = "shaders/default.hlsl", entrypoint = "VsQuad"}, ps = {type = 4, filename = "shaders/test.hlsl", entrypoint = "PsTinted"}}
)";

class BlockReloadTest : public shader_test::shader_manager_fixture_t {
 protected:
  void SetUp() override {
    shader_manager_fixture_t::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    setenv("SDL_AUDIODRIVER", "dummy", 1);
  }
  void TearDown() override {
    if (started_) {
      engine_close();
      if (engine_context->soundsystem) destroy_soundsystem(engine_context->soundsystem);
      engine_context->soundsystem = nullptr;
    }
    shader_manager_fixture_t::TearDown();
  }

  bool start(const char* project) {
    started_ = engine_init(g_systems, project);
    return started_;
  }

  // One tick; the compile tasks it queued have finished when it returns.
  std::vector<uint32_t> frame() {
    runtime->begin_frame();
    resources->begin_frame();
    engine_tick();
    scheduler.WaitforAll();
    return read_rgba8(gsys->backbuffer->texture.get());
  }

  // The shader manager's part of the next tick; the test's file system would hand the change to
  // whoever asks first, and the texture manager asks before it.
  void edit_metadata(const char* text) {
    write("shaders/test.toml", text);
    files->changed = {"shaders/test.toml"};
    engine_context->shader_manager->reload_changed_files();
    scheduler.WaitforAll();
  }

  static int white_pixels(const std::vector<uint32_t>& frame) {
    int n = 0;
    for (uint32_t p : frame) n += (p & 0xffffff) == 0xffffff ? 1 : 0;
    return n;
  }

 private:
  bool started_ = false;
};

TEST_F(BlockReloadTest, IntroWhoseFirstCompileFailedDrawsOnceTheFixedVersionIsReady) {
  write("shaders/test.toml", half_saved_metadata);
  ASSERT_TRUE(start(intro_project));
  const int all = int(frame().size());
  EXPECT_EQ(white_pixels(frame()), 0) << "the failed version draws nothing";

  edit_metadata(good_metadata);
  EXPECT_EQ(white_pixels(frame()), all) << "the fixed version draws";

  // Broken again: the last good version goes on drawing.
  edit_metadata(half_saved_metadata);
  EXPECT_EQ(white_pixels(frame()), all);
}

}  // namespace
