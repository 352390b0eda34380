#pragma once
// Particles simulated on the processor: one emitter spends a spawn budget on dead slots (on a ring
// or a sphere, or at spawn points), moves the live particles through curl noise on the task
// scheduler's workers, and the block draws each live particle as one point sprite.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/block_base.h"
#include "libs/enki/task_scheduler.h"
#include "libs/noise/fast_noise.h"
#include "support/math.h"
#include "support/random.h"
#include "variables/range_value.h"

class render_pass_t;
class dyn_buffer_base;

struct simple_particle_t {
  float3 acceleration;
  float3 velocity;
  float3 position;
  float life_left = 0.0f;  // dead at 0 or below
  float life_total = 0.0f;
};

// One vertex per live particle, as the sprite shader reads it.
struct particle_vertex_t {
  float3 position;
  float size = 0.0f;
  float life_ratio = 0.0f;  // life left / life total: 1 at birth, 0 at death
  float4 colour;
};
static_assert(sizeof(particle_vertex_t) == 36);

// The generator an emitter's random tables and lifetimes are drawn from and the cursors into the
// tables. Each emitter owns one seeded from its block's id, so a production gives the same
// particles every run whatever else drew random numbers before; a test may hand in its own.
struct particle_random_state_t {
  explicit particle_random_state_t(uint64_t seed = 0);
  pcg32_t generator;
  gaussian_spare_t spare;
  int32_t uniform_cursor = 0;
  int32_t gaussian_cursor = 0;
  int32_t spawn_point_cursor = 0;
};

class block_simple_particle_system_t final : public block_base_t {
 public:
  struct update_result_t {
    int32_t first = 0;  // first vertex written this frame in the dynamic buffer
    int32_t count = 0;  // live particles
  };

  // The emitter's settings, variables, particle slots, random tables and noise.
  class emitter_base_t {
   public:
    static constexpr int32_t ring_type = 3;
    static constexpr int32_t table_length = 16384;
    // More slots than this are refused: the spawn-point product could otherwise overflow.
    static constexpr int32_t slot_limit = 1 << 18;
    static constexpr int32_t prewarm_updates = 10000;
    static constexpr int32_t default_slots = 5000;
    // The pre-warm's work in slot visits: an integration in curl noise (eighteen noise samples)
    // costs about as much as 128 of them, one without as two. The budget is ten thousand updates
    // of the default slots with 300 particles alive in curl noise.
    static constexpr int64_t plain_integration_cost = 2;
    static constexpr int64_t curl_integration_cost = 128;
    static constexpr int64_t prewarm_budget =
        int64_t{prewarm_updates} * (default_slots + curl_integration_cost * 300);

    // Without a random state of the caller's the emitter seeds its own from the owner's id.
    emitter_base_t(int32_t type, block_simple_particle_system_t* owner, particle_random_state_t* random = nullptr);
    virtual ~emitter_base_t();
    emitter_base_t(const emitter_base_t&) = delete;
    emitter_base_t& operator=(const emitter_base_t&) = delete;

    // The nine settings, then the variables; out-of-range values are refused or clamped with a
    // warning.
    void load(const serial::value_t& table);
    void save(serial::value_t& table) const;

    // Spawns, ages and compacts on this thread, integrates on the scheduler's workers; writes one
    // vertex per live particle when given a buffer.
    update_result_t update(dyn_buffer_base* vertices, float dt);
    // Up to prewarm_updates updates of 1/60 s without vertices, so that the first frame starts
    // from a settled state. Each update costs its walk over the slots and its integrations; once
    // those reach the budget the pre-warm ends early with a warning, whatever the settings ask.
    // Returns the updates run.
    int32_t prewarm(int64_t budget = prewarm_budget);
    // Slots num-spawns × num-particles-per-spawn with spawn points, else 5000.
    int32_t particle_maximum() const;
    // The particle array gets exactly the maximum's slots; the spawn points are filled.
    void resize_particles();

    // Each partition touches only its own slots and the vertices of the same indices.
    void integrate_particles(enki::TaskSetPartition range, particle_vertex_t* vertices, float dt);
    float3 curl_noise(const float3& p) const;
    // Three noise fields: one noise read at shifted places.
    float3 sample_noise3(const float3& p) const;
    float noise_x(const float3& p) const;
    float noise_y(const float3& p) const;
    float noise_z(const float3& p) const;
    // The variables' values as the next spawn and integration use them (update reads them first).
    void read_frame_values();

    int32_t type;
    block_simple_particle_system_t* owner;

    range_value_t<float> size{"size", 0.5f};
    range_value_t<float> velocity{"velocity", 0.0f};
    range_value_t<float> velocity_variance{"velocity-variance", 1.0f};
    range_value_t<float> lifetime{"lifetime", 4.0f};
    range_value_t<float> lifetime_variance{"lifetime-variance", 1.0f};
    range_value_t<float> radius{"radius", 4.0f};
    range_value_t<int> num_spawns{"num-spawns", 100};
    range_value_t<int> num_particles_per_spawn{"num-particles-per-spawn", 50};
    range_value_t<float> spawn_rate{"spawn-rate", 50.0f};
    std::vector<range_value_base_t*> settings;
    // Fixed: kept out of the settings list, so the block table neither sets nor records it.
    const range_value_t<int> max_num_particles{"max-num-particles", default_slots};

    variable_ptr_t motion_2d;
    variable_ptr_t use_spawn_points;
    variable_ptr_t start_color;
    variable_ptr_t end_color;
    variable_ptr_t fade_in;
    variable_ptr_t fade_out;
    variable_ptr_t use_curl;
    variable_ptr_t curl_factor;
    variable_ptr_t curl_scale;
    variable_ptr_t curl_strength;
    std::vector<variable_ptr_t*> variables;

    std::vector<simple_particle_t> particles;
    std::vector<float3> spawn_points;
    std::vector<float> gaussian_table;
    std::vector<uint32_t> integer_table;
    std::vector<float> uniform_table;
    float spawn_carry = 0.0f;
    FastNoise noise;

   private:
    // The variables' values for one update, read once on the main thread.
    struct frame_values_t {
      bool motion_2d = false;
      bool use_spawn_points = false;
      color_t start_color;
      color_t end_color;
      float fade_in = 0.5f;
      float fade_out = 0.5f;
      bool use_curl = true;
      float curl_factor = 0.5f;
      float curl_scale = 1.0f;
      float curl_strength = 0.1f;
    };

    void respawn(simple_particle_t& particle);
    float fade_at(float age, float life_total) const;
    void check_settings();
    void check_spawn_rate();
    void check_variable_types();

    particle_random_state_t own_random_;
    particle_random_state_t& random_;
    frame_values_t frame_;
    std::vector<int32_t> live_;  // kept between updates so a frame allocates nothing
  };

  block_simple_particle_system_t();
  ~block_simple_particle_system_t() override;

  bool default_init() override;
  bool copy_from(const block_base_t& other) override { return block_base_t::copy_from(other); }
  bool load(const serial::value_t& table) override;
  void save(serial::value_t& table) const override;
  void execute(const render_context_t& context) override;

  bool load_particle_pass();
  void resize_particle_buffers();

  std::unique_ptr<emitter_base_t> emitter;
  std::shared_ptr<render_pass_t> pass;
  // Slots the pass's buffers hold; 0 while it has none.
  int32_t capacity = 0;
  // The last load's pre-warm, for the log and the benchmarks.
  double prewarm_milliseconds = 0.0;
};

block_ptr_t make_simple_particle_system_block();
