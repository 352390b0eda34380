// The GPU particle block over the content build's particle shaders: the thread groups it
// dispatches, the counters of its lists read back through the runtime, the draw arguments the
// simulation writes, seeking, and the projects it refuses.

#include <gtest/gtest.h>

#include <fmt/printf.h>

#include <string>
#include <vector>

#include "blocks/block_particle_system.h"
#include "common/content_engine_fixture.h"
#include "common/log_capture.h"
#include "engine/engine_impl.h"
#include "graphics/render_target.h"
#include "media/texture_manager.h"
#include "shaders/render_pass.h"
#include "shaders/shader.h"
#include "support/log.h"
#include "support/systems.h"
#include "text/serial_reader.h"
#include "variables/engine_context.h"
#include "variables/variable_registry.h"

namespace {

struct project_options_t {
  std::string max_particles = "{name = \"num-particles\", flags = 22, type = 2, default = {type = 2, value = 2000}}";
  int particles_per_frame = 200;
  std::string render_entry = "PsParticle";
  bool with_sim = true;
  bool external = false;
};

std::string pass_table(const char* name, const char* file, const char* stage, int type, const std::string& entry) {
  return fmt::sprintf(R"(  {rp-name = "%s", type = %d, rasterizer-state = 2, blend-state = 4, depth-stencil-state = 2, samplers = [5], %s})",
                      name, type, fmt::sprintf(stage, file, entry));
}

std::string project(const project_options_t& o) {
  const char* compute = "shaders/particlesystems/gpu_particles.hlsl";
  const char* draw = "shaders/particlesystems/gpu_particles_draw.hlsl";
  const char* cs = R"(cs = {type = 8, filename = "%s", entrypoint = "%s"})";
  std::vector<std::string> passes = {pass_table("reset", compute, cs, 2, "CsReset"),
                                     pass_table("emit", compute, cs, 2, "CsEmit")};
  if (o.with_sim) passes.push_back(pass_table("sim", compute, cs, 2, "CsSimulate"));
  if (o.external) passes.push_back(pass_table("external-emit", compute, cs, 2, "CsEmit"));
  const std::string render_stages = fmt::sprintf(
      R"(vs = {type = 1, filename = "%s", entrypoint = "VsParticle"}, ps = {type = 4, filename = "%s", entrypoint = "%s"})",
      draw, draw, o.render_entry);
  passes.push_back(fmt::sprintf(
      R"(  {rp-name = "render", type = 1, rasterizer-state = 2, blend-state = 4, depth-stencil-state = 2, samplers = [5], %s})",
      render_stages));
  std::string list;
  for (const std::string& p : passes) list += p + ",\n";
  return fmt::sprintf(R"([settings]
project-name = "particles"
fade-mode = 0

[[blocks]]
class-name = "particlesystem"
id = 1
name = "fountain"
start-time = 0.0
end-time = 10.0
max-particles = %s
particles-per-frame = {name = "particles-per-frame", flags = 22, type = 2, default = {type = 2, value = %d}}
external-emitter = {name = "external-emitter", flags = 16, type = 1, default = {type = 1, value = %s}}
camera-spans = [{id = 1, end = 10.0}]
[blocks.shaderdesc]
renderpass = [
%s]
[[blocks.cameras]]
name = "front"
id = 1
pos = {name = "pos", flags = 0, type = 8, default = {type = 8, value = float3(0.0, 0.0, -5.0)}, has-animation = false}
dir = {name = "dir", flags = 0, type = 8, default = {type = 8, value = float3(0.0, 0.0, 1.0)}, has-animation = false}
up = {name = "up", flags = 0, type = 8, default = {type = 8, value = float3(0.0, 1.0, 0.0)}, has-animation = false}
fov = {name = "fov", flags = 0, type = 6, default = {type = 6, value = 1.0}, has-animation = false}
near-plane = {name = "near plane", flags = 0, type = 6, default = {type = 6, value = 0.1}, has-animation = false}
far-plane = {name = "far plane", flags = 0, type = 6, default = {type = 6, value = 100.0}, has-animation = false}
)",
                      o.max_particles, o.particles_per_frame, o.external ? "true" : "false", list);
}

class BlockParticleSystemTest : public content_test::content_engine_fixture_t {
 protected:
  block_particle_system_t* fountain() {
    for (const auto& block : current_engine()->get_blocks())
      if (auto* p = dynamic_cast<block_particle_system_t*>(block)) return p;
    return nullptr;
  }
  uint32_t dead_count() { return runtime->read_uav_counter(fountain()->dead_list->uav); }
  uint32_t alive_count() { return runtime->read_uav_counter(fountain()->alive_list->uav); }
  std::vector<uint32_t> draw_args() { return read_buffer<uint32_t>(fountain()->indirect_args->buffer, 5); }

  // The thread-group counts of the frame's dispatches, in order.
  std::vector<uint32_t> dispatches_of_frame(float t) {
    std::vector<uint32_t> groups;
    runtime->trace_enabled = true;
    runtime->trace_sink = [&](const std::string& line) {
      unsigned x = 0, y = 0, z = 0;
      if (std::sscanf(line.c_str(), "dispatch: %u, %u, %u", &x, &y, &z) == 3) groups.push_back(x);
    };
    frame_at(t);
    runtime->trace_enabled = false;
    return groups;
  }
};

void set_int(const variable_ptr_t& variable, int32_t value) { variable->value.set(value); }

// Reset and simulation take 256 particles a group, the emission 1024; only the first frame resets.
TEST_F(BlockParticleSystemTest, DispatchesThreadGroupsByParticleAndEmissionCounts) {
  ASSERT_TRUE(start(project({})));
  block_particle_system_t* block = fountain();
  ASSERT_TRUE(block);
  EXPECT_EQ(dispatches_of_frame(1.0f), (std::vector<uint32_t>{8, 1, 8})) << "2000 particles, 200 a frame";
  struct group_case_t {
    int32_t particles_per_frame;
    uint32_t emit_groups;
  };
  float t = 1.0f;
  for (const group_case_t& c : {group_case_t{1000, 1}, group_case_t{1025, 2}, group_case_t{200, 1}}) {
    set_int(block->particles_per_frame, c.particles_per_frame);
    t += 0.02f;
    EXPECT_EQ(dispatches_of_frame(t), (std::vector<uint32_t>{c.emit_groups, 8})) << c.particles_per_frame;
  }
}

// After the reset every particle is on the dead list; each frame moves the emitted ones to the
// alive list, whose count the draw arguments the simulation writes carry, and those are drawn.
TEST_F(BlockParticleSystemTest, CountsFollowTheEmissionIntoTheDrawArguments) {
  ASSERT_TRUE(start(project({})));
  ASSERT_TRUE(fountain());
  const std::vector<uint32_t> first = frame_at(1.0f);
  EXPECT_EQ(dead_count(), 2000u - 200u);
  EXPECT_EQ(alive_count(), 200u);
  EXPECT_EQ(draw_args(), (std::vector<uint32_t>{6 * 200, 1, 0, 0, 0}));
  EXPECT_GT(lit_pixels(first, 8), 0) << "the emitted particles are drawn";

  for (int frame = 2; frame <= 4; ++frame) {
    frame_at(1.0f + 0.02f * float(frame));
    EXPECT_EQ(dead_count(), 2000u - 200u * frame) << frame;
    EXPECT_EQ(alive_count(), 200u * frame) << frame;
    EXPECT_EQ(draw_args()[0], 6u * 200u * frame) << frame;
  }
}

// A seek backwards within the block starts over from the reset; playing forwards never resets.
TEST_F(BlockParticleSystemTest, SeekingBackwardsResetsAndPlayingForwardsDoesNot) {
  ASSERT_TRUE(start(project({})));
  ASSERT_TRUE(fountain());
  EXPECT_EQ(dispatches_of_frame(2.0f).size(), 3u);
  EXPECT_EQ(dispatches_of_frame(2.5f).size(), 2u) << "forwards: emit and simulate";
  EXPECT_EQ(alive_count(), 400u);
  EXPECT_EQ(dispatches_of_frame(1.0f), (std::vector<uint32_t>{8, 1, 8})) << "backwards: reset first";
  EXPECT_EQ(dead_count(), 2000u - 200u);
  EXPECT_EQ(alive_count(), 200u);
}

// With the external emitter the block's own emission neither runs nor is exposed; without a
// particle buffer at input 3 nothing is emitted, once said, and the simulation and draw go on.
TEST_F(BlockParticleSystemTest, ExternalEmitterWithoutASourceBufferEmitsNothing) {
  project_options_t options;
  options.external = true;
  log_capture_t log;
  ASSERT_TRUE(start(project(options)));
  block_particle_system_t* block = fountain();
  ASSERT_TRUE(block);
  EXPECT_EQ(dispatches_of_frame(1.0f), (std::vector<uint32_t>{8, 8})) << "reset and simulation";
  EXPECT_EQ(dispatches_of_frame(1.02f), (std::vector<uint32_t>{8}));
  EXPECT_EQ(dead_count(), 2000u);
  EXPECT_EQ(draw_args()[0], 0u);
  int warnings = 0;
  for (const auto& [level, text] : log.lines)
    warnings += level == LOG_LEVEL_WRN && text == "particlesystem: fountain has no particle buffer at input 3 to emit from";
  EXPECT_EQ(warnings, 1);
  variable_registry_t registry("fountain");
  block->expose_variables(registry);
  std::vector<registered_variable_t> exposed;
  registry.flatten(exposed);
  bool emission = false, simulation = false;
  for (const registered_variable_t& entry : exposed) {
    emission = emission || entry.path.find("emitter-") != std::string::npos;
    simulation = simulation || entry.path.find("gravity") != std::string::npos;
  }
  EXPECT_FALSE(emission) << "the emission's variables are not exposed";
  EXPECT_TRUE(simulation);
}

// Projects the block cannot run: it says why, draws nothing, and the timeline plays on.
TEST_F(BlockParticleSystemTest, RefusesMissingPassesAndFailedShadersAndClampsSettings) {
  struct bad_case_t {
    const char* what;
    project_options_t options;
    const char* message;
  };
  project_options_t no_sim;
  no_sim.with_sim = false;
  project_options_t failing;
  failing.render_entry = "PsNoSuchEntry";
  for (const bad_case_t& c : {bad_case_t{"no sim pass", no_sim, "particlesystem: unable to find rp, sim"},
                              bad_case_t{"a render shader that fails", failing, nullptr}}) {
    SCOPED_TRACE(c.what);
    log_capture_t log;
    ASSERT_TRUE(start(project(c.options)));
    ASSERT_TRUE(fountain());
    if (c.message) {
      bool logged = false;
      for (const auto& [level, text] : log.lines) logged = logged || (level == LOG_LEVEL_WRN && text == c.message);
      EXPECT_TRUE(logged);
    }
    bool playing = false;
    EXPECT_EQ(lit_pixels(frame_at(1.0f, &playing)), 0);
    EXPECT_TRUE(playing);
    stop();
  }
}

// A count beyond the range makes the largest buffers; a setting of another type is the default.
TEST_F(BlockParticleSystemTest, OutOfRangeCountIsClampedAndMistypedSettingIsTheDefault) {
  struct setting_case_t {
    const char* table;
    uint32_t particles;
  };
  for (const setting_case_t& c :
       {setting_case_t{"{name = \"num-particles\", flags = 22, type = 2, default = {type = 2, value = 50000}}", 10000},
        setting_case_t{"{name = \"num-particles\", flags = 22, type = 6, default = {type = 6, value = 3.5}}", 2000}}) {
    SCOPED_TRACE(c.table);
    project_options_t options;
    options.max_particles = c.table;
    log_capture_t log;
    ASSERT_TRUE(start(project(options)));
    ASSERT_TRUE(fountain());
    frame_at(1.0f);
    EXPECT_EQ(fountain()->dead_list->count, int32_t(c.particles));
    EXPECT_EQ(dead_count(), c.particles - 200u);
    bool warned = false;
    for (const auto& [level, text] : log.lines) warned = warned || level == LOG_LEVEL_WRN;
    EXPECT_TRUE(warned);
    stop();
  }
}

// The emission follows particles-per-frame as it is, also above the particle count: its groups and
// the shader's constant (the shader itself takes no more than the dead list holds).
TEST_F(BlockParticleSystemTest, EmissionFollowsParticlesPerFrameBeyondTheCount) {
  project_options_t options;
  options.max_particles =
      "{name = \"num-particles\", flags = 22, type = 2, default = {type = 2, value = 1000}}";
  ASSERT_TRUE(start(project(options)));
  block_particle_system_t* block = fountain();
  ASSERT_TRUE(block);
  EXPECT_EQ(dispatches_of_frame(1.0f), (std::vector<uint32_t>{4, 1, 4}));
  set_int(block->particles_per_frame, 2000);
  EXPECT_EQ(dispatches_of_frame(1.02f), (std::vector<uint32_t>{2, 4}));
  const cb_entry_t* entry = block->emit_pass->cs->find_cb_entry("cbEmitter", "g_MaxParticlesThisFrame");
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->variable, block->particles_per_frame);
  EXPECT_EQ(dead_count(), 0u);
  EXPECT_EQ(alive_count(), 1000u);
  set_int(block->particles_per_frame, 2147483647);
  EXPECT_EQ(dispatches_of_frame(1.04f), (std::vector<uint32_t>{65535, 4}))
      << "no more than a dispatch allows";
}

// The buffers are made once, at load: a particle count changed later neither remakes them nor
// resets the particles; the shaders see the new count, kept inside what the buffers hold.
TEST_F(BlockParticleSystemTest, ChangedParticleCountKeepsTheBuffers) {
  ASSERT_TRUE(start(project({})));
  block_particle_system_t* block = fountain();
  ASSERT_TRUE(block);
  EXPECT_EQ(dispatches_of_frame(1.0f), (std::vector<uint32_t>{8, 1, 8}));
  const render_target_t* dead = block->dead_list.get();
  const render_target_t* particles = block->render_particles.get();
  struct count_case_t {
    int32_t count;
    uint32_t sim_groups;
  };
  float t = 1.0f;
  for (const count_case_t& c : {count_case_t{500, 2}, count_case_t{50000, 8}, count_case_t{2000, 8}}) {
    SCOPED_TRACE(c.count);
    set_int(block->num_particles, c.count);
    t += 0.02f;
    EXPECT_EQ(dispatches_of_frame(t), (std::vector<uint32_t>{1, c.sim_groups})) << "no reset";
    EXPECT_EQ(block->dead_list.get(), dead);
    EXPECT_EQ(block->render_particles.get(), particles);
    EXPECT_EQ(block->dead_list->count, 2000);
  }
}

// Without its sprite the block is refused at load and makes no buffers, then or later.
TEST_F(BlockParticleSystemTest, FailedSpriteMakesNoBuffers) {
  S(filesystem)->add_mappings({{"data/particle1.png", "no-such-sprite.png"}});
  log_capture_t log;
  ASSERT_TRUE(start(project({})));
  block_particle_system_t* block = fountain();
  ASSERT_TRUE(block);
  bool playing = false;
  EXPECT_EQ(lit_pixels(frame_at(1.0f, &playing)), 0);
  EXPECT_TRUE(playing);
  EXPECT_FALSE(block->dead_list || block->alive_list || block->render_particles || block->sim_particles ||
               block->indirect_args || block->index_buffer);
  bool warned = false;
  for (const auto& [level, text] : log.lines)
    warned = warned || (level == LOG_LEVEL_WRN &&
                        text.rfind("particlesystem: unable to load data/particle1.png", 0) == 0);
  EXPECT_TRUE(warned);
}

// A reload gives the sprite a new view and frees the old one: each frame binds the view the
// texture has then.
TEST_F(BlockParticleSystemTest, ReloadedSpriteIsBoundByItsNewView) {
  ASSERT_TRUE(start(project({})));
  block_particle_system_t* block = fountain();
  ASSERT_TRUE(block && block->particle_texture);
  EXPECT_GT(lit_pixels(frame_at(1.0f), 8), 0);
  const uint8_t white[16] = {255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255};
  std::unique_ptr<texture_t> reloaded =
      engine_context->texture_manager->create_texture_2d(2, 2, DXGI_FORMAT_R8G8B8A8_UNORM, white);
  ASSERT_TRUE(reloaded && reloaded->srv);
  block->particle_texture->srv = reloaded->srv;  // the old view is released here
  EXPECT_GT(lit_pixels(frame_at(1.02f), 8), 0);
  EXPECT_EQ(block->render_pass->ps->resources[0].srv, reloaded->srv.get());
}

// The settings are saved under the keys they are read from.
TEST_F(BlockParticleSystemTest, SavedBlockLoadsWithItsSettings) {
  ASSERT_TRUE(start(project({})));
  block_particle_system_t* block = fountain();
  ASSERT_TRUE(block);
  block->external_emitter->value.set(true);
  set_int(block->particles_per_frame, 300);
  serial::value_t table;
  table.kind = serial::value_kind_t::table;
  table.valid = true;
  block->save(table);
  block_particle_system_t copy;
  ASSERT_TRUE(copy.load(table));
  EXPECT_EQ(std::get<bool>(copy.external_emitter->value.value), true);
  EXPECT_EQ(std::get<int32_t>(copy.particles_per_frame->value.value), 300);
  EXPECT_EQ(std::get<int32_t>(copy.num_particles->value.value), 2000);
  EXPECT_EQ(copy.passes.size(), 4u);
}

}  // namespace
