#pragma once
// The base of every timeline block: identity, time span, layer and blend mode, the six base
// variables, cameras and camera spans, texture inputs, the links the engine rebuilds every frame
// and the last render context. Blocks are shared objects owned by the engine.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/block_camera.h"
#include "engine/bound_input.h"
#include "variables/variable_registry.h"
#include "shaders/blend_mode.h"
#include "shaders/render_context.h"
#include "text/serial_value.h"
#include "variables/variable.h"

namespace e3d {
struct scene_t;
}
struct shader_t;
class block_base_t;

// A block of a following layer fed by this one. Flags: 1 it starts inside this block's span,
// 2 it ends inside it.
struct block_consumer_t {
  int overlap_flags = 0;
  block_base_t* block = nullptr;
};

class block_base_t : public std::enable_shared_from_this<block_base_t> {
 public:
  // Takes its id from the engine, when there is one.
  explicit block_base_t(std::string class_name);
  virtual ~block_base_t();
  block_base_t(const block_base_t&) = delete;
  block_base_t& operator=(const block_base_t&) = delete;

  // Display name := class name; one default camera with one span over the block's length.
  virtual bool default_init();
  virtual bool copy_from(const block_base_t& other);
  virtual bool load(const serial::value_t& table);
  virtual void save(serial::value_t& table) const;
  virtual bool post_load() { return true; }
  // Animates the exposed variables at block-local time; only while running unless forced.
  virtual void update_variables(float time, bool force);
  virtual void execute(const render_context_t& context);
  virtual bool reserved_flag() const { return reserved != 0; }
  virtual bool is_posteffect() const { return false; }
  virtual bool has_fxaa() const { return false; }
  virtual bool reserved_bool_a() const { return true; }
  virtual bool can_start_chain() const { return true; }
  virtual bool exposes_cameras() const { return can_start_chain(); }
  virtual std::string get_name() const { return name; }
  virtual std::vector<std::string> get_tags() const { return {}; }
  virtual void reserved_hook() {}
  virtual bool supports_depth_clear() const { return true; }
  virtual int get_render_target_type() const { return 1; }
  virtual bool reserved_bool_b() const { return true; }
  virtual int reserved_int() const { return 0; }
  virtual void expose_variables(variable_registry_t& registry);
  // A block may rebuild its list here, so what it saves is what the engine last saw.
  virtual const std::vector<bound_input_t>& get_bound_inputs() { return bound_inputs; }
  virtual void collect_dependencies(std::vector<block_base_t*>& result, std::vector<block_base_t*>& visited);

  std::vector<block_base_t*> get_dependencies();
  // The block itself when asked, then its consumers, into `out`, which keeps its storage.
  void get_chain_blocks(bool include_self, std::vector<block_base_t*>& out) const;
  // Whether an input reads another block's output (the only source of dependencies).
  bool has_block_inputs() const;
  // Sizes and fills the inputs from the shader's required resource slots.
  void sync_bound_inputs(const shader_t& shader);
  // The exposed entries that update_variables animates.
  std::vector<registered_variable_t> collect_variables();

  // Fade weights at the engine's current time; empty away from the edges.
  std::optional<float> get_block_fade() const;
  std::optional<float> get_camera_fade() const;

  int get_camera_index_at(float local_time) const;
  int get_active_span_index() const;
  block_camera_t* get_active_camera() const;
  void load_camera_scene(const std::string& path);

  // Base variables; the bools of the table that steers the block's targets.
  bool get_bool_variable(const variable_ptr_t& variable, bool fallback) const;

  std::vector<variable_ptr_t*> registered_variables;
  variable_ptr_t do_clear_depth;
  variable_ptr_t do_clear_color;
  variable_ptr_t do_ext_passthrough;
  variable_ptr_t do_fxaa;
  variable_ptr_t clear_color;
  variable_ptr_t brightness;
  std::string class_name;
  int id = -1;
  std::string name;
  int layer = 0;
  blend_mode_t blend_mode = BLEND_NONE;
  int reserved = 0;
  block_base_t* prev = nullptr;
  block_base_t* next = nullptr;
  std::vector<block_base_t*> sources;
  std::vector<block_consumer_t> consumers;
  int last_layer = 0;
  std::vector<camera_ptr_t> cameras;
  std::vector<camera_span_t> camera_spans;
  bool camera_override = false;
  std::string camera_scene;
  std::unique_ptr<e3d::scene_t> scene;
  std::unordered_set<std::string> watched_scene_paths;
  render_context_t last_context;
  std::string error_text;
  int group_id = -1;
  bool selected = false;
  bool preview = false;
  bool active = false;
  bool is_dependency = false;
  bool skipped = false;
  bool first_execute = true;
  // Its load threw: it keeps its place on the timeline but is never executed.
  bool load_failed = false;
  std::vector<bound_input_t> bound_inputs;
  float start_time = 0.0f;
  float end_time = 0.0f;

 protected:
  // Registers one of the block's variable members, loaded and saved by name.
  void register_variable(variable_ptr_t& member) { registered_variables.push_back(&member); }

 private:
  // The cameras' variables, then those of expose_variables.
  void expose_all_variables(variable_registry_t& registry);

  // Refilled by every get_dependencies.
  std::vector<block_base_t*> visited_;
  // Refilled by every update_variables: the exposed variables without their paths.
  variable_registry_t animated_{"", variable_registry_t::without_paths};
};

using block_ptr_t = std::shared_ptr<block_base_t>;

// The trivial block.
class block_dummy_t final : public block_base_t {
 public:
  block_dummy_t() : block_base_t("dummy") {}
  void execute(const render_context_t& context) override;
};

block_ptr_t make_dummy_block();
