#pragma once
// The factory: a snapshot of the adapters at creation, and the maker of swap chains.

#include <vector>

#include "platform/dxgi/adapter_list.h"
#include "platform/dxgi/dxgi.h"

class dxgi_factory_t final : public com_object_t<IDXGIFactory> {
 public:
  explicit dxgi_factory_t(std::vector<dxgi_adapter_info_t> adapters) : adapters_(std::move(adapters)) {}

  HRESULT GetParent(REFIID riid, void** parent) override;
  HRESULT EnumAdapters(UINT index, IDXGIAdapter** adapter) override;
  HRESULT CreateSwapChain(IUnknown* device, DXGI_SWAP_CHAIN_DESC* desc, IDXGISwapChain** swap_chain) override;

 private:
  std::vector<dxgi_adapter_info_t> adapters_;
};
