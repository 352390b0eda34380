// The particle emitter of the simple particle system: spawning, ageing, compaction and the
// integration that runs on the task scheduler.
#include <algorithm>
#include <cmath>
#include <limits>

#include "blocks/block_simple_particle_system.h"
#include "graphics/geometry.h"
#include "support/log.h"
#include "support/systems.h"
#include "variables/serializer_aux.h"

namespace {

constexpr float two_pi = 6.28318530717958647692f;
constexpr float pi = 3.14159265358979323846f;

pcg32_t& generator_of(particle_random_state_t& random) { return random.generator; }

// The emitter's variables as the update reads them, in their saved order.
constexpr size_t variable_count = 10;

variable_ptr_t make_default_variable(size_t index) {
  const int32_t ranged = VAR_FLAG_HAS_MIN | VAR_FLAG_HAS_MAX;
  switch (index) {
    case 0: return construct_variable("2d-motion", VT_BOOL, false);
    case 1: return construct_variable("use-spawn-points", VT_BOOL, false);
    case 2: return construct_variable("start-color", VT_COLOR, color_t{0.2f, 0.4f, 0.7f, 1.0f});
    case 3: return construct_variable("end-color", VT_COLOR, color_t{0.5f, 0.7f, 0.7f, 1.0f});
    case 4: return construct_ranged_variable("fade-in", VT_FLOAT, 0.5f, 0.0f, 5.0f, ranged);
    case 5: return construct_ranged_variable("fade-out", VT_FLOAT, 0.5f, 0.0f, 5.0f, ranged);
    case 6: return construct_variable("use-curl", VT_BOOL, true);
    case 7: return construct_ranged_variable("curl-factor", VT_FLOAT, 0.5f, 0.0f, 1.0f, ranged);
    // The default lies below the range's minimum; nothing clamps it.
    case 8: return construct_ranged_variable("curl-scale", VT_FLOAT, 1.0f, 50.0f, 250.0f, ranged);
    default: return construct_ranged_variable("curl-strength", VT_FLOAT, 0.1f, 0.0f, 2.0f, ranged);
  }
}

template <typename T>
T value_or(const variable_ptr_t& variable, T fallback) {
  if (!variable) return fallback;
  const T* value = std::get_if<T>(&variable->value.value);
  return value ? *value : fallback;
}

// Cursors wrap like the unsigned counters they index with; the table length divides 2^32.
uint32_t advance(int32_t& cursor, uint32_t by) {
  const uint32_t before = static_cast<uint32_t>(cursor);
  cursor = static_cast<int32_t>(before + by);
  return before;
}

float smooth(float x) { return x * x * (3.0f - 2.0f * x); }

float3 madd(const float3& a, float s, const float3& b) { return {a.x + s * b.x, a.y + s * b.y, a.z + s * b.z}; }

// The integration of one frame as a task set; lives in the update's frame until the wait returns.
class integrate_task_t final : public enki::ITaskSet {
 public:
  integrate_task_t(block_simple_particle_system_t::emitter_base_t& emitter, particle_vertex_t* vertices,
                   float dt, uint32_t count)
      : enki::ITaskSet(count, 1), emitter_(emitter), vertices_(vertices), dt_(dt) {}
  void ExecuteRange(enki::TaskSetPartition range, uint32_t) override {
    emitter_.integrate_particles(range, vertices_, dt_);
  }

 private:
  block_simple_particle_system_t::emitter_base_t& emitter_;
  particle_vertex_t* vertices_;
  float dt_;
};

}  // namespace

particle_random_state_t::particle_random_state_t(uint64_t seed) {
  // Any state lies on the generator's one cycle: the seed only chooses where to start.
  generator.state ^= seed * 0x9E3779B97F4A7C15ull;
}

using emitter_t = block_simple_particle_system_t::emitter_base_t;

emitter_t::emitter_base_t(int32_t emitter_type, block_simple_particle_system_t* owning_block,
                          particle_random_state_t* random)
    : type(emitter_type),
      owner(owning_block),
      noise(1337),
      own_random_(owning_block && owning_block->id > 0 ? uint64_t(owning_block->id) : 0),
      random_(random ? *random : own_random_) {
  variables = {&motion_2d, &use_spawn_points, &start_color, &end_color, &fade_in,
               &fade_out,  &use_curl,         &curl_factor, &curl_scale, &curl_strength};
  settings = {&size,     &velocity, &velocity_variance, &lifetime,   &lifetime_variance,
              &radius,   &num_spawns, &num_particles_per_spawn, &spawn_rate};
  for (size_t i = 0; i < variable_count; ++i) *variables[i] = make_default_variable(i);
  pcg32_t& generator = generator_of(random_);
  gaussian_table.resize(table_length);
  integer_table.resize(table_length);
  uniform_table.resize(table_length);
  for (int32_t i = 0; i < table_length; ++i) {
    gaussian_table[i] = static_cast<float>(random_gaussian(generator, random_.spare, 0.0, 1.0));
    integer_table[i] = generator.next();
    uniform_table[i] = static_cast<float>(generator.next() * (1.0 / 4294967295.0));
  }
  noise.SetNoiseType(FastNoise::Perlin);
  read_frame_values();
}

emitter_t::~emitter_base_t() = default;

void emitter_t::load(const serial::value_t& table) {
  range_value_t<float>* const floats[] = {&size,   &velocity,   &velocity_variance, &lifetime,
                                          &lifetime_variance, &radius, &spawn_rate};
  float before[std::size(floats)];
  for (size_t i = 0; i < std::size(floats); ++i) before[i] = floats[i]->value;
  for (range_value_base_t* setting : settings) setting->load(table);
  // A NaN or an infinity would reach every particle the emitter spawns.
  for (size_t i = 0; i < std::size(floats); ++i) {
    if (std::isfinite(floats[i]->value)) continue;
    LOG_WRN("simple-particlesystem: %s %g is not a finite number; using %g", floats[i]->name.c_str(),
            double(floats[i]->value), double(before[i]));
    floats[i]->value = before[i];
  }
  check_settings();
  load_variables(table, variables);
  check_variable_types();
  read_frame_values();
  check_spawn_rate();
}

void emitter_t::save(serial::value_t& table) const {
  for (const range_value_base_t* setting : settings) setting->save(table);
  for (const variable_ptr_t* variable : variables)
    save_variable(*table.add((*variable)->name, serial::value_kind_t::table), **variable);
}

// A spawn point is picked modulo the spawn count and the slots are their product: counts below 1,
// or a product past the slot limit, are refused.
void emitter_t::check_settings() {
  const int64_t product = int64_t(num_spawns.value) * int64_t(num_particles_per_spawn.value);
  if (num_spawns.value < 1 || num_particles_per_spawn.value < 1 || product > slot_limit) {
    LOG_WRN("simple-particlesystem: num-spawns %d × num-particles-per-spawn %d must be at least 1 each and at "
            "most %d slots; using 100 × 50",
            num_spawns.value, num_particles_per_spawn.value, slot_limit);
    num_spawns.value = 100;
    num_particles_per_spawn.value = 50;
  }
}

// Spawns that find no dead slot are lost: a rate that keeps more particles alive than there are
// slots fills them all, and the user should know why the setting shows no more.
void emitter_t::check_spawn_rate() {
  const double live = double(spawn_rate.value) * double(lifetime.value);
  const int32_t slots = particle_maximum();
  if (!(live > double(slots))) return;
  LOG_WRN("simple-particlesystem: spawn-rate %g × lifetime %g keeps %g particles alive; only the %d slots are "
          "used and the spawns beyond them are lost",
          double(spawn_rate.value), double(lifetime.value), live, slots);
}

// The update reads each variable as its declared type: a table of another type is refused.
void emitter_t::check_variable_types() {
  for (size_t i = 0; i < variables.size(); ++i) {
    variable_ptr_t fallback = make_default_variable(i);
    variable_ptr_t& member = *variables[i];
    if (member && member->type == fallback->type && value_matches_type(member->value.value, fallback->type))
      continue;
    LOG_WRN("simple-particlesystem: variable %s has type %s, not %s; using its default", fallback->name.c_str(),
            member ? variable_type_name(member->type) : "none", variable_type_name(fallback->type));
    member = std::move(fallback);
  }
}

void emitter_t::read_frame_values() {
  frame_.motion_2d = value_or(motion_2d, false);
  frame_.use_spawn_points = value_or(use_spawn_points, false);
  frame_.start_color = value_or(start_color, color_t{0.2f, 0.4f, 0.7f, 1.0f});
  frame_.end_color = value_or(end_color, color_t{0.5f, 0.7f, 0.7f, 1.0f});
  frame_.fade_in = value_or(fade_in, 0.5f);
  frame_.fade_out = value_or(fade_out, 0.5f);
  frame_.use_curl = value_or(use_curl, true);
  frame_.curl_factor = value_or(curl_factor, 0.5f);
  frame_.curl_scale = value_or(curl_scale, 1.0f);
  frame_.curl_strength = value_or(curl_strength, 0.1f);
}

int32_t emitter_t::particle_maximum() const {
  if (!value_or(use_spawn_points, false)) return max_num_particles.value;
  return num_spawns.value * num_particles_per_spawn.value;
}

void emitter_t::resize_particles() {
  const int32_t maximum = particle_maximum();
  particles.resize(static_cast<size_t>(maximum));
  live_.reserve(static_cast<size_t>(maximum));
  if (value_or(use_spawn_points, false)) sphere_directions(num_spawns.value, spawn_points);
}

void emitter_t::respawn(simple_particle_t& particle) {
  float3 p;
  if (frame_.use_spawn_points && !spawn_points.empty()) {
    const uint32_t cursor = advance(random_.spawn_point_cursor, 1) + 1;
    const uint32_t entry = integer_table[cursor % table_length];
    // The entry read as signed and widened, as the spawn-point pick has always taken it.
    const uint64_t widened = static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(entry)));
    p = spawn_points[widened % spawn_points.size()];
  } else if (type == ring_type) {
    const uint32_t cursor = advance(random_.uniform_cursor, 1) + 1;
    const float a = two_pi * uniform_table[cursor % table_length];
    p = {radius.value * std::cos(a), radius.value * std::sin(a), 0.0f};
  } else {
    const uint32_t cursor = advance(random_.uniform_cursor, 2);
    const float a = two_pi * uniform_table[(cursor + 1) % table_length];
    const float b = pi * uniform_table[(cursor + 2) % table_length];
    p = {radius.value * std::sin(a) * std::cos(b), radius.value * std::cos(a), radius.value * std::sin(a) * std::sin(b)};
  }
  const float3 direction = vec3_normalize(p);
  const uint32_t gaussian_cursor = advance(random_.gaussian_cursor, 1) + 1;
  const float speed = velocity_variance.value * gaussian_table[gaussian_cursor % table_length] + velocity.value;
  particle.acceleration = {};
  particle.velocity = vec3_scale(speed, direction);
  particle.position = p;
  if (frame_.motion_2d) {
    particle.acceleration.z = 0.0f;
    particle.velocity.z = 0.0f;
  }
  float life = static_cast<float>(
      random_gaussian(generator_of(random_), random_.spare, lifetime.value, lifetime_variance.value));
  if (!(life > 0.1f)) life = 0.1f;
  particle.life_left = particle.life_total = life;
}

block_simple_particle_system_t::update_result_t emitter_t::update(dyn_buffer_base* vertices, float dt) {
  const float budget = dt * spawn_rate.value + spawn_carry;
  const float whole = std::floor(budget);
  spawn_carry = budget - whole;
  int64_t spawns = whole > 0.0f ? static_cast<int64_t>(std::min(whole, 2147483647.0f)) : 0;

  read_frame_values();

  live_.clear();
  int32_t first_dead = std::numeric_limits<int32_t>::max();
  const int32_t slots = static_cast<int32_t>(particles.size());
  for (int32_t i = 0; i < slots; ++i) {
    simple_particle_t& particle = particles[size_t(i)];
    particle.life_left -= dt;
    if (particle.life_left > 0.0f) {
      live_.push_back(i);
    } else if (spawns > 0) {
      respawn(particle);
      --spawns;
      live_.push_back(i);
    } else if (first_dead == std::numeric_limits<int32_t>::max()) {
      first_dead = i;
    }
  }

  // The live particles move down into the dead slots below the live count, taken from the top.
  const int32_t count = static_cast<int32_t>(live_.size());
  if (first_dead < count) {
    size_t take = live_.size();
    for (int32_t j = first_dead; j < count; ++j) {
      if (particles[size_t(j)].life_left > 0.0f) continue;
      simple_particle_t& source = particles[size_t(live_[--take])];
      particles[size_t(j)] = source;
      source.life_left = 0.0f;
    }
  }

  particle_vertex_t* written = nullptr;
  const size_t bytes = size_t(count) * sizeof(particle_vertex_t);
  if (vertices && count > 0) {
    if (size_t(vertices->capacity / 3) < bytes) vertices->create(static_cast<int>(3 * bytes));
    written = reinterpret_cast<particle_vertex_t*>(vertices->shadow);
  }

  if (count > 0) {
    integrate_task_t task(*this, written, dt, static_cast<uint32_t>(count));
    enki::TaskScheduler* scheduler = g_systems ? g_systems->scheduler : nullptr;
    if (scheduler) {
      scheduler->AddTaskSetToPipe(&task);
      scheduler->WaitforTask(&task);
    } else {
      task.ExecuteRange({0, static_cast<uint32_t>(count)}, 0);
    }
  }

  update_result_t result;
  result.count = count;
  if (vertices && count > 0) result.first = vertices->commit(vertices->shadow + bytes);
  return result;
}

int32_t emitter_t::prewarm(int64_t budget) {
  constexpr float step = 1.0f / 60.0f;
  int64_t spent = 0;
  int32_t updates = 0;
  while (updates < prewarm_updates && spent < budget) {
    const int32_t live = update(nullptr, step).count;
    spent += int64_t(particles.size()) +
             (frame_.use_curl ? curl_integration_cost : plain_integration_cost) * int64_t(live);
    ++updates;
  }
  if (updates < prewarm_updates)
    LOG_WRN("simple-particlesystem: pre-warm ended after %d of %d updates: %d live particles of %d slots cost "
            "more than its budget",
            updates, prewarm_updates, updates > 0 ? int(live_.size()) : 0, int(particles.size()));
  return updates;
}

// A ramp of length 0 or less is no ramp: the particle shows at full strength from birth to death.
float emitter_t::fade_at(float age, float life_total) const {
  const float in = frame_.fade_in > 0.0f ? smooth(std::clamp(age / frame_.fade_in, 0.0f, 1.0f)) : 1.0f;
  const float out = frame_.fade_out > 0.0f
                        ? smooth(std::clamp((age - (life_total - frame_.fade_out)) / frame_.fade_out, 0.0f, 1.0f))
                        : 0.0f;
  return in * (1.0f - out);
}

void emitter_t::integrate_particles(enki::TaskSetPartition range, particle_vertex_t* vertices, float dt) {
  for (uint32_t i = range.start; i < range.end; ++i) {
    simple_particle_t& particle = particles[i];
    if (frame_.motion_2d) {
      particle.acceleration.z = 0.0f;
      particle.velocity.z = 0.0f;
    }
    if (frame_.use_curl) {
      const float3 c = curl_noise(vec3_scale(frame_.curl_scale, particle.position));
      particle.acceleration = madd(vec3_scale(1.0f - frame_.curl_factor, particle.acceleration),
                                   frame_.curl_strength * frame_.curl_factor, c);
    }
    particle.velocity = madd(particle.velocity, dt, particle.acceleration);
    particle.position = madd(particle.position, dt, particle.velocity);
    if (!vertices) continue;
    const float r = particle.life_left / particle.life_total;
    const float age = particle.life_total - particle.life_left;
    const float fade = fade_at(age, particle.life_total);
    const color_t& a = frame_.start_color;
    const color_t& b = frame_.end_color;
    particle_vertex_t& vertex = vertices[i];
    vertex.position = particle.position;
    vertex.size = size.value;
    vertex.life_ratio = r;
    vertex.colour = {(a.r * (1.0f - r) + b.r * r) * fade, (a.g * (1.0f - r) + b.g * r) * fade,
                     (a.b * (1.0f - r) + b.b * r) * fade, (a.a * (1.0f - r) + b.a * r) * fade};
  }
}

float emitter_t::noise_x(const float3& p) const { return noise.GetNoise(p.x, p.y, p.z); }
float emitter_t::noise_y(const float3& p) const {
  return noise.GetNoise(p.y - 19.1f, p.z + 33.4f, p.x + 47.2f);
}
float emitter_t::noise_z(const float3& p) const {
  return noise.GetNoise(p.z + 74.2f, p.x - 124.5f, p.y + 99.4f);
}

float3 emitter_t::sample_noise3(const float3& p) const { return {noise_x(p), noise_y(p), noise_z(p)}; }

float3 emitter_t::curl_noise(const float3& p) const {
  // Each difference reads only the two fields the curl takes from it: the noise is most of the
  // CPU particles' cost.
  constexpr float e = 0.1f;
  const float3 x0{p.x - e, p.y, p.z}, x1{p.x + e, p.y, p.z};
  const float3 y0{p.x, p.y - e, p.z}, y1{p.x, p.y + e, p.z};
  const float3 z0{p.x, p.y, p.z - e}, z1{p.x, p.y, p.z + e};
  const float3 curl = {((noise_z(y1) - noise_z(y0)) - (noise_y(z1) - noise_y(z0))) * 5.0f,
                       ((noise_x(z1) - noise_x(z0)) - (noise_z(x1) - noise_z(x0))) * 5.0f,
                       ((noise_y(x1) - noise_y(x0)) - (noise_x(y1) - noise_x(y0))) * 5.0f};
  return vec3_normalize(curl);
}
