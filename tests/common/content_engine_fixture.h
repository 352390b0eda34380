#pragma once
// An engine over the headless device and the content archive the build made (its compiled shaders,
// textures and sync tracks), started with a project text of the test's own; frames rendered at
// chosen times and read back from the back buffer.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/graphics_test_support.h"
#include "engine/engine.h"
#include "files/filesystem.h"
#include "files/toml_file.h"
#include "libs/enki/task_scheduler.h"
#include "variables/engine_context.h"

namespace content_test {

namespace fs = std::filesystem;

class content_engine_fixture_t : public graphics_test::graphics_fixture_t {
 protected:
  static constexpr int width = 160;
  static constexpr int height = 90;

  void SetUp() override {
    graphics_fixture_t::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    std::string pattern = (fs::temp_directory_path() / "content_engine_XXXXXX").string();
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
    saved_context_ = *engine_context;
    *engine_context = engine_context_t{};
  }
  void TearDown() override {
    if (files_) {
      if (started_) engine_close();
      scheduler_.WaitforAllAndShutdown();
      serial::set_default_filesystem(nullptr);
      *engine_context = saved_context_;
      files_.reset();
    }
    if (!base_.empty()) fs::remove_all(base_);
    graphics_fixture_t::TearDown();
  }

  void close() {
    if (started_) engine_close();
    started_ = false;
  }

  bool start(const std::string& project) {
    started_ = engine_init(g_systems, project.c_str());
    return started_;
  }

  // The frame at t, read back as RGBA8. The engine is stopped: the seek animates the variables.
  std::vector<uint32_t> frame_at(float t, bool* playing = nullptr) {
    engine_set_cur_time(t);
    runtime->begin_frame();
    resources->begin_frame();
    const bool more = engine_tick();
    if (playing) *playing = more;
    return read_rgba8(gsys->backbuffer->texture.get());
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
  fs::path base_;
  std::unique_ptr<filesystem_t> files_;
  enki::TaskScheduler scheduler_;
  engine_context_t saved_context_;
  bool started_ = false;
};

}  // namespace content_test
