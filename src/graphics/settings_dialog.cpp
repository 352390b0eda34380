#include "graphics/settings_dialog.h"

#include "graphics/display_mode_list.h"
#include "platform/win32/window_messages.h"

namespace {

const win32::dialog_template_t& settings_template() {
  constexpr DWORD child = WS_CHILD | WS_VISIBLE | WS_TABSTOP;
  static const win32::dialog_template_t dialog{
      "velmora",
      "MS Shell Dlg",
      8,
      WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS,
      147,
      99,
      {
          {"BUTTON", "GOGOGO!", settings_go_id, 18, 78, 50, 14, child | BS_DEFPUSHBUTTON},
          {"BUTTON", "NONONO!", settings_cancel_id, 70, 78, 50, 14, child | BS_PUSHBUTTON},
          {"COMBOBOX", "", settings_modes_id, 18, 12, 108, 141, child | CBS_DROPDOWN | CBS_SORT | WS_VSCROLL},
          {"BUTTON", "Windowed", settings_windowed_id, 18, 30, 50, 10, child | BS_AUTOCHECKBOX},
          {"BUTTON", "Vsync", settings_vsync_id, 18, 42, 50, 10, child | BS_AUTOCHECKBOX},
          {"BUTTON", "Filter Refresh Rates", settings_filter_id, 18, 60, 84, 10, child | BS_AUTOCHECKBOX},
      }};
  return dialog;
}

const win32::dialog_template_registrar_t settings_resource(settings_dialog_id, settings_template());

// The record of the dialog on screen. Taken again at every WM_INITDIALOG: a record remembered from an
// earlier dialog would be gone by the time a later one closes.
display_settings_t* g_settings = nullptr;

bool fill_mode_list(HWND dialog, display_settings_t& settings, bool filter) {
  if (!read_display_modes(settings.adapter, settings.modes)) return false;
  if (filter) filter_refresh_rates(settings.modes);
  sort_by_width(settings.modes);
  SendDlgItemMessageA(dialog, settings_modes_id, CB_RESETCONTENT, 0, 0);
  for (size_t i = 0; i < settings.modes.size(); ++i) {
    const DXGI_MODE_DESC& mode = settings.modes[i];
    const std::string text = mode_text(mode);
    SendDlgItemMessageA(dialog, settings_modes_id, CB_INSERTSTRING, i, reinterpret_cast<LPARAM>(text.c_str()));
    SendDlgItemMessageA(dialog, settings_modes_id, CB_SETITEMDATA, i,
                        static_cast<LPARAM>(mode.Width) * 65536 + static_cast<LPARAM>(mode.Height));
  }
  SendDlgItemMessageA(dialog, settings_modes_id, CB_SETCURSEL, settings.modes.size() - 1, 0);
  return true;
}

void select_mode(HWND dialog, int index) {
  SendDlgItemMessageA(dialog, settings_modes_id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void centre(HWND dialog) {
  RECT client;
  GetClientRect(dialog, &client);
  const int width = client.right - client.left;
  const int height = client.bottom - client.top;
  SetWindowPos(dialog, nullptr, GetSystemMetrics(SM_CXSCREEN) / 2 - width / 2,
               GetSystemMetrics(SM_CYSCREEN) / 2 - height / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void init_dialog(HWND dialog, display_settings_t* settings) {
  g_settings = settings;
  if (!g_settings || !fill_mode_list(dialog, *g_settings, true)) {
    EndDialog(dialog, -1);
    return;
  }
  select_mode(dialog, preferred_mode_index(g_settings->modes));
  CheckDlgButton(dialog, settings_windowed_id, BST_UNCHECKED);
  CheckDlgButton(dialog, settings_vsync_id, BST_CHECKED);
  CheckDlgButton(dialog, settings_filter_id, BST_CHECKED);
  centre(dialog);
}

// Without a selection (an output without modes) the size and refresh stay as they were.
void read_choice(HWND dialog, display_settings_t& settings) {
  settings.windowed = IsDlgButtonChecked(dialog, settings_windowed_id) == BST_CHECKED;
  settings.vsync = IsDlgButtonChecked(dialog, settings_vsync_id) == BST_CHECKED;
  settings.selected = static_cast<int32_t>(SendDlgItemMessageA(dialog, settings_modes_id, CB_GETCURSEL, 0, 0));
  if (settings.selected < 0 || static_cast<size_t>(settings.selected) >= settings.modes.size()) {
    settings.selected = -1;
    return;
  }
  const auto data = static_cast<uint64_t>(
      SendDlgItemMessageA(dialog, settings_modes_id, CB_GETITEMDATA, static_cast<WPARAM>(settings.selected), 0));
  settings.width = HIWORD(data);
  settings.height = LOWORD(data);
  settings.refresh = settings.modes[static_cast<size_t>(settings.selected)].RefreshRate;
}

}  // namespace

tl::expected<void, std::string> check_display_choice(const display_settings_t& settings) {
  if (settings.selected < 0 || settings.width <= 0 || settings.height <= 0)
    return tl::unexpected(std::string("No display mode was selected in the settings dialog"));
  return {};
}

INT_PTR settings_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      init_dialog(dialog, reinterpret_cast<display_settings_t*>(lparam));
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wparam) == settings_filter_id && HIWORD(wparam) == BN_CLICKED) {
        const bool filter = IsDlgButtonChecked(dialog, settings_filter_id) == BST_CHECKED;
        if (!fill_mode_list(dialog, *g_settings, filter)) {
          EndDialog(dialog, -1);
          return TRUE;
        }
        select_mode(dialog, fallback_mode_index(g_settings->modes.size()));
      } else if (LOWORD(wparam) == settings_go_id) {
        EndDialog(dialog, 1);
      } else if (LOWORD(wparam) == settings_cancel_id) {
        EndDialog(dialog, 0);
      }
      return TRUE;
    case WM_DESTROY:
      if (g_settings) read_choice(dialog, *g_settings);
      return TRUE;
    default:
      return FALSE;
  }
}
