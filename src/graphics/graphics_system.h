#pragma once
// The graphics system: device and context, the start-up dialog, the window, the swap chain and
// the back buffer, presentation and the per-frame render-target counters. Reached as S(gsys).

#include <memory>
#include <string>

#include <tl/expected.hpp>

#include "graphics/render_target.h"
#include "support/math.h"
#include "platform/d3d11/d3d11.h"
#include "platform/dxgi/dxgi.h"
#include "platform/win32/window.h"

// Render targets created and handed out of the pool this frame.
struct frame_counters_t {
  int32_t created = 0;
  int32_t reused = 0;
};

class graphics_system_t {
 public:
  virtual void shutdown() = 0;
  virtual void reset_frame_counters() = 0;
  virtual frame_counters_t* get_frame_counters() = 0;
  // style_flags: bit 0 windowed, bit 1 pop-up, bit 3 centre, bit 4 maximise.
  virtual tl::expected<void, std::string> create_window(int width, int height, int style_flags,
                                                        HINSTANCE instance, WNDPROC procedure) = 0;
  virtual tl::expected<void, std::string> create_window_from_dialog(HINSTANCE instance,
                                                                    WNDPROC procedure) = 0;
  virtual HWND get_hwnd() = 0;
  virtual ID3D11Device* get_device() = 0;
  virtual ID3D11DeviceContext* get_context() = 0;
  // Does nothing before the back buffer exists.
  virtual void resize(int width, int height) = 0;
  virtual int2 get_backbuffer_size() = 0;
  virtual int2 get_screen_size() = 0;
  virtual float get_aspect_ratio() = 0;
  virtual render_target_t* get_backbuffer() = 0;
  virtual void present() = 0;
  virtual void set_vsync(bool vsync) = 0;
  virtual bool get_vsync() = 0;
  virtual void no_op() = 0;

 protected:
  ~graphics_system_t() = default;
};

class graphics_system_impl_t final : public graphics_system_t {
 public:
  // Chooses the adapter and makes the device and its immediate context.
  tl::expected<void, std::string> create_device();
  // What a failed create_device leaves behind, released before the object is deleted.
  void release_device_objects();

  void shutdown() override;
  void reset_frame_counters() override;
  frame_counters_t* get_frame_counters() override { return &frame_counters; }
  tl::expected<void, std::string> create_window(int width, int height, int style_flags, HINSTANCE instance,
                                                WNDPROC procedure) override;
  tl::expected<void, std::string> create_window_from_dialog(HINSTANCE instance, WNDPROC procedure) override;
  HWND get_hwnd() override { return hwnd; }
  ID3D11Device* get_device() override { return device_; }
  ID3D11DeviceContext* get_context() override { return context_; }
  void resize(int width, int height) override;
  int2 get_backbuffer_size() override;
  int2 get_screen_size() override { return {screen_width, screen_height}; }
  float get_aspect_ratio() override;
  render_target_t* get_backbuffer() override { return backbuffer.get(); }
  void present() override;
  void set_vsync(bool enabled) override { vsync = enabled; }
  bool get_vsync() override { return vsync; }
  void no_op() override {}

  // The adapters the device and the dialog use, and the swap chain, for tests.
  IDXGIAdapter* get_default_adapter() const { return default_adapter_; }
  IDXGIAdapter* get_preferred_adapter() const { return preferred_adapter_; }
  IDXGISwapChain* get_swap_chain() const { return swap_chain; }
  bool is_windowed() const { return windowed; }

 private:
  tl::expected<void, std::string> open_window(int width, int height, int style_flags, HINSTANCE instance,
                                              WNDPROC procedure);
  tl::expected<void, std::string> create_swap_chain(int width, int height, bool windowed_mode,
                                                    DXGI_RATIONAL refresh);
  tl::expected<void, std::string> create_backbuffer(int width, int height);

  com_ptr_t<IDXGIAdapter> default_adapter_;
  com_ptr_t<IDXGIAdapter> preferred_adapter_;
  com_ptr_t<IDXGIFactory> dxgi_factory_;
  com_ptr_t<ID3D11Device> device_;
  com_ptr_t<ID3D11DeviceContext> context_;
  DXGI_SWAP_CHAIN_DESC swap_chain_desc;
  com_ptr_t<IDXGISwapChain> swap_chain;
  frame_counters_t frame_counters;
  HWND hwnd = nullptr;
  std::unique_ptr<render_target_t> backbuffer;
  D3D_FEATURE_LEVEL _featureLevel{};
  int32_t window_width = 0;
  int32_t window_height = 0;
  int32_t screen_width = 0;
  int32_t screen_height = 0;
  bool windowed = true;
  bool vsync = true;
};
