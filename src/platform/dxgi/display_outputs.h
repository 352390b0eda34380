#pragma once
// The outputs SDL's displays give, one per display, with their modes. Empty when SDL has no
// video display.

#include <vector>

#include "platform/dxgi/adapter_list.h"

std::vector<dxgi_output_info_t> sdl_display_outputs();
