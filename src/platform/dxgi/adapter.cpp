#include "platform/dxgi/adapter.h"

#include <algorithm>

#include "platform/dxgi/output.h"

dxgi_adapter_t::dxgi_adapter_t(IDXGIFactory* factory, dxgi_adapter_info_t info)
    : factory_(factory), info_(std::move(info)) {}

HRESULT dxgi_adapter_t::GetParent(REFIID riid, void** parent) {
  if (!parent) return DXGI_ERROR_INVALID_CALL;
  return factory_->QueryInterface(riid, parent);
}

HRESULT dxgi_adapter_t::EnumOutputs(UINT index, IDXGIOutput** output) {
  if (!output) return DXGI_ERROR_INVALID_CALL;
  *output = nullptr;
  if (index >= info_.outputs.size()) return DXGI_ERROR_NOT_FOUND;
  *output = new dxgi_output_t(this, info_.outputs[index]);
  return S_OK;
}

HRESULT dxgi_adapter_t::GetDesc(DXGI_ADAPTER_DESC* desc) {
  if (!desc) return E_INVALIDARG;
  *desc = DXGI_ADAPTER_DESC{};
  const size_t length = std::min(info_.description.size(), std::size(desc->Description) - 1);
  std::copy_n(info_.description.begin(), length, desc->Description);
  desc->VendorId = info_.vendor_id;
  desc->DeviceId = info_.device_id;
  desc->DedicatedVideoMemory = info_.dedicated_video_memory;
  desc->SharedSystemMemory = info_.shared_system_memory;
  return S_OK;
}
