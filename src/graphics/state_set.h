#pragma once
// One rasterizer, blend and depth-stencil state with the pixel-shader samplers, built from preset
// ids; bound as one by the graphics runtime.

#include <cstdint>
#include <memory>
#include <vector>

#include "graphics/pipeline_states.h"

struct state_set_t {
  // From preset ids; rasterizer_id is read but not stored. False, with "Unable to find state",
  // when a rasterizer, blend or depth-stencil preset is missing.
  bool create(int depth_stencil_id, int blend_id, int rasterizer_id, const std::vector<int32_t>& sampler_ids);
  // Null descriptions take the Direct3D defaults; without sampler descriptions the samplers are
  // the presets 2, 3, 4 and 5. True when every state exists.
  bool create_from_descs(const D3D11_DEPTH_STENCIL_DESC* depth_stencil_desc,
                         const D3D11_BLEND_DESC* blend_desc, const D3D11_RASTERIZER_DESC* rasterizer_desc,
                         const D3D11_SAMPLER_DESC* sampler_descs, int sampler_count);

  std::shared_ptr<depth_stencil_state_t> depth_stencil;
  std::shared_ptr<blend_state_t> blend;
  std::shared_ptr<rasterizer_state_t> rasterizer;
  // Pixel-shader sampler slots 0, 1, 2, … in order.
  std::vector<std::shared_ptr<sampler_state_t>> samplers;
  int32_t depth_stencil_id = 0;
  int32_t blend_id = 0;
  int32_t rasterizer_id = 0;
  std::vector<int32_t> sampler_ids;
};
