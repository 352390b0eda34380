#pragma once
// Tonemapping: the high-dynamic-range image below mapped to displayable colours by one of four
// operators, optionally followed by FXAA. A chain that holds this block is presented without the
// engine's gamma pass, so the operators write display values.

#include <array>
#include <memory>

#include "engine/block_base.h"

class render_pass_t;

enum tonemapper_t : int32_t {
  TONEMAPPER_REINHARD = 0,
  TONEMAPPER_REINHARD_LUMA = 1,
  TONEMAPPER_REINHARD_LUMA_WHITE = 2,
  TONEMAPPER_FILMIC_HEJL = 3,
};

class block_tonemapping_t final : public block_base_t {
 public:
  block_tonemapping_t();
  ~block_tonemapping_t() override;

  bool default_init() override;
  bool copy_from(const block_base_t& other) override;
  bool load(const serial::value_t& table) override;
  void save(serial::value_t& table) const override;
  void execute(const render_context_t& context) override;
  bool is_posteffect() const override { return true; }
  bool can_start_chain() const override { return false; }
  void expose_variables(variable_registry_t& registry) override;

  bool build_passes();
  // The pass of the tonemapper code; null for a code outside 0..3.
  render_pass_t* selected_pass() const;

  variable_ptr_t use_fxaa;
  // By tonemapper code.
  std::array<std::shared_ptr<render_pass_t>, 4> operators;
  std::shared_ptr<render_pass_t> fxaa;
  int32_t tonemapper = TONEMAPPER_REINHARD;
};

block_ptr_t make_tonemapping_block();
