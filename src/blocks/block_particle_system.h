#pragma once
// Particles that live on the graphics device: compute passes reset, emit and simulate them, and a
// draw whose arguments the simulation writes renders them as textured quads. Nothing of the
// particles crosses to the processor: counts travel from counters into constant buffers and into
// the draw arguments on the device.

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/block_base.h"

class render_pass_t;
struct render_target_t;
struct index_buffer_t;
struct texture_t;

class block_particle_system_t final : public block_base_t {
 public:
  // With the three settings at their defaults, which a table that lacks one keeps.
  block_particle_system_t();
  ~block_particle_system_t() override;

  bool default_init() override;
  bool copy_from(const block_base_t& other) override { return block_base_t::copy_from(other); }
  bool load(const serial::value_t& table) override;
  void save(serial::value_t& table) const override;
  void execute(const render_context_t& context) override;
  void expose_variables(variable_registry_t& registry) override;

  // Makes the buffers for the particle count and binds them to the passes whose shaders are ready.
  // Called by load only: a count animated later changes what the shaders see, not the buffers.
  void update_gpu_buffers();

  bool needs_reset = false;
  int32_t render_stride = -1;
  int32_t sim_stride = -1;
  std::vector<std::shared_ptr<render_pass_t>> passes;
  render_pass_t* reset_pass = nullptr;
  render_pass_t* emit_pass = nullptr;
  render_pass_t* external_emit_pass = nullptr;
  render_pass_t* sim_pass = nullptr;
  render_pass_t* render_pass = nullptr;
  std::unique_ptr<render_target_t> render_particles;
  std::unique_ptr<render_target_t> sim_particles;
  std::unique_ptr<render_target_t> dead_list;
  std::unique_ptr<render_target_t> alive_list;
  std::unique_ptr<render_target_t> indirect_args;
  std::unique_ptr<index_buffer_t> index_buffer;
  variable_ptr_t num_particles;
  variable_ptr_t particles_per_frame;
  variable_ptr_t external_emitter;
  texture_t* particle_texture = nullptr;

 private:
  void make_settings();
  // The block can dispatch and draw: all its passes and buffers exist.
  bool can_run() const;
  void bind_buffers();
  // The particle count the shaders see: num-particles, kept inside the size the buffers were made
  // with at load.
  void update_counts();

  // What g_MaxNumParticles and the reset and simulation groups follow.
  variable_ptr_t buffer_count = construct_variable("max-particles", VT_INT, int32_t{0});
  // The shaders the buffers were last bound to; a reloaded shader is bound again.
  std::vector<const void*> bound_shaders;
  bool warned_no_source = false;
};

block_ptr_t make_particle_system_block();
