#pragma once
// A screen cut into tiles that move and turn on their own: a source block whose tiles carry their
// centre and cell, so that its shaders can show the scene before and after on the two sides.

#include "blocks/quad_grid_block.h"

class block_tile_transition_t final : public block_quad_grid_t {
 public:
  block_tile_transition_t() : block_quad_grid_t("tile-transition") {}

  bool default_init() override;
  void execute(const render_context_t& context) override;
  bool build_mesh() override;
};

block_ptr_t make_tile_transition_block();
