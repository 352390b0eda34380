// The host's frame loop with the real engine over the content on disk, drawing headless: the order
// of each pass's calls, files edited while the player runs showing in later frames, the frame of
// the tick that ends the show presented, the quit message, and the shutdown order.

#include <gtest/gtest.h>

#include <stdlib.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <fmt/printf.h>

#include "common/dds_file_writer.h"
#include "common/forwarding_filesystem.h"
#include "common/graphics_test_support.h"
#include "common/scratch_directory.h"
#include "common/windowless_graphics_system.h"
#include "engine/engine.h"
#include "files/filesystem.h"
#include "files/toml_file.h"
#include "host/system.h"
#include "libs/enki/task_scheduler.h"
#include "media/soundsystem.h"
#include "platform/win32/window_messages.h"
#include "variables/engine_context.h"

namespace {

namespace fs = std::filesystem;

// What the loop did, in order.
std::vector<std::string> g_calls;
// What the test does at each tick before the engine's own: true goes on, false ends the show.
std::function<bool(int)> g_on_tick;
int g_ticks = 0;

bool recording_tick() {
  ++g_ticks;
  g_calls.push_back("tick");
  return g_on_tick(g_ticks);
}

bool recording_close() {
  g_calls.push_back("close");
  return engine_close();
}

// The test's graphics system, recording its calls; each present reads the back buffer's centre
// and the frame's counters.
class recording_graphics_t final : public test_support::windowless_graphics_system_t {
 public:
  recording_graphics_t(graphics_system_t& real, std::function<uint32_t()> centre)
      : windowless_graphics_system_t(real), centre_(std::move(centre)) {}
  void shutdown() override { g_calls.push_back("gsys shutdown"); }
  void reset_frame_counters() override {
    g_calls.push_back("counters");
    real_.reset_frame_counters();
  }
  void present() override {
    g_calls.push_back("present");
    frames.push_back(centre_());
    counters.push_back(*real_.get_frame_counters());
  }

  std::vector<uint32_t> frames;
  std::vector<frame_counters_t> counters;

 private:
  std::function<uint32_t()> centre_;
};

class recording_runtime_t final : public graphics_runtime_impl_t {
 public:
  using graphics_runtime_impl_t::graphics_runtime_impl_t;
  void begin_frame() override {
    g_calls.push_back("runtime");
    graphics_runtime_impl_t::begin_frame();
  }
  void shutdown() override {
    g_calls.push_back("runtime shutdown");
    graphics_runtime_impl_t::shutdown();
  }
};

// The file system the loop polls, recording the polls.
class recording_files_t final : public test_support::forwarding_filesystem_t {
 public:
  using forwarding_filesystem_t::forwarding_filesystem_t;
  void poll_changes() override {
    g_calls.push_back("poll");
    real_.poll_changes();
  }
};

struct rgb_t {
  float r, g, b;
};

uint32_t presented(rgb_t c) {
  auto encode = [](float v) { return uint32_t(std::lround(255.0 * std::pow(v, 1.0 / 2.2))); };
  return encode(c.r) | encode(c.g) << 8 | encode(c.b) << 16;
}

bool near(uint32_t a, uint32_t b) {
  for (int shift = 0; shift < 24; shift += 8)
    if (std::abs(int(a >> shift & 0xff) - int(b >> shift & 0xff)) > 2) return false;
  return true;
}

// A red flash with, added on top of it, a block that shows the texture file.
const char* project = R"([settings]
project-name = "loop"
fade-mode = 0
block-fade-in = 0.0
camera-fade-in = 0.0

[[blocks]]
class-name = "shader"
id = 1
start-time = 0.0
end-time = 1000.0
layer = 0
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
Flash:flashColor = {name = "flash-color", flags = 0, type = 10, default = {type = 10, value = color(0.25, 0.0, 0.0, 1.0)}}

[[blocks]]
class-name = "shader"
id = 2
start-time = 0.0
end-time = 1000.0
layer = 1
blend-mode = 1
bound-inputs = [{type = 4, texture-path = "textures/swatch.dds"}]
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
)";

class FrameLoopTest : public graphics_test::graphics_fixture_t {
 protected:
  void SetUp() override {
    graphics_fixture_t::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    g_calls.clear();
    g_ticks = 0;
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    // The content beside the player as loose files, so that edits on disk are what it reads.
    base_ = test_support::make_scratch_directory("frame_loop");
    ASSERT_FALSE(base_.empty());
    const std::string unzip = fmt::sprintf("unzip -q '%s/bin/vlm_ks9.dat' -d '%s'", PUMBLECRISP_BINARY_DIR, base_.string());
    ASSERT_EQ(std::system(unzip.c_str()), 0) << unzip;
    auto created = create_filesystem_at((base_ / "pumblecrisp").string());
    ASSERT_TRUE(created.has_value());
    disk_.reset(*created);
    files_ = std::make_unique<recording_files_t>(*disk_);
    serial::set_default_filesystem(files_.get());
    g_systems->filesystem = files_.get();
    scheduler_.Initialize(2);
    g_systems->scheduler = &scheduler_;
    runtime->shutdown();
    runtime = std::make_unique<recording_runtime_t>(device, context);
    ASSERT_TRUE(runtime->init().has_value());
    g_systems->runtime = runtime.get();
    gsys->make_backbuffer(32, 16);
    graphics_ = std::make_unique<recording_graphics_t>(*gsys, [this] {
      return read_rgba8(gsys->backbuffer->texture.get())[size_t(8 * 32 + 16)];
    });
    g_systems->gsys = graphics_.get();
    saved_context_ = *engine_context;
    *engine_context = engine_context_t{};
    host_engine_api().engine_tick = &recording_tick;
    host_engine_api().engine_close = &recording_close;
  }
  void TearDown() override {
    if (disk_) {
      if (engine_context->engine) engine_close();
      if (engine_context->soundsystem) destroy_soundsystem(engine_context->soundsystem);
      scheduler_.WaitforAllAndShutdown();
      serial::set_default_filesystem(nullptr);
      *engine_context = saved_context_;
      g_systems->gsys = gsys.get();
    }
    host_engine_api() = engine_api_t{};
    g_on_tick = nullptr;
    files_.reset();
    disk_.reset();
    if (!base_.empty()) fs::remove_all(base_);
    graphics_fixture_t::TearDown();
  }

  void write_swatch(uint8_t r, uint8_t g, uint8_t b) {
    const std::vector<uint8_t> bytes = dds_test::dds_file(dds_test::dds_header_t{}, {r, g, b, 255});
    fs::create_directories(base_ / "textures");
    std::ofstream(base_ / "textures/swatch.dds", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }

  fs::path base_;
  std::unique_ptr<filesystem_t> disk_;
  std::unique_ptr<recording_files_t> files_;
  std::unique_ptr<recording_graphics_t> graphics_;
  enki::TaskScheduler scheduler_;
  engine_context_t saved_context_;
};

// Each pass: counters, back buffer, pool, file changes, tick, present. A texture rewritten on disk
// shows once the watcher has seen it; a shader's metadata rewritten brings a new version of the
// shader; the tick that ends the show is presented, then the engine is closed.
TEST_F(FrameLoopTest, EditedFilesShowInLaterFramesAndTheLastTickIsPresented) {
  write_swatch(0, 64, 0);
  ASSERT_TRUE(engine_init(g_systems, project));
  engine_start();
  const rgb_t flash{0.25f, 0, 0}, green{0, 64 / 255.0f, 0}, blue{0, 0, 128 / 255.0f};
  const uint32_t first = presented({flash.r + green.r, green.g, 0});
  const uint32_t texture_edited = presented({flash.r, 0, blue.b});
  // The flash's strength now comes from the camera's field of view, which no block publishes: 0.
  const uint32_t shader_edited = presented(blue);

  enum stage_t { before, texture, shader, ending } stage = before;
  int texture_tick = 0, shader_tick = 0, resources_mismatch = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  g_on_tick = [&](int tick) {
    // The pool is aged once per pass, before the tick.
    if (static_cast<graphics_resource_impl_t*>(g_systems->resources)->frame_counter() != tick) ++resources_mismatch;
    const uint32_t last = graphics_->frames.empty() ? 0 : graphics_->frames.back();
    if (stage == before && tick == 3) {
      write_swatch(0, 0, 128);
      texture_tick = tick;
      stage = texture;
    } else if (stage == texture && near(last, texture_edited)) {
      std::ofstream(base_ / "shaders/demo/flash.toml")
          << "cbuffers = [{Flash = [\n  {name = \"flashColor\", var = \"flash-color\", type = \"color\"},\n"
             "  {name = \"strength\", sys = \"cam-fov\"}\n]}]\n";
      shader_tick = tick;
      stage = shader;
    } else if (stage == shader && near(last, shader_edited)) {
      engine_set_cur_time(1000.0f);
      stage = ending;
    }
    if (std::chrono::steady_clock::now() > deadline) engine_set_cur_time(1000.0f);
    return engine_tick();
  };
  run_main_loop();

  const std::vector<uint32_t>& frames = graphics_->frames;
  ASSERT_EQ(frames.size(), size_t(g_ticks)) << "one present per tick, the last tick's too";
  ASSERT_EQ(stage, ending);
  EXPECT_EQ(resources_mismatch, 0);
  ASSERT_GE(frames.size(), 4u);
  for (int i = 0; i < texture_tick; ++i) EXPECT_TRUE(near(frames[size_t(i)], first)) << std::hex << frames[size_t(i)];
  // The edits show in later frames, each after the watcher's quiet second.
  EXPECT_GT(shader_tick, texture_tick + 1);
  EXPECT_TRUE(near(frames[size_t(shader_tick - 2)], texture_edited));

  // Every pass in the order of the loop, and the close after the last present.
  std::vector<std::string> expected;
  for (int i = 0; i < g_ticks; ++i) expected.insert(expected.end(), {"counters", "runtime", "poll", "tick", "present"});
  expected.push_back("close");
  EXPECT_EQ(g_calls, expected);

  // Steady frames take their targets from the pool: none is created, and each frame counts its own.
  ASSERT_GE(graphics_->counters.size(), 6u);
  // The last frame, past the end of every block, draws no chain.
  for (size_t i = 3; i + 1 < graphics_->counters.size(); ++i) {
    EXPECT_EQ(graphics_->counters[i].created, 0) << "frame " << i;
    EXPECT_EQ(graphics_->counters[i].reused, graphics_->counters[2].reused) << "frame " << i;
  }
  EXPECT_GT(graphics_->counters[2].reused, 0);
}

// Escape's quit message is seen at the start of the next pass, which does no frame work.
TEST_F(FrameLoopTest, TheQuitMessageEndsTheLoopBeforeTheNextFrame) {
  g_on_tick = [](int tick) {
    if (tick == 2) PostQuitMessage(0);
    return true;
  };
  run_main_loop();
  const std::vector<std::string> expected = {"counters", "runtime", "poll", "tick", "present",
                                             "counters", "runtime", "poll", "tick", "present", "close"};
  EXPECT_EQ(g_calls, expected);
}

// After the loop: the runtime, the resources and the graphics system are released in that order,
// then the scheduler and the system object go.
TEST_F(FrameLoopTest, ShutdownReleasesGraphicsThenTheSchedulerAndTheSystemObject) {
  auto pooled = resources->create_render_target(RT_SIZE_EXPLICIT, 4, 4, DXGI_FORMAT_R8G8B8A8_UNORM, RT_TEMPORARY);
  pooled.reset();
  g_systems->scheduler = new enki::TaskScheduler;
  g_systems->scheduler->Initialize(2);
  g_systems->system = new system_impl_t;
  bool pool_empty_at_gsys = false;
  struct watcher_t final : public graphics_system_t {
    explicit watcher_t(std::function<void()> on_shutdown) : on_shutdown(std::move(on_shutdown)) {}
    void shutdown() override { on_shutdown(); }
    void reset_frame_counters() override {}
    frame_counters_t* get_frame_counters() override { return nullptr; }
    tl::expected<void, std::string> create_window(int, int, int, HINSTANCE, WNDPROC) override { return {}; }
    tl::expected<void, std::string> create_window_from_dialog(HINSTANCE, WNDPROC) override { return {}; }
    HWND get_hwnd() override { return nullptr; }
    ID3D11Device* get_device() override { return nullptr; }
    ID3D11DeviceContext* get_context() override { return nullptr; }
    void resize(int, int) override {}
    int2 get_backbuffer_size() override { return {}; }
    int2 get_screen_size() override { return {}; }
    float get_aspect_ratio() override { return 1; }
    render_target_t* get_backbuffer() override { return nullptr; }
    void present() override {}
    void set_vsync(bool) override {}
    bool get_vsync() override { return false; }
    void no_op() override {}
    std::function<void()> on_shutdown;
  } watcher([&] {
    g_calls.push_back("gsys shutdown");
    pool_empty_at_gsys = resources->temp_targets().empty() && !resources->get_blend_state(1);
  });
  g_systems->gsys = &watcher;
  shutdown_host();
  EXPECT_EQ(g_calls, (std::vector<std::string>{"runtime shutdown", "gsys shutdown"}));
  EXPECT_TRUE(pool_empty_at_gsys) << "the resources were released before the graphics system";
  EXPECT_EQ(g_systems->scheduler, nullptr);
  EXPECT_EQ(g_systems->system, nullptr);
  g_systems->gsys = gsys.get();
}

}  // namespace
