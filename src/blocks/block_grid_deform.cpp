#include "blocks/block_grid_deform.h"

#include "blocks/quad_grid.h"
#include "engine/block_factory.h"
#include "graphics/graphics_runtime.h"
#include "graphics/input_layout.h"
#include "graphics/render_target.h"
#include "shaders/render_pass.h"
#include "support/systems.h"

bool block_grid_deform_t::default_init() {
  return init_grid_block("shaders/grid-deform.hlsl", {VF_POS_XYZW, VF_TEX2});
}

bool block_grid_deform_t::build_mesh() {
  upload(build_deform_grid(tile_count(num_tiles_x), tile_count(num_tiles_y)));
  return true;
}

void block_grid_deform_t::execute(const render_context_t& context) {
  block_base_t::execute(context);
  rebuild_on_changed_counts();
  if (!pass->shaders_loaded()) return;
  render_target_t* in0 = context.input_targets.empty() ? nullptr : context.input_targets[0];
  render_target_t* out0 = context.outputs.empty() ? nullptr : context.outputs[0];
  if (!in0 || !out0 || !pass->ps || !vertex_buffer || !index_buffer) return;
  bind_grid();
  // What the bent grid leaves uncovered stays transparent black.
  const float clear[4] = {0, 0, 0, 0};
  render_target_t* previous = S(runtime)->set_render_target(out0, clear, true);
  pass->ps->resources[0].srv = in0->srv.get();
  pass->draw_indexed(uint32_t(index_count()), 0);
  pass->ps->resources[0].srv = nullptr;
  S(runtime)->set_render_target(previous, nullptr, false);
}

block_ptr_t make_grid_deform_block() { return std::make_shared<block_grid_deform_t>(); }

namespace {
const block_class_registrar_t registrar{"grid-deform", make_grid_deform_block};
}  // namespace
