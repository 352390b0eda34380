#pragma once
// Volumetric light: a sky gradient and a sun whose light shafts pass the scene below where its
// second output says nothing occludes them; sky, shafts, occlusion and scene are combined into the
// block's output.

#include <memory>
#include <vector>

#include "engine/block_base.h"

class render_pass_t;

class block_volumetric_light_t final : public block_base_t {
 public:
  block_volumetric_light_t();
  ~block_volumetric_light_t() override;

  bool default_init() override;
  bool load(const serial::value_t& table) override;
  void save(serial::value_t& table) const override;
  void execute(const render_context_t& context) override;
  bool is_posteffect() const override { return true; }
  bool can_start_chain() const override { return false; }
  void expose_variables(variable_registry_t& registry) override;

  bool find_passes();

  variable_ptr_t sun_position;
  variable_ptr_t sky_color_1;
  variable_ptr_t sky_color_2;
  variable_ptr_t sun_color;
  variable_ptr_t sun_strength;
  std::vector<std::shared_ptr<render_pass_t>> passes;
  render_pass_t* skybox = nullptr;
  render_pass_t* sun = nullptr;
  render_pass_t* combine = nullptr;
};

block_ptr_t make_volumetric_light_block();
