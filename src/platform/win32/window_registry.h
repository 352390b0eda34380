#pragma once
// Internal to the window layer: the record behind each HWND and the lookup from SDL window ids.
// Main thread only, like the windows themselves.

#include <cstdint>
#include <string>

#include "platform/win32/window.h"

struct SDL_Window;

namespace win32 {

struct window_record_t {
  SDL_Window* sdl_window = nullptr;
  uint32_t sdl_id = 0;
  WNDPROC procedure = nullptr;
  std::string class_name;
  // Last size state and client geometry reported through WM_SIZE and WM_MOVE, so an SDL event
  // that repeats what a synchronous notification already told is not sent twice.
  WPARAM size_state = ~WPARAM{0};
  int client_width = -1;
  int client_height = -1;
  int x = INT32_MIN;
  int y = INT32_MIN;
  bool destroying = false;
};

window_record_t* find_window(HWND hwnd);
window_record_t* find_window_by_sdl_id(uint32_t sdl_id);
HWND to_hwnd(window_record_t* record);

// Send WM_SIZE / WM_MOVE when they differ from what the window last reported.
void notify_size(window_record_t* record, WPARAM state, int width, int height);
void notify_move(window_record_t* record, int x, int y);

}  // namespace win32
