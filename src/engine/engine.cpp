#include "engine/engine.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <fmt/printf.h>

#include "engine/engine_impl.h"
#include "graphics/graphics_system.h"
#include "media/rocket_manager.h"
#include "shaders/shader_manager.h"
#include "media/soundsystem.h"
#include "support/systems.h"
#include "media/texture_manager.h"
#include "support/log.h"

engine_impl_t::~engine_impl_t() {
  blocks.clear();
  gamma_pass.reset();
  fxaa_pass.reset();
  if (engine_context->soundsystem) engine_context->soundsystem->shutdown();
}

bool engine_impl_t::tick() {
  ++frame_count;
  if (engine_context->texture_manager) engine_context->texture_manager->reload_changed_files();
  if (engine_context->shader_manager) engine_context->shader_manager->reload_changed_files();
  if (engine_context->soundsystem) engine_context->soundsystem->get_position_precise();
  if (engine_context->rocket_manager) engine_context->rocket_manager->update();

  float t = get_cur_time();
  for (auto& [name, variable] : variables) {
    if (variable->flags & VAR_FLAG_ENGINE_EVALUATED) variable->value.set(variable_value_at(*variable, t));
  }

  render_frame(g_systems && S(gsys) ? S(gsys)->get_backbuffer() : nullptr);

  if (blocks.empty()) return true;
  float end = std::numeric_limits<float>::lowest();
  for (const block_ptr_t& block : blocks) end = std::max(end, block->end_time);
  float remaining = end - get_cur_time();
  if (remaining <= 0.0f) return false;
  if (settings.sound_fade_out > remaining) {
    // The fade runs down from the soundtrack's own volume: starting it at full volume would make the
    // music jump louder just before it fades.
    if (!fade_from_volume) fade_from_volume = get_volume();
    set_volume(*fade_from_volume * std::max(remaining / settings.sound_fade_out, 0.0f));
  } else if (fade_from_volume) {
    // Back before the fade (a seek): the soundtrack's volume returns.
    set_volume(*fade_from_volume);
    fade_from_volume.reset();
  }
  return true;
}

void engine_impl_t::set_running(bool run) {
  if (run) {
    LOG_INF("Engine::start");
    if (running) return;
    if (engine_context->soundsystem) engine_context->soundsystem->play();
    timer.start();
    running = true;
  } else {
    LOG_INF("Engine::stop");
    if (!running) return;
    if (engine_context->soundsystem) engine_context->soundsystem->pause();
    timer.stop();
    running = false;
  }
}

float engine_impl_t::get_cur_time() {
  soundsystem_t* sound = engine_context->soundsystem;
  // The stopwatch runs beside the music and keeps the time past its end, so that a soundtrack
  // shorter than the timeline (a cut file) does not stop the production there.
  if (sound && sound->has_music() && !(timer.seconds() >= sound->get_length() && sound->get_length() > 0.0f))
    return sound->get_position();
  return timer.seconds();
}

void engine_impl_t::set_cur_time(float seconds) {
  // NaN fails the comparison and seeks to 0 as well.
  float t = seconds > 0.0f ? seconds : 0.0f;
  for (const block_ptr_t& block : blocks) block->update_variables(t, true);
  soundsystem_t* sound = engine_context->soundsystem;
  if (sound && sound->has_music()) sound->set_position(t);
  timer.seek(t);
}

float engine_impl_t::get_volume() {
  return engine_context->soundsystem ? engine_context->soundsystem->get_volume() : 0.0f;
}

void engine_impl_t::set_volume(float volume) {
  if (engine_context->soundsystem) engine_context->soundsystem->set_volume(volume);
}

float engine_impl_t::get_music_length() {
  return engine_context->soundsystem ? engine_context->soundsystem->get_length() : 0.0f;
}

int engine_impl_t::get_free_block_id() {
  int count = static_cast<int>(blocks.size());
  std::vector<int> ids;
  ids.reserve(blocks.size());
  for (const block_ptr_t& block : blocks) ids.push_back(block->id);
  if (count > 0 && *std::min_element(ids.begin(), ids.end()) == 1 &&
      *std::max_element(ids.begin(), ids.end()) == count) {
    return count + 1;
  }
  std::sort(ids.begin(), ids.end());
  for (int k = 1; k <= count; ++k) {
    if (ids[static_cast<size_t>(k - 1)] != k) return k;
  }
  return count + 1;
}

std::vector<block_base_t*> engine_impl_t::get_blocks() {
  std::vector<block_base_t*> result;
  result.reserve(blocks.size());
  for (const block_ptr_t& block : blocks) result.push_back(block.get());
  return result;
}

std::vector<block_base_t*> engine_impl_t::get_root_blocks(bool active_only) {
  std::vector<block_base_t*> result;
  float t = active_only ? get_cur_time() : 0.0f;
  for (const block_ptr_t& block : blocks) {
    if (!block->sources.empty()) continue;
    if (active_only && !(block->start_time <= t && t < block->end_time)) continue;
    result.push_back(block.get());
  }
  return result;
}

block_base_t* engine_impl_t::find_block(int id) {
  for (const block_ptr_t& block : blocks) {
    if (block->id == id) return block.get();
  }
  return nullptr;
}

std::vector<block_base_t*> engine_impl_t::get_block_closure(block_base_t* block) {
  std::vector<block_base_t*> members = block->get_dependencies();
  members.push_back(block);
  std::vector<block_base_t*> result;
  for (block_base_t* member : members) {
    result.push_back(member);
    for (const block_consumer_t& consumer : member->consumers) result.push_back(consumer.block);
  }
  return result;
}

variable_ptr_t engine_impl_t::find_variable(const std::string& name) {
  auto found = variables.find(name);
  return found == variables.end() ? variable_ptr_t() : found->second;
}

variable_ptr_t engine_impl_t::get_or_create_variable(const std::string& name, variable_type_t type) {
  auto found = variables.find(name);
  if (found != variables.end()) return found->second;
  variable_ptr_t variable =
      construct_variable(name, type, make_default_value(type), VAR_FLAG_ENGINE_EVALUATED);
  variables[name] = variable;
  return variable;
}

void engine_impl_t::create_system_variables() {
  // Each variable is made once here and published through its handle every frame.
  system_variables_t& v = system_variables;
  const struct {
    const char* name;
    variable_type_t type;
    variable_ptr_t* handle;
  } definitions[] = {
      {"system::time", VT_FLOAT4, &v.time},
      {"system::active-cam", VT_INT, &v.active_cam},
      {"system::cam-pos", VT_FLOAT3, &v.cam_pos},
      {"system::cam-dir", VT_FLOAT3, &v.cam_dir},
      {"system::cam-up", VT_FLOAT3, &v.cam_up},
      {"system::cam-fov", VT_FLOAT, &v.cam_fov},
      {"system::cam-near-plane", VT_FLOAT, &v.cam_near_plane},
      {"system::cam-far-plane", VT_FLOAT, &v.cam_far_plane},
      {"system::view", VT_FLOAT4X4, &v.view},
      {"system::proj", VT_FLOAT4X4, &v.proj},
      {"system::viewProj", VT_FLOAT4X4, &v.view_proj},
  };
  for (const auto& entry : definitions) *entry.handle = get_or_create_variable(entry.name, entry.type);
  for (size_t i = 0; i < v.render_target_sizes.size(); ++i)
    v.render_target_sizes[i] = get_or_create_variable(fmt::sprintf("system::rt%d", i), VT_FLOAT2);
}

const std::vector<block_base_t*>& engine_impl_t::frame_blocks() {
  frame_blocks_.clear();
  for (const block_ptr_t& block : blocks) frame_blocks_.push_back(block.get());
  return frame_blocks_;
}
