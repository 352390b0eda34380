#pragma once
// Depth of field over the layer below: its image is blurred by each pixel's distance from the
// focal plane, and bright out-of-focus pixels become bokeh sprites. The sprites are collected into
// an append buffer on the device and drawn with an indirect draw whose count the device supplies.

#include <memory>
#include <vector>

#include "engine/block_base.h"

class render_pass_t;
struct render_target_t;

class block_depth_of_field_t final : public block_base_t {
 public:
  // Inputs: the colour output of the layer below ("Input") and its second output ("Depth").
  block_depth_of_field_t();
  ~block_depth_of_field_t() override;

  bool default_init() override;
  bool copy_from(const block_base_t&) override { return false; }
  bool load(const serial::value_t& table) override;
  void save(serial::value_t& table) const override;
  void execute(const render_context_t& context) override;
  bool is_posteffect() const override { return true; }
  bool can_start_chain() const override { return false; }
  void expose_variables(variable_registry_t& registry) override;

  // Looks the five passes up by name; false, with a warning, at the first one missing.
  bool find_passes();
  // (Re)makes the point buffer for one point per pixel of the back buffer, and the draw arguments.
  bool create_bokeh_buffers();

  std::vector<std::shared_ptr<render_pass_t>> dof_passes;
  std::vector<std::shared_ptr<render_pass_t>> bokeh_passes;
  render_pass_t* calc_coc = nullptr;
  render_pass_t* dof_blur = nullptr;
  render_pass_t* bokeh_collect = nullptr;
  render_pass_t* bokeh_render = nullptr;
  render_pass_t* bokeh_render_ngon = nullptr;
  std::vector<variable_ptr_t*> variables;
  std::shared_ptr<render_target_t> bokeh_points;
  std::shared_ptr<render_target_t> draw_arguments;

 private:
  // Room for one point per pixel of a w x h input; the buffer grows when the input outgrows it.
  bool ensure_point_capacity(int width, int height);
};

block_ptr_t make_depth_of_field_block();
