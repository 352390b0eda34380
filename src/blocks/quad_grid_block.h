#pragma once
// What the tile transition and the grid deform share: a static grid of screen quads rebuilt when
// a tile count changes, one render pass and the two tile-count variables.

#include <memory>
#include <string>

#include "engine/block_base.h"
#include "graphics/gpu_buffers.h"

class render_pass_t;

class block_quad_grid_t : public block_base_t {
 public:
  ~block_quad_grid_t() override;

  bool copy_from(const block_base_t& other) override;
  bool load(const serial::value_t& table) override;
  void save(serial::value_t& table) const override;
  void expose_variables(variable_registry_t& registry) override;

  // Replaces the buffers with a grid of the current tile counts; true.
  virtual bool build_mesh() = 0;

  std::unique_ptr<vertex_buffer_t> vertex_buffer;
  std::unique_ptr<index_buffer_t> index_buffer;
  std::shared_ptr<render_pass_t> pass;
  variable_ptr_t num_tiles_x;
  variable_ptr_t num_tiles_y;
  // The counts the buffers were built with.
  int built_columns = 0;
  int built_rows = 0;
  // An animated count out of range would otherwise warn at every rebuild.
  bool reported_count = false;

 protected:
  explicit block_quad_grid_t(std::string class_name);

  // The base's defaults, the pass from the shader file and the two variables, then the mesh.
  bool init_grid_block(const std::string& shader_file, const std::vector<uint32_t>& layout);
  // Reads and clears the changed flags (the second only when the first was clear) and rebuilds
  // on a change.
  void rebuild_on_changed_counts();
  // The grid's buffers and "g_num_tiles" for the pass's vertex shader.
  void bind_grid();
  int index_count() const { return 6 * built_columns * built_rows; }
  // The count of the variable, with a warning the first time a count of this block had to change.
  int tile_count(const variable_ptr_t& variable);
  template <typename grid_t>
  void upload(const grid_t& grid);
};

struct tile_count_t {
  int count = 10;
  bool as_given = true;  // false when the value was no count of 1..100 and had to change
};

// A tile count of 1..100: an int clamped, a float truncated toward zero and clamped (a NaN is no
// count), anything else the default of 10.
tile_count_t tile_count_of(const variable_ptr_t& variable);
