#include "blocks/block_intro.h"

#include "engine/block_factory.h"
#include "shaders/render_pass.h"
#include "shaders/render_pass_table.h"

block_intro_t::block_intro_t() : block_base_t("intro-block"), pass(make_render_pass()) {}

block_intro_t::~block_intro_t() = default;

bool block_intro_t::default_init() {
  if (!block_base_t::default_init()) return false;
  pass->load_fullscreen_shaders("shaders/intro.hlsl", "PsMain");
  pass->set_states(2, 3, 2);
  pass->set_samplers({5, 3, 2});
  return true;
}

bool block_intro_t::copy_from(const block_base_t& other) {
  if (!block_base_t::copy_from(other)) return false;
  if (const auto* intro = dynamic_cast<const block_intro_t*>(&other)) pass = intro->pass->clone();
  return true;
}

bool block_intro_t::load(const serial::value_t& table) {
  if (!block_base_t::load(table)) return false;
  load_render_pass(table.get("rp", serial::value_kind_t::table), *pass);
  return true;
}

void block_intro_t::save(serial::value_t& table) const {
  block_base_t::save(table);
  save_render_pass(*table.add("rp", serial::value_kind_t::table), *pass);
}

void block_intro_t::expose_variables(variable_registry_t& registry) {
  block_base_t::expose_variables(registry);
  pass->collect_variables(registry);
}

void block_intro_t::execute(const render_context_t& context) {
  block_base_t::execute(context);
  // Only the shaders must be ready: a texture the shader declares but nobody binds reads as zero.
  if (pass->shaders_loaded() && pass->ps) pass->draw_fullscreen();
}

block_ptr_t make_intro_block() { return std::make_shared<block_intro_t>(); }

namespace {
const block_class_registrar_t registrar{"intro-block", make_intro_block};
}  // namespace
