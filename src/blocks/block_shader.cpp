#include "blocks/block_shader.h"

#include <fmt/printf.h>

#include "engine/block_factory.h"
#include "shaders/render_pass.h"
#include "shaders/render_pass_desc.h"
#include "shaders/render_pass_table.h"
#include "support/log.h"

block_shader_effect_t::~block_shader_effect_t() { pass.reset(); }

bool block_shader_effect_t::load(const serial::value_t& table) {
  if (!block_base_t::load(table)) return false;
  pass = make_render_pass();
  return load_render_pass(table.get("renderpass", serial::value_kind_t::table), *pass);
}

void block_shader_effect_t::save(serial::value_t& table) const {
  block_base_t::save(table);
  if (pass) save_render_pass(*table.add("renderpass", serial::value_kind_t::table), *pass);
}

void block_shader_effect_t::execute(const render_context_t& context) {
  block_base_t::execute(context);
  if (context.outputs.empty() || !pass || !pass->ps) return;
  pass->bind_input_textures(context);
  shader_t& ps = *pass->ps;
  bool changed = ps.changed;
  ps.changed = false;
  // A reloaded shader may read other textures: the inputs follow it once it is ready.
  if (changed && ps.state == SHADER_STATE_READY) sync_bound_inputs(ps);
  if (pass->is_ready()) pass->draw_fullscreen();
}

bool block_shader_effect_t::is_posteffect() const { return pass && pass->posteffect; }

bool block_shader_effect_t::has_fxaa() const { return pass && pass->ps && pass->ps->entry_point == "FxaaPS"; }

std::string block_shader_effect_t::get_name() const {
  if (!pass || !pass->ps) return name;
  return fmt::sprintf("%s:%s", pass->ps->path.stem, pass->ps->entry_point);
}

void block_shader_effect_t::expose_variables(variable_registry_t& registry) {
  block_base_t::expose_variables(registry);
  if (pass) pass->collect_variables(registry);
}

bool block_shader_effect_t::load_shader(const std::string& description_path) {
  LOG_INF("loading shader: %s", description_path.c_str());
  auto loaded = load_render_pass_from_desc(description_path);
  if (!loaded || !*loaded) {
    std::string message = loaded ? "no render pass in the description" : loaded.error();
    LOG_WRN("Error parsing render pass: %s, %s", description_path.c_str(), message.c_str());
    return false;
  }
  pass = *loaded;
  if (pass->ps) sync_bound_inputs(*pass->ps);
  if (is_posteffect() && !bound_inputs.empty()) {
    bound_inputs[0].type = BOUND_INPUT_LAYER;
    bound_inputs[0].layer_offset = 1;
  }
  return true;
}

block_ptr_t make_shader_block() { return std::make_shared<block_shader_effect_t>(); }

namespace {
const block_class_registrar_t registrar{"shader", make_shader_block};
}  // namespace
