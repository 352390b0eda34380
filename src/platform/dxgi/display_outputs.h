#pragma once
// The outputs SDL's displays give, one per display, with their modes. Empty when SDL has no
// desktop display.

#include <vector>

#include "platform/dxgi/adapter_list.h"

// True when SDL video runs on a desktop (X11 or Wayland). SDL's offscreen and KMS/DRM drivers
// do not count: the first has no real display, the second would take the console.
bool sdl_has_desktop_video();

std::vector<dxgi_output_info_t> sdl_display_outputs();
