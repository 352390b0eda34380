#pragma once
// What a factory enumerates: a snapshot of adapters, each with its outputs and their display
// modes, taken when the factory is made. By default the system's one GL renderer with SDL's
// displays; tests can inject their own list to exercise the adapter-selection rules.

#include <string>
#include <vector>

#include "platform/dxgi/dxgi.h"

struct dxgi_output_info_t {
  std::u16string device_name = u"\\\\.\\DISPLAY1";
  RECT desktop{0, 0, 1920, 1080};
  bool attached_to_desktop = true;
  // Width, height and refresh of each mode; the format is filled in per query.
  std::vector<DXGI_MODE_DESC> modes;
};

struct dxgi_adapter_info_t {
  std::u16string description;
  UINT vendor_id = 0;
  UINT device_id = 0;
  SIZE_T dedicated_video_memory = 0;
  SIZE_T shared_system_memory = 0;
  std::vector<dxgi_output_info_t> outputs;
};

// PCI vendor id for a GL_VENDOR / GL_RENDERER pair: software rasterizers 0x1414, then NVIDIA,
// AMD and Intel by name; 0 when nothing matches.
UINT dxgi_vendor_from_gl_strings(const std::string& vendor, const std::string& renderer);

// The output used when SDL has no display: 1920 x 1080 at 60 Hz, attached to the desktop.
dxgi_output_info_t dxgi_synthetic_output();

// A made-up adapter with the synthetic output, for injected lists.
dxgi_adapter_info_t dxgi_fake_adapter(UINT vendor_id, std::u16string description);

// The adapters a new factory sees: the injected list when there is one, else the system's.
std::vector<dxgi_adapter_info_t> dxgi_current_adapters();

// Replaces the system's adapters for factories made while it lives (tests only; main thread).
class dxgi_adapter_override_t {
 public:
  explicit dxgi_adapter_override_t(std::vector<dxgi_adapter_info_t> adapters);
  ~dxgi_adapter_override_t();
  dxgi_adapter_override_t(const dxgi_adapter_override_t&) = delete;
  dxgi_adapter_override_t& operator=(const dxgi_adapter_override_t&) = delete;
};
