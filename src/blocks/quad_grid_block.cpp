#include "blocks/quad_grid_block.h"

#include <fmt/printf.h>

#include <algorithm>
#include <cmath>

#include "blocks/quad_grid.h"
#include "blocks/shader_constants.h"
#include "graphics/graphics_resources.h"
#include "graphics/graphics_runtime.h"
#include "shaders/render_pass.h"
#include "shaders/render_pass_table.h"
#include "support/log.h"
#include "support/systems.h"
#include "variables/range_value.h"
#include "variables/serializer_aux.h"
#include "variables/variable_registry.h"

namespace {

constexpr int default_tiles = 10;
constexpr int32_t tile_count_flags = 0x10;
constexpr int32_t exposed_flags = 7;

variable_ptr_t make_tile_count(const char* name) {
  return construct_ranged_variable(name, VT_INT, int32_t{default_tiles}, int32_t{min_tiles},
                                   int32_t{max_tiles}, tile_count_flags);
}

}  // namespace

tile_count_t tile_count_of(const variable_ptr_t& variable) {
  if (!variable) return {default_tiles, false};
  if (const int32_t* i = std::get_if<int32_t>(&variable->value.value)) {
    const int count = std::clamp(*i, min_tiles, max_tiles);
    return {count, count == *i};
  }
  if (const float* f = std::get_if<float>(&variable->value.value)) {
    // Clamped before the cast: a NaN or a float past the int range has no int value.
    if (std::isnan(*f)) return {default_tiles, false};
    const float clamped = std::clamp(*f, float(min_tiles), float(max_tiles));
    return {static_cast<int>(clamped), *f >= float(min_tiles) && *f < float(max_tiles + 1)};
  }
  return {default_tiles, false};
}

block_quad_grid_t::block_quad_grid_t(std::string class_name)
    : block_base_t(std::move(class_name)), pass(make_render_pass()) {}

block_quad_grid_t::~block_quad_grid_t() = default;

bool block_quad_grid_t::init_grid_block(const std::string& shader_file, const std::vector<uint32_t>& layout) {
  if (!block_base_t::default_init()) return false;
  pass->load_vertex_shader_with_layout(shader_file, "VsMain", layout);
  pass->load_pixel_shader(shader_file, "PsMain");
  pass->set_states(2, 1, 1);
  pass->create_samplers_from_shader();
  num_tiles_x = make_tile_count("num-tiles-x");
  num_tiles_y = make_tile_count("num-tiles-y");
  return build_mesh();
}

bool block_quad_grid_t::copy_from(const block_base_t& other) {
  if (!block_base_t::copy_from(other)) return false;
  if (const auto* grid = dynamic_cast<const block_quad_grid_t*>(&other)) {
    if (grid->num_tiles_x) num_tiles_x = clone_variable(*grid->num_tiles_x);
    if (grid->num_tiles_y) num_tiles_y = clone_variable(*grid->num_tiles_y);
    if (grid->pass) pass = grid->pass->clone();
  }
  return build_mesh();
}

bool block_quad_grid_t::load(const serial::value_t& table) {
  if (!block_base_t::load(table)) return false;
  load_render_pass(table.get("rp", serial::value_kind_t::table), *pass);
  num_tiles_x = load_variable_at(table, "num-tiles-x");
  num_tiles_y = load_variable_at(table, "num-tiles-y");
  build_mesh();
  return false;
}

void block_quad_grid_t::save(serial::value_t& table) const {
  block_base_t::save(table);
  if (num_tiles_x) save_variable(*table.add("num-tiles-x", serial::value_kind_t::table), *num_tiles_x);
  if (num_tiles_y) save_variable(*table.add("num-tiles-y", serial::value_kind_t::table), *num_tiles_y);
  if (pass) save_render_pass(*table.add("rp", serial::value_kind_t::table), *pass);
}

void block_quad_grid_t::expose_variables(variable_registry_t& registry) {
  block_base_t::expose_variables(registry);
  if (num_tiles_x) registry.add(num_tiles_x.get(), exposed_flags);
  if (num_tiles_y) registry.add(num_tiles_y.get(), exposed_flags);
}

int block_quad_grid_t::tile_count(const variable_ptr_t& variable) {
  const tile_count_t count = tile_count_of(variable);
  if (!count.as_given && !reported_count) {
    reported_count = true;
    std::string value = "none";
    if (variable) {
      if (const int32_t* i = std::get_if<int32_t>(&variable->value.value)) value = fmt::sprintf("%d", *i);
      else if (const float* f = std::get_if<float>(&variable->value.value)) value = fmt::sprintf("%g", *f);
      else value = fmt::sprintf("of type %s", variable_type_name(variable->type));
    }
    LOG_WRN("%s \"%s\": %s %s is no tile count of %d..%d; using %d", class_name.c_str(), name.c_str(),
            variable ? variable->name.c_str() : "a tile count", value.c_str(), min_tiles, max_tiles, count.count);
  }
  return count.count;
}

void block_quad_grid_t::rebuild_on_changed_counts() {
  auto take_changed = [](const variable_ptr_t& variable) {
    if (!variable) return false;
    const bool changed = variable->value.changed;
    variable->value.changed = false;
    return changed;
  };
  bool changed = take_changed(num_tiles_x);
  if (!changed) changed = take_changed(num_tiles_y);
  if (changed) build_mesh();
}

void block_quad_grid_t::bind_grid() {
  S(runtime)->set_vertex_buffer(vertex_buffer.get());
  S(runtime)->set_index_buffer(index_buffer.get());
  set_shader_constant(pass->vs.get(), "cbMain", "g_num_tiles", int2{built_columns, built_rows});
}

template <typename grid_t>
void block_quad_grid_t::upload(const grid_t& grid) {
  using vertex_t = typename decltype(grid.vertices)::value_type;
  built_columns = grid.columns;
  built_rows = grid.rows;
  graphics_resources_t* resources = g_systems ? S(resources) : nullptr;
  if (!resources) {
    vertex_buffer.reset();
    index_buffer.reset();
    return;
  }
  vertex_buffer = resources->create_vertex_buffer(int(grid.vertices.size()), int(sizeof(vertex_t)),
                                                  grid.vertices.data(), false);
  index_buffer = resources->create_index_buffer(int(grid.indices.size()), DXGI_FORMAT_R32_UINT,
                                                grid.indices.data(), false);
}

template void block_quad_grid_t::upload(const quad_grid_t<tile_vertex_t>&);
template void block_quad_grid_t::upload(const quad_grid_t<grid_vertex_t>&);
