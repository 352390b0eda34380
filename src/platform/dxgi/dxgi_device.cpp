#include "platform/dxgi/dxgi_device.h"

#include "platform/d3d11/gl_context.h"

HRESULT dxgi_device_t::GetParent(REFIID riid, void** parent) {
  if (!parent) return DXGI_ERROR_INVALID_CALL;
  *parent = nullptr;
  com_ptr_t<IDXGIAdapter> adapter;
  const HRESULT hr = GetAdapter(&adapter);
  if (FAILED(hr)) return hr;
  return adapter->QueryInterface(riid, parent);
}

HRESULT dxgi_device_t::GetAdapter(IDXGIAdapter** adapter) {
  if (!adapter) return DXGI_ERROR_INVALID_CALL;
  *adapter = nullptr;
  if (IUnknown* given = gl_device_adapter(device_))
    return given->QueryInterface(__uuidof(IDXGIAdapter), (void**)adapter);
  com_ptr_t<IDXGIFactory> factory;
  const HRESULT hr = CreateDXGIFactory(__uuidof(IDXGIFactory), (void**)&factory.p);
  if (FAILED(hr)) return hr;
  return factory->EnumAdapters(0, adapter);
}

HRESULT dxgi_device_t::query_other_interface(REFIID riid, void** object) {
  return device_->QueryInterface(riid, object);
}

int32_t answer_dxgi_device_query(ID3D11Device* device, void** object) {
  if (!device || !object) return E_POINTER;
  *object = static_cast<IDXGIDevice*>(new dxgi_device_t(device));
  return S_OK;
}
