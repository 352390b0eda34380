#pragma once
// One display of an adapter: its description and mode list, from the factory's snapshot.

#include "platform/dxgi/adapter_list.h"
#include "platform/dxgi/dxgi.h"

class dxgi_output_t final : public com_object_t<IDXGIOutput> {
 public:
  dxgi_output_t(IDXGIAdapter* adapter, dxgi_output_info_t info);

  HRESULT GetParent(REFIID riid, void** parent) override;
  HRESULT GetDesc(DXGI_OUTPUT_DESC* desc) override;
  HRESULT GetDisplayModeList(DXGI_FORMAT format, UINT flags, UINT* count, DXGI_MODE_DESC* desc) override;

  const dxgi_output_info_t& info() const { return info_; }

 private:
  com_ptr_t<IDXGIAdapter> adapter_;
  dxgi_output_info_t info_;
};
