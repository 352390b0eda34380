#pragma once
// The intro scene: one full-screen pixel shader that draws the whole image, without inputs.

#include <memory>

#include "engine/block_base.h"

class render_pass_t;

class block_intro_t final : public block_base_t {
 public:
  block_intro_t();
  ~block_intro_t() override;

  bool default_init() override;
  bool copy_from(const block_base_t& other) override;
  bool load(const serial::value_t& table) override;
  void save(serial::value_t& table) const override;
  void execute(const render_context_t& context) override;
  void expose_variables(variable_registry_t& registry) override;

  std::shared_ptr<render_pass_t> pass;
};

block_ptr_t make_intro_block();
