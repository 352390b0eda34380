#include "graphics/state_set.h"

#include "graphics/graphics_resources.h"
#include "support/systems.h"
#include "support/log.h"

namespace {

// Direct3D's own defaults for a state given no description.
D3D11_DEPTH_STENCIL_DESC default_depth_stencil_desc() { return CD3D11_DEPTH_STENCIL_DESC(D3D11_DEFAULT); }
D3D11_BLEND_DESC default_blend_desc() { return CD3D11_BLEND_DESC(D3D11_DEFAULT); }
D3D11_RASTERIZER_DESC default_rasterizer_desc() { return CD3D11_RASTERIZER_DESC(D3D11_DEFAULT); }

// Point clamp, linear wrap, linear mirror, linear clamp.
constexpr int default_sampler_presets[] = {2, 3, 4, 5};

}  // namespace

bool state_set_t::create(int depth_stencil_preset, int blend_preset, int rasterizer_preset,
                         const std::vector<int32_t>& sampler_presets) {
  depth_stencil_id = depth_stencil_preset;
  blend_id = blend_preset;
  sampler_ids = sampler_presets;

  graphics_resources_t* resources = S(resources);
  const auto depth_stencil_state = resources->get_depth_stencil_state(depth_stencil_preset);
  const auto blend_state = resources->get_blend_state(blend_preset);
  const auto rasterizer_state = resources->get_rasterizer_state(rasterizer_preset);
  if (!depth_stencil_state || !blend_state || !rasterizer_state) {
    LOG_INF("Unable to find state");
    return false;
  }

  std::vector<D3D11_SAMPLER_DESC> sampler_descs;
  sampler_descs.reserve(sampler_presets.size());
  for (int32_t id : sampler_presets) {
    const auto sampler = resources->get_sampler_state(id);
    // A sampler id that names no preset is refused like a missing state, rather than shifting the
    // following samplers down a slot.
    if (!sampler) {
      LOG_INF("Unable to find state");
      return false;
    }
    sampler_descs.push_back(sampler->desc);
  }
  return create_from_descs(&depth_stencil_state->desc, &blend_state->desc, &rasterizer_state->desc,
                           sampler_descs.empty() ? nullptr : sampler_descs.data(),
                           static_cast<int>(sampler_descs.size()));
}

bool state_set_t::create_from_descs(const D3D11_DEPTH_STENCIL_DESC* depth_stencil_desc,
                                    const D3D11_BLEND_DESC* blend_desc,
                                    const D3D11_RASTERIZER_DESC* rasterizer_desc,
                                    const D3D11_SAMPLER_DESC* sampler_descs, int sampler_count) {
  graphics_resources_t* resources = S(resources);
  depth_stencil = resources->create_depth_stencil_state(depth_stencil_desc ? *depth_stencil_desc
                                                                           : default_depth_stencil_desc());
  blend = resources->create_blend_state(blend_desc ? *blend_desc : default_blend_desc());
  rasterizer =
      resources->create_rasterizer_state(rasterizer_desc ? *rasterizer_desc : default_rasterizer_desc());

  // A rebuilt set starts its sampler list afresh instead of binding the old samplers first.
  samplers.clear();
  bool all_made = depth_stencil && blend && rasterizer;
  if (sampler_descs) {
    for (int i = 0; i < sampler_count; ++i) {
      samplers.push_back(resources->create_sampler_state(sampler_descs[i]));
      all_made = all_made && samplers.back();
    }
  } else {
    for (int id : default_sampler_presets) {
      samplers.push_back(resources->get_sampler_state(id));
      all_made = all_made && samplers.back();
    }
  }
  return all_made;
}
