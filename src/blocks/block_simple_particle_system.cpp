#include "blocks/block_simple_particle_system.h"

#include <algorithm>
#include <chrono>
#include <numeric>
#include <stdexcept>

#include "engine/block_factory.h"
#include "graphics/geometry.h"
#include "shaders/render_context.h"
#include "shaders/render_pass.h"
#include "shaders/render_pass_desc.h"
#include "support/log.h"

namespace {

// Without a leading '/': the shader cache keys its entries by the relative path.
const char* particle_pass_path = "shaders/particlesystems/simple_particle.toml";
// A seek or a stalled frame hands in seconds at once; one step that long would fling every
// particle by seconds of velocity and spend the whole budget in one frame.
constexpr float longest_step = 0.1f;

}  // namespace

block_simple_particle_system_t::block_simple_particle_system_t()
    : block_base_t("simple-particlesystem"), pass(make_render_pass()) {}

block_simple_particle_system_t::~block_simple_particle_system_t() {
  pass.reset();
  emitter.reset();
}

bool block_simple_particle_system_t::default_init() {
  if (!block_base_t::default_init()) return false;
  emitter = std::make_unique<emitter_base_t>(1, this);
  return load_particle_pass();
}

bool block_simple_particle_system_t::load(const serial::value_t& table) {
  if (!block_base_t::load(table)) return false;
  const int32_t type = table.get_int("emitter-type", 0);
  const bool made = type != 0 || !emitter;
  if (type != 0) {
    emitter = std::make_unique<emitter_base_t>(type, this);
    emitter->load(table);
  } else if (!emitter) {
    // Without a type the block keeps its emitter; a new block has none, and gets the default one.
    LOG_INF("simple-particlesystem: no emitter-type, using the sphere emitter with its defaults");
    emitter = std::make_unique<emitter_base_t>(1, this);
  }
  const bool ok = load_particle_pass();
  if (made && ok) {
    const auto started = std::chrono::steady_clock::now();
    const int32_t updates = emitter->prewarm();
    prewarm_milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
    LOG_INF("simple-particlesystem: pre-warmed %d particles over %d updates in %.1f ms",
            int(emitter->particles.size()), int(updates), prewarm_milliseconds);
  }
  return ok;
}

void block_simple_particle_system_t::save(serial::value_t& table) const {
  block_base_t::save(table);
  if (!emitter) return;
  table.add("emitter-type", serial::value_kind_t::int_)->payload.i[0] = emitter->type;
  emitter->save(table);
}

bool block_simple_particle_system_t::load_particle_pass() {
  auto loaded = load_render_pass_from_desc(particle_pass_path);
  if (!loaded || !*loaded) {
    const std::string message = loaded ? "no render pass in the description" : loaded.error();
    LOG_WRN("Error loading shader desc: %s: %s", particle_pass_path, message.c_str());
    return false;
  }
  pass = *loaded;
  // The new pass comes without buffers, whatever the previous one held.
  capacity = 0;
  if (pass->ps) sync_bound_inputs(*pass->ps);
  pass->geometry.topology = D3D11_PRIMITIVE_TOPOLOGY_POINTLIST;
  resize_particle_buffers();
  return true;
}

void block_simple_particle_system_t::resize_particle_buffers() {
  if (!emitter) return;
  const int32_t maximum = emitter->particle_maximum();
  if (maximum > capacity) {
    capacity = 0;
    try {
      pass->geometry.create_dynamic_vertices(maximum, static_cast<int>(sizeof(particle_vertex_t)));
    } catch (const std::runtime_error& error) {
      pass->geometry.dyn_vertices.reset();
      LOG_WRN("simple-particlesystem: no vertex buffer for %d particles (%s); the block draws nothing", maximum,
              error.what());
    }
    std::vector<uint32_t> indices(static_cast<size_t>(maximum));
    std::iota(indices.begin(), indices.end(), 0u);
    pass->geometry.create_index_buffer(maximum, 0, indices.data());
    if (!pass->geometry.index_buffer)
      LOG_WRN("simple-particlesystem: no index buffer for %d particles; the block draws nothing", maximum);
    // Without both the next load tries again.
    if (pass->geometry.dyn_vertices && pass->geometry.index_buffer) capacity = maximum;
  }
  emitter->resize_particles();
}

void block_simple_particle_system_t::execute(const render_context_t& context) {
  block_base_t::execute(context);
  if (!pass || !emitter) return;
  pass->bind_input_textures(context);
  if (!pass->is_ready()) return;
  const float dt = std::clamp(context.delta_time, 0.0f, longest_step);
  const update_result_t drawn = emitter->update(pass->geometry.dyn_vertices.get(), dt);
  if (drawn.count < 1 || !pass->geometry.dyn_vertices || !pass->geometry.index_buffer) return;
  pass->draw_indexed(static_cast<uint32_t>(drawn.count), drawn.first);
}

block_ptr_t make_simple_particle_system_block() { return std::make_shared<block_simple_particle_system_t>(); }

namespace {
const block_class_registrar_t registrar{"simple-particlesystem", make_simple_particle_system_block};
}  // namespace
