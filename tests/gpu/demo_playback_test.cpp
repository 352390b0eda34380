// The bundled production played headless through the engine's exports: the archive the build
// made, the real shader, texture, sound and sync-track services, frames rendered at chosen times
// and read back from the back buffer.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "engine/engine.h"
#include "engine/filesystem.h"
#include "engine/serial_reader.h"
#include "graphics_test_support.h"
#include "platform/enki/task_scheduler.h"

namespace {

namespace fs = std::filesystem;

uint8_t channel(uint32_t pixel, int i) { return static_cast<uint8_t>(pixel >> (8 * i)); }

class DemoPlaybackTest : public graphics_test::graphics_fixture_t {
 protected:
  static constexpr int width = 160;
  static constexpr int height = 90;

  void SetUp() override {
    graphics_fixture_t::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    std::string pattern = (fs::temp_directory_path() / "demo_playback_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    base_ = pattern;
    const fs::path archive = fs::path(PUMBLECRISP_BINARY_DIR) / "bin/vlm_ks9.dat";
    ASSERT_TRUE(fs::exists(archive)) << "the content build made no archive";
    fs::copy_file(archive, base_ / "vlm_ks9.dat");
    auto created = create_filesystem_at((base_ / "pumblecrisp").string());
    ASSERT_TRUE(created.has_value());
    files_.reset(*created);
    ASSERT_TRUE(files_->mount_archive("vlm_ks9.dat"));
    serial::set_default_filesystem(files_.get());
    scheduler_.Initialize(4);
    g_systems->filesystem = files_.get();
    g_systems->scheduler = &scheduler_;
    gsys->make_backbuffer(width, height);
    ASSERT_TRUE(files_->read_text_file("projects/demo-final.proj.toml", project_));
    saved_context_ = *engine_context;
    *engine_context = engine_context_t{};
  }
  void TearDown() override {
    if (files_) {
      engine_close();
      scheduler_.WaitforAllAndShutdown();
      serial::set_default_filesystem(nullptr);
      *engine_context = saved_context_;
      files_.reset();
    }
    if (!base_.empty()) fs::remove_all(base_);
    graphics_fixture_t::TearDown();
  }

  // The frame at t, read back as RGBA8.
  std::vector<uint32_t> frame_at(float t, bool* playing = nullptr) {
    engine_set_cur_time(t);
    // The host's frame start: back buffer bound, temporary pool aged.
    runtime->begin_frame();
    resources->begin_frame();
    bool more = engine_tick();
    if (playing) *playing = more;
    return read_rgba8(gsys->backbuffer->texture.get());
  }
  uint32_t at(const std::vector<uint32_t>& frame, int x, int y) {
    return frame[size_t(y) * width + size_t(x)];
  }

  std::string project_;

 private:
  fs::path base_;
  std::unique_ptr<filesystem_t> files_;
  enki::TaskScheduler scheduler_;
  engine_context_t saved_context_;
};

TEST_F(DemoPlaybackTest, PlaysTheProductionAtChosenTimes) {
  log_capture_t log;
  ASSERT_TRUE(engine_init(g_systems, project_.c_str()));
  ASSERT_NE(engine_context->engine, nullptr);
  EXPECT_FALSE(engine_context->engine->get_blocks().empty());
  for (const auto& [level, text] : log.lines) {
    EXPECT_NE(text.rfind("Trying to create unsupported class id", 0), 0u) << text;
    EXPECT_LT(level, LOG_LEVEL_WRN) << text;
  }

  // At 0 s every chain root fades in from weight 0: the whole frame is black.
  std::vector<uint32_t> first = frame_at(0.0f);
  for (int y : {0, height / 2, height - 1}) {
    for (int x : {0, width / 2, width - 1}) {
      EXPECT_EQ(first[size_t(y) * width + x] & 0xffffffu, 0u) << x << "," << y;
    }
  }

  // Mid-scene the letterbox bars (6 % of the height) are black and the picture between them is not
  // one flat colour.
  std::vector<uint32_t> scene = frame_at(6.0f);
  for (int x : {0, width / 3, width - 1}) {
    EXPECT_EQ(at(scene, x, 1) & 0xffffffu, 0u) << "top bar at " << x;
    EXPECT_EQ(at(scene, x, height - 2) & 0xffffffu, 0u) << "bottom bar at " << x;
  }
  int lit = 0;
  uint32_t reference = at(scene, 0, height / 2);
  int differing = 0;
  for (int y = height / 4; y < 3 * height / 4; ++y) {
    for (int x = 0; x < width; ++x) {
      uint32_t p = at(scene, x, y);
      lit += (channel(p, 0) + channel(p, 1) + channel(p, 2)) > 30 ? 1 : 0;
      differing += (p & 0xffffffu) != (reference & 0xffffffu) ? 1 : 0;
    }
  }
  EXPECT_GT(lit, 0) << "the scene draws something";
  EXPECT_GT(differing, width) << "the scene is structured";

  // Past the last block (64 s) and before the music's end nothing is active: the back buffer
  // keeps the frame colour and the timeline has ended.
  bool playing = true;
  std::vector<uint32_t> after = frame_at(65.5f, &playing);
  EXPECT_FALSE(playing);
  uint32_t p = at(after, width / 2, height / 2);
  EXPECT_NEAR(channel(p, 0), 26, 1);
  EXPECT_NEAR(channel(p, 1), 51, 1);
  EXPECT_NEAR(channel(p, 2), 128, 1);
}

}  // namespace
