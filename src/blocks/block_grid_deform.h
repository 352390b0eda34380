#pragma once
// A post effect that draws the image of its first input through a grid of quads, so that the
// vertex shader can bend the image.

#include "blocks/quad_grid_block.h"

class block_grid_deform_t final : public block_quad_grid_t {
 public:
  block_grid_deform_t() : block_quad_grid_t("grid-deform") {}

  bool default_init() override;
  void execute(const render_context_t& context) override;
  bool is_posteffect() const override { return true; }
  bool can_start_chain() const override { return false; }
  bool build_mesh() override;
};

block_ptr_t make_grid_deform_block();
