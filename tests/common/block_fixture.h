#pragma once
// Blocks drawn headless with the content the build made: the archive mounted behind a file system,
// a shader manager over its shader cache, and render targets to draw into and read back.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "common/archive_copy.h"
#include "common/graphics_test_support.h"
#include "files/filesystem.h"
#include "files/toml_file.h"
#include "libs/enki/task_scheduler.h"
#include "shaders/shader_manager.h"
#include "variables/engine_context.h"

namespace block_test {

namespace fs = std::filesystem;

struct rgba32f_t {
  float r, g, b, a;
};

class block_fixture_t : public graphics_test::graphics_fixture_t {
 protected:
  void SetUp() override {
    graphics_fixture_t::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    files = test_support::open_archive_copy("block_test", base_);
    ASSERT_TRUE(files);
    scheduler_.Initialize(2);
    g_systems->filesystem = files.get();
    g_systems->scheduler = &scheduler_;
    saved_context_ = *engine_context;
    *engine_context = engine_context_t{};
    manager_ = std::make_unique<shader_manager_impl_t>();
    auto initialised = manager_->init();
    ASSERT_TRUE(initialised.has_value()) << initialised.error();
    engine_context->shader_manager = manager_.get();
  }
  void TearDown() override {
    if (manager_) {
      manager_->release();
      manager_.reset();
    }
    if (files) {
      scheduler_.WaitforAllAndShutdown();
      serial::set_default_filesystem(nullptr);
      *engine_context = saved_context_;
      files.reset();
    }
    if (!base_.empty()) fs::remove_all(base_);
    graphics_fixture_t::TearDown();
  }

  // A target with a depth buffer that a block draws into, as the engine's pool makes them.
  std::shared_ptr<render_target_t> target(int width, int height, DXGI_FORMAT format) {
    return resources->create_render_target(RT_SIZE_EXPLICIT, width, height, format, RT_SRV | RT_DEPTH);
  }
  // Binds the targets and clears them, as the engine does before a block's execute.
  void bind(std::vector<render_target_t*> targets, const float clear[4]) {
    std::vector<const float*> clears(targets.size(), clear);
    runtime->set_render_targets(targets, clears, true);
  }

  std::unique_ptr<filesystem_t> files;

 private:
  fs::path base_;
  enki::TaskScheduler scheduler_;
  engine_context_t saved_context_;
  std::unique_ptr<shader_manager_impl_t> manager_;
};

}  // namespace block_test
