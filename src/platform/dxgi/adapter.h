#pragma once
// One adapter of a factory's snapshot; hands out its outputs and keeps its factory alive.

#include "platform/dxgi/adapter_list.h"
#include "platform/dxgi/dxgi.h"

class dxgi_adapter_t final : public com_object_t<IDXGIAdapter> {
 public:
  dxgi_adapter_t(IDXGIFactory* factory, dxgi_adapter_info_t info);

  HRESULT GetParent(REFIID riid, void** parent) override;
  HRESULT EnumOutputs(UINT index, IDXGIOutput** output) override;
  HRESULT GetDesc(DXGI_ADAPTER_DESC* desc) override;

  const dxgi_adapter_info_t& info() const { return info_; }

 private:
  com_ptr_t<IDXGIFactory> factory_;
  dxgi_adapter_info_t info_;
};
