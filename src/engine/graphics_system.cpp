#include "engine/graphics_system.h"

#include <SDL2/SDL.h>

#include "platform/win32/window_messages.h"
#include "support/log.h"

namespace {

constexpr DWORD overlapped_window_style =
    WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
static_assert(overlapped_window_style == 0x16CF0000);

// Without the settings dialog the window opens windowed at this size.
constexpr int standin_width = 1280;
constexpr int standin_height = 720;

}  // namespace

tl::expected<void, std::string> graphics_system_impl_t::create_device() { return {}; }

void graphics_system_impl_t::shutdown() {
  ShowCursor(TRUE);
  has_backbuffer_ = false;
  if (renderer_) SDL_DestroyRenderer(renderer_);
  renderer_ = nullptr;
}

void graphics_system_impl_t::reset_frame_counters() { frame_counters_ = {}; }

tl::expected<void, std::string> graphics_system_impl_t::create_window(int width, int height, int style_flags,
                                                                      HINSTANCE instance, WNDPROC procedure) {
  return open_window(width, height, style_flags, instance, procedure);
}

tl::expected<void, std::string> graphics_system_impl_t::create_window_from_dialog(HINSTANCE instance,
                                                                                  WNDPROC procedure) {
  vsync_ = true;
  return open_window(standin_width, standin_height, 1, instance, procedure);
}

tl::expected<void, std::string> graphics_system_impl_t::open_window(int width, int height, int style_flags,
                                                                    HINSTANCE instance, WNDPROC procedure) {
  WNDCLASSEXA window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.style = CS_HREDRAW | CS_VREDRAW;
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  window_class.lpszClassName = "WindowClass";
  if (!RegisterClassExA(&window_class)) return tl::unexpected(std::string("Error in RegisterClassEx"));

  screen_width_ = GetSystemMetrics(SM_CXSCREEN);
  screen_height_ = GetSystemMetrics(SM_CYSCREEN);
  DWORD style = (style_flags & 2) ? WS_POPUP : overlapped_window_style;
  hwnd_ = CreateWindowExA(0, "WindowClass", "pumblecrisp - velmora", style, CW_USEDEFAULT, CW_USEDEFAULT,
                          width, height, nullptr, nullptr, instance, nullptr);
  if (!hwnd_) return tl::unexpected(std::string("Error in CreateWindowEx"));

  if (style_flags & 1) {
    RECT window_rect, client_rect;
    GetWindowRect(hwnd_, &window_rect);
    GetClientRect(hwnd_, &client_rect);
    int frame_width = (window_rect.right - window_rect.left) - (client_rect.right - client_rect.left);
    int frame_height = (window_rect.bottom - window_rect.top) - (client_rect.bottom - client_rect.top);
    SetWindowPos(hwnd_, nullptr, -1, -1, width + frame_width, height + frame_height,
                 SWP_NOOWNERZORDER | SWP_NOZORDER);
  }
  if (style_flags & 8) {
    SetWindowPos(hwnd_, nullptr, (GetSystemMetrics(SM_CXFULLSCREEN) - width) / 2,
                 (GetSystemMetrics(SM_CYFULLSCREEN) - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  }
  window_width_ = width;
  window_height_ = height;
  windowed_ = (style_flags & 1) != 0;
  ShowWindow(hwnd_, (style_flags & 16) ? SW_MAXIMIZE : SW_SHOW);
  ShowCursor(windowed_ ? TRUE : FALSE);
  make_backbuffer(width, height);
  return {};
}

void graphics_system_impl_t::make_backbuffer(int width, int height) {
  // A software renderer needs no GL context and works on every display, Xvfb included.
  if (!renderer_) renderer_ = SDL_CreateRenderer(win32::get_sdl_window(hwnd_), -1, SDL_RENDERER_SOFTWARE);
  backbuffer_size_ = {width, height};
  has_backbuffer_ = true;
}

void graphics_system_impl_t::resize(int width, int height) {
  if (!has_backbuffer_) return;
  make_backbuffer(width, height);
}

float graphics_system_impl_t::get_aspect_ratio() {
  if (backbuffer_size_.y == 0) return 0.0f;
  return static_cast<float>(backbuffer_size_.x) / static_cast<float>(backbuffer_size_.y);
}

void graphics_system_impl_t::present() {
  if (!renderer_) return;
  // The frame colour the runtime clears the back buffer to.
  SDL_SetRenderDrawColor(renderer_, 26, 51, 128, 255);
  SDL_RenderClear(renderer_);
  SDL_RenderPresent(renderer_);
}
