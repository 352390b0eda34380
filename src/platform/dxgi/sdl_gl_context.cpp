#include "platform/dxgi/sdl_gl_context.h"

#include <SDL2/SDL.h>

#include "platform/win32/window.h"
#include "platform/win32/debugger.h"

void set_sdl_gl_attributes() {
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 4);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 5);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
#ifndef NDEBUG
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_FLAGS, SDL_GL_CONTEXT_DEBUG_FLAG);
#endif
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  // The device renders depth into its own textures; the window only receives the colour blit.
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
}

sdl_gl_context_t::~sdl_gl_context_t() {
  if (context_) {
    SDL_GL_MakeCurrent(nullptr, nullptr);
    forget_current_here();
    SDL_GL_DeleteContext(context_);
  }
  if (hidden_window_) SDL_DestroyWindow(hidden_window_);
}

tl::expected<std::unique_ptr<gl_context_t>, std::string> sdl_gl_context_t::create() {
  if (!win32::ensure_sdl_video()) return tl::unexpected(std::string("SDL video is not available"));
  set_sdl_gl_attributes();
  std::unique_ptr<sdl_gl_context_t> result(new sdl_gl_context_t());
  result->hidden_window_ = SDL_CreateWindow("", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 16, 16,
                                            SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (!result->hidden_window_) return tl::unexpected(std::string("SDL_CreateWindow: ") + SDL_GetError());
  result->context_ = SDL_GL_CreateContext(result->hidden_window_);
  if (!result->context_) return tl::unexpected(std::string("SDL_GL_CreateContext: ") + SDL_GetError());
  if (!result->make_current()) return tl::unexpected(std::string("SDL_GL_MakeCurrent: ") + SDL_GetError());
  return std::unique_ptr<gl_context_t>(std::move(result));
}

bool sdl_gl_context_t::make_current() {
  // The player's window can be destroyed before the swap chain lets go of it (closing the window
  // ends the loop, shutdown comes later); then fall back to the hidden window.
  if (target_ && SDL_GetWindowFromID(target_id_) != target_) {
    target_ = nullptr;
    target_id_ = 0;
  }
  SDL_Window* window = target_ ? target_ : hidden_window_;
  // SDL's own record also sees the unbinding SDL does when the current window is destroyed.
  if (current_here() && SDL_GL_GetCurrentContext() == context_ && SDL_GL_GetCurrentWindow() == window)
    return true;
  if (SDL_GL_MakeCurrent(window, context_) != 0) return false;
  note_current_here();
  return true;
}

bool sdl_gl_context_t::set_target_window(SDL_Window* window) {
  target_ = window;
  target_id_ = window ? SDL_GetWindowID(window) : 0;
  return make_current();
}

SDL_Window* sdl_gl_context_t::target_window() {
  if (target_ && SDL_GetWindowFromID(target_id_) != target_) return nullptr;
  return target_;
}

tl::expected<std::unique_ptr<gl_context_t>, std::string> create_presentable_gl_context() {
  auto context = sdl_gl_context_t::create();
  if (context) return context;
  PLATFORM_LOG_INF("No SDL GL context (%s), rendering headless", context.error().c_str());
  return create_headless_gl_context();
}
