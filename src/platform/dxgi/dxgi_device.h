#pragma once
// The IDXGIDevice face of a Direct3D device (what QueryInterface(__uuidof(IDXGIDevice)) gives):
// a small object holding the device, whose parent is the adapter the device was made on, or the
// system's first adapter when it was made on the default one.

#include "platform/d3d11/d3d11.h"
#include "platform/dxgi/dxgi.h"

class dxgi_device_t final : public com_object_t<IDXGIDevice> {
 public:
  explicit dxgi_device_t(ID3D11Device* device) : device_(device) {}

  HRESULT GetParent(REFIID riid, void** parent) override;
  HRESULT GetAdapter(IDXGIAdapter** adapter) override;

 protected:
  HRESULT query_other_interface(REFIID riid, void** object) override;

 private:
  com_ptr_t<ID3D11Device> device_;
};

// The hook the device calls for IDXGIDevice (see set_dxgi_device_query).
int32_t answer_dxgi_device_query(ID3D11Device* device, void** object);
