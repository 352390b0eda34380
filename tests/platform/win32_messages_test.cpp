// Window messages over SDL events, on SDL's display-less dummy video driver.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "platform/win32/window.h"
#include "platform/win32/window_messages.h"

namespace {

struct seen_t {
  UINT message;
  WPARAM wparam;
  LPARAM lparam;
  bool operator==(const seen_t&) const = default;
};

std::vector<seen_t> seen;

// Shaped like the host's procedure: quits on destroy and on Escape.
LRESULT test_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  seen.push_back({message, wparam, lparam});
  if (message == WM_DESTROY) PostQuitMessage(0);
  if (message == WM_KEYDOWN && LOWORD(wparam) == VK_ESCAPE) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(hwnd, message, wparam, lparam);
}

void push_window_event(HWND hwnd, Uint8 kind, int data1 = 0, int data2 = 0) {
  SDL_Event event{};
  event.type = SDL_WINDOWEVENT;
  event.window.windowID = SDL_GetWindowID(win32::get_sdl_window(hwnd));
  event.window.event = kind;
  event.window.data1 = data1;
  event.window.data2 = data2;
  ASSERT_EQ(SDL_PushEvent(&event), 1);
}

void push_key(HWND hwnd, SDL_Keycode key) {
  SDL_Event event{};
  event.type = SDL_KEYDOWN;
  event.key.windowID = SDL_GetWindowID(win32::get_sdl_window(hwnd));
  event.key.state = SDL_PRESSED;
  event.key.keysym.sym = key;
  ASSERT_EQ(SDL_PushEvent(&event), 1);
}

// Drains like the frame loop: returns the messages Peek handed out, up to and with WM_QUIT.
std::vector<UINT> drain() {
  std::vector<UINT> returned;
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    returned.push_back(msg.message);
    if (msg.message == WM_QUIT) break;
  }
  return returned;
}

class Win32MessagesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    ASSERT_TRUE(win32::ensure_sdl_video()) << SDL_GetError();
    WNDCLASSEXA window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = test_proc;
    window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    window_class.lpszClassName = "TestWindowClass";
    ASSERT_NE(RegisterClassExA(&window_class), 0);
    EXPECT_EQ(RegisterClassExA(&window_class), 0) << "a class registers once";
  }

  void SetUp() override {
    seen.clear();
    drain();
    hwnd = CreateWindowExA(0, "TestWindowClass", "test window", 0x16CF0000, CW_USEDEFAULT, CW_USEDEFAULT, 320,
                           200, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(hwnd, nullptr);
  }

  void TearDown() override {
    if (win32::get_sdl_window(hwnd)) DestroyWindow(hwnd);
    drain();
  }

  HWND hwnd = nullptr;
};

TEST_F(Win32MessagesTest, CreationSendsSizeAndMove) {
  ASSERT_GE(seen.size(), 2u);
  EXPECT_EQ(seen[0].message, WM_SIZE);
  EXPECT_EQ(seen[0].wparam, SIZE_RESTORED);
  EXPECT_EQ(LOWORD(seen[0].lparam), 320);
  EXPECT_EQ(HIWORD(seen[0].lparam), 200);
  EXPECT_EQ(seen[1].message, WM_MOVE);
  RECT client;
  ASSERT_TRUE(GetClientRect(hwnd, &client));
  EXPECT_EQ(client.right, 320);
  EXPECT_EQ(client.bottom, 200);
}

TEST_F(Win32MessagesTest, SetWindowPosSizesTheClientAreaOnceAndMovesToMinusOne) {
  seen.clear();
  RECT outer, client;
  GetWindowRect(hwnd, &outer);
  GetClientRect(hwnd, &client);
  int frame_w = (outer.right - outer.left) - client.right;
  int frame_h = (outer.bottom - outer.top) - client.bottom;
  ASSERT_TRUE(
      SetWindowPos(hwnd, nullptr, -1, -1, 640 + frame_w, 360 + frame_h, SWP_NOOWNERZORDER | SWP_NOZORDER));
  drain();
  std::vector<seen_t> expected = {{WM_SIZE, SIZE_RESTORED, MAKELPARAM(640, 360)},
                                  {WM_MOVE, 0, MAKELPARAM(65535, 65535)}};
  EXPECT_EQ(seen, expected) << "the SDL echo of the change is not sent again";
}

TEST_F(Win32MessagesTest, WindowEventsBecomeSizeAndMoveMessages) {
  seen.clear();
  push_window_event(hwnd, SDL_WINDOWEVENT_MOVED, -1, 7);
  push_window_event(hwnd, SDL_WINDOWEVENT_MINIMIZED);
  push_window_event(hwnd, SDL_WINDOWEVENT_RESTORED);
  push_window_event(hwnd, SDL_WINDOWEVENT_SIZE_CHANGED, 800, 450);
  EXPECT_TRUE(drain().empty()) << "sent messages are not returned by the peek";
  std::vector<seen_t> expected = {
      {WM_MOVE, 0, MAKELPARAM(65535, 7)},
      {WM_SIZE, SIZE_MINIMIZED, 0},
      {WM_SIZE, SIZE_RESTORED, MAKELPARAM(320, 200)},
      {WM_SIZE, SIZE_RESTORED, MAKELPARAM(800, 450)},
  };
  EXPECT_EQ(seen, expected);
}

TEST_F(Win32MessagesTest, EscapeIsPostedAndDispatchedThenQuitComes) {
  seen.clear();
  push_key(hwnd, SDLK_ESCAPE);
  std::vector<UINT> returned = drain();
  EXPECT_EQ(returned, (std::vector<UINT>{WM_KEYDOWN, WM_QUIT}));
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].message, WM_KEYDOWN);
  EXPECT_EQ(seen[0].wparam, VK_ESCAPE);
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) << "the quit message comes once";
}

TEST_F(Win32MessagesTest, CloseDestroysThenQuitIsSeenByThePeek) {
  seen.clear();
  push_window_event(hwnd, SDL_WINDOWEVENT_CLOSE);
  std::vector<UINT> returned = drain();
  EXPECT_EQ(returned, (std::vector<UINT>{WM_QUIT}));
  std::vector<seen_t> expected = {{WM_CLOSE, 0, 0}, {WM_DESTROY, 0, 0}};
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(win32::get_sdl_window(hwnd), nullptr) << "the window is gone";
}

TEST_F(Win32MessagesTest, PostedMessagesComeBeforeQuit) {
  seen.clear();
  PostQuitMessage(0);
  ASSERT_TRUE(PostMessageA(hwnd, WM_COMMAND, 40018, 0));
  EXPECT_EQ(drain(), (std::vector<UINT>{WM_COMMAND, WM_QUIT}));
  std::vector<seen_t> expected = {{WM_COMMAND, 40018, 0}};
  EXPECT_EQ(seen, expected);
}

TEST(Win32MetricsTest, FullScreenSizeIsPositive) {
  EXPECT_GT(GetSystemMetrics(SM_CXFULLSCREEN), 0);
  EXPECT_GT(GetSystemMetrics(SM_CYFULLSCREEN), 0);
  EXPECT_GT(GetSystemMetrics(SM_CXSCREEN), 0);
  int hidden = ShowCursor(FALSE);
  EXPECT_EQ(ShowCursor(TRUE), hidden + 1);
}

}  // namespace
