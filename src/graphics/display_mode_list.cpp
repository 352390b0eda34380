#include "graphics/display_mode_list.h"

#include <fmt/printf.h>

#include <algorithm>

int refresh_quotient(const DXGI_RATIONAL& rate) {
  if (rate.Denominator == 0) return 0;
  return static_cast<int>(rate.Numerator / rate.Denominator);
}

std::string mode_text(const DXGI_MODE_DESC& mode) {
  return fmt::sprintf("%dx%d (%dHz)", static_cast<int>(mode.Width), static_cast<int>(mode.Height),
                      refresh_quotient(mode.RefreshRate));
}

bool read_display_modes(IDXGIAdapter* adapter, std::vector<DXGI_MODE_DESC>& modes) {
  modes.clear();
  if (!adapter) return false;
  com_ptr_t<IDXGIOutput> output;
  for (UINT i = 0;; ++i) {
    com_ptr_t<IDXGIOutput> candidate;
    if (adapter->EnumOutputs(i, &candidate) == DXGI_ERROR_NOT_FOUND) break;
    if (!candidate) continue;
    DXGI_OUTPUT_DESC desc;
    if (SUCCEEDED(candidate->GetDesc(&desc)) && desc.AttachedToDesktop) {
      output = candidate;
      break;
    }
  }
  if (!output) return false;
  UINT count = 0;
  if (FAILED(output->GetDisplayModeList(DXGI_FORMAT_R8G8B8A8_UNORM, 0, &count, nullptr))) return true;
  modes.resize(count);
  if (count > 0) output->GetDisplayModeList(DXGI_FORMAT_R8G8B8A8_UNORM, 0, &count, modes.data());
  modes.resize(count);
  return true;
}

void filter_refresh_rates(std::vector<DXGI_MODE_DESC>& modes) {
  std::vector<DXGI_MODE_DESC> kept;
  for (const DXGI_MODE_DESC& mode : modes) {
    auto same_size = std::find_if(kept.begin(), kept.end(), [&](const DXGI_MODE_DESC& k) {
      return k.Width == mode.Width && k.Height == mode.Height;
    });
    if (same_size == kept.end()) {
      kept.push_back(mode);
    } else if (refresh_quotient(mode.RefreshRate) > refresh_quotient(same_size->RefreshRate)) {
      *same_size = mode;
    }
  }
  modes = std::move(kept);
}

void sort_by_width(std::vector<DXGI_MODE_DESC>& modes) {
  std::sort(modes.begin(), modes.end(),
            [](const DXGI_MODE_DESC& a, const DXGI_MODE_DESC& b) { return a.Width < b.Width; });
}

int fallback_mode_index(size_t count) { return static_cast<int>(count * 3 / 4); }

int preferred_mode_index(const std::vector<DXGI_MODE_DESC>& modes) {
  for (size_t i = 0; i < modes.size(); ++i) {
    if (modes[i].Width == 1920 && (modes[i].Height == 1080 || modes[i].Height == 1200))
      return static_cast<int>(i);
  }
  return fallback_mode_index(modes.size());
}
