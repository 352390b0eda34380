#include "shaders/render_pass.h"

#include <cstdint>
#include <mutex>

#include "variables/engine_context.h"
#include "graphics/graphics_resources.h"
#include "shaders/shader_manager.h"
#include "support/systems.h"
#include "support/log.h"
#include "support/strings.h"

namespace {

// The passes make_render_pass made, so a frame can switch them all before any block runs.
struct pass_registry_t {
  std::mutex lock;
  std::vector<std::weak_ptr<render_pass_t>> passes;
};

pass_registry_t& pass_registry() {
  static pass_registry_t registry;
  return registry;
}

}  // namespace

std::shared_ptr<render_pass_t> make_render_pass() {
  auto pass = std::make_shared<render_pass_t>();
  pass_registry_t& registry = pass_registry();
  std::lock_guard<std::mutex> hold(registry.lock);
  // Passes come and go with blocks and reloads: the dead ones go before the list grows.
  if (registry.passes.size() == registry.passes.capacity())
    std::erase_if(registry.passes, [](const std::weak_ptr<render_pass_t>& p) { return p.expired(); });
  registry.passes.push_back(pass);
  return pass;
}

void use_newest_shader_versions() {
  // No compile task has reported since the last walk: every pass already holds its newest version.
  // Read before the walk, so a task that reports during it brings another walk next frame.
  static uint64_t walked = UINT64_MAX;
  const uint64_t finished = finished_shader_versions();
  if (finished == walked) return;
  pass_registry_t& registry = pass_registry();
  std::lock_guard<std::mutex> hold(registry.lock);
  for (const std::weak_ptr<render_pass_t>& weak : registry.passes)
    if (std::shared_ptr<render_pass_t> pass = weak.lock()) pass->switch_to_current_versions();
  walked = finished;
}

std::shared_ptr<render_pass_t> render_pass_t::clone() const {
  auto copy = make_render_pass();
  for (auto [from, to] : {std::pair{&vs, &copy->vs}, {&gs, &copy->gs}, {&ps, &copy->ps}, {&cs, &copy->cs}})
    if (*from) *to = (*from)->clone();
  copy->states = states;
  return copy;
}

shader_t* render_pass_t::main_shader() const {
  if (kind == RENDER_PASS_GRAPHICS) return ps.get();
  if (kind == RENDER_PASS_COMPUTE) return cs.get();
  return nullptr;
}

bool render_pass_t::set_rasterizer_state(int id) {
  states.rasterizer_id = id;
  states.rasterizer = S(resources)->get_rasterizer_state(id);
  return states.rasterizer != nullptr;
}

bool render_pass_t::set_blend_state(int id) {
  states.blend_id = id;
  states.blend = S(resources)->get_blend_state(id);
  return states.blend != nullptr;
}

bool render_pass_t::set_depth_stencil_state(int id) {
  states.depth_stencil_id = id;
  states.depth_stencil = S(resources)->get_depth_stencil_state(id);
  return states.depth_stencil != nullptr;
}

bool render_pass_t::set_states(int rasterizer, int blend, int depth_stencil) {
  return set_rasterizer_state(rasterizer) && set_blend_state(blend) && set_depth_stencil_state(depth_stencil);
}

bool render_pass_t::set_samplers(const std::vector<int>& ids) {
  for (int id : ids) {
    states.samplers.push_back(S(resources)->get_sampler_state(id));
    states.sampler_ids.push_back(id);
  }
  return true;
}

bool render_pass_t::create_samplers_from_shader() {
  if (kind != RENDER_PASS_GRAPHICS || !ps) return true;
  if (ps->state != SHADER_STATE_READY) {
    LOG_WRN("Call to create_samplers_from_shader before pixel shader is loaded");
    return false;
  }
  for (const shader_binding_t& sampler : ps->samplers) {
    const std::string name = to_lower(sampler.name);
    auto has = [&](const char* word) { return name.find(word) != std::string::npos; };
    int preset = 0;
    if (has("point"))
      preset = 2;
    else if (has("linear") && has("clamp"))
      preset = 5;
    else if (has("linear") && has("wrap"))
      preset = 3;
    else if (has("linear") && has("mirror"))
      preset = 4;
    else
      LOG_WRN("Unable to determine sampler type for: %s", name.c_str());
    if (sampler.bind_point < 0) continue;
    const size_t slot = static_cast<size_t>(sampler.bind_point);
    if (slot >= states.samplers.size()) states.samplers.resize(slot + 1);
    if (slot >= states.sampler_ids.size()) states.sampler_ids.resize(slot + 1, 0);
    states.sampler_ids[slot] = preset;
    states.samplers[slot] = S(resources)->get_sampler_state(preset);
  }
  return true;
}

bool render_pass_t::load_stage(shader_ptr_t& member, const shader_request_t& request) {
  member = engine_context->shader_manager->load_shader(request);
  return member && member->state == SHADER_STATE_READY;
}

bool render_pass_t::load_vertex_shader(const std::string& file, const std::string& entry_point) {
  return load_stage(vs, shader_request_t(SHADER_STAGE_VERTEX, file, entry_point, 1));
}

bool render_pass_t::load_vertex_shader_with_layout(const std::string& file, const std::string& entry_point,
                                                   const std::vector<uint32_t>& layout) {
  vs_layout = layout;
  shader_request_t request(SHADER_STAGE_VERTEX, file, entry_point, 1);
  request.vs_layout = layout;
  return load_stage(vs, request);
}

bool render_pass_t::load_geometry_shader(const std::string& file, const std::string& entry_point) {
  return load_stage(gs, shader_request_t(SHADER_STAGE_GEOMETRY, file, entry_point, 1));
}

bool render_pass_t::load_pixel_shader(const std::string& file, const std::string& entry_point) {
  const bool ready = load_stage(ps, shader_request_t(SHADER_STAGE_PIXEL, file, entry_point, 1));
  kind = RENDER_PASS_GRAPHICS;
  return ready;
}

bool render_pass_t::load_compute_shader(const std::string& file, const std::string& entry_point) {
  const bool ready = load_stage(cs, shader_request_t(SHADER_STAGE_COMPUTE, file, entry_point, 1));
  kind = RENDER_PASS_COMPUTE;
  return ready;
}

bool render_pass_t::load_fullscreen_shaders(const std::string& file, const std::string& entry_point) {
  return load_vertex_shader("shaders/default.hlsl", "VsQuad") && load_pixel_shader(file, entry_point);
}

render_pass_t* find_render_pass(const std::vector<std::shared_ptr<render_pass_t>>& passes, const std::string& name) {
  for (const auto& pass : passes)
    if (pass && pass->name == name) return pass.get();
  return nullptr;
}
