#pragma once
// Bloom: the bright (or emissive) parts of the image below spread through a chain of ever smaller
// targets and blurred back up, added over the image; optionally the image is first mixed with the
// block's own previous result, which leaves a trail.

#include <memory>
#include <vector>

#include "engine/block_base.h"

class render_pass_t;
struct render_target_t;

class block_bloom_t final : public block_base_t {
 public:
  block_bloom_t();
  ~block_bloom_t() override;

  bool default_init() override;
  bool copy_from(const block_base_t& other) override;
  bool load(const serial::value_t& table) override;
  void save(serial::value_t& table) const override;
  void execute(const render_context_t& context) override;
  bool is_posteffect() const override { return true; }
  bool can_start_chain() const override { return false; }
  void expose_variables(variable_registry_t& registry) override;
  // Rebuilds the block's list: "Input", and "Emissive" while the threshold is off.
  const std::vector<bound_input_t>& get_bound_inputs() override;

  bool find_passes();

  std::shared_ptr<render_target_t> history_target;
  variable_ptr_t use_threshold;
  variable_ptr_t history;
  std::vector<std::shared_ptr<render_pass_t>> passes;
  render_pass_t* pre_filter = nullptr;
  render_pass_t* bloom_texture = nullptr;
  render_pass_t* downsample_13 = nullptr;
  render_pass_t* upsample_tent = nullptr;

 private:
  bool threshold() const { return get_bool_variable(use_threshold, true); }

  // The inputs with the threshold on, and with it off.
  const std::vector<bound_input_t> colour_input_ = {make_layer_input("Input", 0)};
  const std::vector<bound_input_t> emissive_inputs_ = {make_layer_input("Input", 0),
                                                        make_layer_input("Emissive", 1)};
  std::vector<std::shared_ptr<render_target_t>> levels_;  // reused from frame to frame, refilled each
};

block_ptr_t make_bloom_block();
