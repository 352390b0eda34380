// The graphics system's window, swap chain and back buffer in this process, on the test display,
// with the host's window procedure: what the swap chain and the back-buffer record hold, the
// cursor in full screen, and the window messages that resize, or do not resize, the swap chain.

#include <gtest/gtest.h>

#include "x_session.h"

#include <cstdlib>
#include <string>

#include "graphics/graphics_runtime.h"
#include "graphics/graphics_system.h"
#include "host/system.h"
#include "support/systems.h"
#include "platform/win32/module.h"
#include "platform/win32/window_messages.h"

namespace {

std::string size_text(int2 size) { return std::to_string(size.x) + "x" + std::to_string(size.y); }

TEST(GraphicsWindowTest, FullScreenSwapChainBackBufferCursorAndResizeMessages) {
  if (x_session::display_t::get().name().empty()) GTEST_SKIP() << "no X display and Xvfb could not be started";
  setenv("DISPLAY", x_session::display_t::get().name().c_str(), 1);

  systems_t* saved = g_systems;
  systems_t systems;
  g_systems = &systems;
  auto* gsys = new graphics_system_impl_t;
  auto created = gsys->create_device();
  ASSERT_TRUE(created) << created.error();
  S(gsys) = gsys;
  auto* runtime = new graphics_runtime_impl_t(gsys->get_device(), gsys->get_context());
  S(runtime) = runtime;

  const int cursor_before = ShowCursor(TRUE) - 1;
  ShowCursor(FALSE);
  // No caller uses the window without the dialog: full screen (bit 0 clear) at 60 Hz.
  ASSERT_TRUE(gsys->create_window(640, 360, 0, GetModuleHandleA(nullptr), &window_proc));
  EXPECT_FALSE(gsys->is_windowed());
  EXPECT_EQ(ShowCursor(TRUE) - 1, cursor_before - 1) << "the cursor is hidden in full screen";
  ShowCursor(FALSE);

  DXGI_SWAP_CHAIN_DESC desc;
  ASSERT_EQ(gsys->get_swap_chain()->GetDesc(&desc), S_OK);
  EXPECT_EQ(desc.BufferDesc.Width, 640u);
  EXPECT_EQ(desc.BufferDesc.Height, 360u);
  EXPECT_EQ(desc.BufferDesc.Format, DXGI_FORMAT_R8G8B8A8_UNORM);
  EXPECT_EQ(desc.BufferDesc.RefreshRate.Numerator, 60u);
  EXPECT_EQ(desc.BufferDesc.RefreshRate.Denominator, 1u);
  EXPECT_EQ(desc.BufferCount, 2u);
  EXPECT_EQ(desc.OutputWindow, gsys->get_hwnd());

  render_target_t* back = gsys->get_backbuffer();
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->texture.p, nullptr);
  EXPECT_NE(back->rtv.p, nullptr);
  EXPECT_EQ(back->rtv_desc.ViewDimension, D3D11_RTV_DIMENSION_TEXTURE2D);
  EXPECT_EQ(back->texture_desc.Width, 640u);
  EXPECT_EQ(back->texture_desc.Format, DXGI_FORMAT_R8G8B8A8_UNORM);
  ASSERT_NE(back->ds_texture.p, nullptr);
  D3D11_TEXTURE2D_DESC depth;
  back->ds_texture->GetDesc(&depth);
  EXPECT_EQ(depth.Format, DXGI_FORMAT_D24_UNORM_S8_UINT);
  EXPECT_EQ(depth.BindFlags, static_cast<UINT>(D3D11_BIND_DEPTH_STENCIL));
  EXPECT_NE(back->ds_dsv.p, nullptr);
  EXPECT_EQ(back->viewport.Width, 640.0f);
  EXPECT_EQ(back->viewport.Height, 360.0f);
  EXPECT_EQ(back->viewport.MaxDepth, 1.0f);
  EXPECT_EQ(runtime->get_render_target(0), back) << "the new back buffer is bound";
  EXPECT_EQ(size_text(gsys->get_backbuffer_size()), "640x360");
  EXPECT_FLOAT_EQ(gsys->get_aspect_ratio(), 640.0f / 360.0f);

  // Minimised: nothing changes. Restored to a new client size: the swap chain follows.
  const HWND hwnd = gsys->get_hwnd();
  window_proc(hwnd, WM_SIZE, SIZE_MINIMIZED, MAKELPARAM(0, 0));
  EXPECT_EQ(gsys->get_backbuffer(), back);
  EXPECT_EQ(size_text(gsys->get_backbuffer_size()), "640x360");
  window_proc(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(320, 200));
  EXPECT_EQ(size_text(gsys->get_backbuffer_size()), "320x200");
  ASSERT_EQ(gsys->get_swap_chain()->GetDesc(&desc), S_OK);
  EXPECT_EQ(desc.BufferDesc.Width, 320u);
  EXPECT_EQ(desc.BufferDesc.Height, 200u);
  EXPECT_EQ(gsys->get_backbuffer()->texture_desc.Width, 320u);
  EXPECT_EQ(runtime->get_render_target(0), gsys->get_backbuffer());

  // Command 40018 is answered and ignored; Escape asks to quit.
  EXPECT_EQ(window_proc(hwnd, WM_COMMAND, 40018, 0), 0);
  EXPECT_EQ(window_proc(hwnd, WM_KEYDOWN, VK_ESCAPE, 1), 0);
  MSG msg;
  bool quit = false;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) quit |= msg.message == WM_QUIT;
  EXPECT_TRUE(quit);

  gsys->present();
  gsys->shutdown();
  EXPECT_EQ(gsys->get_backbuffer(), nullptr);
  EXPECT_EQ(gsys->get_device(), nullptr);
  EXPECT_EQ(ShowCursor(TRUE) - 1, cursor_before) << "shown again after shutdown";
  ShowCursor(FALSE);
  DestroyWindow(hwnd);
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
  delete runtime;
  delete gsys;
  g_systems = saved;
}

}  // namespace
