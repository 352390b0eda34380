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
  template <typename grid_t>
  void upload(const grid_t& grid);
};

// A tile count: an int as it is, a float truncated, anything else the default of 10.
int tile_count_of(const variable_ptr_t& variable);
