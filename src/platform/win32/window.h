#pragma once
// Window classes and windows over SDL2 windows, the cursor and the system metrics.
// A window's procedure receives the messages of window_messages.h; WM_SIZE and WM_MOVE are
// sent synchronously while a window is created or moved, as on Windows.

#include "platform/win32/types.h"

struct SDL_Window;

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

struct RECT {
  LONG left = 0;
  LONG top = 0;
  LONG right = 0;
  LONG bottom = 0;
};

struct WNDCLASSEXA {
  UINT cbSize = 0;
  UINT style = 0;
  WNDPROC lpfnWndProc = nullptr;
  int cbClsExtra = 0;
  int cbWndExtra = 0;
  HINSTANCE hInstance = nullptr;
  HICON hIcon = nullptr;
  HCURSOR hCursor = nullptr;
  HBRUSH hbrBackground = nullptr;
  LPCSTR lpszMenuName = nullptr;
  LPCSTR lpszClassName = nullptr;
  HICON hIconSm = nullptr;
};

constexpr UINT CS_VREDRAW = 0x0001;
constexpr UINT CS_HREDRAW = 0x0002;

constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_CLIPSIBLINGS = 0x04000000;
constexpr DWORD WS_CLIPCHILDREN = 0x02000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_THICKFRAME = 0x00040000;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
constexpr DWORD WS_OVERLAPPEDWINDOW =
    WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;

constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000);

constexpr int SW_HIDE = 0;
constexpr int SW_SHOW = 5;
constexpr int SW_MAXIMIZE = 3;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_RESTORE = 9;

constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOOWNERZORDER = 0x0200;

constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
constexpr int SM_CXFULLSCREEN = 16;
constexpr int SM_CYFULLSCREEN = 17;

inline LPCSTR const IDC_ARROW = MAKEINTRESOURCEA(32512);

// Fails (0) when the class name is already registered or the record is incomplete.
ATOM RegisterClassExA(const WNDCLASSEXA* window_class);
// Only the system arrow cursor (instance null) exists.
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name);

// Parents, menus and extended styles are not supported; the creation parameter is ignored.
HWND CreateWindowExA(DWORD ex_style, LPCSTR class_name, LPCSTR title, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, void* param);
// Sends WM_DESTROY, then closes the SDL window; the handle is invalid afterwards.
BOOL DestroyWindow(HWND hwnd);
BOOL SetWindowPos(HWND hwnd, HWND insert_after, int x, int y, int cx, int cy, UINT flags);
BOOL ShowWindow(HWND hwnd, int command);
BOOL GetWindowRect(HWND hwnd, RECT* rect);
BOOL GetClientRect(HWND hwnd, RECT* rect);

int GetSystemMetrics(int index);
// Display counter: the cursor shows while the counter is 0 or more.
int ShowCursor(BOOL show);

namespace win32 {

// Extra SDL_WindowFlags for windows created from now on (the GPU layer asks for
// SDL_WINDOW_OPENGL before the window opens).
void set_extra_window_flags(uint32_t sdl_flags);
// The SDL window behind a window handle; null for an unknown handle.
SDL_Window* get_sdl_window(HWND hwnd);
// Initialises SDL's video subsystem once; false when there is no display.
bool ensure_sdl_video();

}  // namespace win32
