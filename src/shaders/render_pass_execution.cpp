// Drawing and dispatching with a render pass, feeding its shaders, and publishing their variables.
#include "variables/variable_registry.h"
#include "variables/engine_context.h"
#include "graphics/graphics_resources.h"
#include "graphics/graphics_runtime.h"
#include "shaders/render_context.h"
#include "shaders/render_pass.h"
#include "graphics/render_target.h"
#include "shaders/shader_manager.h"
#include "support/systems.h"

namespace {

// The newest ready version of the stage's shader, when the manager has one; it goes on with what
// the pass and the block gave the version drawn so far.
void switch_to_current_version(shader_ptr_t& shader) {
  if (!shader || !engine_context->shader_manager) return;
  shader_ptr_t current = engine_context->shader_manager->current_version(shader->id);
  if (!current || current == shader) return;
  current->take_over(*shader);
  shader = std::move(current);
}

bool has_all_states(const state_set_t& states) {
  return states.rasterizer && states.blend && states.depth_stencil;
}

// A pass whose description named an unknown preset holds an empty record; Direct3D must not get a
// null state, and keeping the one bound before would make the pass draw differently with the draw
// order. It takes that kind's default preset instead; its ids stay as described.
void fill_missing_states(state_set_t& states) {
  if (has_all_states(states) || !g_systems || !S(resources)) return;
  if (!states.rasterizer) states.rasterizer = S(resources)->get_rasterizer_state(1);
  if (!states.blend) states.blend = S(resources)->get_blend_state(1);
  if (!states.depth_stencil) states.depth_stencil = S(resources)->get_depth_stencil_state(1);
}

}  // namespace

void render_pass_t::switch_to_current_versions() {
  for (shader_ptr_t* stage : {&vs, &gs, &ps, &cs}) switch_to_current_version(*stage);
}

void render_pass_t::bind() {
  fill_missing_states(states);
  if (has_all_states(states)) S(runtime)->set_state_set(states);
  S(runtime)->set_geometry(geometry);
  switch_to_current_versions();
  S(runtime)->set_vertex_shader(vs.get());
  S(runtime)->set_geometry_shader(gs.get());
  S(runtime)->set_pixel_shader(ps.get());
  for (shader_t* shader : {vs.get(), gs.get(), ps.get()}) {
    if (!shader) continue;
    shader->bind_resources();
    shader->update_constants();
  }
}

void render_pass_t::unbind() {
  if (vs) {
    vs->unbind_resources();
    S(runtime)->set_vertex_shader(nullptr);
  }
  if (gs) {
    gs->unbind_resources();
    S(runtime)->set_geometry_shader(nullptr);
  }
  if (ps) {
    ps->unbind_resources();
    S(runtime)->set_pixel_shader(nullptr);
  }
}

void render_pass_t::draw_indexed(uint32_t index_count, int32_t base_vertex) {
  bind();
  S(runtime)->draw_indexed(index_count, 0, base_vertex);
  unbind();
}

void render_pass_t::draw_fullscreen() {
  bind();
  S(runtime)->draw(3, 0);
  unbind();
}

void render_pass_t::dispatch(uint32_t x) {
  S(runtime)->set_geometry(geometry);
  S(runtime)->set_vertex_shader(nullptr);
  S(runtime)->set_geometry_shader(nullptr);
  S(runtime)->set_pixel_shader(nullptr);
  if (!cs) {
    S(runtime)->set_compute_shader(nullptr);
    return;
  }
  switch_to_current_versions();
  S(runtime)->set_compute_shader(cs.get());
  cs->bind_resources();
  cs->update_constants();
  S(runtime)->dispatch(x, 1, 1);
  cs->unbind_resources();
  S(runtime)->set_compute_shader(nullptr);
}

void render_pass_t::draw_fullscreen_to_target(render_target_t* target,
                                              std::initializer_list<ID3D11ShaderResourceView*> views,
                                              const float* clear_colour) {
  render_target_t* previous = S(runtime)->set_render_target(target, clear_colour, false);
  // The views go into the version this draw binds.
  switch_to_current_versions();
  set_pixel_views(views);
  draw_fullscreen();
  S(runtime)->set_render_target(previous, nullptr, false);
}

void render_pass_t::draw_fullscreen_to_targets(std::initializer_list<render_target_t*> targets,
                                               std::initializer_list<ID3D11ShaderResourceView*> views,
                                               const float* clear_colour) {
  const bound_targets_t previous = S(runtime)->set_render_targets_clear_all(
      std::span<render_target_t* const>(targets.begin(), targets.size()), clear_colour, false);
  switch_to_current_versions();
  set_pixel_views(views);
  draw_fullscreen();
  S(runtime)->set_render_targets_clear_all(previous, nullptr, false);
}

void render_pass_t::set_pixel_views(std::initializer_list<ID3D11ShaderResourceView*> views) {
  if (!ps) return;
  size_t slot = 0;
  for (ID3D11ShaderResourceView* view : views) {
    if (slot == SHADER_SLOT_COUNT) break;
    ps->resources[slot++].srv = view;
  }
}

// An input's view takes the slot; a slot left without one binds the texture the shader's
// metadata names there, if any (shader_resource_slot_t::view).
void render_pass_t::bind_input_textures(const render_context_t& context) {
  switch_to_current_versions();
  if (!ps) return;
  for (size_t i = 0; i < context.input_targets.size() && i < SHADER_SLOT_COUNT; ++i) {
    const render_target_t* target = context.input_targets[i];
    ID3D11ShaderResourceView* view = nullptr;
    if (target && target->srv)
      view = target->srv;
    else if (i < context.input_views.size())
      view = context.input_views[i];
    ps->resources[i].srv = view;
  }
}

void render_pass_t::set_uav(int slot, ID3D11UnorderedAccessView* view, int initial_count) {
  switch_to_current_versions();
  shader_t* shader = ps ? ps.get() : cs.get();
  if (!shader || slot < 0 || slot >= SHADER_SLOT_COUNT) return;
  shader->resources[slot].uav = view;
  shader->resources[slot].uav_initial_count = initial_count;
}

bool render_pass_t::shaders_loaded() const {
  for (const shader_t* shader : {vs.get(), gs.get(), ps.get(), cs.get()})
    if (shader && shader->state != SHADER_STATE_READY) return false;
  return true;
}

bool render_pass_t::is_ready() const {
  for (const shader_t* shader : {vs.get(), gs.get(), ps.get(), cs.get()})
    if (shader && !shader->is_ready()) return false;
  return true;
}

void render_pass_t::collect_variables(variable_registry_t& registry) {
  if (kind == RENDER_PASS_GRAPHICS) {
    for (shader_t* shader : {vs.get(), gs.get(), ps.get()})
      if (shader) shader->collect_variables(registry);
  } else if (kind == RENDER_PASS_COMPUTE && cs) {
    cs->collect_variables(registry);
  }
}

void render_pass_t::collect_variables_prefixed(const std::string& prefix, variable_registry_t& registry) {
  registry.path_stack.push_back(prefix);
  collect_variables(registry);
  registry.path_stack.pop_back();
}
