#include "blocks/block_lsystem.h"

#include <fmt/printf.h>

#include <algorithm>
#include <numeric>
#include <stdexcept>

#include "blocks/shader_constants.h"
#include "engine/block_factory.h"
#include "files/filesystem.h"
#include "graphics/graphics_runtime.h"
#include "shaders/render_pass.h"
#include "shaders/render_pass_desc.h"
#include "support/log.h"
#include "support/paths.h"
#include "support/systems.h"
#include "variables/expression_context.h"

namespace {

constexpr const char* description_path = "/shaders/lsystem.toml";
// The stages' cache keys are the description's own path: one from the root would find none.
const std::string relative_description = trim_slashes(description_path);
constexpr int ring_bytes = 3 * lsystem_vertex_capacity * int(sizeof(lsystem_vertex_t));

// The description's own errors do not always say which file they are about.
std::string description_error(const std::string& error) {
  return error.find(relative_description) == std::string::npos ? relative_description + ": " + error : error;
}

}  // namespace

block_lsystem_t::block_lsystem_t()
    : block_base_t("lsystem"),
      settings{&segment_length, &segment_length_variance, &cube_size,    &density,
               &initial_segments, &max_segments,          &length_decay, &size_decay},
      pass(make_render_pass()) {}

block_lsystem_t::~block_lsystem_t() {
  pass.reset();
  camera_scripts.clear();
}

bool block_lsystem_t::default_init() {
  if (!block_base_t::default_init()) return false;
  if (!load_lsystem_pass()) return false;
  return build_geometry();
}

bool block_lsystem_t::load(const serial::value_t& table) {
  if (!block_base_t::load(table)) return false;
  for (range_value_base_t* setting : settings) setting->load(table);
  if (!load_lsystem_pass()) return false;
  if (!build_geometry()) return false;
  init_camera_scripts();
  return true;
}

void block_lsystem_t::save(serial::value_t& table) const {
  block_base_t::save(table);
  for (const range_value_base_t* setting : settings) setting->save(table);
}

bool block_lsystem_t::load_lsystem_pass() {
  auto loaded = load_render_pass_from_desc(relative_description);
  if (!loaded || !*loaded) {
    const std::string error = description_error(loaded ? "no render pass in the description" : loaded.error());
    LOG_WRN("Error loading shader desc: %s", error.c_str());
    return false;
  }
  std::shared_ptr<render_pass_t> new_pass = *loaded;
  try {
    new_pass->geometry.create_dynamic_vertices(lsystem_vertex_capacity, int(sizeof(lsystem_vertex_t)));
  } catch (const std::runtime_error& error) {
    LOG_WRN("Error loading shader desc: %s", description_error(error.what()).c_str());
    return false;
  }
  if (new_pass->ps) sync_bound_inputs(*new_pass->ps);
  pass = std::move(new_pass);
  S(runtime)->set_vertex_buffer(pass->geometry.dyn_vertices.get());
  return true;
}

lsystem_settings_t block_lsystem_t::current_settings() const {
  return {segment_length.value, segment_length_variance.value, cube_size.value,    density.value,
          initial_segments.value, max_segments.value,          length_decay.value, size_decay.value};
}

int block_lsystem_t::grow(std::span<lsystem_vertex_t> vertices, std::span<const cube_vertex_t> mesh) const {
  return grow_lsystem(current_settings(), mesh, vertices);
}

bool block_lsystem_t::build_geometry() {
  dyn_buffer_base* buffer = pass ? pass->geometry.dyn_vertices.get() : nullptr;
  if (!buffer) return true;
  const std::vector<cube_vertex_t> mesh = scaled_cube_mesh(cube_size.value);
  if (buffer->capacity < ring_bytes) {
    try {
      buffer->create(ring_bytes / 3);
    } catch (const std::runtime_error& error) {
      LOG_WRN("%s", error.what());
      return true;
    }
  }
  auto* vertices = reinterpret_cast<lsystem_vertex_t*>(buffer->shadow);
  cube_count = grow({vertices, size_t(buffer->capacity / 3) / sizeof(lsystem_vertex_t)}, mesh);
  first_vertex = buffer->commit(buffer->shadow + size_t(cube_count) * mesh.size() * sizeof(lsystem_vertex_t));

  // The growth never changes after load, so the indices cover the cubes grown, not the ring's
  // capacity (39 MB of indices, most never drawn). A buffer cannot be empty: one cube at least.
  const int index_count = std::max(cube_count, 1) * cube_vertex_count;
  std::vector<uint32_t> indices(static_cast<size_t>(index_count));
  std::iota(indices.begin(), indices.end(), 0u);
  pass->geometry.create_index_buffer(index_count, 0, indices.data());
  if (!pass->geometry.index_buffer) {
    cube_count = 0;
    const std::string error =
        description_error(fmt::sprintf("the device refused an index buffer of %d indices", index_count));
    LOG_WRN("Error loading shader desc: %s", error.c_str());
    return false;
  }
  S(runtime)->set_index_buffer(pass->geometry.index_buffer.get());
  return true;
}

void block_lsystem_t::init_camera_scripts() {
  camera_scripts.resize(4);
  for (size_t i = 0; i < camera_scripts.size(); ++i) {
    const std::string path = fmt::sprintf("config/lsystem_cam%d.txt", int(i) + 1);
    S(filesystem)->watch_file_callback(path, true, [this, i](const std::string& file) {
      std::string text;
      if (!S(filesystem)->read_text_file(file, text)) {
        LOG_WRN("Unable to read camera script: %s", file.c_str());
        return;
      }
      camera_script_t script = parse_camera_script(text);
      for (size_t line = 0; line < script.expressions.size(); ++line)
        if (!script.expressions[line])
          LOG_WRN("Camera script %s, line %d: no expression in \"%s\"", file.c_str(), int(line) + 1,
                  script.sources[line].c_str());
      camera_scripts[i] = std::move(script);
    });
  }
}

// Once per line: a script that divides by zero would otherwise log every frame.
void block_lsystem_t::report_non_finite_lines(int span, camera_script_t& script, uint16_t lines) {
  const uint16_t fresh = lines & uint16_t(~script.reported_lines);
  if (!fresh) return;
  script.reported_lines |= fresh;
  for (int line = 0; line < int(script.sources.size()); ++line)
    if (fresh & (1u << line))
      LOG_WRN("Camera script config/lsystem_cam%d.txt, line %d: \"%s\" is not a finite number; the camera keeps "
              "that component",
              span + 1, line + 1, script.sources[size_t(line)].c_str());
}

void block_lsystem_t::execute(const render_context_t& context) {
  if (first_execute) register_lsystem_math_functions();
  block_base_t::execute(context);
  if (!pass) return;
  pass->bind_input_textures(context);
  if (!pass->is_ready()) return;
  // The empty pass of a block whose description never loaded counts as ready but has no buffers.
  if (!pass->geometry.dyn_vertices || !pass->geometry.index_buffer) return;
  S(runtime)->set_vertex_buffer(pass->geometry.dyn_vertices.get());
  S(runtime)->set_index_buffer(pass->geometry.index_buffer.get());
  expression_context_t& expressions = lsystem_expression_context();
  expressions.set_variable("t", context.local_time);

  const int span = get_active_span_index();
  if (span < 0 || size_t(span) >= camera_scripts.size()) return;
  block_camera_t* camera = get_active_camera();
  if (!camera || !camera->pos || !camera->dir || !camera->up) return;
  auto current = [](const variable_ptr_t& v) {
    const float3* value = std::get_if<float3>(&v->value.value);
    return value ? *value : float3{};
  };
  const float3 pos = current(camera->pos);
  camera_script_t& script = camera_scripts[size_t(span)];
  const camera_pose_t pose =
      evaluate_camera_script(script, expressions, {pos, vec3_add(pos, current(camera->dir)), current(camera->up)});
  report_non_finite_lines(span, script, pose.non_finite_lines);
  camera->pos->value.set(pose.position);
  camera->dir->value.set(vec3_normalize(vec3_sub(pose.target, pose.position)));
  camera->up->value.set(pose.up);

  set_shader_constant(pass->vs.get(), "cbMain", "g_viewProj",
                      mat4_transpose(mat4_multiply(camera->get_view_matrix(), camera->get_projection_matrix())));
  set_shader_constant(pass->ps.get(), "cbMain", "g_camPos", pose.position);
  pass->draw_indexed(uint32_t(cube_count) * uint32_t(cube_vertex_count), first_vertex);
}

block_ptr_t make_lsystem_block() { return std::make_shared<block_lsystem_t>(); }

namespace {
const block_class_registrar_t registrar{"lsystem", make_lsystem_block};
}  // namespace
