#include <gtest/gtest.h>

#include "platform/d3d11/d3d11.h"
#include "platform/dxgi/adapter_list.h"
#include "platform/dxgi/dxgi.h"

namespace {

struct device_t {
  com_ptr_t<ID3D11Device> device;
  com_ptr_t<ID3D11DeviceContext> context;
};

device_t make_device(IDXGIAdapter* adapter) {
  device_t made;
  D3D_FEATURE_LEVEL level{};
  EXPECT_EQ(D3D11CreateDevice(adapter, adapter ? D3D_DRIVER_TYPE_UNKNOWN : D3D_DRIVER_TYPE_HARDWARE, nullptr,
                              0, nullptr, 0, D3D11_SDK_VERSION, &made.device, &level, &made.context),
            S_OK);
  return made;
}

// The route the graphics system takes without a preferred adapter: device → IDXGIDevice →
// adapter → factory.
TEST(DxgiDeviceTest, DefaultDeviceLeadsToAdapterAndFactory) {
  com_ptr_t<IDXGIFactory> factory;
  ASSERT_EQ(CreateDXGIFactory(__uuidof(IDXGIFactory), (void**)&factory.p), S_OK);
  device_t made = make_device(nullptr);
  if (!made.device) GTEST_SKIP() << "no device on this machine";
  com_ptr_t<IDXGIDevice> dxgi_device;
  ASSERT_EQ(made.device->QueryInterface(__uuidof(IDXGIDevice), (void**)&dxgi_device.p), S_OK);
  com_ptr_t<IDXGIAdapter> adapter;
  ASSERT_EQ(dxgi_device->GetParent(__uuidof(IDXGIAdapter), (void**)&adapter.p), S_OK);
  DXGI_ADAPTER_DESC desc;
  ASSERT_EQ(adapter->GetDesc(&desc), S_OK);
  EXPECT_NE(desc.Description[0], u'\0');
  com_ptr_t<IDXGIFactory> parent;
  ASSERT_EQ(adapter->GetParent(__uuidof(IDXGIFactory), (void**)&parent.p), S_OK);
  com_ptr_t<IDXGIOutput> output;
  EXPECT_EQ(adapter->EnumOutputs(0, &output), S_OK);
  // The IDXGIDevice face leads back to the device.
  com_ptr_t<ID3D11Device> back;
  ASSERT_EQ(dxgi_device->QueryInterface(__uuidof(ID3D11Device), (void**)&back.p), S_OK);
  EXPECT_EQ(back.p, made.device.p);
}

TEST(DxgiDeviceTest, DeviceOnAGivenAdapterReportsThatAdapter) {
  dxgi_adapter_override_t injected({dxgi_fake_adapter(0x8086, u"Intel(R) UHD Graphics 630"),
                                    dxgi_fake_adapter(0x1002, u"AMD Radeon RX 580")});
  com_ptr_t<IDXGIFactory> factory;
  ASSERT_EQ(CreateDXGIFactory(__uuidof(IDXGIFactory), (void**)&factory.p), S_OK);
  com_ptr_t<IDXGIAdapter> amd;
  ASSERT_EQ(factory->EnumAdapters(1, &amd), S_OK);
  device_t made = make_device(amd);
  if (!made.device) GTEST_SKIP() << "no device on this machine";
  com_ptr_t<IDXGIDevice> dxgi_device;
  ASSERT_EQ(made.device->QueryInterface(__uuidof(IDXGIDevice), (void**)&dxgi_device.p), S_OK);
  com_ptr_t<IDXGIAdapter> adapter;
  ASSERT_EQ(dxgi_device->GetAdapter(&adapter), S_OK);
  EXPECT_EQ(adapter.p, amd.p);
  com_ptr_t<IDXGIFactory> parent;
  ASSERT_EQ(amd->GetParent(__uuidof(IDXGIFactory), (void**)&parent.p), S_OK);
  EXPECT_EQ(parent.p, factory.p);
}

}  // namespace
