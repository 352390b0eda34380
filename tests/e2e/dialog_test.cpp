// Modal dialogs from templates in this process, on the test display: the messages the dialog
// procedure receives, the combo-box and check-box messages, the keys a person presses; and the
// settings dialog's choice as it reaches the display_settings_t record.

#include <gtest/gtest.h>

#include "x_session.h"

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "graphics/settings_dialog.h"
#include "platform/dxgi/adapter_list.h"
#include "platform/win32/dialog.h"
#include "platform/win32/window_messages.h"

namespace {

constexpr int test_dialog_id = 7301;
constexpr int first_button = 1;
constexpr int second_button = 2;
constexpr int list_id = 1002;
constexpr int check_id = 1004;

const win32::dialog_template_registrar_t test_dialog(
    test_dialog_id, {"dialog test",
                     "MS Shell Dlg",
                     8,
                     WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS,
                     120,
                     80,
                     {
                         {"BUTTON", "First", first_button, 10, 60, 40, 14,
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON},
                         {"BUTTON", "Second", second_button, 60, 60, 40, 14,
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON},
                         {"COMBOBOX", "", list_id, 10, 10, 100, 100,
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | CBS_DROPDOWN | WS_VSCROLL},
                         {"BUTTON", "Tick", check_id, 10, 30, 60, 10,
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX},
                     }});

// What the test procedure saw.
struct seen_t {
  LPARAM init_param = 0;
  std::vector<std::pair<int, int>> commands;  // (id, notification)
  bool destroyed = false;
  LRESULT selection_at_destroy = -99;
  UINT check_at_destroy = 99;
  RECT client{};
};
seen_t* g_seen = nullptr;
bool g_end_at_init = false;

INT_PTR test_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      g_seen->init_param = lparam;
      GetClientRect(dialog, &g_seen->client);
      SendDlgItemMessageA(dialog, list_id, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>("b"));
      SendDlgItemMessageA(dialog, list_id, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>("a"));
      SendDlgItemMessageA(dialog, list_id, CB_SETITEMDATA, 1, 0x07800438);
      SendDlgItemMessageA(dialog, list_id, CB_SETCURSEL, 1, 0);
      CheckDlgButton(dialog, check_id, BST_CHECKED);
      if (g_end_at_init) EndDialog(dialog, 7);
      return TRUE;
    case WM_COMMAND:
      g_seen->commands.emplace_back(LOWORD(wparam), HIWORD(wparam));
      if (LOWORD(wparam) == first_button || LOWORD(wparam) == second_button)
        EndDialog(dialog, 10 * LOWORD(wparam));
      return TRUE;
    case WM_DESTROY:
      g_seen->destroyed = true;
      g_seen->selection_at_destroy = SendDlgItemMessageA(dialog, list_id, CB_GETCURSEL, 0, 0);
      g_seen->check_at_destroy = IsDlgButtonChecked(dialog, check_id);
      return TRUE;
    default:
      return FALSE;
  }
}

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (x_session::display_t::get().name().empty()) GTEST_SKIP() << "no X display and Xvfb could not be started";
    // Dialogs open on the display the process has when the first one is shown.
    setenv("DISPLAY", x_session::display_t::get().name().c_str(), 1);
    seen_ = {};
    g_seen = &seen_;
    g_end_at_init = false;
  }
  void TearDown() override { g_seen = nullptr; }

  // Shows a dialog while another thread waits for it and presses the keys.
  INT_PTR show_and_press(int id, DLGPROC procedure, LPARAM param, const char* title, const std::string& keys) {
    std::thread person([&] {
      for (int i = 0; i < 100; ++i) {
        std::string window = x_session::find_window(title);
        if (!window.empty()) {
          x_session::press_keys(window, keys);
          return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
    });
    INT_PTR result = DialogBoxParamA(nullptr, MAKEINTRESOURCEA(id), nullptr, procedure, param);
    person.join();
    return result;
  }

  seen_t seen_;
};

TEST_F(DialogTest, ItemsAnswerDuringInitAndDestroyAndAnEarlyEndShowsNothing) {
  g_end_at_init = true;
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(test_dialog_id), nullptr, &test_dialog_proc, 1234), 7);
  EXPECT_EQ(seen_.init_param, 1234);
  // The client area is the template's 120 × 80 dialog units: a base unit of 4 to 12 pixels across
  // and 8 to 24 down.
  EXPECT_EQ(seen_.client.left, 0);
  EXPECT_EQ(seen_.client.top, 0);
  EXPECT_GE(seen_.client.right, 120);
  EXPECT_LE(seen_.client.right, 360);
  EXPECT_GE(seen_.client.bottom, 80);
  EXPECT_LE(seen_.client.bottom, 240);
  EXPECT_TRUE(seen_.destroyed);
  EXPECT_EQ(seen_.selection_at_destroy, 1);
  EXPECT_EQ(seen_.check_at_destroy, BST_CHECKED);
  // Changes made through messages notify nobody.
  EXPECT_TRUE(seen_.commands.empty());
  EXPECT_TRUE(x_session::find_window("^dialog test$").empty());
  // Unknown templates are refused.
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(4242), nullptr, &test_dialog_proc, 0), -1);
}

struct key_case_t {
  const char* keys;
  INT_PTR result;
  std::vector<std::pair<int, int>> commands;
};

class DialogKeyTest : public DialogTest, public ::testing::WithParamInterface<key_case_t> {};

// Return presses the default button unless a push button has the focus, Escape is IDCANCEL, Tab
// follows the template's order and Space ticks a check box, which notifies BN_CLICKED.
TEST_P(DialogKeyTest, KeysPressButtons) {
  const key_case_t& c = GetParam();
  EXPECT_EQ(show_and_press(test_dialog_id, &test_dialog_proc, 0, "^dialog test$", c.keys), c.result);
  EXPECT_EQ(seen_.commands, c.commands);
  EXPECT_EQ(seen_.check_at_destroy, c.keys == std::string("Tab Tab Tab space Return") ? BST_UNCHECKED : BST_CHECKED);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, DialogKeyTest,
    ::testing::Values(key_case_t{"Return", 10, {{first_button, BN_CLICKED}}},
                      key_case_t{"Escape", 20, {{second_button, BN_CLICKED}}},
                      key_case_t{"Tab Return", 20, {{second_button, BN_CLICKED}}},
                      key_case_t{"Tab space", 20, {{second_button, BN_CLICKED}}},
                      key_case_t{"Tab Tab Tab space Return", 10,
                                 {{check_id, BN_CLICKED}, {first_button, BN_CLICKED}}}));

// An adapter from an injected list, whose output has these modes.
class SettingsDialogTest : public DialogTest {
 protected:
  void inject(std::vector<DXGI_MODE_DESC> modes, bool attached = true) {
    dxgi_adapter_info_t info = dxgi_fake_adapter(dxgi_vendor_intel, u"Intel(R) UHD Graphics 630");
    info.outputs[0].modes = std::move(modes);
    info.outputs[0].attached_to_desktop = attached;
    override_ = std::make_unique<dxgi_adapter_override_t>(std::vector<dxgi_adapter_info_t>{info});
    ASSERT_EQ(CreateDXGIFactory(__uuidof(IDXGIFactory), (void**)&factory_.p), S_OK);
    ASSERT_EQ(factory_->EnumAdapters(0, &adapter_), S_OK);
  }
  void TearDown() override {
    adapter_.Release();
    factory_.Release();
    override_.reset();
    DialogTest::TearDown();
  }
  display_settings_t settings() {
    display_settings_t s;
    s.adapter = adapter_;
    s.factory = factory_;
    return s;
  }

  static DXGI_MODE_DESC mode(UINT w, UINT h, UINT hz) {
    DXGI_MODE_DESC m;
    m.Width = w;
    m.Height = h;
    m.RefreshRate = {hz, 1};
    return m;
  }
  static std::vector<DXGI_MODE_DESC> desktop_modes() {
    return {mode(640, 480, 60),    mode(800, 600, 60),    mode(1024, 768, 60),  mode(1280, 720, 60),
            mode(1920, 1080, 59),  mode(1920, 1080, 60),  mode(2560, 1440, 60), mode(3840, 2160, 30)};
  }

  std::unique_ptr<dxgi_adapter_override_t> override_;
  com_ptr_t<IDXGIFactory> factory_;
  com_ptr_t<IDXGIAdapter> adapter_;
};

struct choice_case_t {
  const char* keys;
  INT_PTR result;
  int selected, width, height, refresh;
  bool windowed, vsync;
};

class SettingsDialogChoiceTest : public SettingsDialogTest, public ::testing::WithParamInterface<choice_case_t> {};

// Filtered, the list is 640, 800, 1024, 1280, 1920 × 1080 at 60 Hz, 2560, 3840 wide: 1920 × 1080 is
// preselected. Turning the filter off lists 8 modes and selects ⌊3·8/4⌋ = 6 (2560 × 1440); on again,
// 7 modes and ⌊3·7/4⌋ = 5 (2560 × 1440 again), never the 1920 preference.
TEST_P(SettingsDialogChoiceTest, ChoiceReachesTheRecord) {
  const choice_case_t& c = GetParam();
  inject(desktop_modes());
  display_settings_t chosen = settings();
  EXPECT_EQ(show_and_press(settings_dialog_id, &settings_dialog_proc, reinterpret_cast<LPARAM>(&chosen),
                           "^velmora$", c.keys),
            c.result);
  EXPECT_EQ(chosen.selected, c.selected);
  EXPECT_EQ(chosen.width, c.width);
  EXPECT_EQ(chosen.height, c.height);
  EXPECT_EQ(static_cast<int>(chosen.refresh.Numerator), c.refresh);
  EXPECT_EQ(chosen.windowed, c.windowed);
  EXPECT_EQ(chosen.vsync, c.vsync);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, SettingsDialogChoiceTest,
    ::testing::Values(choice_case_t{"Return", 1, 4, 1920, 1080, 60, false, true},
                      choice_case_t{"Tab Tab Tab space Tab space Return", 1, 4, 1920, 1080, 60, true, false},
                      choice_case_t{"Tab Tab Tab Tab Tab space Return", 1, 6, 2560, 1440, 60, false, true},
                      choice_case_t{"Tab Tab Tab Tab Tab space space Return", 1, 5, 2560, 1440, 60, false, true},
                      choice_case_t{"Tab Return", 0, 4, 1920, 1080, 60, false, true}));

// Without an output attached to the desktop the dialog ends at once with -1, and each dialog writes
// what it read into its own record, not into the first record ever given.
TEST_F(SettingsDialogTest, NoAttachedOutputEndsAtOnceAndEachRecordGetsItsOwnDialog) {
  inject({mode(1280, 720, 60)}, false);
  display_settings_t first = settings();
  display_settings_t second = settings();
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(settings_dialog_id), nullptr, &settings_dialog_proc,
                            reinterpret_cast<LPARAM>(&first)),
            -1);
  EXPECT_FALSE(first.vsync);  // the boxes were never ticked
  first.vsync = true;
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(settings_dialog_id), nullptr, &settings_dialog_proc,
                            reinterpret_cast<LPARAM>(&second)),
            -1);
  EXPECT_TRUE(first.vsync);
  EXPECT_FALSE(second.vsync);
  EXPECT_EQ(second.selected, -1);
  EXPECT_EQ(second.width, -1);
  EXPECT_EQ(second.height, -1);
}

}  // namespace
