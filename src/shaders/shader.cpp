#include "shaders/shader.h"

#include "variables/variable_registry.h"
#include "graphics/graphics_runtime.h"
#include "support/systems.h"
#include "media/texture_manager.h"
#include "platform/win32/events.h"
#include "platform/win32/handle.h"

shader_t::shader_t(int32_t stage, const path_info_t& path, const std::string& entry_point)
    : stage(stage), path(path), entry_point(entry_point) {
  done_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

shader_t::~shader_t() {
  cbuffers.clear();
  if (done_event) CloseHandle(done_event);
}

std::shared_ptr<shader_t> shader_t::clone() const {
  auto copy = std::make_shared<shader_t>(stage, path, entry_point);
  copy->input_layout = input_layout;
  copy->vertex_shader = vertex_shader;
  copy->geometry_shader = geometry_shader;
  copy->pixel_shader = pixel_shader;
  copy->compute_shader = compute_shader;
  copy->changed = changed;
  copy->resources = resources;
  copy->vs_layout = vs_layout;
  copy->cbuffers.reserve(cbuffers.size());
  for (const auto& buffer : cbuffers) {
    if (!buffer) {
      copy->cbuffers.emplace_back();
      continue;
    }
    auto b = std::make_unique<cbuffer_t>();
    b->name = buffer->name;
    b->slot = buffer->slot;
    b->stages = buffer->stages;
    b->size = buffer->size;
    b->buffer = buffer->buffer;
    b->block_buffer = buffer->block_buffer;
    b->entries = buffer->entries;
    for (cb_entry_t& entry : b->entries)
      if (entry.variable) entry.variable = clone_variable(*entry.variable);
    copy->cbuffers.push_back(std::move(b));
  }
  // Published last: holders that poll the state see the rest first.
  copy->state = state.load();
  return copy;
}

ID3D11ShaderResourceView* shader_resource_slot_t::view() const {
  if (srv) return srv;
  return texture ? texture->srv.get() : nullptr;
}

void shader_t::bind_resources() {
  for (int slot = 0; slot < SHADER_SLOT_COUNT; ++slot) {
    const shader_resource_slot_t& r = resources[slot];
    if (ID3D11ShaderResourceView* view = r.view())
      S(runtime)->set_shader_resource(stage, slot, view);
    else if (r.uav)
      S(runtime)->set_compute_uav(slot, r.uav, static_cast<uint32_t>(r.uav_initial_count));
  }
}

void shader_t::unbind_resources() {
  for (int slot = 0; slot < SHADER_SLOT_COUNT; ++slot) {
    const shader_resource_slot_t& r = resources[slot];
    if (r.view())
      S(runtime)->unset_shader_resources(stage, slot, 1);
    else if (r.uav)
      S(runtime)->unset_compute_uavs(slot, 1);
  }
}

void shader_t::update_constants() {
  if (!variables_bound) bind_variables();
  for (const auto& buffer : cbuffers)
    if (buffer) buffer->update();
}

void shader_t::bind_variables() {
  std::unordered_map<std::string, variable_ptr_t> visited;
  std::unordered_set<std::string> from_project;
  for (const auto& buffer : cbuffers) {
    if (!buffer) continue;
    for (cb_entry_t& entry : buffer->entries) {
      if (entry.flags & (CB_FLAG_SYS | CB_FLAG_EXTERNAL)) continue;
      const std::string key = buffer->name + ":" + entry.name;
      if (!entry.variable) {
        const bool ranged = entry.flags & CB_FLAG_RANGE;
        auto found = variables.find(key);
        if (found != variables.end() && found->second) {
          variable_t& restored = *found->second;
          restored.default_value = entry.default_value;
          if (ranged) {
            restored.min = entry.min_value;
            restored.max = entry.max_value;
            restored.flags |= VAR_FLAG_HAS_MIN | VAR_FLAG_HAS_MAX;
          }
          entry.variable = found->second;
          from_project.insert(key);
        } else if (ranged) {
          entry.variable = construct_ranged_variable(entry.var_name, variable_type_t(entry.type), entry.default_value,
                                                     entry.min_value, entry.max_value);
        } else {
          entry.variable = construct_variable(entry.var_name, variable_type_t(entry.type), entry.default_value);
        }
      }
      if (restored_keys.contains(key)) from_project.insert(key);
      visited[key] = entry.variable;
      entry.flags |= CB_FLAG_VAR;
    }
  }
  // Keys that match no entry (restored from an older shader) are dropped.
  variables = std::move(visited);
  restored_keys = std::move(from_project);
  variables_bound = true;
}

void shader_t::collect_variables(variable_registry_t& registry) {
  constexpr uint32_t unpublished = CB_FLAG_SYS | CB_FLAG_HIDDEN | CB_FLAG_SKIP | CB_FLAG_EXTERNAL;
  for (const auto& buffer : cbuffers) {
    if (!buffer) continue;
    for (cb_entry_t& entry : buffer->entries)
      if (entry.variable && !(entry.flags & unpublished)) registry.add_with_prefix("", entry.variable.get(), 7);
  }
}

bool shader_t::is_ready() const {
  if (state != SHADER_STATE_READY) return false;
  for (const shader_resource_slot_t& r : resources)
    if (r.needs_texture && !r.view()) return false;
  return true;
}

cb_entry_t* shader_t::find_cb_entry(const std::string& cbuffer_name, const std::string& entry_name) {
  for (const auto& buffer : cbuffers)
    if (buffer && buffer->name == cbuffer_name) return buffer->find_entry(entry_name);
  return nullptr;
}

bool shader_t::set_cb_value(const std::string& cbuffer_name, const std::string& entry_name,
                            const typed_value_t& value) {
  cb_entry_t* entry = find_cb_entry(cbuffer_name, entry_name);
  if (!entry || !entry->variable) return false;
  entry->variable->value.set(value);
  entry->flags |= CB_FLAG_BLOCK_VALUE;
  return true;
}

bool shader_t::bind_cb_variable(const std::string& cbuffer_name, const std::string& entry_name,
                                const variable_ptr_t& variable) {
  cb_entry_t* entry = find_cb_entry(cbuffer_name, entry_name);
  if (!entry) return false;
  entry->variable = variable;
  entry->flags |= CB_FLAG_BLOCK_VARIABLE;
  return true;
}

bool shader_t::set_constant_buffer(int slot, const std::shared_ptr<constant_buffer_t>& buffer) {
  if (slot < 0 || static_cast<size_t>(slot) >= cbuffers.size() || !cbuffers[slot] || !buffer) return false;
  cbuffer_t& target = *cbuffers[slot];
  target.buffer = buffer;
  target.block_buffer = true;
  for (cb_entry_t& entry : target.entries) {
    entry.flags |= CB_FLAG_EXTERNAL | CB_FLAG_SKIP;
    entry.flags &= ~(CB_FLAG_BLOCK_VARIABLE | CB_FLAG_BLOCK_VALUE);
    entry.variable.reset();
  }
  return true;
}

void shader_t::take_over(const shader_t& held) {
  for (size_t slot = 0; slot < resources.size(); ++slot) {
    const shader_resource_slot_t& from = held.resources[slot];
    shader_resource_slot_t& to = resources[slot];
    if (!to.srv) to.srv = from.srv;
    if (!to.uav) {
      to.uav = from.uav;
      to.uav_initial_count = from.uav_initial_count;
    }
  }
  if (!variables_bound) {
    // Shared, so the block keeps animating the ones it already holds.
    for (const std::string& key : held.restored_keys)
      if (auto found = held.variables.find(key); found != held.variables.end())
        variables.try_emplace(key, found->second);
    // The entries need their variables now, before a value set by the block can land in them.
    if (state == SHADER_STATE_READY) bind_variables();
  }
  for (size_t slot = 0; slot < held.cbuffers.size(); ++slot) {
    const cbuffer_t* from = held.cbuffers[slot].get();
    if (!from) continue;
    if (from->block_buffer) {
      for (size_t own = 0; own < cbuffers.size(); ++own)
        if (cbuffers[own] && cbuffers[own]->name == from->name) set_constant_buffer(int(own), from->buffer);
      continue;
    }
    for (const cb_entry_t& entry : from->entries) {
      if (!(entry.flags & (CB_FLAG_BLOCK_VARIABLE | CB_FLAG_BLOCK_VALUE)) || !entry.variable) continue;
      cb_entry_t* to = find_cb_entry(from->name, entry.name);
      if (!to) continue;
      if (entry.flags & CB_FLAG_BLOCK_VARIABLE) {
        to->variable = entry.variable;
        to->flags |= CB_FLAG_BLOCK_VARIABLE;
      } else if (to->variable) {
        to->variable->value.set(entry.variable->value.value);
        to->flags |= CB_FLAG_BLOCK_VALUE;
      }
    }
  }
}
