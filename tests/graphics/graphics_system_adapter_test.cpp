// The graphics system's choice of adapters with injected adapter lists: which adapter the device
// is made on, which one the settings dialog lists modes from, and the log of what was found.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graphics/display_mode_list.h"
#include "graphics/graphics_system.h"
#include "common/log_capture.h"
#include "platform/dxgi/adapter_list.h"
#include "support/strings.h"

namespace {

std::string description_of(IDXGIAdapter* adapter) {
  if (!adapter) return "(none)";
  DXGI_ADAPTER_DESC desc;
  adapter->GetDesc(&desc);
  return to_utf8(desc.Description);
}

// The adapter the device was made on, as the device itself reports it.
std::string device_adapter(ID3D11Device* device) {
  com_ptr_t<IDXGIDevice> dxgi_device;
  if (FAILED(device->QueryInterface(__uuidof(IDXGIDevice), (void**)&dxgi_device.p))) return "(no IDXGIDevice)";
  com_ptr_t<IDXGIAdapter> adapter;
  if (FAILED(dxgi_device->GetParent(__uuidof(IDXGIAdapter), (void**)&adapter.p))) return "(no adapter)";
  return description_of(adapter);
}

// An adapter whose one output lists a single mode of the given width, so that the dialog's source
// can be told apart.
dxgi_adapter_info_t adapter(UINT vendor, const char16_t* description, UINT mode_width) {
  dxgi_adapter_info_t info = dxgi_fake_adapter(vendor, description);
  info.outputs[0].modes[0].Width = mode_width;
  return info;
}

struct adapter_case_t {
  const char* name;
  std::vector<dxgi_adapter_info_t> adapters;
  const char* preferred;     // the adapter the device is asked for, or "(none)" for the default
  const char* device_on;     // the adapter the device reports
  const char* dialog_lists;  // the adapter whose outputs the dialog lists
  UINT dialog_mode_width;
};

class GraphicsSystemAdapterTest : public ::testing::TestWithParam<adapter_case_t> {};

TEST_P(GraphicsSystemAdapterTest, DeviceAndDialogAdapters) {
  const adapter_case_t& c = GetParam();
  dxgi_adapter_override_t injected(c.adapters);
  log_capture_t log;
  graphics_system_impl_t gsys;
  auto created = gsys.create_device();
  if (!created && created.error().find("D3D11CreateDevice") != std::string::npos)
    GTEST_SKIP() << "no GL 4.5 context: " << created.error();
  ASSERT_TRUE(created) << created.error();

  for (const dxgi_adapter_info_t& info : c.adapters)
    EXPECT_TRUE(log.contains(LOG_LEVEL_INF, "Found adapter: " + to_utf8(info.description.c_str())))
        << to_utf8(info.description.c_str());
  size_t found_lines = 0;
  for (const auto& line : log.lines) found_lines += line.second.rfind("Found adapter: ", 0) == 0;
  EXPECT_EQ(found_lines, c.adapters.size());

  EXPECT_EQ(description_of(gsys.get_preferred_adapter()), c.preferred);
  EXPECT_EQ(device_adapter(gsys.get_device()), c.device_on);
  EXPECT_EQ(description_of(gsys.get_default_adapter()), c.dialog_lists);
  ASSERT_NE(gsys.get_context(), nullptr);

  std::vector<DXGI_MODE_DESC> modes;
  ASSERT_TRUE(read_display_modes(gsys.get_default_adapter(), modes));
  ASSERT_EQ(modes.size(), 1u);
  EXPECT_EQ(modes[0].Width, c.dialog_mode_width);
  gsys.release_device_objects();
}

INSTANTIATE_TEST_SUITE_P(
    InjectedLists, GraphicsSystemAdapterTest,
    ::testing::Values(
        // The software adapter is no candidate: a single hardware adapter means the default one.
        adapter_case_t{"NvidiaAndSoftware",
                       {adapter(dxgi_vendor_nvidia, u"NVIDIA GeForce RTX 2070", 1600),
                        adapter(dxgi_vendor_software, u"Microsoft Basic Render Driver", 800)},
                       "(none)",
                       "NVIDIA GeForce RTX 2070",
                       "NVIDIA GeForce RTX 2070",
                       1600},
        // Integrated plus two discrete: the device on the last NVIDIA or AMD one, the modes from
        // the first adapter.
        adapter_case_t{"IntelNvidiaAmd",
                       {adapter(dxgi_vendor_intel, u"Intel(R) UHD Graphics 630", 1024),
                        adapter(dxgi_vendor_nvidia, u"NVIDIA GeForce GTX 1080", 1600),
                        adapter(dxgi_vendor_amd, u"AMD Radeon RX 580", 1280)},
                       "AMD Radeon RX 580",
                       "AMD Radeon RX 580",
                       "Intel(R) UHD Graphics 630",
                       1024},
        adapter_case_t{"AmdThenNvidia",
                       {adapter(dxgi_vendor_amd, u"AMD Radeon RX 580", 1280),
                        adapter(dxgi_vendor_nvidia, u"NVIDIA GeForce GTX 1080", 1600)},
                       "NVIDIA GeForce GTX 1080",
                       "NVIDIA GeForce GTX 1080",
                       "AMD Radeon RX 580",
                       1280},
        // Two candidates without a preference: the default hardware adapter, whose parent then
        // also serves the dialog.
        adapter_case_t{"TwoIntel",
                       {adapter(dxgi_vendor_intel, u"Intel(R) UHD Graphics 630", 1024),
                        adapter(dxgi_vendor_intel, u"Intel(R) Arc A770", 2560)},
                       "(none)",
                       "Intel(R) UHD Graphics 630",
                       "Intel(R) UHD Graphics 630",
                       1024},
        adapter_case_t{"SoftwareOnly",
                       {adapter(dxgi_vendor_software, u"Microsoft Basic Render Driver", 800)},
                       "(none)",
                       "Microsoft Basic Render Driver",
                       "Microsoft Basic Render Driver",
                       800}),
    [](const ::testing::TestParamInfo<adapter_case_t>& info) { return std::string(info.param.name); });

}  // namespace
