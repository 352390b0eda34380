#pragma once
// The graphics system: device and context, the start-up dialog, the window, the swap chain and
// the back buffer, presentation and the per-frame render-target counters. Reached as S(gsys).

#include <string>

#include <tl/expected.hpp>

#include "engine/variable.h"
#include "platform/win32/window.h"

struct ID3D11Device;
struct ID3D11DeviceContext;
struct render_target_t;

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

// Stand-in until the Direct3D device exists: no adapters, no device and no settings dialog.
// The window opens windowed at a fixed size and present clears it to the frame colour.
class graphics_system_impl_t final : public graphics_system_t {
 public:
  tl::expected<void, std::string> create_device();

  void shutdown() override;
  void reset_frame_counters() override;
  frame_counters_t* get_frame_counters() override { return &frame_counters_; }
  tl::expected<void, std::string> create_window(int width, int height, int style_flags, HINSTANCE instance,
                                                WNDPROC procedure) override;
  tl::expected<void, std::string> create_window_from_dialog(HINSTANCE instance, WNDPROC procedure) override;
  HWND get_hwnd() override { return hwnd_; }
  ID3D11Device* get_device() override { return nullptr; }
  ID3D11DeviceContext* get_context() override { return nullptr; }
  void resize(int width, int height) override;
  int2 get_backbuffer_size() override { return backbuffer_size_; }
  int2 get_screen_size() override { return {screen_width_, screen_height_}; }
  float get_aspect_ratio() override;
  render_target_t* get_backbuffer() override { return nullptr; }
  void present() override;
  void set_vsync(bool vsync) override { vsync_ = vsync; }
  bool get_vsync() override { return vsync_; }
  void no_op() override {}

 private:
  tl::expected<void, std::string> open_window(int width, int height, int style_flags, HINSTANCE instance,
                                              WNDPROC procedure);
  void make_backbuffer(int width, int height);

  frame_counters_t frame_counters_;
  HWND hwnd_ = nullptr;
  struct SDL_Renderer* renderer_ = nullptr;
  bool has_backbuffer_ = false;
  int2 backbuffer_size_;
  int window_width_ = 0;
  int window_height_ = 0;
  int screen_width_ = 0;
  int screen_height_ = 0;
  bool windowed_ = true;
  bool vsync_ = true;
};
