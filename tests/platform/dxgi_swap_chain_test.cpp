#include <SDL2/SDL.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <fmt/printf.h>

#include "platform/d3d11/d3d11.h"
#include "platform/d3d11/gl_context.h"
#include "platform/dxgi/dxgi.h"
#include "platform/win32/window.h"
#include "platform/win32/window_messages.h"

namespace {

// An Xvfb server of our own when the environment has no display; it picks a free display
// number itself (-displayfd) and reports it once it accepts connections.
class xvfb_server_t {
 public:
  static std::optional<xvfb_server_t> start(std::string& failure) {
    int fds[2];
    if (pipe(fds) != 0) {
      failure = "pipe failed";
      return std::nullopt;
    }
    const pid_t pid = fork();
    if (pid == 0) {
      close(fds[0]);
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      const std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "640x480x24", "-nolisten", "tcp",
             static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
      close(fds[0]);
      failure = "fork failed";
      return std::nullopt;
    }
    std::string number;
    pollfd ready{fds[0], POLLIN, 0};
    char c = 0;
    while (poll(&ready, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number.push_back(c);
    close(fds[0]);
    if (number.empty()) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
      failure = "Xvfb did not start";
      return std::nullopt;
    }
    return xvfb_server_t(pid, ":" + number);
  }

  void stop() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }
  const std::string& display() const { return display_; }

 private:
  xvfb_server_t(pid_t pid, std::string display) : pid_(pid), display_(std::move(display)) {}
  pid_t pid_ = -1;
  std::string display_;
};

struct rgba_t {
  int r, g, b, a;
};

LRESULT test_window_procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  return DefWindowProcA(hwnd, message, wparam, lparam);
}

class DxgiSwapChainTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    skip_reason_ = new std::string();
    // Earlier tests may have started SDL on its offscreen driver while there was no display.
    if (SDL_WasInit(SDL_INIT_VIDEO) && SDL_GetCurrentVideoDriver() != std::string("x11"))
      SDL_QuitSubSystem(SDL_INIT_VIDEO);
    if (!getenv("DISPLAY") || !*getenv("DISPLAY")) {
      auto server = xvfb_server_t::start(*skip_reason_);
      if (!server) return;
      server_ = new xvfb_server_t(*server);
      setenv("DISPLAY", server_->display().c_str(), 1);
    }
    if (!win32::ensure_sdl_video()) {
      *skip_reason_ = std::string("SDL video: ") + SDL_GetError();
      return;
    }
    if (SDL_GetCurrentVideoDriver() != std::string("x11")) {
      *skip_reason_ = std::string("not an X11 display: ") + SDL_GetCurrentVideoDriver();
      return;
    }
    WNDCLASSEXA window_class;
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = &test_window_procedure;
    window_class.lpszClassName = "DxgiSwapChainTest";
    window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    RegisterClassExA(&window_class);
    skip_reason_->clear();
    ready_ = true;
  }

  static void TearDownTestSuite() {
    // Later tests in this process get the headless context again, and nothing keeps a
    // connection to a server that is about to go away.
    set_gl_context_factory({});
    if (ready_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    if (server_) {
      server_->stop();
      delete server_;
      server_ = nullptr;
      unsetenv("DISPLAY");
    }
    delete skip_reason_;
    skip_reason_ = nullptr;
    ready_ = false;
  }

  void SetUp() override {
    if (!ready_) GTEST_SKIP() << "no X display for swap-chain tests: " << *skip_reason_;
    ASSERT_EQ(CreateDXGIFactory(__uuidof(IDXGIFactory), (void**)&factory_.p), S_OK);
    D3D_FEATURE_LEVEL level{};
    ASSERT_EQ(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION,
                                &device_, &level, &context_),
              S_OK);
    ASSERT_STREQ(gl_context_of(device_)->description(), "SDL window");
    hwnd_ = CreateWindowExA(0, "DxgiSwapChainTest", "dxgi test", WS_POPUP | WS_VISIBLE, 10, 20, width_,
                            height_, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(hwnd_, nullptr);
  }

  void TearDown() override {
    swap_chain_.Release();
    context_.Release();
    device_.Release();
    factory_.Release();
    if (hwnd_) DestroyWindow(hwnd_);
  }

  HRESULT make_swap_chain(UINT width, UINT height, BOOL windowed) {
    DXGI_SWAP_CHAIN_DESC desc;
    desc.BufferDesc.Width = width;
    desc.BufferDesc.Height = height;
    desc.BufferDesc.RefreshRate = {60, 1};
    desc.BufferDesc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    desc.SampleDesc = {1, 0};
    desc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
    desc.BufferCount = 2;
    desc.OutputWindow = hwnd_;
    desc.Windowed = windowed;
    desc.SwapEffect = DXGI_SWAP_EFFECT_DISCARD;
    return factory_->CreateSwapChain(device_, &desc, &swap_chain_);
  }

  com_ptr_t<ID3D11Texture2D> back_buffer() {
    com_ptr_t<ID3D11Texture2D> texture;
    EXPECT_EQ(swap_chain_->GetBuffer(0, __uuidof(ID3D11Texture2D), (void**)&texture.p), S_OK);
    return texture;
  }

  void clear_back_buffer(const float color[4]) {
    auto texture = back_buffer();
    com_ptr_t<ID3D11RenderTargetView> view;
    ASSERT_EQ(device_->CreateRenderTargetView(texture, nullptr, &view), S_OK);
    context_->ClearRenderTargetView(view, color);
  }

  // Top half red, bottom half blue, in D3D row order (row 0 at the top).
  void fill_halves() {
    auto texture = back_buffer();
    D3D11_TEXTURE2D_DESC desc;
    texture->GetDesc(&desc);
    std::vector<uint8_t> texels(desc.Width * desc.Height * 4);
    for (UINT y = 0; y < desc.Height; ++y)
      for (UINT x = 0; x < desc.Width; ++x) {
        uint8_t* t = &texels[(y * desc.Width + x) * 4];
        const bool top = y < desc.Height / 2;
        t[0] = top ? 255 : 0;
        t[2] = top ? 0 : 255;
        t[3] = 255;
      }
    context_->UpdateSubresource(texture, 0, nullptr, texels.data(), desc.Width * 4, 0);
  }

  // What the X server shows of the window, captured by ImageMagick; row 0 is the top.
  std::vector<rgba_t> screen_pixels() {
    int x = 0, y = 0;
    SDL_GetWindowPosition(win32::get_sdl_window(hwnd_), &x, &y);
    const std::string command =
        fmt::sprintf("import -display %s -window root -crop %dx%d+%d+%d -depth 8 rgba:-", getenv("DISPLAY"),
                     width_, height_, x, y);
    std::vector<rgba_t> pixels;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return pixels;
    unsigned char p[4];
    while (fread(p, 1, 4, pipe) == 4) pixels.push_back({p[0], p[1], p[2], p[3]});
    pclose(pipe);
    return pixels;
  }

  static void expect_pixel(const std::vector<rgba_t>& pixels, int x, int y, rgba_t want) {
    ASSERT_EQ(pixels.size(), static_cast<size_t>(width_ * height_));
    const rgba_t got = pixels[y * width_ + x];
    EXPECT_NEAR(got.r, want.r, 1) << "at " << x << "," << y;
    EXPECT_NEAR(got.g, want.g, 1) << "at " << x << "," << y;
    EXPECT_NEAR(got.b, want.b, 1) << "at " << x << "," << y;
  }

  static constexpr int width_ = 64;
  static constexpr int height_ = 48;
  static inline bool ready_ = false;
  static inline std::string* skip_reason_ = nullptr;
  static inline xvfb_server_t* server_ = nullptr;

  com_ptr_t<IDXGIFactory> factory_;
  com_ptr_t<ID3D11Device> device_;
  com_ptr_t<ID3D11DeviceContext> context_;
  com_ptr_t<IDXGISwapChain> swap_chain_;
  HWND hwnd_ = nullptr;
};

TEST_F(DxgiSwapChainTest, PresentsTheClearedBackBuffer) {
  ASSERT_EQ(make_swap_chain(width_, height_, TRUE), S_OK);
  D3D11_TEXTURE2D_DESC desc;
  back_buffer()->GetDesc(&desc);
  EXPECT_EQ(desc.Width, static_cast<UINT>(width_));
  EXPECT_EQ(desc.Height, static_cast<UINT>(height_));
  EXPECT_EQ(desc.Format, DXGI_FORMAT_R8G8B8A8_UNORM);
  EXPECT_TRUE(desc.BindFlags & D3D11_BIND_RENDER_TARGET);

  const float color[4] = {0.25f, 0.5f, 0.75f, 1.0f};
  clear_back_buffer(color);
  EXPECT_EQ(swap_chain_->Present(1, 0), S_OK);
  const auto pixels = screen_pixels();
  expect_pixel(pixels, 0, 0, {64, 128, 191, 255});
  expect_pixel(pixels, width_ - 1, height_ - 1, {64, 128, 191, 255});
}

TEST_F(DxgiSwapChainTest, TopRowOfTheBackBufferIsTheTopOfTheWindow) {
  ASSERT_EQ(make_swap_chain(width_, height_, TRUE), S_OK);
  fill_halves();
  EXPECT_EQ(swap_chain_->Present(0, 0), S_OK);
  const auto pixels = screen_pixels();
  expect_pixel(pixels, 5, 0, {255, 0, 0, 255});
  expect_pixel(pixels, 5, height_ / 2 - 1, {255, 0, 0, 255});
  expect_pixel(pixels, 5, height_ / 2, {0, 0, 255, 255});
  expect_pixel(pixels, 5, height_ - 1, {0, 0, 255, 255});
}

TEST_F(DxgiSwapChainTest, ResizeMakesANewBufferOnceTheOldOneIsReleased) {
  ASSERT_EQ(make_swap_chain(width_, height_, TRUE), S_OK);
  {
    auto held = back_buffer();
    EXPECT_EQ(swap_chain_->ResizeBuffers(2, 32, 24, DXGI_FORMAT_UNKNOWN, 0), DXGI_ERROR_INVALID_CALL);
  }
  ASSERT_EQ(swap_chain_->ResizeBuffers(2, 32, 24, DXGI_FORMAT_UNKNOWN, 0), S_OK);
  D3D11_TEXTURE2D_DESC desc;
  back_buffer()->GetDesc(&desc);
  EXPECT_EQ(desc.Width, 32u);
  EXPECT_EQ(desc.Height, 24u);
  EXPECT_EQ(desc.Format, DXGI_FORMAT_R8G8B8A8_UNORM);
  DXGI_SWAP_CHAIN_DESC chain;
  ASSERT_EQ(swap_chain_->GetDesc(&chain), S_OK);
  EXPECT_EQ(chain.BufferDesc.Width, 32u);

  // The smaller buffer is stretched over the window, still the right way up.
  fill_halves();
  EXPECT_EQ(swap_chain_->Present(0, 0), S_OK);
  const auto pixels = screen_pixels();
  expect_pixel(pixels, 30, 2, {255, 0, 0, 255});
  expect_pixel(pixels, 30, height_ - 3, {0, 0, 255, 255});
}

TEST_F(DxgiSwapChainTest, FullScreenChainStartsFullScreen) {
  ASSERT_EQ(make_swap_chain(width_, height_, FALSE), S_OK);
  BOOL fullscreen = FALSE;
  ASSERT_EQ(swap_chain_->GetFullscreenState(&fullscreen, nullptr), S_OK);
  EXPECT_EQ(fullscreen, TRUE);
  EXPECT_TRUE(SDL_GetWindowFlags(win32::get_sdl_window(hwnd_)) & SDL_WINDOW_FULLSCREEN);
  EXPECT_EQ(swap_chain_->Present(1, 0), S_OK);
  ASSERT_EQ(swap_chain_->SetFullscreenState(FALSE, nullptr), S_OK);
  EXPECT_FALSE(SDL_GetWindowFlags(win32::get_sdl_window(hwnd_)) & SDL_WINDOW_FULLSCREEN);
}

TEST_F(DxgiSwapChainTest, WindowClosedBeforeTheChainIsReleased) {
  ASSERT_EQ(make_swap_chain(width_, height_, TRUE), S_OK);
  DestroyWindow(hwnd_);
  hwnd_ = nullptr;
  EXPECT_EQ(swap_chain_->Present(1, 0), DXGI_ERROR_INVALID_CALL);
  swap_chain_.Release();
  // The device carries on without the window.
  D3D11_TEXTURE2D_DESC desc;
  desc.Width = 4;
  desc.Height = 4;
  desc.MipLevels = 1;
  desc.ArraySize = 1;
  desc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
  desc.BindFlags = D3D11_BIND_RENDER_TARGET;
  com_ptr_t<ID3D11Texture2D> texture;
  EXPECT_EQ(device_->CreateTexture2D(&desc, nullptr, &texture), S_OK);
  com_ptr_t<ID3D11RenderTargetView> view;
  EXPECT_EQ(device_->CreateRenderTargetView(texture, nullptr, &view), S_OK);
  const float color[4] = {1, 0, 0, 1};
  context_->ClearRenderTargetView(view, color);
  context_->Flush();
}

TEST_F(DxgiSwapChainTest, RejectsWhatItCannotPresent) {
  DXGI_SWAP_CHAIN_DESC desc;
  desc.BufferDesc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
  desc.BufferCount = 2;
  desc.OutputWindow = nullptr;
  desc.Windowed = TRUE;
  EXPECT_EQ(factory_->CreateSwapChain(device_, &desc, &swap_chain_), DXGI_ERROR_INVALID_CALL);
  EXPECT_EQ(swap_chain_.p, nullptr);
  desc.OutputWindow = hwnd_;
  desc.BufferDesc.Format = DXGI_FORMAT_BC1_UNORM;
  EXPECT_EQ(factory_->CreateSwapChain(device_, &desc, &swap_chain_), DXGI_ERROR_INVALID_CALL);
  // A zero size takes the window's.
  desc.BufferDesc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
  ASSERT_EQ(factory_->CreateSwapChain(device_, &desc, &swap_chain_), S_OK);
  D3D11_TEXTURE2D_DESC texture;
  back_buffer()->GetDesc(&texture);
  EXPECT_EQ(texture.Width, static_cast<UINT>(width_));
  EXPECT_EQ(texture.Height, static_cast<UINT>(height_));
  void* second = &second;
  EXPECT_EQ(swap_chain_->GetBuffer(1, __uuidof(ID3D11Texture2D), &second), DXGI_ERROR_INVALID_CALL);
  EXPECT_EQ(second, nullptr);
}

}  // namespace
