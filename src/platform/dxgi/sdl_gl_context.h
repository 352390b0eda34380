#pragma once
// A device GL context that windows can be presented from: an SDL GL 4.5 core context made on a
// hidden OpenGL window. A swap chain retargets it to its own window, so the device's objects
// and the window's default framebuffer share one context; without a target the context is
// current on its hidden window.

#include <cstdint>
#include <memory>
#include <string>

#include <tl/expected.hpp>

#include "platform/d3d11/gl_context.h"

struct SDL_Window;

class sdl_gl_context_t final : public gl_context_t {
 public:
  ~sdl_gl_context_t() override;
  static tl::expected<std::unique_ptr<gl_context_t>, std::string> create();

  bool make_current() override;
  const char* description() const override { return "SDL window"; }

  // Where make_current() binds the context; null for the hidden window. Context thread only.
  bool set_target_window(SDL_Window* window);
  // The target window, or null once it was destroyed.
  SDL_Window* target_window();

 private:
  sdl_gl_context_t() = default;

  SDL_Window* hidden_window_ = nullptr;
  SDL_Window* target_ = nullptr;
  uint32_t target_id_ = 0;
  void* context_ = nullptr;  // SDL_GLContext
};

// The factory CreateDXGIFactory installs for devices: an SDL context when SDL video works,
// else the headless EGL context.
tl::expected<std::unique_ptr<gl_context_t>, std::string> create_presentable_gl_context();

// Sets the GL attributes every OpenGL window must be made with to share the device's context.
void set_sdl_gl_attributes();
