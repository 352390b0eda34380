#pragma once
// Shared pieces of the graphics-service tests: a graphics system over the headless test device
// with a back buffer of its own, and a fixture that installs it with the graphics resources and
// the runtime as the current services.

#include <memory>

#include "common/log_capture.h"
#include "common/d3d11_test_support.h"
#include "graphics/graphics_resource_impl.h"
#include "graphics/graphics_runtime.h"
#include "graphics/graphics_system.h"
#include "graphics/render_target.h"
#include "support/systems.h"

namespace graphics_test {

// What the services ask of the graphics system, without a window: the device, the frame
// counters and an RGBA8 back buffer with a D24S8 depth buffer.
class test_graphics_system_t final : public graphics_system_t {
 public:
  test_graphics_system_t(ID3D11Device* device, ID3D11DeviceContext* context)
      : device_(device), context_(context) {}

  void make_backbuffer(int width, int height) {
    auto target = std::make_unique<render_target_t>();
    auto& desc = target->texture_desc;
    desc.Width = UINT(width), desc.Height = UINT(height), desc.MipLevels = 1, desc.ArraySize = 1;
    desc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    desc.SampleDesc = {1, 0};
    desc.BindFlags = D3D11_BIND_RENDER_TARGET;
    EXPECT_EQ(device_->CreateTexture2D(&desc, nullptr, &target->texture), S_OK);
    EXPECT_EQ(device_->CreateRenderTargetView(target->texture, nullptr, &target->rtv), S_OK);
    auto& ds = target->ds_texture_desc;
    ds = desc;
    ds.Format = DXGI_FORMAT_D24_UNORM_S8_UINT;
    ds.BindFlags = D3D11_BIND_DEPTH_STENCIL;
    EXPECT_EQ(device_->CreateTexture2D(&ds, nullptr, &target->ds_texture), S_OK);
    EXPECT_EQ(device_->CreateDepthStencilView(target->ds_texture, nullptr, &target->ds_dsv), S_OK);
    target->viewport = {0, 0, float(width), float(height), 0, 1};
    backbuffer = std::move(target);
    backbuffer_size = {width, height};
  }

  void shutdown() override {}
  void reset_frame_counters() override { counters = {}; }
  frame_counters_t* get_frame_counters() override { return &counters; }
  tl::expected<void, std::string> create_window(int, int, int, HINSTANCE, WNDPROC) override { return {}; }
  tl::expected<void, std::string> create_window_from_dialog(HINSTANCE, WNDPROC) override { return {}; }
  HWND get_hwnd() override { return nullptr; }
  ID3D11Device* get_device() override { return device_; }
  ID3D11DeviceContext* get_context() override { return context_; }
  void resize(int, int) override {}
  int2 get_backbuffer_size() override { return backbuffer_size; }
  int2 get_screen_size() override { return backbuffer_size; }
  float get_aspect_ratio() override { return float(backbuffer_size.x) / float(backbuffer_size.y); }
  render_target_t* get_backbuffer() override { return backbuffer.get(); }
  void present() override {}
  void set_vsync(bool) override {}
  bool get_vsync() override { return false; }
  void no_op() override {}

  frame_counters_t counters;
  int2 backbuffer_size{64, 32};
  std::unique_ptr<render_target_t> backbuffer;

 private:
  ID3D11Device* device_;
  ID3D11DeviceContext* context_;
};

// The headless device with the graphics system, the resources and the runtime installed in the
// current services record for the length of a test.
class graphics_fixture_t : public d3d11_test::device_fixture_t {
 protected:
  void SetUp() override {
    device_fixture_t::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    previous_systems_ = g_systems;
    g_systems = &systems_;
    gsys = std::make_unique<test_graphics_system_t>(device, context);
    gsys->make_backbuffer(64, 32);
    systems_.gsys = gsys.get();
    resources = std::make_unique<graphics_resource_impl_t>(device, context);
    systems_.resources = resources.get();
    runtime = std::make_unique<graphics_runtime_impl_t>(device, context);
    systems_.runtime = runtime.get();
    ASSERT_TRUE(runtime->init().has_value());
  }
  void TearDown() override {
    if (runtime) runtime->shutdown();
    if (resources) resources->release_all();
    runtime.reset();
    resources.reset();
    gsys.reset();
    if (g_systems == &systems_) g_systems = previous_systems_;
    if (context) {
      // Retire what the cleared state held while the GL context is still current.
      context->ClearState();
      context->Flush();
    }
    device_fixture_t::TearDown();
  }

  std::unique_ptr<test_graphics_system_t> gsys;
  std::unique_ptr<graphics_resource_impl_t> resources;
  std::unique_ptr<graphics_runtime_impl_t> runtime;

 private:
  systems_t systems_;
  systems_t* previous_systems_ = nullptr;
};

}  // namespace graphics_test
