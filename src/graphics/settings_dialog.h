#pragma once
// The start-up settings dialog (dialog resource 101): the display mode, window mode and vertical
// sync the user picks before the window opens.

#include <string>
#include <vector>

#include <tl/expected.hpp>

#include "platform/dxgi/dxgi.h"
#include "platform/win32/dialog.h"

constexpr int settings_dialog_id = 101;

// Dialog items.
constexpr int settings_go_id = 1;
constexpr int settings_cancel_id = 2;
constexpr int settings_modes_id = 1002;
constexpr int settings_windowed_id = 1004;
constexpr int settings_vsync_id = 1005;
constexpr int settings_filter_id = 1007;

// Exchanged with the dialog: adapter and factory in, the choice out (read when the dialog closes).
struct display_settings_t {
  HINSTANCE instance = nullptr;
  IDXGIAdapter* adapter = nullptr;
  IDXGIFactory* factory = nullptr;
  std::vector<DXGI_MODE_DESC> modes;
  int32_t selected = -1;
  int32_t width = -1;
  int32_t height = -1;
  DXGI_RATIONAL refresh;
  bool windowed = false;
  bool vsync = true;
};

// What the dialog gave, as a window can be opened with it: a selected mode of a positive size.
// An output without modes leaves nothing selected and the size at -1 x -1.
tl::expected<void, std::string> check_display_choice(const display_settings_t& settings);

// The dialog procedure; WM_INITDIALOG carries the display_settings_t.
INT_PTR settings_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
