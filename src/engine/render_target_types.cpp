#include "engine/render_target_types.h"

int render_target_type_from_name(const std::string&) { return 0; }
int dxgi_format_bits(uint32_t) { return 0; }
