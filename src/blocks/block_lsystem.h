#pragma once
// A branching structure of small turned solids grown once at load, drawn every frame while the
// camera follows one of four scripts, one per camera span.

#include <memory>
#include <string>
#include <vector>

#include "blocks/camera_script.h"
#include "blocks/lsystem_growth.h"
#include "engine/block_base.h"
#include "variables/range_value.h"

class render_pass_t;

class block_lsystem_t final : public block_base_t {
 public:
  block_lsystem_t();
  ~block_lsystem_t() override;

  bool default_init() override;
  bool copy_from(const block_base_t& other) override { return block_base_t::copy_from(other); }
  bool load(const serial::value_t& table) override;
  void save(serial::value_t& table) const override;
  void execute(const render_context_t& context) override;

  bool load_lsystem_pass();
  // False when the device refuses the index buffer; the block then draws nothing.
  bool build_geometry();
  int grow(std::span<lsystem_vertex_t> vertices, std::span<const cube_vertex_t> mesh) const;
  void init_camera_scripts();
  void report_non_finite_lines(int span, camera_script_t& script, uint16_t lines);
  lsystem_settings_t current_settings() const;

  range_value_t<float> segment_length{"segment_length", 10.0f};
  range_value_t<float> segment_length_variance{"segment_length_variance", 0.5f};
  range_value_t<float> cube_size{"cube-size", 1.0f};
  range_value_t<int> density{"density", 5};
  range_value_t<int> initial_segments{"initial-segments", 13};
  range_value_t<int> max_segments{"max-segments", 10};
  range_value_t<float> length_decay{"length-decay", 0.9f};
  range_value_t<float> size_decay{"size-decay", 0.9f};
  std::vector<range_value_base_t*> settings;

  std::vector<camera_script_t> camera_scripts;
  std::shared_ptr<render_pass_t> pass;
  int cube_count = 0;
  int first_vertex = 0;
};

block_ptr_t make_lsystem_block();
