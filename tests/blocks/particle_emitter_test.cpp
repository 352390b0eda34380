// The simple particle system's emitter on the processor: the spawn budget, the compaction, where
// particles are born, their fade, the settled count, and the same run with and without workers.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "blocks/block_simple_particle_system.h"
#include "common/engine_test_support.h"
#include "common/log_capture.h"
#include "libs/enki/task_scheduler.h"
#include "support/systems.h"
#include "text/serial_reader.h"

namespace {

using emitter_t = block_simple_particle_system_t::emitter_base_t;
constexpr float frame = 1.0f / 60.0f;

// An emitter over a random state of its own, so each test replays the same numbers.
struct emitter_rig_t {
  explicit emitter_rig_t(int type) : emitter(type, nullptr, &random) {}
  void set_bool(variable_ptr_t& variable, bool value) { variable->value.set(value); }
  void set_float(variable_ptr_t& variable, float value) { variable->value.set(value); }
  // No curl, no speed: particles stay where they were born.
  void still() {
    set_bool(emitter.use_curl, false);
    emitter.velocity.value = 0.0f;
    emitter.velocity_variance.value = 0.0f;
  }

  particle_random_state_t random;
  emitter_t emitter;
};

// Updates without workers unless a test installs a scheduler.
class ParticleEmitterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = g_systems;
    g_systems = &systems_;
  }
  void TearDown() override { g_systems = saved_; }

  systems_t systems_;
  systems_t* saved_ = nullptr;
};

bool warned(const log_capture_t& log, const std::string& text) {
  for (const auto& [level, line] : log.lines)
    if (level == LOG_LEVEL_WRN && line.find(text) != std::string::npos) return true;
  return false;
}

TEST_F(ParticleEmitterTest, SpawnBudgetCarriesItsFractionFromFrameToFrame) {
  emitter_rig_t rig(1);
  rig.emitter.resize_particles();
  EXPECT_EQ(rig.emitter.update(nullptr, frame).count, 0) << "0.83 spawns";
  EXPECT_EQ(rig.emitter.update(nullptr, frame).count, 1) << "1.67 spawns";
  for (int i = 2; i < 60; ++i) rig.emitter.update(nullptr, frame);
  EXPECT_EQ(rig.emitter.update(nullptr, 0.0f).count, 50) << "50 over 60 frames; none has died yet";
}

// Short lives and a high rate: many die each frame, the budget refills the lowest dead slots.
TEST_F(ParticleEmitterTest, CompactionKeepsEveryLiveParticleOnceBelowTheCount) {
  emitter_rig_t rig(1);
  rig.emitter.lifetime.value = 0.3f;
  rig.emitter.lifetime_variance.value = 0.2f;
  rig.emitter.spawn_rate.value = 900.0f;
  rig.emitter.resize_particles();
  int previous = 0;
  for (int step = 0; step < 120; ++step) {
    const float dt = step % 7 == 0 ? 0.2f : frame;  // a few long frames kill whole generations
    const auto result = rig.emitter.update(nullptr, dt);
    const auto& particles = rig.emitter.particles;
    std::set<std::tuple<float, float, float, float>> seen;
    int born = 0;  // a particle spawned this frame has not aged yet
    for (int i = 0; i < static_cast<int>(particles.size()); ++i) {
      const simple_particle_t& p = particles[size_t(i)];
      if (i < result.count) {
        ASSERT_GT(p.life_left, 0.0f) << "slot " << i << " of " << result.count << " at step " << step;
        EXPECT_TRUE(seen.insert({p.position.x, p.position.y, p.position.z, p.life_total}).second)
            << "a particle in two slots at step " << step;
        born += p.life_left == p.life_total ? 1 : 0;
      } else {
        ASSERT_LE(p.life_left, 0.0f) << "slot " << i << " past the count at step " << step;
      }
    }
    EXPECT_LE(born, static_cast<int>(rig.emitter.spawn_rate.value * dt) + 1) << "no more than the budget";
    EXPECT_LE(result.count, previous + born) << "only spawned particles add to the count";
    previous = result.count;
  }
}

TEST_F(ParticleEmitterTest, RingAndSphereEmittersSpawnOnTheirShapeAndSpawnPointsOnTheUnitSphere) {
  struct case_t {
    int type;
    bool spawn_points;
    float radius;
    const char* what;
  };
  for (const case_t c : {case_t{3, false, 2.5f, "ring"}, case_t{1, false, 2.5f, "sphere"},
                         case_t{2, false, 4.0f, "sphere"}, case_t{3, true, 7.0f, "spawn points"}}) {
    SCOPED_TRACE(c.what);
    emitter_rig_t rig(c.type);
    rig.still();
    rig.emitter.radius.value = c.radius;
    rig.emitter.spawn_rate.value = 600.0f;
    rig.set_bool(rig.emitter.use_spawn_points, c.spawn_points);
    rig.emitter.num_spawns.value = 12;
    rig.emitter.num_particles_per_spawn.value = 3;
    rig.emitter.resize_particles();
    if (c.spawn_points) {
      EXPECT_EQ(rig.emitter.particles.size(), 36u);
    }
    const int count = rig.emitter.update(nullptr, 0.05f).count;
    ASSERT_EQ(count, 30);
    std::set<float> angles;
    for (int i = 0; i < count; ++i) {
      const float3 p = rig.emitter.particles[size_t(i)].position;
      EXPECT_NEAR(vec3_length(p), c.spawn_points ? 1.0f : c.radius, 1e-4f);
      if (c.type == 3 && !c.spawn_points) {
        EXPECT_EQ(p.z, 0.0f);
      }
      angles.insert(std::atan2(p.y, p.x));
    }
    EXPECT_GT(angles.size(), 5u) << "spread over the shape";
  }

  // With speed the ring's particles leave radially in the plane.
  emitter_rig_t ring(3);
  ring.set_bool(ring.emitter.use_curl, false);
  ring.emitter.velocity.value = 2.0f;
  ring.emitter.velocity_variance.value = 0.0f;
  ring.emitter.spawn_rate.value = 600.0f;
  ring.emitter.resize_particles();
  const int count = ring.emitter.update(nullptr, 0.05f).count;
  for (int i = 0; i < count; ++i) {
    const simple_particle_t& p = ring.emitter.particles[size_t(i)];
    EXPECT_EQ(p.velocity.z, 0.0f);
    EXPECT_NEAR(vec3_length(p.velocity), 2.0f, 1e-4f);
    EXPECT_NEAR(vec3_dot(vec3_normalize(p.velocity), vec3_normalize(p.position)), 1.0f, 1e-5f);
  }
}

// Each spawn advances its cursors by one before reading the tables: a ring takes one uniform
// entry for its angle, a sphere two for its two angles, spawn points one integer entry; each spawn
// takes one Gaussian entry for its speed. A fresh emitter fills its slots in spawn order.
TEST_F(ParticleEmitterTest, SpawnsReadTheTablesAtTheirAdvancedCursors) {
  constexpr float two_pi = 6.2831853f, pi = 3.1415927f;
  struct case_t {
    const char* what;
    int type;
    bool spawn_points;
    int uniform_step, spawn_point_step;
  };
  for (const case_t& c : {case_t{"ring", 3, false, 1, 0}, case_t{"sphere", 1, false, 2, 0},
                          case_t{"spawn points", 3, true, 0, 1}}) {
    SCOPED_TRACE(c.what);
    emitter_rig_t rig(c.type);
    rig.set_bool(rig.emitter.use_curl, false);
    rig.emitter.velocity.value = 1.5f;
    rig.emitter.velocity_variance.value = 0.5f;
    rig.emitter.radius.value = 3.0f;
    rig.emitter.spawn_rate.value = 100.0f;
    rig.set_bool(rig.emitter.use_spawn_points, c.spawn_points);
    rig.emitter.num_spawns.value = 7;
    rig.emitter.num_particles_per_spawn.value = 4;
    rig.emitter.resize_particles();
    // Cursors left where an earlier emitter put them.
    rig.random.uniform_cursor = 16380;
    rig.random.gaussian_cursor = 41;
    rig.random.spawn_point_cursor = 9;
    const auto& uniform = rig.emitter.uniform_table;
    const auto& gaussian = rig.emitter.gaussian_table;
    const int spawns = 5;
    ASSERT_EQ(rig.emitter.update(nullptr, 0.0f).count, 0);
    ASSERT_EQ(rig.emitter.update(nullptr, spawns / 100.0f).count, spawns);
    EXPECT_EQ(rig.random.uniform_cursor, 16380 + spawns * c.uniform_step);
    EXPECT_EQ(rig.random.gaussian_cursor, 41 + spawns);
    EXPECT_EQ(rig.random.spawn_point_cursor, 9 + spawns * c.spawn_point_step);
    const float dt = spawns / 100.0f;
    for (int k = 0; k < spawns; ++k) {
      float3 born;
      if (c.spawn_points) {
        const uint32_t entry = rig.emitter.integer_table[size_t(9 + k + 1)];
        const uint64_t widened = uint64_t(int64_t(int32_t(entry)));
        born = rig.emitter.spawn_points[size_t(widened % 7)];
      } else if (c.type == 3) {
        const float a = two_pi * uniform[size_t((16380 + k + 1) % 16384)];
        born = {3 * std::cos(a), 3 * std::sin(a), 0};
      } else {
        const float a = two_pi * uniform[size_t((16380 + 2 * k + 1) % 16384)];
        const float b = pi * uniform[size_t((16380 + 2 * k + 2) % 16384)];
        born = {3 * std::sin(a) * std::cos(b), 3 * std::cos(a), 3 * std::sin(a) * std::sin(b)};
      }
      const float speed = 0.5f * gaussian[size_t(41 + k + 1)] + 1.5f;
      const float3 v = vec3_scale(speed, vec3_normalize(born));
      const simple_particle_t& p = rig.emitter.particles[size_t(k)];
      // Born at the table's place, then moved for one step at the spawn velocity.
      EXPECT_NEAR(p.position.x, born.x + v.x * dt, 1e-4f) << k;
      EXPECT_NEAR(p.position.y, born.y + v.y * dt, 1e-4f) << k;
      EXPECT_NEAR(p.position.z, born.z + v.z * dt, 1e-4f) << k;
      EXPECT_NEAR(vec3_length(p.velocity), std::abs(speed), 1e-4f) << k;
    }
  }
}

// In 2d-motion the z of velocity and acceleration is cleared before each step, so the z velocity
// after a step is only that step's curl push; without it the z velocity builds up.
TEST_F(ParticleEmitterTest, TwoDimensionalMotionClearsZBeforeEachStep) {
  for (bool flat : {true, false}) {
    SCOPED_TRACE(flat ? "2d-motion" : "3d");
    emitter_rig_t rig(1);
    rig.emitter.velocity.value = 2.0f;
    rig.emitter.velocity_variance.value = 0.0f;
    rig.emitter.lifetime_variance.value = 0.0f;
    rig.emitter.spawn_rate.value = 600.0f;
    rig.set_float(rig.emitter.curl_strength, 2.0f);
    rig.set_float(rig.emitter.curl_factor, 1.0f);
    rig.set_bool(rig.emitter.motion_2d, flat);
    rig.emitter.resize_particles();
    rig.emitter.update(nullptr, 0.05f);
    std::vector<simple_particle_t> before(rig.emitter.particles.begin(), rig.emitter.particles.begin() + 30);
    const int count = rig.emitter.update(nullptr, frame).count;
    ASSERT_GE(count, 30);
    int built_up = 0;
    for (size_t i = 0; i < 30; ++i) {
      const simple_particle_t& p = rig.emitter.particles[i];
      ASSERT_EQ(p.life_total, before[i].life_total) << "the same particle";
      if (flat) {
        EXPECT_NEAR(p.velocity.z, p.acceleration.z * frame, 1e-6f) << i;
        EXPECT_NEAR(p.position.z - before[i].position.z, p.acceleration.z * frame * frame, 1e-6f) << i;
      } else {
        built_up += std::abs(p.velocity.z - p.acceleration.z * frame) > 1e-3f ? 1 : 0;
      }
      // x and y keep their momentum in both cases.
      EXPECT_NEAR(p.velocity.x, before[i].velocity.x + p.acceleration.x * frame, 1e-5f) << i;
    }
    if (!flat) {
      EXPECT_GT(built_up, 20) << "the spawn velocity's z remains";
    }
  }
}

// The curl is the normalised central difference of the three noise fields over 0.1 each way, and
// it pushes a particle by strength x factor (the old acceleration keeps 1 - factor).
TEST_F(ParticleEmitterTest, CurlIsTheNormalisedCurlOfTheNoiseFieldAndPushesThatWay) {
  emitter_rig_t rig(1);
  const auto& e = rig.emitter;
  // The three fields are one noise read at shifted places.
  const float3 q{12.5f, -40.0f, 7.25f};
  const float3 s = e.sample_noise3(q);
  EXPECT_EQ(s.x, e.noise.GetNoise(q.x, q.y, q.z));
  EXPECT_EQ(s.y, e.noise.GetNoise(q.y - 19.1f, q.z + 33.4f, q.x + 47.2f));
  EXPECT_EQ(s.z, e.noise.GetNoise(q.z + 74.2f, q.x - 124.5f, q.y + 99.4f));
  for (const float3 p : {float3{0.3f, 1.7f, -2.2f}, float3{150.0f, -80.0f, 33.0f}, float3{-5.5f, 0.0f, 12.0f}}) {
    auto field = [&](float dx, float dy, float dz) { return e.sample_noise3({p.x + dx, p.y + dy, p.z + dz}); };
    // d/dy of z minus d/dz of y, d/dz of x minus d/dx of z, d/dx of y minus d/dy of x.
    const float3 curl{(field(0, 0.1f, 0).z - field(0, -0.1f, 0).z) - (field(0, 0, 0.1f).y - field(0, 0, -0.1f).y),
                      (field(0, 0, 0.1f).x - field(0, 0, -0.1f).x) - (field(0.1f, 0, 0).z - field(-0.1f, 0, 0).z),
                      (field(0.1f, 0, 0).y - field(-0.1f, 0, 0).y) - (field(0, 0.1f, 0).x - field(0, -0.1f, 0).x)};
    const float3 expected = vec3_normalize(curl);
    const float3 c = e.curl_noise(p);
    EXPECT_NEAR(c.x, expected.x, 1e-5f);
    EXPECT_NEAR(c.y, expected.y, 1e-5f);
    EXPECT_NEAR(c.z, expected.z, 1e-5f);
    EXPECT_NEAR(vec3_length(c), 1.0f, 1e-5f);
  }

  // A still particle, born with no acceleration: after one step its acceleration is the curl at
  // its birth place scaled by curl-scale, times strength x factor.
  rig.emitter.velocity.value = 0.0f;
  rig.emitter.velocity_variance.value = 0.0f;
  rig.emitter.spawn_rate.value = 100.0f;
  rig.set_float(rig.emitter.curl_scale, 60.0f);
  rig.set_float(rig.emitter.curl_strength, 0.8f);
  rig.set_float(rig.emitter.curl_factor, 0.25f);
  rig.emitter.resize_particles();
  const int count = rig.emitter.update(nullptr, 0.05f).count;
  ASSERT_EQ(count, 5);
  for (int i = 0; i < count; ++i) {
    const simple_particle_t& p = rig.emitter.particles[size_t(i)];
    // The step moved the particle by a * dt²: its birth place is where it is now, less that.
    const float3 born = vec3_sub(p.position, vec3_scale(0.05f * 0.05f, p.acceleration));
    const float3 push = vec3_scale(0.8f * 0.25f, rig.emitter.curl_noise(vec3_scale(60.0f, born)));
    EXPECT_NEAR(p.acceleration.x, push.x, 1e-4f) << i;
    EXPECT_NEAR(p.acceleration.y, push.y, 1e-4f) << i;
    EXPECT_NEAR(p.acceleration.z, push.z, 1e-4f) << i;
  }
}

TEST_F(ParticleEmitterTest, LivesBelowATenthOfASecondAreRaised) {
  emitter_rig_t rig(1);
  rig.emitter.lifetime.value = 0.05f;
  rig.emitter.lifetime_variance.value = 0.0f;
  rig.emitter.resize_particles();
  rig.emitter.update(nullptr, 0.1f);
  ASSERT_GT(rig.emitter.update(nullptr, 0.0f).count, 0);
  EXPECT_FLOAT_EQ(rig.emitter.particles[0].life_total, 0.1f);
}

// A born particle carries end-color and no fade; fade-in 0.5 gives half strength at 0.25 s, and a
// ramp of length 0 is no ramp at all.
TEST_F(ParticleEmitterTest, FadeAndColourFollowTheParticlesAge) {
  struct case_t {
    float fade_in;
    float fade_out;
    float age;
    float expected_fade;
  };
  const case_t cases[] = {{0.5f, 0.5f, 0.0f, 0.0f}, {0.5f, 0.5f, 0.25f, 0.5f}, {0.5f, 0.5f, 2.0f, 1.0f},
                          {0.5f, 0.5f, 3.75f, 0.5f}, {0.0f, 0.5f, 0.0f, 1.0f}, {0.5f, 0.0f, 3.99f, 1.0f}};
  for (const case_t& c : cases) {
    SCOPED_TRACE(testing::Message() << "fade-in " << c.fade_in << ", fade-out " << c.fade_out << ", age " << c.age);
    emitter_rig_t rig(1);
    rig.still();
    rig.set_float(rig.emitter.fade_in, c.fade_in);
    rig.set_float(rig.emitter.fade_out, c.fade_out);
    rig.emitter.read_frame_values();
    rig.emitter.particles.assign(1, simple_particle_t{});
    rig.emitter.particles[0].life_total = 4.0f;
    rig.emitter.particles[0].life_left = 4.0f - c.age;
    particle_vertex_t vertex;
    rig.emitter.integrate_particles({0, 1}, &vertex, 0.0f);
    const float r = (4.0f - c.age) / 4.0f;
    const float start[3] = {0.2f, 0.4f, 0.7f}, end[3] = {0.5f, 0.7f, 0.7f};
    const float colour[3] = {vertex.colour.x, vertex.colour.y, vertex.colour.z};
    for (int k = 0; k < 3; ++k)
      EXPECT_NEAR(colour[k], (start[k] * (1 - r) + end[k] * r) * c.expected_fade, 1e-5f) << k;
    EXPECT_NEAR(vertex.colour.w, c.expected_fade, 1e-5f);
    EXPECT_FLOAT_EQ(vertex.life_ratio, r);
    EXPECT_FLOAT_EQ(vertex.size, 0.5f);
  }
}

TEST_F(ParticleEmitterTest, DefaultsSettleNearRateTimesMeanLifeAfterThePrewarm) {
  log_capture_t log;
  emitter_rig_t rig(1);
  rig.emitter.resize_particles();
  EXPECT_EQ(rig.emitter.prewarm(), 10000) << "the defaults run the whole pre-warm";
  EXPECT_FALSE(warned(log, "pre-warm"));
  const int count = rig.emitter.update(nullptr, 0.0f).count;
  EXPECT_GT(count, 160);
  EXPECT_LT(count, 240);
}

// The pre-warm's work is its slot walks and integrations: settings that keep every slot alive end
// it early, within its budget, with a warning. A small budget keeps the test short.
TEST_F(ParticleEmitterTest, PrewarmWorkStaysWithinItsBudgetWhateverTheSettings) {
  log_capture_t log;
  emitter_rig_t rig(1);
  rig.emitter.spawn_rate.value = 1e9f;
  rig.emitter.lifetime.value = 1e9f;
  rig.emitter.resize_particles();
  const int64_t budget = 20'000'000;
  const int32_t updates = rig.emitter.prewarm(budget);
  // Every update walks the 5000 slots and integrates them all in curl noise once they are alive.
  const int64_t per_update = 5000 * (1 + emitter_t::curl_integration_cost);
  const int64_t expected = (budget + per_update - 1) / per_update;
  EXPECT_EQ(updates, expected);
  EXPECT_TRUE(warned(log, "pre-warm ended after " + std::to_string(expected) +
                              " of 10000 updates: 5000 live particles of 5000 slots"));
}

// Out-of-range counts would divide by zero when a spawn point is picked, or overflow the slots;
// a variable of another type would be read as its declared one; an infinite setting would reach
// every particle. A rate that keeps more alive than the slots is kept, but the user learns why
// raising it shows no more.
TEST_F(ParticleEmitterTest, SettingsOutOfRangeAreRefusedWithAWarning) {
  struct case_t {
    const char* table;
    const char* warning;
  };
  const case_t cases[] = {
      {"num-spawns = 0\nnum-particles-per-spawn = 10\n", "num-spawns 0 × num-particles-per-spawn 10"},
      {"num-spawns = 5\nnum-particles-per-spawn = -2\n", "num-spawns 5 × num-particles-per-spawn -2"},
      {"num-spawns = 100000\nnum-particles-per-spawn = 100000\n", "num-spawns 100000 × num-particles-per-spawn"},
      {"fade-in = {name = \"fade-in\", flags = 0, type = 2, default = {type = 2, value = 3}}\n",
       "variable fade-in has type int, not float"},
      // A number past the float range reads as an infinity.
      {"lifetime = 10000000000000000000000000000000000000000.0\n", "lifetime inf is not a finite number; using 4"},
      {"spawn-rate = 10000000000000000000000000000000000000000.0\n", "spawn-rate inf is not a finite number; using 50"},
      {"spawn-rate = 1000000000.0\nlifetime = 1000000000.0\n", "only the 5000 slots are used"},
  };
  for (const case_t& c : cases) {
    SCOPED_TRACE(c.table);
    log_capture_t log;
    auto table = serial::parse_text(c.table, "");
    ASSERT_TRUE(table.has_value());
    emitter_rig_t rig(1);
    rig.set_bool(rig.emitter.use_spawn_points, true);
    rig.emitter.load(**table);
    EXPECT_TRUE(warned(log, c.warning)) << c.warning;
    EXPECT_EQ(rig.emitter.particle_maximum(), 5000) << "the default 100 × 50 spawn points";
    EXPECT_EQ(rig.emitter.fade_in->type, VT_FLOAT);
    rig.emitter.resize_particles();
    rig.emitter.update(nullptr, frame);
  }
}

TEST_F(ParticleEmitterTest, MaximumWithoutSpawnPointsIsFixed) {
  auto table = serial::parse_text("max-num-particles = 10\n", "");
  ASSERT_TRUE(table.has_value());
  emitter_rig_t rig(1);
  rig.emitter.load(**table);
  EXPECT_EQ(rig.emitter.particle_maximum(), 5000);
  serial::value_t saved;
  saved.kind = serial::value_kind_t::table;
  saved.valid = true;
  rig.emitter.save(saved);
  EXPECT_FALSE(
      saved.get_any("max-num-particles", {serial::value_kind_t::int_, serial::value_kind_t::float_}).valid);
  EXPECT_EQ(saved.get_int("num-spawns", -1), 100);
}

TEST_F(ParticleEmitterTest, NoVertexBufferSimulatesTheSameAndStartsAtZero) {
  emitter_rig_t rig(3);
  rig.emitter.resize_particles();
  const auto result = rig.emitter.update(nullptr, 0.5f);
  EXPECT_EQ(result.first, 0);
  EXPECT_EQ(result.count, 25);
}

// The integration runs on the scheduler's workers: the same seed gives the same particles, byte
// for byte, whether four threads share the work or the caller does it alone.
TEST_F(ParticleEmitterTest, ParticleUpdateThreadTestSameSeedSameParticlesWithOrWithoutWorkers) {
  auto run = [&](enki::TaskScheduler* scheduler) {
    systems_.scheduler = scheduler;
    emitter_rig_t rig(1);
    rig.emitter.spawn_rate.value = 400.0f;
    rig.set_float(rig.emitter.curl_scale, 60.0f);
    rig.set_float(rig.emitter.curl_strength, 1.5f);
    rig.emitter.resize_particles();
    for (int i = 0; i < 240; ++i) rig.emitter.update(nullptr, frame);
    systems_.scheduler = nullptr;
    return rig.emitter.particles;
  };
  enki::TaskScheduler workers;
  workers.Initialize(4);
  const std::vector<simple_particle_t> threaded = run(&workers);
  const std::vector<simple_particle_t> alone = run(nullptr);
  const std::vector<simple_particle_t> again = run(&workers);
  workers.WaitforAllAndShutdown();
  ASSERT_EQ(threaded.size(), alone.size());
  EXPECT_EQ(std::memcmp(threaded.data(), alone.data(), threaded.size() * sizeof(simple_particle_t)), 0);
  EXPECT_EQ(std::memcmp(threaded.data(), again.data(), threaded.size() * sizeof(simple_particle_t)), 0);
  int live = 0;
  for (const simple_particle_t& p : threaded) live += p.life_left > 0.0f ? 1 : 0;
  EXPECT_GT(live, 1000);
}

}  // namespace
