#include "blocks/block_volumetric.h"

#include "blocks/block_passes.h"
#include "engine/block_factory.h"
#include "graphics/render_target.h"
#include "shaders/render_pass.h"
#include "shaders/render_pass_desc.h"
#include "shaders/render_pass_table.h"
#include "support/log.h"

namespace {

constexpr int32_t ranged = VAR_FLAG_HAS_MIN | VAR_FLAG_HAS_MAX;
constexpr int32_t exposed_flags = 7;
constexpr float transparent_black[4] = {0.0f, 0.0f, 0.0f, 0.0f};

variable_ptr_t make_sun_position() {
  return construct_ranged_variable("sun-position3", VT_FLOAT3, float3{0.0f, 0.0f, 100.0f}, -500.0f, 500.0f, ranged);
}
variable_ptr_t make_sky_color_1() { return construct_variable("sky-color-1", VT_COLOR, color_t{0.547f, 0.455f, 0.218f, 1.0f}); }
variable_ptr_t make_sky_color_2() { return construct_variable("sky-color-2", VT_COLOR, color_t{0.218f, 0.325f, 0.455f, 1.0f}); }
variable_ptr_t make_sun_color() { return construct_variable("sun-color", VT_COLOR, color_t{1.0f, 0.792f, 0.455f, 1.0f}); }
variable_ptr_t make_sun_strength() { return construct_ranged_variable("sun-strength", VT_FLOAT, 1.0f, 0.1f, 5.0f, ranged); }

// Reads and clears the flag the compile task sets; true when the shader has just become ready.
bool newly_ready(shader_t* shader) {
  if (!shader) return false;
  const bool changed = shader->changed;
  shader->changed = false;
  return changed && shader->state == SHADER_STATE_READY;
}

}  // namespace

block_volumetric_light_t::block_volumetric_light_t() : block_base_t("volumetric-light") {
  bound_inputs.push_back(make_layer_input("Foreground", 0));
  bound_inputs.push_back(make_layer_input("Occlusion", 1));
  sun_position = make_sun_position();
  sky_color_1 = make_sky_color_1();
  sky_color_2 = make_sky_color_2();
  sun_color = make_sun_color();
  sun_strength = make_sun_strength();
  for (variable_ptr_t* member : {&sun_position, &sky_color_1, &sky_color_2, &sun_color, &sun_strength})
    register_variable(*member);
}

block_volumetric_light_t::~block_volumetric_light_t() = default;

bool block_volumetric_light_t::default_init() {
  if (!block_base_t::default_init()) return false;
  auto loaded = load_render_passes_from_desc("shaders/volumetric-light.toml");
  if (!loaded) {
    LOG_WRN("Error loading shader desc: %s: %s", "shaders/volumetric-light.toml", loaded.error().c_str());
    return false;
  }
  passes = std::move(*loaded);
  return find_passes();
}

bool block_volumetric_light_t::find_passes() {
  return find_named_passes(passes, {{"combine", &combine}, {"skybox", &skybox}, {"sun", &sun}},
                           "unable to find rp - ");
}

bool block_volumetric_light_t::load(const serial::value_t& table) {
  // The base reads the five variable tables with the base variables.
  if (!block_base_t::load(table)) return false;
  sun_position = variable_of_type(sun_position, VT_FLOAT3, make_sun_position(), name);
  sky_color_1 = variable_of_type(sky_color_1, VT_COLOR, make_sky_color_1(), name);
  sky_color_2 = variable_of_type(sky_color_2, VT_COLOR, make_sky_color_2(), name);
  sun_color = variable_of_type(sun_color, VT_COLOR, make_sun_color(), name);
  sun_strength = variable_of_type(sun_strength, VT_FLOAT, make_sun_strength(), name);
  passes.clear();
  if (!load_render_passes(table.get("shaderdesc", serial::value_kind_t::table), passes)) return false;
  return find_passes();
}

void block_volumetric_light_t::save(serial::value_t& table) const {
  block_base_t::save(table);
  save_render_passes(*table.add("shaderdesc", serial::value_kind_t::table), passes);
}

void block_volumetric_light_t::expose_variables(variable_registry_t& registry) {
  block_base_t::expose_variables(registry);
  for (const variable_ptr_t& variable : {sun_position, sky_color_1, sky_color_2})
    registry.add_with_prefix("skybox", variable.get(), exposed_flags);
  if (skybox) skybox->collect_variables_prefixed("skybox", registry);
  if (sun) sun->collect_variables_prefixed("skybox", registry);
  if (combine) combine->collect_variables_prefixed("combine", registry);
}

void block_volumetric_light_t::execute(const render_context_t& context) {
  block_base_t::execute(context);
  if (context.input_targets.size() != 2 || !context.input_targets[0] || !context.input_targets[1]) return;
  render_target_t* foreground = context.input_targets[0];
  render_target_t* occlusion = context.input_targets[1];
  render_target_t* out0 = context.outputs.empty() ? nullptr : context.outputs[0];
  if (!out0 || !skybox || !sun || !combine || !skybox->ps || !sun->ps || !combine->ps) return;

  // The constants follow the block's variables from each shader load on.
  if (newly_ready(skybox->ps.get())) {
    skybox->ps->bind_cb_variable("cbMain", "g_skycolor1", sky_color_1);
    skybox->ps->bind_cb_variable("cbMain", "g_skycolor2", sky_color_2);
  }
  if (newly_ready(sun->ps.get())) {
    sun->ps->bind_cb_variable("cbMain", "g_sunpos3", sun_position);
    combine->ps->bind_cb_variable("cbMain", "g_sunpos3", sun_position);
  }

  const int w = static_cast<int>(foreground->viewport.Width);
  const int h = static_cast<int>(foreground->viewport.Height);
  auto sky = make_level_target(w, h);
  auto light = make_level_target(w, h);
  skybox->draw_fullscreen_to_target(sky.get(), {}, transparent_black);
  sun->draw_fullscreen_to_target(light.get(), {nullptr, occlusion->srv.p}, transparent_black);
  combine->draw_fullscreen_to_target(out0, {sky->srv.p, occlusion->srv.p, light->srv.p, foreground->srv.p},
                                     transparent_black);
}

block_ptr_t make_volumetric_light_block() { return std::make_shared<block_volumetric_light_t>(); }

namespace {
const block_class_registrar_t registrar{"volumetric-light", make_volumetric_light_block};
}  // namespace
