#include "platform/dxgi/swap_chain.h"

#include <SDL2/SDL.h>
#include <epoxy/gl.h>

#include <cmath>

#include "platform/d3d11/gl_context.h"
#include "platform/dxgi/sdl_gl_context.h"
#include "platform/win32/window.h"
#include "platform/win32/debugger.h"

namespace {

bool is_display_format(DXGI_FORMAT format) {
  switch (format) {
    case DXGI_FORMAT_R8G8B8A8_UNORM:
    case DXGI_FORMAT_R8G8B8A8_UNORM_SRGB:
    case DXGI_FORMAT_B8G8R8A8_UNORM:
    case DXGI_FORMAT_B8G8R8A8_UNORM_SRGB:
    case DXGI_FORMAT_R10G10B10A2_UNORM:
    case DXGI_FORMAT_R16G16B16A16_FLOAT:
      return true;
    default:
      return false;
  }
}

int refresh_hz(const DXGI_RATIONAL& rate) {
  if (rate.Denominator == 0) return 0;
  return static_cast<int>(std::lround(static_cast<double>(rate.Numerator) / rate.Denominator));
}

// A reference besides the swap chain's own means the application still holds the buffer.
bool referenced_elsewhere(IUnknown* object) {
  const ULONG count = object->AddRef();
  object->Release();
  return count > 2;
}

}  // namespace

HRESULT dxgi_swap_chain_t::create(IDXGIFactory* factory, IUnknown* device, const DXGI_SWAP_CHAIN_DESC* desc,
                                  IDXGISwapChain** swap_chain) {
  if (!swap_chain) return DXGI_ERROR_INVALID_CALL;
  *swap_chain = nullptr;
  if (!device || !desc) return DXGI_ERROR_INVALID_CALL;

  com_ptr_t<dxgi_swap_chain_t> chain;
  chain.attach(new dxgi_swap_chain_t());
  chain->factory_ = factory;
  if (FAILED(device->QueryInterface(__uuidof(ID3D11Device), (void**)&chain->device_.p)))
    return DXGI_ERROR_INVALID_CALL;
  chain->context_ = dynamic_cast<sdl_gl_context_t*>(gl_context_of(chain->device_));
  if (!chain->context_) {
    PLATFORM_LOG_ERR("CreateSwapChain: the device has no window-capable GL context (made without a display?)");
    return DXGI_ERROR_UNSUPPORTED;
  }
  chain->window_ = win32::get_sdl_window(desc->OutputWindow);
  if (!chain->window_) return DXGI_ERROR_INVALID_CALL;
  chain->window_id_ = SDL_GetWindowID(chain->window_);

  DXGI_SWAP_CHAIN_DESC normalized = *desc;
  if (normalized.BufferDesc.Width == 0 || normalized.BufferDesc.Height == 0) {
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(chain->window_, &w, &h);
    if (normalized.BufferDesc.Width == 0) normalized.BufferDesc.Width = static_cast<UINT>(std::max(w, 1));
    if (normalized.BufferDesc.Height == 0) normalized.BufferDesc.Height = static_cast<UINT>(std::max(h, 1));
  }
  if (normalized.BufferCount == 0 || !is_display_format(normalized.BufferDesc.Format))
    return DXGI_ERROR_INVALID_CALL;
  if (normalized.SampleDesc.Count != 1 || normalized.SampleDesc.Quality != 0) return DXGI_ERROR_UNSUPPORTED;
  chain->desc_ = normalized;

  if (!chain->context_->set_target_window(chain->window_)) {
    PLATFORM_LOG_ERR("CreateSwapChain: cannot make the device context current on the window: %s", SDL_GetError());
    chain->context_->set_target_window(nullptr);
    return DXGI_ERROR_UNSUPPORTED;
  }
  glCreateFramebuffers(1, &chain->read_framebuffer_);

  const HRESULT hr = chain->make_back_buffer(normalized.BufferDesc.Width, normalized.BufferDesc.Height,
                                             normalized.BufferDesc.Format, chain->back_buffer_);
  if (FAILED(hr)) return hr;
  chain->desc_.Windowed = TRUE;
  if (!normalized.Windowed) chain->SetFullscreenState(TRUE, nullptr);
  *swap_chain = chain.detach();
  return S_OK;
}

dxgi_swap_chain_t::~dxgi_swap_chain_t() {
  // Leaving full screen restores the desktop mode even when the owner never asked for it.
  if (SDL_Window* window = live_window(); window && fullscreen_) SDL_SetWindowFullscreen(window, 0);
  if (context_) {
    context_->make_current();
    if (read_framebuffer_) glDeleteFramebuffers(1, &read_framebuffer_);
    back_buffer_.Release();
    context_->set_target_window(nullptr);
  }
}

SDL_Window* dxgi_swap_chain_t::live_window() const {
  if (!window_ || SDL_GetWindowFromID(window_id_) != window_) return nullptr;
  return window_;
}

HRESULT dxgi_swap_chain_t::make_back_buffer(UINT width, UINT height, DXGI_FORMAT format,
                                            com_ptr_t<ID3D11Texture2D>& out) {
  D3D11_TEXTURE2D_DESC texture;
  texture.Width = width;
  texture.Height = height;
  texture.MipLevels = 1;
  texture.ArraySize = 1;
  texture.Format = format;
  texture.SampleDesc = {1, 0};
  texture.Usage = D3D11_USAGE_DEFAULT;
  texture.BindFlags = D3D11_BIND_RENDER_TARGET;
  if (desc_.BufferUsage & DXGI_USAGE_SHADER_INPUT) texture.BindFlags |= D3D11_BIND_SHADER_RESOURCE;
  return device_->CreateTexture2D(&texture, nullptr, &out);
}

HRESULT dxgi_swap_chain_t::GetParent(REFIID riid, void** parent) {
  if (!parent) return DXGI_ERROR_INVALID_CALL;
  return factory_->QueryInterface(riid, parent);
}

HRESULT dxgi_swap_chain_t::GetDevice(REFIID riid, void** device) {
  if (!device) return DXGI_ERROR_INVALID_CALL;
  return device_->QueryInterface(riid, device);
}

HRESULT dxgi_swap_chain_t::Present(UINT sync_interval, UINT flags) {
  SDL_Window* window = live_window();
  if (!window || !back_buffer_) return DXGI_ERROR_INVALID_CALL;
  if (flags & DXGI_PRESENT_TEST) return S_OK;
  if (!context_->make_current()) return DXGI_ERROR_DEVICE_REMOVED;

  const int interval = sync_interval > 0 ? 1 : 0;
  if (interval != swap_interval_) {
    swap_interval_ = interval;
    // Xvfb refuses any interval; the frame is still presented.
    if (SDL_GL_SetSwapInterval(interval) != 0 && !swap_interval_refused_) {
      swap_interval_refused_ = true;
      PLATFORM_LOG_DBG("Swap interval %d refused: %s", interval, SDL_GetError());
    }
  }

  gl_flush_pending(device_);
  const unsigned texture = gl_texture_name(back_buffer_);
  if (!texture) return DXGI_ERROR_INVALID_CALL;
  glNamedFramebufferTexture(read_framebuffer_, GL_COLOR_ATTACHMENT0, texture, 0);
  glNamedFramebufferReadBuffer(read_framebuffer_, GL_COLOR_ATTACHMENT0);

  int window_width = 0, window_height = 0;
  SDL_GL_GetDrawableSize(window, &window_width, &window_height);
  const auto width = static_cast<GLint>(desc_.BufferDesc.Width);
  const auto height = static_cast<GLint>(desc_.BufferDesc.Height);
  // Blits obey the scissor test and sRGB conversion; the device may have left either on, and the
  // window's framebuffer is usually sRGB-capable. The buffer's bytes go to the screen unchanged.
  const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
  const GLboolean srgb = glIsEnabled(GL_FRAMEBUFFER_SRGB);
  if (scissor) glDisable(GL_SCISSOR_TEST);
  if (srgb) glDisable(GL_FRAMEBUFFER_SRGB);
  const GLenum filter = width == window_width && height == window_height ? GL_NEAREST : GL_LINEAR;
  glBlitNamedFramebuffer(read_framebuffer_, 0, 0, 0, width, height, 0, window_height, window_width, 0,
                         GL_COLOR_BUFFER_BIT, filter);
  if (scissor) glEnable(GL_SCISSOR_TEST);
  if (srgb) glEnable(GL_FRAMEBUFFER_SRGB);
  SDL_GL_SwapWindow(window);
  return S_OK;
}

HRESULT dxgi_swap_chain_t::GetBuffer(UINT buffer, REFIID riid, void** surface) {
  if (!surface) return DXGI_ERROR_INVALID_CALL;
  *surface = nullptr;
  if (buffer != 0 || !back_buffer_) return DXGI_ERROR_INVALID_CALL;
  return back_buffer_->QueryInterface(riid, surface);
}

HRESULT dxgi_swap_chain_t::SetFullscreenState(BOOL fullscreen, IDXGIOutput*) {
  SDL_Window* window = live_window();
  if (!window) return DXGI_ERROR_INVALID_CALL;
  if (fullscreen) {
    const int display = std::max(SDL_GetWindowDisplayIndex(window), 0);
    SDL_DisplayMode wanted{};
    wanted.w = static_cast<int>(desc_.BufferDesc.Width);
    wanted.h = static_cast<int>(desc_.BufferDesc.Height);
    wanted.refresh_rate = refresh_hz(desc_.BufferDesc.RefreshRate);
    SDL_DisplayMode closest{};
    const SDL_DisplayMode* mode = SDL_GetClosestDisplayMode(display, &wanted, &closest) ? &closest : nullptr;
    if (SDL_SetWindowDisplayMode(window, mode) != 0 ||
        SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN) != 0) {
      PLATFORM_LOG_WRN("Full screen %dx%d (%dHz) refused: %s", wanted.w, wanted.h, wanted.refresh_rate,
              SDL_GetError());
      return DXGI_ERROR_NOT_CURRENTLY_AVAILABLE;
    }
  } else if (SDL_SetWindowFullscreen(window, 0) != 0) {
    return DXGI_ERROR_NOT_CURRENTLY_AVAILABLE;
  }
  fullscreen_ = fullscreen != FALSE;
  desc_.Windowed = fullscreen_ ? FALSE : TRUE;
  return S_OK;
}

HRESULT dxgi_swap_chain_t::GetFullscreenState(BOOL* fullscreen, IDXGIOutput** target) {
  if (fullscreen) *fullscreen = fullscreen_ ? TRUE : FALSE;
  if (target) *target = nullptr;
  return S_OK;
}

HRESULT dxgi_swap_chain_t::GetDesc(DXGI_SWAP_CHAIN_DESC* desc) {
  if (!desc) return DXGI_ERROR_INVALID_CALL;
  *desc = desc_;
  return S_OK;
}

HRESULT dxgi_swap_chain_t::ResizeBuffers(UINT count, UINT width, UINT height, DXGI_FORMAT format,
                                         UINT flags) {
  // Views released by the caller let go of the buffer only once the device's queue has run.
  if (context_->make_current()) gl_flush_pending(device_);
  if (back_buffer_ && referenced_elsewhere(back_buffer_)) return DXGI_ERROR_INVALID_CALL;
  if (format == DXGI_FORMAT_UNKNOWN) format = desc_.BufferDesc.Format;
  if (!is_display_format(format)) return DXGI_ERROR_INVALID_CALL;
  if (width == 0 || height == 0) {
    int w = 0, h = 0;
    if (SDL_Window* window = live_window()) SDL_GL_GetDrawableSize(window, &w, &h);
    if (width == 0) width = static_cast<UINT>(std::max(w, 1));
    if (height == 0) height = static_cast<UINT>(std::max(h, 1));
  }
  if (!context_->make_current()) return DXGI_ERROR_DEVICE_REMOVED;
  // The old buffer goes first so that the two never take memory at once.
  back_buffer_.Release();
  const HRESULT hr = make_back_buffer(width, height, format, back_buffer_);
  if (FAILED(hr)) return hr;
  if (count != 0) desc_.BufferCount = count;
  desc_.BufferDesc.Width = width;
  desc_.BufferDesc.Height = height;
  desc_.BufferDesc.Format = format;
  desc_.Flags = flags;
  return S_OK;
}
