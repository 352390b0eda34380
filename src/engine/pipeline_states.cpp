#include "engine/pipeline_states.h"

D3D11_RASTERIZER_DESC rasterizer_preset_desc(int) { return {}; }
D3D11_BLEND_DESC blend_preset_desc(int) { return {}; }
D3D11_DEPTH_STENCIL_DESC depth_stencil_preset_desc(int) { return {}; }
D3D11_SAMPLER_DESC sampler_preset_desc(int) { return {}; }

bool desc_equals(const D3D11_RASTERIZER_DESC&, const D3D11_RASTERIZER_DESC&) { return false; }
bool desc_equals(const D3D11_BLEND_DESC&, const D3D11_BLEND_DESC&) { return false; }
bool desc_equals(const D3D11_DEPTH_STENCIL_DESC&, const D3D11_DEPTH_STENCIL_DESC&) { return false; }
bool desc_equals(const D3D11_SAMPLER_DESC&, const D3D11_SAMPLER_DESC&) { return false; }

std::shared_ptr<rasterizer_state_t> pipeline_state_lists_t::create_rasterizer_state(ID3D11Device*,
                                                                                    const D3D11_RASTERIZER_DESC&) {
  return nullptr;
}
std::shared_ptr<blend_state_t> pipeline_state_lists_t::create_blend_state(ID3D11Device*, const D3D11_BLEND_DESC&) {
  return nullptr;
}
std::shared_ptr<depth_stencil_state_t> pipeline_state_lists_t::create_depth_stencil_state(
    ID3D11Device*, const D3D11_DEPTH_STENCIL_DESC&) {
  return nullptr;
}
std::shared_ptr<sampler_state_t> pipeline_state_lists_t::create_sampler_state(ID3D11Device*,
                                                                              const D3D11_SAMPLER_DESC&) {
  return nullptr;
}
std::shared_ptr<rasterizer_state_t> pipeline_state_lists_t::get_rasterizer_state(int) const { return nullptr; }
std::shared_ptr<blend_state_t> pipeline_state_lists_t::get_blend_state(int) const { return nullptr; }
std::shared_ptr<depth_stencil_state_t> pipeline_state_lists_t::get_depth_stencil_state(int) const { return nullptr; }
std::shared_ptr<sampler_state_t> pipeline_state_lists_t::get_sampler_state(int) const { return nullptr; }
void pipeline_state_lists_t::build_presets(ID3D11Device*) {}
void pipeline_state_lists_t::clear() {
  rasterizer_states.clear();
  blend_states.clear();
  depth_stencil_states.clear();
  sampler_states.clear();
}
