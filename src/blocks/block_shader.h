#pragma once
// The general full-screen effect of the timeline: one render pass from the project file whose
// pixel shader is drawn over the block's output each frame.

#include <memory>
#include <string>

#include "engine/block_base.h"

class render_pass_t;

// Blocks whose look is a shader description.
class block_shader_base_t : public block_base_t {
 public:
  using block_base_t::block_base_t;
  // The first pass of the description file; the old pass stays when it cannot be read.
  virtual bool load_shader(const std::string& description_path) = 0;
};

class block_shader_effect_t final : public block_shader_base_t {
 public:
  block_shader_effect_t() : block_shader_base_t("shader") {}
  ~block_shader_effect_t() override;

  bool copy_from(const block_base_t& other) override { return block_base_t::copy_from(other); }
  bool load(const serial::value_t& table) override;
  void save(serial::value_t& table) const override;
  void execute(const render_context_t& context) override;
  bool is_posteffect() const override;
  bool has_fxaa() const override;
  std::string get_name() const override;
  void expose_variables(variable_registry_t& registry) override;
  bool load_shader(const std::string& description_path) override;

  std::shared_ptr<render_pass_t> pass;
};

block_ptr_t make_shader_block();
