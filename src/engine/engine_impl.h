#pragma once
// The one implementation of engine_t.

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/engine.h"
#include "engine/render_chain.h"
#include "support/perf_timer.h"

class render_pass_t;
struct render_target_t;
namespace serial {
class value_t;
}

// One member's targets while its chain renders.
struct chain_output_t {
  std::shared_ptr<render_target_t> colour;
  std::shared_ptr<render_target_t> second;
};

// What one level of chain rendering refills each frame: a block input renders its chain one level
// deeper, while the level above is still filling its context.
struct chain_level_t {
  std::vector<chain_output_t> entries;
  render_context_t context;
  render_chain_t nested;  // the chain a block input renders
};

// The "system::" variables the frame publishes, looked up once.
struct system_variables_t {
  variable_ptr_t time, active_cam, cam_pos, cam_dir, cam_up, cam_fov, cam_near_plane, cam_far_plane;
  variable_ptr_t view, proj, view_proj;
  std::array<variable_ptr_t, 8> render_target_sizes;  // "system::rt0" to "system::rt7"
};

// One chain's output kept between frames under its root's id.
struct cached_output_t {
  std::shared_ptr<render_target_t> target;
  float stamp = 0.0f;
};

class engine_impl_t final : public engine_t {
 public:
  engine_impl_t() = default;
  ~engine_impl_t() override;

  bool tick() override;
  uint64_t get_frame_count() override { return frame_count; }
  bool is_running() override { return running; }
  void set_running(bool running) override;
  float get_cur_time() override;
  void set_cur_time(float seconds) override;
  float get_volume() override;
  void set_volume(float volume) override;
  float get_music_length() override;
  int get_free_block_id() override;
  std::vector<block_base_t*> get_blocks() override;
  std::vector<block_base_t*> get_root_blocks(bool active_only) override;
  block_base_t* find_block(int id) override;
  std::vector<block_base_t*> get_block_closure(block_base_t* block) override;
  block_ptr_t create_block(const std::string& class_name, bool default_init) override;
  variable_ptr_t find_variable(const std::string& name) override;
  variable_ptr_t get_or_create_variable(const std::string& name, variable_type_t type) override;
  project_settings_t& get_settings() override { return settings; }
  tl::expected<void, std::string> load_project(const std::string& path) override;

  void create_system_variables();
  void load_default_post_effects();
  // An empty name parses the text; otherwise the named file is read.
  tl::expected<void, std::string> load_project_text(const std::string& name, const std::string& text);
  void load_settings(const serial::value_t& root);
  void load_blocks(const serial::value_t& root);
  void render_frame(render_target_t* backbuffer);
  std::shared_ptr<render_target_t> render_chain(const render_chain_t& chain, int width, int height, float t,
                                                float dt);
  // False when the block drew nothing (an input it needs is missing, its load failed, or it threw):
  // its outputs are then cleared again, the colour output to transparent black when it has no
  // clear colour.
  bool render_block(block_base_t& block, const render_context_t& context,
                    const std::optional<float4>& colour_clear, const std::optional<float4>& second_clear,
                    bool clear_depth);
  void publish_system_variables(block_base_t& block, const render_context_t& context);
  void store_cached_output(int id, const std::shared_ptr<render_target_t>& target);

  std::unordered_map<int, cached_output_t> output_cache;
  float cache_frame = 0.0f;
  float cache_prev_frame = 0.0f;
  perf_timer_t timer;
  bool running = false;
  std::vector<block_ptr_t> blocks;
  uint64_t frame_count = 0;
  std::shared_ptr<render_pass_t> gamma_pass;
  std::shared_ptr<render_pass_t> fxaa_pass;
  project_settings_t settings;
  std::unordered_map<std::string, variable_ptr_t> variables;
  // The music volume when the final fade-out began; empty outside the fade.
  std::optional<float> fade_from_volume;

 private:
  // Input k of the block at chain position `position` into the context.
  void resolve_input(const bound_input_t& input, size_t position, const std::vector<chain_output_t>& entries,
                     render_context_t& context, size_t k, int width, int height, float t, float dt);

  bool inputs_resolved(block_base_t& block, const render_context_t& context) const;
  // Runs the block; what it throws (a GPU resource it cannot make, say) is logged and the block
  // counts as having drawn nothing, so the rest of the frame goes on.
  bool execute_block(block_base_t& block, const render_context_t& context);
  // The outputs of a block that drew nothing, cleared again: it may have drawn part of its image.
  void clear_undrawn_outputs(const render_context_t& context, const std::optional<float4>& colour_clear,
                             const std::optional<float4>& second_clear);

  // The blocks in list order, refilled each frame.
  const std::vector<block_base_t*>& frame_blocks();

  // Roots of the chains being rendered, innermost last: a block input naming one is a cycle.
  std::vector<block_base_t*> rendering_roots;
  system_variables_t system_variables;
  // Storage the frame refills, so that a frame like the one before allocates nothing.
  std::vector<block_base_t*> frame_blocks_;
  chain_storage_t chain_storage_;
  std::vector<std::unique_ptr<chain_level_t>> chain_levels_;
  size_t chain_depth_ = 0;
  // Outputs read through block inputs this frame, alive until the next frame starts.
  std::vector<std::shared_ptr<render_target_t>> frame_targets;
  // The last failure logged for each block that failed and has not drawn since.
  std::unordered_map<int, std::string> failing_blocks_;
};
