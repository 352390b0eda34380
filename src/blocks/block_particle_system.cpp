#include "blocks/block_particle_system.h"

#include <algorithm>

#include "engine/block_factory.h"
#include "graphics/graphics_resources.h"
#include "graphics/graphics_runtime.h"
#include "graphics/graphics_system.h"
#include "graphics/render_target.h"
#include "media/texture_manager.h"
#include "shaders/render_context.h"
#include "shaders/render_pass.h"
#include "shaders/render_pass_table.h"
#include "support/log.h"
#include "support/math.h"
#include "support/systems.h"
#include "variables/engine_context.h"
#include "variables/range_value.h"
#include "variables/serializer_aux.h"
#include "variables/variable_registry.h"

namespace {

constexpr int32_t min_particles = 1;
constexpr int32_t max_particles = 10000;
constexpr int32_t saved_flag = 16;
constexpr const char* sprite_path = "data/particle1.png";

int32_t int_value(const variable_ptr_t& variable, int32_t fallback) {
  const int32_t* value = variable ? std::get_if<int32_t>(&variable->value.value) : nullptr;
  return value ? *value : fallback;
}

bool bool_value(const variable_ptr_t& variable) {
  const bool* value = variable ? std::get_if<bool>(&variable->value.value) : nullptr;
  return value && *value;
}

// The setting under its table key; a missing table, or one of another type than the setting's,
// keeps the default the block made.
variable_ptr_t load_setting(const serial::value_t& table, const char* key, const variable_ptr_t& current) {
  variable_ptr_t loaded = load_variable_at(table, key, current);
  if (loaded->type == current->type && value_matches_type(loaded->value.value, current->type)) return loaded;
  LOG_WRN("particlesystem: %s is not of type %s, using the default", key, variable_type_name(current->type));
  return current;
}

void save_setting(serial::value_t& table, const char* key, const variable_ptr_t& variable) {
  if (variable) save_variable(*table.add(key, serial::value_kind_t::table), *variable);
}

// Thread groups for `count` items, `1 << shift` to a group, in 64 bits (a count near the int
// maximum would overflow the rounding) and no more than a dispatch may ask for.
uint32_t groups_of(int32_t count, int shift) {
  const int64_t groups = (int64_t{std::max(count, 0)} + (int64_t{1} << shift) - 1) >> shift;
  constexpr int64_t max_groups = 65535;  // per dimension of one dispatch
  return static_cast<uint32_t>(std::min(groups, max_groups));
}

}  // namespace

block_particle_system_t::~block_particle_system_t() {
  index_buffer.reset();
  indirect_args.reset();
  alive_list.reset();
  dead_list.reset();
  sim_particles.reset();
  render_particles.reset();
  num_particles.reset();
  particles_per_frame.reset();
  external_emitter.reset();
  passes.clear();
}

block_particle_system_t::block_particle_system_t() : block_base_t("particlesystem") { make_settings(); }

bool block_particle_system_t::default_init() {
  if (!block_base_t::default_init()) return false;
  make_settings();
  return true;
}

void block_particle_system_t::make_settings() {
  num_particles = construct_ranged_variable("num-particles", VT_INT, int32_t{2000}, min_particles, max_particles,
                                            saved_flag);
  particles_per_frame =
      construct_ranged_variable("particles-per-frame", VT_INT, int32_t{200}, int32_t{100}, int32_t{1000}, saved_flag);
  external_emitter = construct_variable("external-emitter", VT_BOOL, false, saved_flag);
}

bool block_particle_system_t::load(const serial::value_t& table) {
  if (!block_base_t::load(table)) return false;
  if (!load_render_passes(table.get("shaderdesc", serial::value_kind_t::table), passes)) return false;
  num_particles = load_setting(table, "max-particles", num_particles);
  particles_per_frame = load_setting(table, "particles-per-frame", particles_per_frame);
  external_emitter = load_setting(table, "external-emitter", external_emitter);
  const int32_t count = int_value(num_particles, 2000);
  if (count < min_particles || count > max_particles)
    LOG_WRN("particlesystem: max-particles %d is outside %d..%d, using %d", count, min_particles, max_particles,
            std::clamp(count, min_particles, max_particles));

  reset_pass = find_render_pass(passes, "reset");
  emit_pass = find_render_pass(passes, "emit");
  external_emit_pass = find_render_pass(passes, "external-emit");
  sim_pass = find_render_pass(passes, "sim");
  render_pass = find_render_pass(passes, "render");
  for (const char* name : {"reset", "emit", "sim", "render"})
    if (!find_render_pass(passes, name)) LOG_WRN("particlesystem: unable to find rp, %s", name);
  if (bool_value(external_emitter) && !external_emit_pass)
    LOG_WRN("particlesystem: unable to find rp, %s", "external-emit");

  texture_manager_t* textures = engine_context->texture_manager;
  auto texture = textures ? textures->load_texture(sprite_path) : tl::unexpected(std::string("no texture manager"));
  if (!texture) {
    LOG_WRN("particlesystem: unable to load %s: %s", sprite_path, texture.error().c_str());
    return false;
  }
  particle_texture = *texture;
  update_gpu_buffers();
  if (!render_particles || !sim_particles)
    LOG_WRN("particlesystem: %s has no particle buffers (the reset shader is not ready); it draws nothing",
            name.c_str());
  return true;
}

void block_particle_system_t::save(serial::value_t& table) const {
  block_base_t::save(table);
  save_render_passes(*table.add("shaderdesc", serial::value_kind_t::table), passes);
  save_setting(table, "max-particles", num_particles);
  save_setting(table, "particles-per-frame", particles_per_frame);
  save_setting(table, "external-emitter", external_emitter);
}

void block_particle_system_t::update_gpu_buffers() {
  if (!num_particles) return;
  const int32_t n = std::clamp(int_value(num_particles, 2000), min_particles, max_particles);
  const bool count_changed = num_particles->value.changed;
  num_particles->value.changed = false;
  bool lists_made = false;
  if (count_changed || !dead_list || !alive_list) {
    dead_list = S(resources)->create_buffer(n, 4, BUF_UAV | BUF_SRV | BUF_APPEND | BUF_COUNT_BUFFER);
    alive_list = S(resources)->create_buffer(n, 8, BUF_UAV | BUF_SRV | BUF_COUNTER | BUF_COUNT_BUFFER);
    const std::vector<uint32_t> indices = make_quad_indices(static_cast<size_t>(n));
    index_buffer = S(resources)->create_index_buffer(6 * n, DXGI_FORMAT_R32_UINT, indices.data(), false);
    indirect_args = S(resources)->create_indirect_args_buffer(2);
    buffer_count->value.set(n);
    lists_made = true;
  }

  int32_t new_sim_stride = sim_stride, new_render_stride = render_stride;
  if (reset_pass && reset_pass->cs && reset_pass->cs->state == SHADER_STATE_READY) {
    const auto& strides = reset_pass->cs->buffer_strides;
    if (auto found = strides.find("g_ParticleBufferSim"); found != strides.end()) new_sim_stride = found->second;
    if (auto found = strides.find("g_ParticleBufferRender"); found != strides.end())
      new_render_stride = found->second;
  }
  bool particles_made = false;
  if ((new_sim_stride != sim_stride || lists_made) && new_sim_stride > 0) {
    sim_stride = new_sim_stride;
    sim_particles = S(resources)->create_buffer(n, sim_stride, BUF_UAV | BUF_SRV);
    particles_made = true;
  }
  if ((new_render_stride != render_stride || lists_made) && new_render_stride > 0) {
    render_stride = new_render_stride;
    render_particles = S(resources)->create_buffer(n, render_stride, BUF_UAV | BUF_SRV);
    particles_made = true;
  }
  // New buffers hold nothing defined: the particles start from a reset, so they appear as soon
  // as the block plays.
  if (lists_made || particles_made) needs_reset = true;
  bind_buffers();
}

void block_particle_system_t::bind_buffers() {
  bound_shaders.clear();
  for (render_pass_t* pass : {reset_pass, emit_pass, external_emit_pass, sim_pass, render_pass})
    if (pass)
      for (const shader_t* shader : {pass->vs.get(), pass->ps.get(), pass->cs.get()}) bound_shaders.push_back(shader);
  if (!dead_list || !alive_list || !indirect_args || !render_particles || !sim_particles) return;

  auto ready = [](const shader_ptr_t& shader) { return shader && shader->state == SHADER_STATE_READY; };
  if (reset_pass && ready(reset_pass->cs)) {
    reset_pass->cs->bind_cb_variable("cbPerFrame", "g_MaxNumParticles", buffer_count);
    reset_pass->set_uav(0, render_particles->uav, -1);
    reset_pass->set_uav(1, sim_particles->uav, -1);
    reset_pass->set_uav(2, dead_list->uav, 0);
  }
  for (render_pass_t* pass : {emit_pass, bool_value(external_emitter) ? external_emit_pass : nullptr}) {
    if (!pass || !ready(pass->cs)) continue;
    pass->cs->bind_cb_variable("cbEmitter", "g_MaxParticlesThisFrame", particles_per_frame);
    pass->cs->set_constant_buffer(2, dead_list->count_buffer);
    pass->set_uav(0, render_particles->uav, -1);
    pass->set_uav(1, sim_particles->uav, -1);
    pass->set_uav(2, dead_list->uav, -1);
  }
  if (sim_pass && ready(sim_pass->cs)) {
    sim_pass->set_uav(0, render_particles->uav, -1);
    sim_pass->set_uav(1, sim_particles->uav, -1);
    sim_pass->set_uav(2, dead_list->uav, -1);
    sim_pass->set_uav(3, alive_list->uav, 0);
    sim_pass->set_uav(4, indirect_args->uav, -1);
  }
  if (render_pass && ready(render_pass->vs)) {
    render_pass->vs->set_constant_buffer(3, alive_list->count_buffer);
    render_pass->vs->resources[0].srv = render_particles->srv;
    render_pass->vs->resources[1].srv = alive_list->srv;
  }
}

bool block_particle_system_t::can_run() const {
  if (!reset_pass || !emit_pass || !sim_pass || !render_pass) return false;
  if (bool_value(external_emitter) && !external_emit_pass) return false;
  return render_particles && sim_particles && dead_list && alive_list && indirect_args && index_buffer &&
         indirect_args->uav && particle_texture;
}

void block_particle_system_t::update_counts() {
  const int32_t made = dead_list ? dead_list->count : 0;
  buffer_count->value.set(std::clamp(int_value(num_particles, made), std::min(min_particles, made), made));
}

void block_particle_system_t::execute(const render_context_t& context) {
  block_base_t::execute(context);
  // Playing backwards cannot undo the simulation: it starts over.
  needs_reset = needs_reset || last_context.local_time > context.local_time;
  if (!can_run()) return;
  size_t i = 0;
  bool rebind = false;
  for (render_pass_t* pass : {reset_pass, emit_pass, external_emit_pass, sim_pass, render_pass})
    if (pass)
      for (const shader_t* shader : {pass->vs.get(), pass->ps.get(), pass->cs.get()})
        rebind = rebind || i >= bound_shaders.size() || bound_shaders[i++] != shader;
  if (rebind) bind_buffers();
  update_counts();

  const int32_t n = int_value(buffer_count, 0);
  if (needs_reset) {
    reset_pass->dispatch(groups_of(n, 8));
    needs_reset = false;
  }
  for (const auto& pass : passes)
    if (!pass->shaders_loaded()) return;

  const uint32_t emit_groups = groups_of(int_value(particles_per_frame, 0), 10);
  if (!bool_value(external_emitter)) {
    dead_list->copy_counter();
    emit_pass->dispatch(emit_groups);
  } else {
    // Another block's particle buffer (input 3) and its texture (input 4) feed the emission.
    render_target_t* source = context.input_targets.size() > 3 ? context.input_targets[3] : nullptr;
    if (source && source->uav && source->count_buffer) {
      dead_list->copy_counter();
      source->copy_counter();
      external_emit_pass->cs->set_constant_buffer(3, source->count_buffer);
      external_emit_pass->set_uav(3, source->uav, -1);
      if (render_pass->ps && context.input_views.size() > 4) render_pass->ps->resources[1].srv = context.input_views[4];
      external_emit_pass->dispatch(emit_groups);
    } else if (!warned_no_source) {
      // A texture or nothing at input 3 cannot feed the emission: the particles alive go on.
      LOG_WRN("particlesystem: %s has no particle buffer at input 3 to emit from", name.c_str());
      warned_no_source = true;
    }
  }

  // The simulation counts the index total up from zero.
  const UINT zeros[4] = {};
  ID3D11DeviceContext* device_context = S(gsys)->get_context();
  device_context->ClearUnorderedAccessViewUint(indirect_args->uav, zeros);
  sim_pass->dispatch(groups_of(n, 8));

  alive_list->copy_counter();
  // The texture's view as it is now: a reload replaces the view and frees the old one.
  if (render_pass->ps) render_pass->ps->resources[0].srv = particle_texture->srv.get();
  render_pass->bind();
  S(runtime)->set_vertex_buffer(nullptr);
  S(runtime)->set_index_buffer(index_buffer.get());
  device_context->DrawIndexedInstancedIndirect(indirect_args->buffer, 0);
  render_pass->unbind();
}

void block_particle_system_t::expose_variables(variable_registry_t& registry) {
  block_base_t::expose_variables(registry);
  if (num_particles) registry.add_with_prefix("settings", num_particles.get(), 7);
  if (particles_per_frame) registry.add_with_prefix("settings", particles_per_frame.get(), 7);
  if (emit_pass && !bool_value(external_emitter)) emit_pass->collect_variables(registry);
  if (sim_pass) sim_pass->collect_variables(registry);
  if (render_pass) render_pass->collect_variables(registry);
}

block_ptr_t make_particle_system_block() {
  auto block = std::make_shared<block_particle_system_t>();
  return block;
}

namespace {
const block_class_registrar_t registrar{"particlesystem", make_particle_system_block};
}  // namespace
