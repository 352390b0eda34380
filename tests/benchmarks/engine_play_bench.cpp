// The bundled production played headless at 640x360: wall time per frame with the GPU work
// finished, the main thread's CPU time inside engine_tick per frame, and the heap allocations
// (operator new, from any thread) a frame makes. PUMBLECRISP_ALLOCATION_STACKS=1 prints where.

#include <benchmark/benchmark.h>

#include <time.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "engine/engine.h"
#include "media/soundsystem.h"
#include "files/filesystem.h"
#include "graphics/graphics_resource_impl.h"
#include "graphics/graphics_runtime.h"
#include "graphics/graphics_system.h"
#include "graphics/render_target.h"
#include "files/toml_file.h"
#include "support/systems.h"
#include "libs/enki/task_scheduler.h"
#include "common/allocation_counter.h"

namespace {

namespace fs = std::filesystem;

// The process's resident memory, from /proc.
double resident_mib() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  return 0.0;
}

constexpr int width = 640;
constexpr int height = 360;

// A window-less graphics system: the device and an RGBA8 back buffer of its own.
class headless_graphics_system_t final : public graphics_system_t {
 public:
  headless_graphics_system_t(ID3D11Device* device, ID3D11DeviceContext* context)
      : device_(device), context_(context) {
    auto& desc = backbuffer_.texture_desc;
    desc.Width = width, desc.Height = height, desc.MipLevels = 1, desc.ArraySize = 1;
    desc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    desc.SampleDesc = {1, 0};
    desc.BindFlags = D3D11_BIND_RENDER_TARGET;
    device->CreateTexture2D(&desc, nullptr, &backbuffer_.texture);
    device->CreateRenderTargetView(backbuffer_.texture, nullptr, &backbuffer_.rtv);
    backbuffer_.viewport = {0, 0, float(width), float(height), 0, 1};
  }
  void shutdown() override {}
  void reset_frame_counters() override {}
  frame_counters_t* get_frame_counters() override { return &counters_; }
  tl::expected<void, std::string> create_window(int, int, int, HINSTANCE, WNDPROC) override { return {}; }
  tl::expected<void, std::string> create_window_from_dialog(HINSTANCE, WNDPROC) override { return {}; }
  HWND get_hwnd() override { return nullptr; }
  ID3D11Device* get_device() override { return device_; }
  ID3D11DeviceContext* get_context() override { return context_; }
  void resize(int, int) override {}
  int2 get_backbuffer_size() override { return {width, height}; }
  int2 get_screen_size() override { return {width, height}; }
  float get_aspect_ratio() override { return float(width) / float(height); }
  render_target_t* get_backbuffer() override { return &backbuffer_; }
  void present() override {}
  void set_vsync(bool) override {}
  bool get_vsync() override { return false; }
  void no_op() override {}

 private:
  ID3D11Device* device_;
  ID3D11DeviceContext* context_;
  frame_counters_t counters_;
  render_target_t backbuffer_;
};

double thread_cpu_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

void BM_PlayDemoFrame(benchmark::State& state) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  com_ptr_t<ID3D11Device> device;
  com_ptr_t<ID3D11DeviceContext> context;
  D3D_FEATURE_LEVEL level{};
  if (FAILED(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION,
                               &device, &level, &context))) {
    state.SkipWithError("no headless device");
    return;
  }
  std::string pattern = (fs::temp_directory_path() / "engine_bench_XXXXXX").string();
  if (!mkdtemp(pattern.data())) return state.SkipWithError("no temp dir");
  const fs::path base = pattern;
  // Benchmarks live in <build>/bench, the player's archive in <build>/bin.
  const fs::path archive = fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "bin/vlm_ks9.dat";
  std::error_code copied;
  fs::copy_file(archive, base / "vlm_ks9.dat", copied);
  if (copied) return state.SkipWithError("no archive next to the player; build it first");
  std::unique_ptr<filesystem_t> files(*create_filesystem_at((base / "pumblecrisp").string()));
  files->mount_archive("vlm_ks9.dat");
  serial::set_default_filesystem(files.get());
  enki::TaskScheduler scheduler;
  scheduler.Initialize(4);

  systems_t systems;
  headless_graphics_system_t gsys(device.get(), context.get());
  graphics_resource_impl_t resources(device.get(), context.get());
  graphics_runtime_impl_t runtime(device.get(), context.get());
  systems.gsys = &gsys;
  systems.resources = &resources;
  systems.runtime = &runtime;
  systems.filesystem = files.get();
  systems.scheduler = &scheduler;
  g_systems = &systems;
  (void)runtime.init();

  std::string project;
  files->read_text_file("projects/demo-final.proj.toml", project);
  if (!engine_init(&systems, project.c_str())) {
    state.SkipWithError("engine_init failed");
  } else {
    state.counters["resident_mib_loaded"] = resident_mib();
    // Playing, as in the player: every frame animates the blocks' variables.
    engine_start();
    // Read one texel back each frame so the frame's GPU work is finished when the clock stops.
    D3D11_TEXTURE2D_DESC desc = gsys.get_backbuffer()->texture_desc;
    desc.Width = desc.Height = 1;
    desc.BindFlags = 0;
    desc.Usage = D3D11_USAGE_STAGING;
    desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
    com_ptr_t<ID3D11Texture2D> staging;
    device->CreateTexture2D(&desc, nullptr, &staging);
    D3D11_BOX box{0, 0, 0, 1, 1, 1};

    // The frames step through the seconds the arguments give, so every scene of that half counts.
    // A first, unmeasured lap makes what each scene needs on its first frames (pooled targets,
    // textures, the driver's shader variants); the measured lap shows the steady frames.
    const float first = float(state.range(0)), last = float(state.range(1));
    const int64_t laps_frames = state.max_iterations;
    const float step = (last - first) / float(laps_frames);
    double cpu = 0.0;
    int64_t frames = 0;
    uint64_t allocations = 0, allocated_bytes = 0;
    auto render_at = [&](float t, bool measured) {
      engine_set_cur_time(t);
      // The host's frame start: back buffer bound, temporary pool aged.
      runtime.begin_frame();
      resources.begin_frame();
      const double before = thread_cpu_seconds();
      if (measured) {
        test_support::allocation_counter_t counter;
        benchmark::DoNotOptimize(engine_tick());
        allocations += counter.count();
        allocated_bytes += counter.bytes();
      } else {
        benchmark::DoNotOptimize(engine_tick());
      }
      if (measured) cpu += thread_cpu_seconds() - before;
      context->CopySubresourceRegion(staging.get(), 0, 0, 0, 0, gsys.get_backbuffer()->texture.get(), 0,
                                     &box);
      D3D11_MAPPED_SUBRESOURCE mapped{};
      if (SUCCEEDED(context->Map(staging.get(), 0, D3D11_MAP_READ, 0, &mapped))) context->Unmap(staging.get(), 0);
    };
    for (int64_t i = 0; i < laps_frames; ++i) render_at(first + step * float(i), false);
    for (auto _ : state) render_at(first + step * float(frames++ % laps_frames), true);
    const double per_frame = frames ? 1.0 / double(frames) : 0.0;
    state.counters["engine_cpu_ms"] = 1000.0 * cpu * per_frame;
    state.counters["allocs_per_frame"] = double(allocations) * per_frame;
    state.counters["alloc_kib_per_frame"] = double(allocated_bytes) * per_frame / 1024.0;
  }
  engine_close();
  if (engine_context->soundsystem) destroy_soundsystem(engine_context->soundsystem);
  scheduler.WaitforAllAndShutdown();
  serial::set_default_filesystem(nullptr);
  runtime.shutdown();
  resources.release_all();
  context->ClearState();
  context->Flush();
  g_systems = nullptr;
  files.reset();
  fs::remove_all(base);
}
// The first half (shader scenes and post effects), the geometry scenes, then the particles and texts;
// last, one time of the busiest scene for the main thread (the fractal under bloom with its trail
// and streaks), frame after frame.
BENCHMARK(BM_PlayDemoFrame)
    ->Args({2, 63})
    ->Args({64, 91})
    ->Args({92, 123})
    ->Args({47, 47})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(240);

}  // namespace
