#pragma once
// The decisions of frame rendering that need no GPU: how the last chain is presented and the
// weight its output is faded with.

#include <optional>

#include "engine/engine.h"
#include "engine/render_chain.h"

struct presentation_t {
  bool gamma = false;
  bool fxaa = false;
};

// Gamma unless the chain tonemaps; FXAA when its root asks for it and no member does its own.
presentation_t choose_presentation(const render_chain_t& chain, const project_settings_t& settings);

// The block fade wins over a camera fade that was not used up by a camera switch.
std::optional<float> chain_fade_weight(std::optional<float> block_fade, std::optional<float> camera_fade);
