#pragma once
// Modal dialogs from dialog templates, over GTK 3. A template is what a resource script's DIALOG
// statement holds (caption, font, size and items in dialog units); the executable registers its
// templates by resource id. The dialog procedure receives WM_INITDIALOG, WM_COMMAND (with the item
// id and the notification code) and WM_DESTROY, while the items still answer; the combo-box and
// check-box messages below are answered. Return presses the default push button (or the focused
// push button), Escape and the window's close request press IDCANCEL.

#include <string>
#include <vector>

#include "platform/win32/types.h"
#include "platform/win32/window.h"

using INT_PTR = intptr_t;
using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

constexpr UINT WM_INITDIALOG = 0x0110;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

constexpr WORD BN_CLICKED = 0;

constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_VSCROLL = 0x00200000;
constexpr DWORD WS_TABSTOP = 0x00010000;

constexpr DWORD DS_FIXEDSYS = 0x0008;
constexpr DWORD DS_SETFONT = 0x0040;
constexpr DWORD DS_MODALFRAME = 0x0080;

constexpr DWORD BS_PUSHBUTTON = 0x0000;
constexpr DWORD BS_DEFPUSHBUTTON = 0x0001;
constexpr DWORD BS_AUTOCHECKBOX = 0x0003;
constexpr DWORD BS_TYPEMASK = 0x000F;

constexpr DWORD CBS_DROPDOWN = 0x0002;
constexpr DWORD CBS_DROPDOWNLIST = 0x0003;
constexpr DWORD CBS_SORT = 0x0100;

constexpr UINT BM_GETCHECK = 0x00F0;
constexpr UINT BM_SETCHECK = 0x00F1;
constexpr UINT BST_UNCHECKED = 0;
constexpr UINT BST_CHECKED = 1;

constexpr UINT CB_GETCOUNT = 0x0146;
constexpr UINT CB_GETCURSEL = 0x0147;
constexpr UINT CB_INSERTSTRING = 0x014A;
constexpr UINT CB_RESETCONTENT = 0x014B;
constexpr UINT CB_SETCURSEL = 0x014E;
constexpr UINT CB_GETITEMDATA = 0x0150;
constexpr UINT CB_SETITEMDATA = 0x0151;
constexpr LRESULT CB_ERR = -1;

constexpr WPARAM MAKEWPARAM(WORD low, WORD high) {
  return static_cast<WPARAM>(static_cast<uint32_t>(low) | (static_cast<uint32_t>(high) << 16));
}

// Shows the template `name` (an integer resource id) modally and returns the value given to
// EndDialog, or -1 when the template is unknown or no display can show it.
INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC procedure, LPARAM param);
// Ends the dialog once its procedure returns; the dialog is not shown at all when this is called
// while WM_INITDIALOG is handled.
BOOL EndDialog(HWND dialog, INT_PTR result);
HWND GetDlgItem(HWND dialog, int id);
LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wparam, LPARAM lparam);
BOOL CheckDlgButton(HWND dialog, int id, UINT check);
UINT IsDlgButtonChecked(HWND dialog, int id);

namespace win32 {

// One item of a template: its window class ("BUTTON" or "COMBOBOX"), text, id, position and size
// in dialog units, and its styles (the button or combo-box kind among them).
struct dialog_item_template_t {
  std::string class_name;
  std::string text;
  int id = 0;
  int x = 0;
  int y = 0;
  int cx = 0;
  int cy = 0;
  DWORD style = WS_CHILD | WS_VISIBLE;
};

struct dialog_template_t {
  std::string caption;
  std::string font;
  int point_size = 8;
  DWORD style = 0;
  int cx = 0;
  int cy = 0;
  std::vector<dialog_item_template_t> items;
};

// Adds a dialog template under an integer resource id for the life of the process.
struct dialog_template_registrar_t {
  dialog_template_registrar_t(int id, dialog_template_t dialog);
};

// Dialog units to pixels with the template font's base units, as the dialog manager converts them.
struct dialog_units_t {
  int base_x = 6;
  int base_y = 13;
  int to_x(int units) const { return units * base_x / 4; }
  int to_y(int units) const { return units * base_y / 8; }
};

// The window calls of window.h given a dialog's handle; false for any other handle.
bool dialog_client_rect(HWND dialog, RECT* rect);
bool dialog_window_rect(HWND dialog, RECT* rect);
bool dialog_set_window_pos(HWND dialog, int x, int y, int cx, int cy, UINT flags);

}  // namespace win32
