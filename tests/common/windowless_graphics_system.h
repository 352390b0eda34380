#pragma once
// A graphics system over the test's real one, without a window: window, resize, present and vsync
// calls do nothing, the rest pass on. Test wrappers derive from it and override what they watch.

#include <string>

#include <tl/expected.hpp>

#include "graphics/graphics_system.h"

namespace test_support {

class windowless_graphics_system_t : public graphics_system_t {
 public:
  explicit windowless_graphics_system_t(graphics_system_t& real) : real_(real) {}
  void shutdown() override {}
  void reset_frame_counters() override { real_.reset_frame_counters(); }
  frame_counters_t* get_frame_counters() override { return real_.get_frame_counters(); }
  tl::expected<void, std::string> create_window(int, int, int, HINSTANCE, WNDPROC) override { return {}; }
  tl::expected<void, std::string> create_window_from_dialog(HINSTANCE, WNDPROC) override { return {}; }
  HWND get_hwnd() override { return nullptr; }
  ID3D11Device* get_device() override { return real_.get_device(); }
  ID3D11DeviceContext* get_context() override { return real_.get_context(); }
  void resize(int, int) override {}
  int2 get_backbuffer_size() override { return real_.get_backbuffer_size(); }
  int2 get_screen_size() override { return real_.get_screen_size(); }
  float get_aspect_ratio() override { return real_.get_aspect_ratio(); }
  render_target_t* get_backbuffer() override { return real_.get_backbuffer(); }
  void present() override {}
  void set_vsync(bool) override {}
  bool get_vsync() override { return false; }
  void no_op() override {}

 protected:
  graphics_system_t& real_;
};

}  // namespace test_support
