#include "platform/win32/window.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "platform/win32/dialog.h"
#include "platform/win32/window_messages.h"
#include "platform/win32/window_registry.h"

namespace win32 {
namespace {

struct window_class_t {
  WNDPROC procedure = nullptr;
};

struct window_state_t {
  std::map<std::string, window_class_t> classes;
  std::vector<std::unique_ptr<window_record_t>> windows;
  uint32_t extra_flags = 0;
  int cursor_counter = 0;
};

window_state_t& state() {
  static window_state_t instance;
  return instance;
}

// Size used when no display answers: a common desktop size.
constexpr int fallback_screen_width = 1920;
constexpr int fallback_screen_height = 1080;

}  // namespace

bool ensure_sdl_video() {
  if (SDL_WasInit(SDL_INIT_VIDEO)) return true;
  return SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
}

void set_extra_window_flags(uint32_t sdl_flags) { state().extra_flags = sdl_flags; }

window_record_t* find_window(HWND hwnd) {
  if (!hwnd) return nullptr;
  for (const auto& record : state().windows) {
    if (reinterpret_cast<HWND>(record.get()) == hwnd) return record.get();
  }
  return nullptr;
}

window_record_t* find_window_by_sdl_id(uint32_t sdl_id) {
  for (const auto& record : state().windows) {
    if (record->sdl_id == sdl_id) return record.get();
  }
  return nullptr;
}

HWND to_hwnd(window_record_t* record) { return reinterpret_cast<HWND>(record); }

SDL_Window* get_sdl_window(HWND hwnd) {
  window_record_t* record = find_window(hwnd);
  return record ? record->sdl_window : nullptr;
}

void notify_size(window_record_t* record, WPARAM size_state, int width, int height) {
  if (record->size_state == size_state && record->client_width == width && record->client_height == height)
    return;
  record->size_state = size_state;
  record->client_width = width;
  record->client_height = height;
  record->procedure(to_hwnd(record), WM_SIZE, size_state,
                    MAKELPARAM(static_cast<WORD>(width), static_cast<WORD>(height)));
}

void notify_move(window_record_t* record, int x, int y) {
  if (record->x == x && record->y == y) return;
  record->x = x;
  record->y = y;
  record->procedure(to_hwnd(record), WM_MOVE, 0, MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)));
}

}  // namespace win32

namespace {

struct borders_t {
  int top = 0, left = 0, bottom = 0, right = 0;
};

borders_t window_borders(SDL_Window* window) {
  borders_t b;
  if (SDL_GetWindowBordersSize(window, &b.top, &b.left, &b.bottom, &b.right) != 0) return {};
  return b;
}

WPARAM current_size_state(SDL_Window* window) {
  uint32_t flags = SDL_GetWindowFlags(window);
  if (flags & SDL_WINDOW_MINIMIZED) return SIZE_MINIMIZED;
  if (flags & SDL_WINDOW_MAXIMIZED) return SIZE_MAXIMIZED;
  return SIZE_RESTORED;
}

void notify_geometry(win32::window_record_t* record) {
  int w = 0, h = 0, x = 0, y = 0;
  SDL_GetWindowSize(record->sdl_window, &w, &h);
  SDL_GetWindowPosition(record->sdl_window, &x, &y);
  WPARAM size_state = current_size_state(record->sdl_window);
  if (size_state == SIZE_MINIMIZED) {
    win32::notify_size(record, size_state, 0, 0);
  } else {
    win32::notify_size(record, size_state, w, h);
  }
  win32::notify_move(record, x, y);
}

}  // namespace

ATOM RegisterClassExA(const WNDCLASSEXA* window_class) {
  if (!window_class || window_class->cbSize != sizeof(WNDCLASSEXA) || !window_class->lpfnWndProc ||
      !window_class->lpszClassName) {
    return 0;
  }
  auto& classes = win32::state().classes;
  if (classes.count(window_class->lpszClassName)) return 0;
  classes[window_class->lpszClassName] = {window_class->lpfnWndProc};
  return static_cast<ATOM>(0xC000 + classes.size());
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
  if (instance || name != IDC_ARROW) return nullptr;
  static char arrow;
  return reinterpret_cast<HCURSOR>(&arrow);
}

HWND CreateWindowExA(DWORD ex_style, LPCSTR class_name, LPCSTR title, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, void* param) {
  if (ex_style || parent || menu || !class_name) return nullptr;
  auto found = win32::state().classes.find(class_name);
  if (found == win32::state().classes.end()) return nullptr;
  if (!win32::ensure_sdl_video()) return nullptr;

  uint32_t flags = win32::state().extra_flags;
  flags |= (style & WS_VISIBLE) ? SDL_WINDOW_SHOWN : SDL_WINDOW_HIDDEN;
  if (style & WS_POPUP) flags |= SDL_WINDOW_BORDERLESS;
  if (style & WS_THICKFRAME) flags |= SDL_WINDOW_RESIZABLE;
  int sdl_x = x == CW_USEDEFAULT ? static_cast<int>(SDL_WINDOWPOS_UNDEFINED) : x;
  int sdl_y = y == CW_USEDEFAULT ? static_cast<int>(SDL_WINDOWPOS_UNDEFINED) : y;
  int w = width == CW_USEDEFAULT ? GetSystemMetrics(SM_CXSCREEN) / 2 : std::max(width, 1);
  int h = height == CW_USEDEFAULT ? GetSystemMetrics(SM_CYSCREEN) / 2 : std::max(height, 1);
  SDL_Window* window = SDL_CreateWindow(title ? title : "", sdl_x, sdl_y, w, h, flags);
  if (!window) return nullptr;

  auto record = std::make_unique<win32::window_record_t>();
  record->sdl_window = window;
  record->sdl_id = SDL_GetWindowID(window);
  record->procedure = found->second.procedure;
  record->class_name = class_name;
  win32::window_record_t* raw = record.get();
  win32::state().windows.push_back(std::move(record));
  notify_geometry(raw);
  return win32::to_hwnd(raw);
}

BOOL DestroyWindow(HWND hwnd) {
  win32::window_record_t* record = win32::find_window(hwnd);
  if (!record || record->destroying) return FALSE;
  record->destroying = true;
  record->procedure(hwnd, WM_DESTROY, 0, 0);
  SDL_DestroyWindow(record->sdl_window);
  auto& windows = win32::state().windows;
  windows.erase(
      std::remove_if(windows.begin(), windows.end(), [&](const auto& r) { return r.get() == record; }),
      windows.end());
  return TRUE;
}

BOOL SetWindowPos(HWND hwnd, HWND insert_after, int x, int y, int cx, int cy, UINT flags) {
  win32::window_record_t* record = win32::find_window(hwnd);
  if (!record) return win32::dialog_set_window_pos(hwnd, x, y, cx, cy, flags) ? TRUE : FALSE;
  // The rectangle given is the outer one; SDL places and sizes the client area.
  borders_t b = window_borders(record->sdl_window);
  if (!(flags & SWP_NOSIZE)) {
    SDL_SetWindowSize(record->sdl_window, std::max(cx - b.left - b.right, 1),
                      std::max(cy - b.top - b.bottom, 1));
  }
  if (!(flags & SWP_NOMOVE)) SDL_SetWindowPosition(record->sdl_window, x + b.left, y + b.top);
  notify_geometry(record);
  return TRUE;
}

BOOL ShowWindow(HWND hwnd, int command) {
  win32::window_record_t* record = win32::find_window(hwnd);
  if (!record) return FALSE;
  BOOL was_visible = (SDL_GetWindowFlags(record->sdl_window) & SDL_WINDOW_SHOWN) ? TRUE : FALSE;
  switch (command) {
    case SW_HIDE:
      SDL_HideWindow(record->sdl_window);
      break;
    case SW_MAXIMIZE:
      SDL_ShowWindow(record->sdl_window);
      SDL_MaximizeWindow(record->sdl_window);
      break;
    case SW_MINIMIZE:
      SDL_MinimizeWindow(record->sdl_window);
      break;
    case SW_RESTORE:
      SDL_RestoreWindow(record->sdl_window);
      break;
    default:
      SDL_ShowWindow(record->sdl_window);
      break;
  }
  return was_visible;
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
  win32::window_record_t* record = win32::find_window(hwnd);
  if (!record) return win32::dialog_client_rect(hwnd, rect) ? TRUE : FALSE;
  if (!rect) return FALSE;
  int w = 0, h = 0;
  SDL_GetWindowSize(record->sdl_window, &w, &h);
  *rect = {0, 0, w, h};
  return TRUE;
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
  win32::window_record_t* record = win32::find_window(hwnd);
  if (!record) return win32::dialog_window_rect(hwnd, rect) ? TRUE : FALSE;
  if (!rect) return FALSE;
  int w = 0, h = 0, x = 0, y = 0;
  SDL_GetWindowSize(record->sdl_window, &w, &h);
  SDL_GetWindowPosition(record->sdl_window, &x, &y);
  borders_t b = window_borders(record->sdl_window);
  *rect = {x - b.left, y - b.top, x + w + b.right, y + h + b.bottom};
  return TRUE;
}

int GetSystemMetrics(int index) {
  SDL_Rect bounds{0, 0, win32::fallback_screen_width, win32::fallback_screen_height};
  if (win32::ensure_sdl_video()) {
    SDL_Rect measured{};
    bool full_screen = index == SM_CXFULLSCREEN || index == SM_CYFULLSCREEN;
    int result = full_screen ? SDL_GetDisplayUsableBounds(0, &measured) : SDL_GetDisplayBounds(0, &measured);
    if (result == 0 && measured.w > 0 && measured.h > 0) bounds = measured;
  }
  switch (index) {
    case SM_CXSCREEN:
    case SM_CXFULLSCREEN:
      return bounds.w;
    case SM_CYSCREEN:
    case SM_CYFULLSCREEN:
      return bounds.h;
    default:
      return 0;
  }
}

int ShowCursor(BOOL show) {
  int& counter = win32::state().cursor_counter;
  counter += show ? 1 : -1;
  if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_ShowCursor(counter >= 0 ? SDL_ENABLE : SDL_DISABLE);
  return counter;
}
