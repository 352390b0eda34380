#include "blocks/block_tile_transition.h"

#include "blocks/quad_grid.h"
#include "engine/block_factory.h"
#include "graphics/input_layout.h"
#include "shaders/render_pass.h"

bool block_tile_transition_t::default_init() {
  return init_grid_block("shaders/tile-transition.hlsl", {VF_POS_XYZW, VF_TEX4, VF_TEX2});
}

bool block_tile_transition_t::build_mesh() {
  upload(build_tile_grid(tile_count(num_tiles_x), tile_count(num_tiles_y)));
  return true;
}

void block_tile_transition_t::execute(const render_context_t& context) {
  block_base_t::execute(context);
  rebuild_on_changed_counts();
  pass->bind_input_textures(context);
  // The scenes the tiles show must all be there, or the frame shows none of them.
  if (!pass->shaders_loaded() || (pass->ps && !pass->ps->is_ready())) return;
  if (!vertex_buffer || !index_buffer) return;
  bind_grid();
  pass->draw_indexed(uint32_t(index_count()), 0);
}

block_ptr_t make_tile_transition_block() { return std::make_shared<block_tile_transition_t>(); }

namespace {
const block_class_registrar_t registrar{"tile-transition", make_tile_transition_block};
}  // namespace
