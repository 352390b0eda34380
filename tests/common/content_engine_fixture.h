#pragma once
// The engine over the content archive the build made, drawing headless: a project text of the
// test's own is loaded through the engine's exports with the real shader, texture, sound and
// sync-track services, and frames are read back from a back buffer of the test's size.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
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

template <int Width, int Height>
class sized_content_engine_fixture_t : public graphics_test::graphics_fixture_t {
 protected:
  static constexpr int width = Width;
  static constexpr int height = Height;

  // `archive_prefix` names the scratch directory the archive is copied into.
  explicit sized_content_engine_fixture_t(std::string archive_prefix = "content_engine")
      : archive_prefix_(std::move(archive_prefix)) {}

  void SetUp() override {
    graphics_fixture_t::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    files_ = test_support::open_archive_copy(archive_prefix_, base_);
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
      wrapper_.reset();
      files_.reset();
    }
    if (!base_.empty()) std::filesystem::remove_all(base_);
    graphics_fixture_t::TearDown();
  }

  // The archive copy, as read without any wrapper.
  filesystem_t& files() { return *files_; }

  // From now on the engine and the text reader read through `wrapper` (which may wrap files()).
  void read_through(std::unique_ptr<filesystem_t> wrapper) {
    wrapper_ = std::move(wrapper);
    g_systems->filesystem = wrapper_.get();
    serial::set_default_filesystem(wrapper_.get());
  }

  // A whole project text.
  bool start(const std::string& project) {
    project_ = project;
    // As the host does: closed also after a failed init, which leaves what it made registered.
    started_ = true;
    return engine_init(g_systems, project_.c_str());
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
    // The host's frame start: back buffer bound, temporary pool aged.
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
  std::string archive_prefix_;
  std::filesystem::path base_;
  std::unique_ptr<filesystem_t> files_;
  std::unique_ptr<filesystem_t> wrapper_;
  enki::TaskScheduler scheduler_;
  engine_context_t saved_context_;
  std::string project_;
  bool started_ = false;
};

class content_engine_fixture_t : public sized_content_engine_fixture_t<160, 90> {};

}  // namespace content_test
