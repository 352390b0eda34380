#include "engine/block_base.h"

#include <algorithm>

#include "engine/e3d.h"
#include "engine/engine.h"
#include "variables/range_value.h"
#include "variables/serializer_aux.h"
#include "support/log.h"

using serial::value_kind_t;

namespace {

constexpr int32_t exposed_flags = 3;

void add_int(serial::value_t& table, const char* key, int32_t value) {
  table.add(key, value_kind_t::int_)->payload.i[0] = value;
}

void add_bool(serial::value_t& table, const char* key, bool value) {
  table.add(key, value_kind_t::bool_)->payload.i[0] = value ? 1 : 0;
}

}  // namespace

block_base_t::block_base_t(std::string class_name_in) : class_name(std::move(class_name_in)) {
  if (engine_context->engine) id = current_engine()->get_free_block_id();
  do_clear_depth = construct_variable("do-clear-depth", VT_BOOL, true);
  do_clear_color = construct_variable("do-clear-color", VT_BOOL, true);
  do_ext_passthrough = construct_variable("do-ext-passthrough", VT_BOOL, false);
  do_fxaa = construct_variable("do-fxaa", VT_BOOL, true);
  clear_color = construct_variable("clear-color", VT_COLOR, color_t{0, 0, 0, 1});
  brightness = construct_ranged_variable("brightness", VT_FLOAT, 1.0f, 0.0f, 1.0f);
  for (variable_ptr_t* member :
       {&do_clear_depth, &do_clear_color, &do_ext_passthrough, &do_fxaa, &clear_color, &brightness}) {
    register_variable(*member);
  }
}

block_base_t::~block_base_t() {
  // The cameras point into the scene; they go first.
  camera_spans.clear();
  cameras.clear();
  if (scene) scene->clear();
}

bool block_base_t::default_init() {
  name = class_name;
  auto camera = std::make_shared<block_camera_t>();
  camera->init_defaults();
  cameras.push_back(camera);
  camera_spans.push_back({end_time - start_time, camera});
  return true;
}

bool block_base_t::copy_from(const block_base_t& other) {
  name = other.name + "_copy";
  start_time = other.start_time;
  end_time = other.end_time;
  layer = other.layer;
  blend_mode = other.blend_mode;
  if (other.clear_color) clear_color = clone_variable(*other.clear_color);
  return true;
}

bool block_base_t::load(const serial::value_t& table) {
  class_name = table.get_string("class-name", "");
  id = table.get_int("id", -1);
  name = table.get_string("name", "");
  start_time = table.get_float("start-time", 0.0f);
  end_time = table.get_float("end-time", 30.0f);
  layer = table.get_int("layer", 0);
  const int blend = table.get_int("blend-mode", 0);
  // A block that can never be active, or blends with a mode the engine has no shader for, changes
  // the picture: say so rather than let it vanish or fall to a lerp unnoticed.
  if (start_time > end_time) {
    LOG_WRN("Block %s: start-time %g is after end-time %g; the block is never active", name.c_str(), start_time,
            end_time);
    end_time = start_time;
  }
  if (blend < BLEND_NONE || blend > BLEND_LERP) {
    LOG_WRN("Block %s: blend-mode %d is not a blend mode; using 0", name.c_str(), blend);
    blend_mode = BLEND_NONE;
  } else {
    blend_mode = static_cast<blend_mode_t>(blend);
  }
  load_variables(table, registered_variables);

  for (const serial::value_t& item : table.get_array("cameras")) {
    auto camera = std::make_shared<block_camera_t>();
    if (!camera->load(item)) return false;
    cameras.push_back(camera);
  }
  for (const serial::value_t& item : table.get_array("camera-spans")) {
    int32_t camera_id = item.get_int("id", 0);
    float end = item.get_float("end", end_time);
    camera_ptr_t found;
    for (const camera_ptr_t& camera : cameras) {
      if (camera->id == camera_id) {
        found = camera;
        break;
      }
    }
    if (!found) {
      LOG_INF("Error looking for camera (%d) in span", camera_id);
      LOG_WRN("Block %s: camera-spans id %d names none of the block's cameras; the span is dropped", name.c_str(),
              camera_id);
      continue;
    }
    camera_spans.push_back({end, found});
  }
  camera_scene = table.get_string("camera-scene", "");
  if (!camera_scene.empty()) load_camera_scene(camera_scene);
  camera_override = table.get_bool("camera-override", false);
  selected = table.get_bool("selected", false);
  preview = table.get_bool("preview", false);
  group_id = table.get_int("group-id", -1);

  bound_inputs.clear();
  for (const serial::value_t& item : table.get_array("bound-inputs")) {
    bound_input_t input;
    input.load(item);
    bound_inputs.push_back(input);
  }
  return true;
}

void block_base_t::save(serial::value_t& table) const {
  table.add_string("class-name", class_name);
  add_int(table, "id", id);
  table.add_string("name", name);
  table.add_float("start-time", start_time);
  table.add_float("end-time", end_time);
  add_int(table, "layer", layer);
  add_int(table, "blend-mode", blend_mode);
  for (const variable_ptr_t* member : registered_variables) {
    if (*member) save_variable(*table.add((*member)->name, value_kind_t::table), **member);
  }
  serial::value_t* camera_array = table.add("cameras", value_kind_t::array);
  for (const camera_ptr_t& camera : cameras) camera->save(*camera_array->append(value_kind_t::table));
  serial::value_t* span_array = table.add("camera-spans", value_kind_t::array);
  for (const camera_span_t& span : camera_spans) {
    serial::value_t* item = span_array->append(value_kind_t::table);
    add_int(*item, "id", span.camera ? span.camera->id : 0);
    item->add_float("end", span.end);
  }
  if (!camera_scene.empty()) table.add_string("camera-scene", camera_scene);
  add_bool(table, "camera-override", camera_override);
  add_bool(table, "selected", false);
  add_bool(table, "preview", false);
  serial::value_t* input_array = table.add("bound-inputs", value_kind_t::array);
  for (const bound_input_t& input : bound_inputs) input.save(*input_array->append(value_kind_t::table));
}

void block_base_t::update_variables(float time, bool force) {
  engine_t* engine = current_engine();
  if (!force && !(engine && engine->is_running())) return;
  float local = time - start_time;
  // What the block exposes can change from frame to frame (a switch that picks a pass, a reloaded
  // shader), so it is collected every time, into storage that stays.
  animated_.clear();
  expose_all_variables(animated_);
  for (const registered_variable_t& entry : animated_.root.entries)
    if (entry.flags & REGISTERED_EVALUATED) evaluate_variable_at(*entry.variable, local);
}

void block_base_t::execute(const render_context_t& context) {
  if (!first_execute) return;
  first_execute = false;
  LOG_INF("First execute: %s (%p) local time: %f (global time: %f)", get_name().c_str(),
          static_cast<void*>(this), context.local_time, context.time);
}

void block_base_t::expose_variables(variable_registry_t& registry) {
  if (!sources.empty()) return;
  registry.add(clear_color.get(), exposed_flags);
  registry.add(brightness.get(), exposed_flags);
}

void block_base_t::collect_dependencies(std::vector<block_base_t*>& result,
                                        std::vector<block_base_t*>& visited) {
  // Only what the nested walks return is appended, so the list stays empty: type-3 inputs are
  // rendered on demand by the frame and no chain is activated for them. The walk still guards
  // against input cycles through the visited list.
  engine_t* engine = current_engine();
  auto seen = [&](block_base_t* block) { return std::find(visited.begin(), visited.end(), block) != visited.end(); };
  visited.push_back(this);
  for (const bound_input_t& input : bound_inputs) {
    if (input.type != BOUND_INPUT_BLOCK || !engine) continue;
    block_base_t* found = engine->find_block(input.block_id);
    if (!found || seen(found)) continue;
    found->collect_dependencies(result, visited);
  }
}

std::vector<block_base_t*> block_base_t::get_dependencies() {
  std::vector<block_base_t*> result;
  visited_.clear();
  collect_dependencies(result, visited_);
  return result;
}

void block_base_t::get_chain_blocks(bool include_self, std::vector<block_base_t*>& out) const {
  out.clear();
  if (include_self) out.push_back(const_cast<block_base_t*>(this));
  for (const block_consumer_t& consumer : consumers) out.push_back(consumer.block);
}

bool block_base_t::has_block_inputs() const {
  for (const bound_input_t& input : bound_inputs)
    if (input.type == BOUND_INPUT_BLOCK) return true;
  return false;
}

void block_base_t::expose_all_variables(variable_registry_t& registry) {
  if (exposes_cameras()) {
    for (const camera_ptr_t& camera : cameras) {
      for (const variable_ptr_t* member : {&camera->pos, &camera->dir, &camera->up, &camera->fov}) {
        if (*member) registry.add_with_prefix(camera->name, member->get(), exposed_flags);
      }
    }
  }
  expose_variables(registry);
}

std::vector<registered_variable_t> block_base_t::collect_variables() {
  variable_registry_t registry(get_name());
  expose_all_variables(registry);
  std::vector<registered_variable_t> all;
  registry.flatten(all);
  std::vector<registered_variable_t> result;
  for (registered_variable_t& entry : all) {
    if (entry.flags & REGISTERED_EVALUATED) result.push_back(std::move(entry));
  }
  return result;
}

bool block_base_t::get_bool_variable(const variable_ptr_t& variable, bool fallback) const {
  if (!variable) return fallback;
  const bool* value = std::get_if<bool>(&variable->value.value);
  return value ? *value : fallback;
}

void block_dummy_t::execute(const render_context_t& context) {
  block_base_t::execute(context);
  get_active_camera();
}

block_ptr_t make_dummy_block() { return std::make_shared<block_dummy_t>(); }
