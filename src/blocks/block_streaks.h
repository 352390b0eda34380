#pragma once
// Anamorphic streaks: the image below, pre-filtered into a target squeezed across the streak
// direction, shrunk step by step along it, grown back while each level is mixed in, and combined
// with the image.

#include <memory>
#include <vector>

#include "engine/block_base.h"

class render_pass_t;
struct render_target_t;

class block_streak_t final : public block_base_t {
 public:
  block_streak_t();
  ~block_streak_t() override;

  bool default_init() override;
  bool copy_from(const block_base_t& other) override { return block_base_t::copy_from(other); }
  bool load(const serial::value_t& table) override;
  void save(serial::value_t& table) const override;
  void execute(const render_context_t& context) override;
  bool is_posteffect() const override { return true; }
  bool can_start_chain() const override { return false; }
  void expose_variables(variable_registry_t& registry) override;

  bool find_passes();

  std::vector<std::shared_ptr<render_pass_t>> passes;
  render_pass_t* pre_filter = nullptr;
  render_pass_t* downsample = nullptr;
  render_pass_t* upsample = nullptr;
  render_pass_t* combine = nullptr;
  variable_ptr_t horizontal;

 private:
  std::vector<std::shared_ptr<render_target_t>> levels_;  // reused from frame to frame, refilled each
};

block_ptr_t make_streak_block();
