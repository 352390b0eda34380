#pragma once
// What a block's execute receives for one frame: its two outputs, its inputs as targets or
// views in bound-input order, and the frame's times.

#include <vector>

#include "platform/d3d11/d3d11.h"

struct render_target_t;

struct render_context_t {
  std::vector<render_target_t*> outputs;  // the colour output and the second output
  std::vector<render_target_t*> input_targets;
  std::vector<com_ptr_t<ID3D11ShaderResourceView>> input_views;
  float local_time = 0.0f;
  float time = 0.0f;
  float delta_time = 0.0f;
};
