#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/dxgi/adapter_list.h"
#include "platform/dxgi/display_outputs.h"
#include "platform/dxgi/dxgi.h"
#include "platform/dxgi/gl_renderer_probe.h"

namespace {

com_ptr_t<IDXGIFactory> make_factory() {
  com_ptr_t<IDXGIFactory> factory;
  EXPECT_EQ(CreateDXGIFactory(__uuidof(IDXGIFactory), (void**)&factory.p), S_OK);
  return factory;
}

struct adapter_seen_t {
  std::u16string description;
  UINT vendor_id = 0;
};

std::vector<adapter_seen_t> enumerate(IDXGIFactory* factory) {
  std::vector<adapter_seen_t> seen;
  for (UINT i = 0;; ++i) {
    com_ptr_t<IDXGIAdapter> adapter;
    const HRESULT hr = factory->EnumAdapters(i, &adapter);
    if (hr == DXGI_ERROR_NOT_FOUND) {
      EXPECT_EQ(adapter.p, nullptr);
      break;
    }
    EXPECT_EQ(hr, S_OK);
    DXGI_ADAPTER_DESC desc;
    EXPECT_EQ(adapter->GetDesc(&desc), S_OK);
    seen.push_back({desc.Description, desc.VendorId});
  }
  return seen;
}

std::vector<DXGI_MODE_DESC> mode_list(IDXGIOutput* output) {
  UINT count = 0;
  EXPECT_EQ(output->GetDisplayModeList(DXGI_FORMAT_R8G8B8A8_UNORM, 0, &count, nullptr), S_OK);
  std::vector<DXGI_MODE_DESC> modes(count);
  EXPECT_EQ(output->GetDisplayModeList(DXGI_FORMAT_R8G8B8A8_UNORM, 0, &count, modes.data()), S_OK);
  EXPECT_EQ(count, modes.size());
  return modes;
}

TEST(DxgiVendorTest, GlStringsMapToPciVendors) {
  struct case_t {
    const char* vendor;
    const char* renderer;
    UINT id;
  };
  const case_t cases[] = {
      {"Mesa", "llvmpipe (LLVM 15.0.6, 256 bits)", 0x1414},
      {"Mesa/X.org", "softpipe", 0x1414},
      {"NVIDIA Corporation", "NVIDIA GeForce RTX 3060/PCIe/SSE2", 0x10DE},
      {"nouveau", "NV137", 0x10DE},
      {"AMD", "AMD Radeon RX 6800 (navi21, LLVM 15.0.6, DRM 3.49)", 0x1002},
      {"ATI Technologies Inc.", "AMD Radeon HD 7700 Series", 0x1002},
      {"Intel", "Mesa Intel(R) UHD Graphics 620 (KBL GT2)", 0x8086},
      {"VMware, Inc.", "SVGA3D; build: RELEASE", 0},
  };
  for (const case_t& c : cases)
    EXPECT_EQ(dxgi_vendor_from_gl_strings(c.vendor, c.renderer), c.id) << c.renderer;
}

TEST(DxgiAdapterTest, SystemAdapterComesFromTheGlRenderer) {
  auto factory = make_factory();
  const auto adapters = enumerate(factory);
  ASSERT_EQ(adapters.size(), 1u);
  const gl_renderer_strings_t& gl = probe_gl_renderer();
  if (!gl.found) GTEST_SKIP() << "no GL renderer on this machine";
  EXPECT_EQ(adapters[0].description, std::u16string(gl.renderer.begin(), gl.renderer.end()));
  EXPECT_EQ(adapters[0].vendor_id, dxgi_vendor_from_gl_strings(gl.vendor, gl.renderer));
}

TEST(DxgiAdapterTest, SystemOutputIsAttachedWithModes) {
  auto factory = make_factory();
  com_ptr_t<IDXGIAdapter> adapter;
  ASSERT_EQ(factory->EnumAdapters(0, &adapter), S_OK);
  com_ptr_t<IDXGIOutput> output;
  ASSERT_EQ(adapter->EnumOutputs(0, &output), S_OK);
  DXGI_OUTPUT_DESC desc;
  ASSERT_EQ(output->GetDesc(&desc), S_OK);
  EXPECT_EQ(desc.AttachedToDesktop, TRUE);
  EXPECT_EQ(std::u16string(desc.DeviceName), u"\\\\.\\DISPLAY1");
  const auto modes = mode_list(output);
  ASSERT_FALSE(modes.empty());
  for (const DXGI_MODE_DESC& mode : modes) {
    EXPECT_GT(mode.Width, 0u);
    EXPECT_GT(mode.Height, 0u);
    EXPECT_EQ(mode.Format, DXGI_FORMAT_R8G8B8A8_UNORM);
  }
  if (!sdl_has_desktop_video()) {
    // Headless: the one synthetic output and mode.
    ASSERT_EQ(modes.size(), 1u);
    EXPECT_EQ(modes[0].Width, 1920u);
    EXPECT_EQ(modes[0].Height, 1080u);
    EXPECT_EQ(modes[0].RefreshRate.Numerator, 60u);
    EXPECT_EQ(modes[0].RefreshRate.Denominator, 1u);
    com_ptr_t<IDXGIOutput> second;
    EXPECT_EQ(adapter->EnumOutputs(1, &second), DXGI_ERROR_NOT_FOUND);
    EXPECT_EQ(second.p, nullptr);
  }
}

TEST(DxgiAdapterTest, InjectedListsEnumerateInOrder) {
  struct case_t {
    std::vector<adapter_seen_t> adapters;
  };
  const case_t cases[] = {
      {{{u"Intel(R) UHD Graphics 630", 0x8086},
        {u"NVIDIA GeForce GTX 1080", 0x10DE},
        {u"AMD Radeon RX 580", 0x1002}}},
      {{{u"NVIDIA GeForce RTX 2070", 0x10DE}, {u"Microsoft Basic Render Driver", 0x1414}}},
  };
  for (const case_t& c : cases) {
    std::vector<dxgi_adapter_info_t> list;
    for (const adapter_seen_t& a : c.adapters) list.push_back(dxgi_fake_adapter(a.vendor_id, a.description));
    dxgi_adapter_override_t injected(list);
    const auto seen = enumerate(make_factory());
    ASSERT_EQ(seen.size(), c.adapters.size());
    for (size_t i = 0; i < seen.size(); ++i) {
      EXPECT_EQ(seen[i].description, c.adapters[i].description);
      EXPECT_EQ(seen[i].vendor_id, c.adapters[i].vendor_id);
    }
  }
  // The system list is back once the override ends.
  EXPECT_EQ(enumerate(make_factory()).size(), 1u);
}

TEST(DxgiAdapterTest, LongDescriptionIsCutToTheField) {
  dxgi_adapter_override_t injected({dxgi_fake_adapter(0x10DE, std::u16string(200, u'x'))});
  com_ptr_t<IDXGIAdapter> adapter;
  ASSERT_EQ(make_factory()->EnumAdapters(0, &adapter), S_OK);
  DXGI_ADAPTER_DESC desc;
  ASSERT_EQ(adapter->GetDesc(&desc), S_OK);
  EXPECT_EQ(std::u16string(desc.Description), std::u16string(127, u'x'));
}

TEST(DxgiAdapterTest, ParentsAndReferences) {
  com_ptr_t<IDXGIAdapter> adapter;
  IDXGIFactory* raw_factory = nullptr;
  {
    auto factory = make_factory();
    raw_factory = factory.p;
    ASSERT_EQ(factory->EnumAdapters(0, &adapter), S_OK);
  }
  // The adapter keeps its factory alive.
  com_ptr_t<IDXGIFactory> parent;
  ASSERT_EQ(adapter->GetParent(__uuidof(IDXGIFactory), (void**)&parent.p), S_OK);
  EXPECT_EQ(parent.p, raw_factory);

  com_ptr_t<IDXGIOutput> output;
  ASSERT_EQ(adapter->EnumOutputs(0, &output), S_OK);
  com_ptr_t<IDXGIAdapter> output_parent;
  ASSERT_EQ(output->GetParent(__uuidof(IDXGIAdapter), (void**)&output_parent.p), S_OK);
  EXPECT_EQ(output_parent.p, adapter.p);

  com_ptr_t<IUnknown> unknown;
  EXPECT_EQ(adapter->QueryInterface(__uuidof(IUnknown), (void**)&unknown.p), S_OK);
  com_ptr_t<IDXGIObject> object;
  EXPECT_EQ(adapter->QueryInterface(__uuidof(IDXGIObject), (void**)&object.p), S_OK);
  void* wrong = &wrong;
  EXPECT_EQ(adapter->QueryInterface(__uuidof(IDXGIFactory), &wrong), E_NOINTERFACE);
  EXPECT_EQ(wrong, nullptr);
  void* none = &none;
  EXPECT_EQ(parent->GetParent(__uuidof(IUnknown), &none), E_NOINTERFACE);
}

TEST(DxgiOutputTest, ModeListCountThenFill) {
  dxgi_output_info_t info = dxgi_synthetic_output();
  info.modes.clear();
  for (auto [w, h, hz] : {std::tuple{1280u, 720u, 60u}, {1920u, 1080u, 59u}, {1920u, 1080u, 60u}}) {
    DXGI_MODE_DESC mode;
    mode.Width = w;
    mode.Height = h;
    mode.RefreshRate = {hz, 1};
    info.modes.push_back(mode);
  }
  dxgi_adapter_info_t adapter_info = dxgi_fake_adapter(0x8086, u"Intel");
  adapter_info.outputs = {info};
  dxgi_adapter_override_t injected({adapter_info});
  com_ptr_t<IDXGIAdapter> adapter;
  ASSERT_EQ(make_factory()->EnumAdapters(0, &adapter), S_OK);
  com_ptr_t<IDXGIOutput> output;
  ASSERT_EQ(adapter->EnumOutputs(0, &output), S_OK);

  const auto modes = mode_list(output);
  ASSERT_EQ(modes.size(), 3u);
  EXPECT_EQ(modes[1].Width, 1920u);
  EXPECT_EQ(modes[1].RefreshRate.Numerator, 59u);
  EXPECT_EQ(modes[2].RefreshRate.Numerator, 60u);

  UINT count = 2;
  DXGI_MODE_DESC two[2];
  EXPECT_EQ(output->GetDisplayModeList(DXGI_FORMAT_R8G8B8A8_UNORM, 0, &count, two), DXGI_ERROR_MORE_DATA);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(two[0].Width, 1280u);

  EXPECT_EQ(output->GetDisplayModeList(DXGI_FORMAT_R32_FLOAT, 0, &count, nullptr), S_OK);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(output->GetDisplayModeList(DXGI_FORMAT_R8G8B8A8_UNORM, 0, nullptr, nullptr),
            DXGI_ERROR_INVALID_CALL);
}

}  // namespace
