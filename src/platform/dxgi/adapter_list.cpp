#include "platform/dxgi/adapter_list.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <optional>

#include "platform/dxgi/display_outputs.h"
#include "platform/dxgi/gl_renderer_probe.h"
#include "platform/win32/text_conversion.h"

namespace {

struct override_state_t {
  std::mutex mutex;
  std::optional<std::vector<dxgi_adapter_info_t>> adapters;
};

override_state_t& override_state() {
  static override_state_t state;
  return state;
}

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool contains_any(const std::string& text, std::initializer_list<const char*> words) {
  for (const char* word : words)
    if (text.find(word) != std::string::npos) return true;
  return false;
}

std::vector<dxgi_adapter_info_t> system_adapters() {
  const gl_renderer_strings_t& gl = probe_gl_renderer();
  dxgi_adapter_info_t adapter;
  adapter.description = gl.found ? win32::widen_utf8(gl.renderer) : u"No GL renderer";
  adapter.vendor_id = gl.found ? dxgi_vendor_from_gl_strings(gl.vendor, gl.renderer) : dxgi_vendor_software;
  adapter.outputs = sdl_display_outputs();
  if (adapter.outputs.empty()) adapter.outputs.push_back(dxgi_synthetic_output());
  return {adapter};
}

}  // namespace

UINT dxgi_vendor_from_gl_strings(const std::string& vendor, const std::string& renderer) {
  const std::string v = lower(vendor);
  const std::string r = lower(renderer);
  // Software rasterizers first: Mesa's report the hardware-neutral vendor "Mesa".
  if (contains_any(r, {"llvmpipe", "softpipe", "swrast", "swiftshader", "software rasterizer", "lavapipe"}))
    return dxgi_vendor_software;
  if (contains_any(v, {"nvidia", "nouveau"}) || contains_any(r, {"nvidia", "geforce", "quadro", "nouveau"}))
    return dxgi_vendor_nvidia;
  if (contains_any(v, {"amd", "ati technologies", "advanced micro devices"}) ||
      contains_any(r, {"radeon", "amd"}))
    return dxgi_vendor_amd;
  if (contains_any(v, {"intel"}) || contains_any(r, {"intel"})) return dxgi_vendor_intel;
  return 0;
}

dxgi_output_info_t dxgi_synthetic_output() {
  dxgi_output_info_t output;
  DXGI_MODE_DESC mode;
  mode.Width = 1920;
  mode.Height = 1080;
  mode.RefreshRate = {60, 1};
  output.modes.push_back(mode);
  return output;
}

dxgi_adapter_info_t dxgi_fake_adapter(UINT vendor_id, std::u16string description) {
  dxgi_adapter_info_t adapter;
  adapter.description = std::move(description);
  adapter.vendor_id = vendor_id;
  adapter.outputs.push_back(dxgi_synthetic_output());
  return adapter;
}

std::vector<dxgi_adapter_info_t> dxgi_current_adapters() {
  {
    override_state_t& state = override_state();
    std::lock_guard lock(state.mutex);
    if (state.adapters) return *state.adapters;
  }
  return system_adapters();
}

dxgi_adapter_override_t::dxgi_adapter_override_t(std::vector<dxgi_adapter_info_t> adapters) {
  override_state_t& state = override_state();
  std::lock_guard lock(state.mutex);
  state.adapters = std::move(adapters);
}

dxgi_adapter_override_t::~dxgi_adapter_override_t() {
  override_state_t& state = override_state();
  std::lock_guard lock(state.mutex);
  state.adapters.reset();
}
