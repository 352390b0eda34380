#include "engine/state_set.h"

bool state_set_t::create(int, int, int, const std::vector<int32_t>&) { return false; }
bool state_set_t::create_from_descs(const D3D11_DEPTH_STENCIL_DESC*, const D3D11_BLEND_DESC*,
                                    const D3D11_RASTERIZER_DESC*, const D3D11_SAMPLER_DESC*, int) {
  return false;
}
