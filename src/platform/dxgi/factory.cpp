#include "platform/dxgi/factory.h"

#include <SDL2/SDL.h>

#include "platform/d3d11/gl_context.h"
#include "platform/dxgi/adapter.h"
#include "platform/dxgi/display_outputs.h"
#include "platform/dxgi/dxgi_device.h"
#include "platform/dxgi/sdl_gl_context.h"
#include "platform/dxgi/swap_chain.h"

namespace {

void prepare_platform() {
  win32::set_extra_window_flags(SDL_WINDOW_OPENGL);
  set_dxgi_device_query(&answer_dxgi_device_query);
  if (sdl_has_desktop_video()) set_gl_context_factory(&create_presentable_gl_context);
}

}  // namespace

HRESULT dxgi_factory_t::GetParent(REFIID, void** parent) {
  if (!parent) return DXGI_ERROR_INVALID_CALL;
  *parent = nullptr;
  return E_NOINTERFACE;
}

HRESULT dxgi_factory_t::EnumAdapters(UINT index, IDXGIAdapter** adapter) {
  if (!adapter) return DXGI_ERROR_INVALID_CALL;
  *adapter = nullptr;
  if (index >= adapters_.size()) return DXGI_ERROR_NOT_FOUND;
  *adapter = new dxgi_adapter_t(this, adapters_[index]);
  return S_OK;
}

HRESULT dxgi_factory_t::CreateSwapChain(IUnknown* device, DXGI_SWAP_CHAIN_DESC* desc,
                                        IDXGISwapChain** swap_chain) {
  return dxgi_swap_chain_t::create(this, device, desc, swap_chain);
}

HRESULT CreateDXGIFactory(REFIID riid, void** factory) {
  if (!factory) return DXGI_ERROR_INVALID_CALL;
  *factory = nullptr;
  prepare_platform();
  com_ptr_t<IDXGIFactory> made;
  made.attach(new dxgi_factory_t(dxgi_current_adapters()));
  return made->QueryInterface(riid, factory);
}
