#pragma once
// The swap chain of one window. The back buffer is an ordinary device texture; Present blits it,
// flipped (D3D's row 0 is the top, GL's default framebuffer starts at the bottom), into the
// window's default framebuffer through the device's own context, then swaps. Full screen uses
// SDL's full-screen mode at the buffer size and refresh rate.

#include "platform/d3d11/d3d11.h"
#include "platform/dxgi/dxgi.h"

struct SDL_Window;
class sdl_gl_context_t;

constexpr UINT DXGI_PRESENT_TEST = 0x1;

class dxgi_swap_chain_t final : public com_object_t<IDXGISwapChain> {
 public:
  static HRESULT create(IDXGIFactory* factory, IUnknown* device, const DXGI_SWAP_CHAIN_DESC* desc,
                        IDXGISwapChain** swap_chain);
  ~dxgi_swap_chain_t() override;

  HRESULT GetParent(REFIID riid, void** parent) override;
  HRESULT GetDevice(REFIID riid, void** device) override;
  HRESULT Present(UINT sync_interval, UINT flags) override;
  HRESULT GetBuffer(UINT buffer, REFIID riid, void** surface) override;
  HRESULT SetFullscreenState(BOOL fullscreen, IDXGIOutput* target) override;
  HRESULT GetFullscreenState(BOOL* fullscreen, IDXGIOutput** target) override;
  HRESULT GetDesc(DXGI_SWAP_CHAIN_DESC* desc) override;
  HRESULT ResizeBuffers(UINT count, UINT width, UINT height, DXGI_FORMAT format, UINT flags) override;

 private:
  dxgi_swap_chain_t() = default;
  HRESULT make_back_buffer(UINT width, UINT height, DXGI_FORMAT format, com_ptr_t<ID3D11Texture2D>& out);
  // The window, or null once it has been destroyed.
  SDL_Window* live_window() const;

  com_ptr_t<IDXGIFactory> factory_;
  com_ptr_t<ID3D11Device> device_;
  sdl_gl_context_t* context_ = nullptr;  // owned by the device
  DXGI_SWAP_CHAIN_DESC desc_;
  SDL_Window* window_ = nullptr;
  uint32_t window_id_ = 0;
  com_ptr_t<ID3D11Texture2D> back_buffer_;
  unsigned read_framebuffer_ = 0;
  int swap_interval_ = -1;
  bool swap_interval_refused_ = false;
  bool fullscreen_ = false;
};
