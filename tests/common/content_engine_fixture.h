#pragma once
// The engine over the content archive the build made, drawing headless: a project text of the
// test's own is loaded through the engine's exports with the real shader, texture, sound and
// sync-track services, and frames are read back from a small back buffer.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/archive_copy.h"
#include "common/graphics_test_support.h"
#include "engine/engine.h"
#include "files/filesystem.h"
#include "files/toml_file.h"
#include "libs/enki/task_scheduler.h"
#include "media/soundsystem.h"
#include "variables/engine_context.h"

namespace content_test {

class content_engine_fixture_t : public graphics_test::graphics_fixture_t {
 protected:
  static constexpr int width = 160;
  static constexpr int height = 90;

  void SetUp() override {
    graphics_fixture_t::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    files_ = test_support::open_archive_copy("content_engine", base_);
    ASSERT_TRUE(files_);
    scheduler_.Initialize(4);
    g_systems->filesystem = files_.get();
    g_systems->scheduler = &scheduler_;
    gsys->make_backbuffer(width, height);
    saved_context_ = *engine_context;
    *engine_context = engine_context_t{};
  }
  void TearDown() override {
    if (files_) {
      stop();
      scheduler_.WaitforAllAndShutdown();
      serial::set_default_filesystem(nullptr);
      *engine_context = saved_context_;
      files_.reset();
    }
    if (!base_.empty()) std::filesystem::remove_all(base_);
    graphics_fixture_t::TearDown();
  }

  // A whole project text.
  bool start(const std::string& project) {
    project_ = project;
    started_ = engine_init(g_systems, project_.c_str());
    return started_;
  }

  // A project of the given block tables, with no music and no fades.
  bool start_blocks(const std::string& blocks) {
    return start("[settings]\nproject-name = \"test\"\nfade-mode = 0\nblock-fade-in = 0.0\ncamera-fade-in = 0.0\n" +
                 blocks);
  }

  void stop() {
    if (started_) engine_close();
    started_ = false;
    // The player never deletes its sound system; the test does, once the engine is closed.
    if (engine_context->soundsystem) destroy_soundsystem(engine_context->soundsystem);
  }

  // The frame at t, read back as RGBA8. The engine is stopped: the seek animates the variables.
  // `playing`, when given, receives what the tick answered.
  std::vector<uint32_t> frame_at(float t, bool* playing = nullptr) {
    engine_set_cur_time(t);
    runtime->begin_frame();
    resources->begin_frame();
    const bool more = engine_tick();
    if (playing) *playing = more;
    return read_rgba8(gsys->backbuffer->texture.get());
  }
  static int brightness(uint32_t pixel) {
    return int(pixel & 0xff) + int((pixel >> 8) & 0xff) + int((pixel >> 16) & 0xff);
  }
  // Pixels with any colour channel above `threshold`.
  static int lit_pixels(const std::vector<uint32_t>& frame, int threshold = 0) {
    int lit = 0;
    for (uint32_t p : frame) {
      const int r = p & 0xff, g = (p >> 8) & 0xff, b = (p >> 16) & 0xff;
      lit += (r > threshold || g > threshold || b > threshold) ? 1 : 0;
    }
    return lit;
  }

 private:
  std::filesystem::path base_;
  std::unique_ptr<filesystem_t> files_;
  enki::TaskScheduler scheduler_;
  engine_context_t saved_context_;
  std::string project_;
  bool started_ = false;
};

}  // namespace content_test
