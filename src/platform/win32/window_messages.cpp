#include "platform/win32/window_messages.h"

#include <SDL2/SDL.h>

#include <deque>

#include "platform/win32/window.h"
#include "platform/win32/window_registry.h"

namespace {

struct queue_state_t {
  std::deque<MSG> posted;
  bool quit_posted = false;
  int quit_code = 0;
};

queue_state_t& queue() {
  static queue_state_t instance;
  return instance;
}

WPARAM virtual_key(SDL_Keycode key) {
  if (key == SDLK_ESCAPE) return VK_ESCAPE;
  if (key == SDLK_RETURN) return VK_RETURN;
  if (key == SDLK_SPACE) return VK_SPACE;
  if (key >= SDLK_a && key <= SDLK_z) return static_cast<WPARAM>('A' + (key - SDLK_a));
  if (key >= SDLK_0 && key <= SDLK_9) return static_cast<WPARAM>('0' + (key - SDLK_0));
  return 0;
}

void post(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  MSG msg;
  msg.hwnd = hwnd;
  msg.message = message;
  msg.wParam = wparam;
  msg.lParam = lparam;
  msg.time = SDL_GetTicks();
  queue().posted.push_back(msg);
}

void handle_window_event(const SDL_WindowEvent& event) {
  win32::window_record_t* record = win32::find_window_by_sdl_id(event.windowID);
  if (!record) return;
  HWND hwnd = win32::to_hwnd(record);
  switch (event.event) {
    case SDL_WINDOWEVENT_MOVED:
      win32::notify_move(record, event.data1, event.data2);
      break;
    case SDL_WINDOWEVENT_SIZE_CHANGED: {
      bool maximized = SDL_GetWindowFlags(record->sdl_window) & SDL_WINDOW_MAXIMIZED;
      win32::notify_size(record, maximized ? SIZE_MAXIMIZED : SIZE_RESTORED, event.data1, event.data2);
      break;
    }
    case SDL_WINDOWEVENT_MINIMIZED:
      win32::notify_size(record, SIZE_MINIMIZED, 0, 0);
      break;
    case SDL_WINDOWEVENT_MAXIMIZED:
    case SDL_WINDOWEVENT_RESTORED: {
      int w = 0, h = 0;
      SDL_GetWindowSize(record->sdl_window, &w, &h);
      win32::notify_size(record, event.event == SDL_WINDOWEVENT_MAXIMIZED ? SIZE_MAXIMIZED : SIZE_RESTORED, w,
                         h);
      break;
    }
    case SDL_WINDOWEVENT_CLOSE:
      record->procedure(hwnd, WM_CLOSE, 0, 0);
      break;
    default:
      break;
  }
}

// Sent notifications reach the window procedures here; key presses join the posted queue.
void pump_sdl_events() {
  if (!SDL_WasInit(SDL_INIT_VIDEO)) return;
  SDL_Event event;
  while (SDL_PollEvent(&event)) {
    if (event.type == SDL_WINDOWEVENT) {
      handle_window_event(event.window);
    } else if (event.type == SDL_KEYDOWN) {
      win32::window_record_t* record = win32::find_window_by_sdl_id(event.key.windowID);
      if (!record) continue;
      // Repeat count 1, bit 30 for a key that was already down.
      LPARAM lparam = 1 | (event.key.repeat ? (LPARAM{1} << 30) : 0);
      post(win32::to_hwnd(record), WM_KEYDOWN, virtual_key(event.key.keysym.sym), lparam);
    }
  }
}

}  // namespace

BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT filter_min, UINT filter_max, UINT remove) {
  if (!msg) return FALSE;
  pump_sdl_events();
  queue_state_t& q = queue();
  if (!q.posted.empty()) {
    *msg = q.posted.front();
    if (remove & PM_REMOVE) q.posted.pop_front();
    return TRUE;
  }
  if (q.quit_posted) {
    *msg = MSG{};
    msg->message = WM_QUIT;
    msg->wParam = static_cast<WPARAM>(q.quit_code);
    msg->time = SDL_GetTicks();
    if (remove & PM_REMOVE) q.quit_posted = false;
    return TRUE;
  }
  return FALSE;
}

// No character messages are needed: nothing reads WM_CHAR.
BOOL TranslateMessage(const MSG* msg) { return FALSE; }

LRESULT DispatchMessageA(const MSG* msg) {
  if (!msg) return 0;
  win32::window_record_t* record = win32::find_window(msg->hwnd);
  if (!record) return 0;
  return record->procedure(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (hwnd && !win32::find_window(hwnd)) return FALSE;
  post(hwnd, message, wparam, lparam);
  return TRUE;
}

void PostQuitMessage(int exit_code) {
  queue().quit_posted = true;
  queue().quit_code = exit_code;
}

LRESULT DefWindowProcA(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_CLOSE) DestroyWindow(hwnd);
  return 0;
}

LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  win32::window_record_t* record = win32::find_window(hwnd);
  if (!record) return 0;
  return record->procedure(hwnd, message, wparam, lparam);
}
