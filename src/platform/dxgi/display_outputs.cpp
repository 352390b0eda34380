#include "platform/dxgi/display_outputs.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstring>

#include "platform/win32/window.h"

namespace {

std::u16string widen_ascii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

std::vector<DXGI_MODE_DESC> display_modes(int display) {
  std::vector<DXGI_MODE_DESC> modes;
  const int count = SDL_GetNumDisplayModes(display);
  for (int i = 0; i < count; ++i) {
    SDL_DisplayMode sdl_mode{};
    if (SDL_GetDisplayMode(display, i, &sdl_mode) != 0 || sdl_mode.w <= 0 || sdl_mode.h <= 0) continue;
    DXGI_MODE_DESC mode;
    mode.Width = static_cast<UINT>(sdl_mode.w);
    mode.Height = static_cast<UINT>(sdl_mode.h);
    // SDL reports whole hertz, 0 when unknown (Xvfb).
    mode.RefreshRate = {static_cast<UINT>(std::max(sdl_mode.refresh_rate, 0)), 1};
    modes.push_back(mode);
  }
  // SDL lists largest first and may repeat a size for pixel formats we do not distinguish.
  std::sort(modes.begin(), modes.end(), [](const DXGI_MODE_DESC& a, const DXGI_MODE_DESC& b) {
    if (a.Width != b.Width) return a.Width < b.Width;
    if (a.Height != b.Height) return a.Height < b.Height;
    return a.RefreshRate.Numerator < b.RefreshRate.Numerator;
  });
  modes.erase(std::unique(modes.begin(), modes.end(),
                          [](const DXGI_MODE_DESC& a, const DXGI_MODE_DESC& b) {
                            return a.Width == b.Width && a.Height == b.Height &&
                                   a.RefreshRate.Numerator == b.RefreshRate.Numerator;
                          }),
              modes.end());
  return modes;
}

}  // namespace

bool sdl_has_desktop_video() {
  if (!win32::ensure_sdl_video()) return false;
  const char* driver = SDL_GetCurrentVideoDriver();
  return driver && (std::strcmp(driver, "x11") == 0 || std::strcmp(driver, "wayland") == 0);
}

std::vector<dxgi_output_info_t> sdl_display_outputs() {
  std::vector<dxgi_output_info_t> outputs;
  if (!sdl_has_desktop_video()) return outputs;
  const int displays = SDL_GetNumVideoDisplays();
  for (int display = 0; display < displays; ++display) {
    SDL_Rect bounds{};
    if (SDL_GetDisplayBounds(display, &bounds) != 0) continue;
    dxgi_output_info_t output;
    output.device_name = widen_ascii("\\\\.\\DISPLAY" + std::to_string(display + 1));
    output.desktop = {bounds.x, bounds.y, bounds.x + bounds.w, bounds.y + bounds.h};
    output.attached_to_desktop = true;
    output.modes = display_modes(display);
    if (output.modes.empty()) {
      DXGI_MODE_DESC desktop;
      desktop.Width = static_cast<UINT>(bounds.w);
      desktop.Height = static_cast<UINT>(bounds.h);
      desktop.RefreshRate = {0, 1};
      output.modes.push_back(desktop);
    }
    outputs.push_back(std::move(output));
  }
  return outputs;
}
