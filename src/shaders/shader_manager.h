#pragma once
// The shader manager owns every shader stage of the program. Each stage comes from pre-compiled
// bytecode and a reflection blob listed by the cache manifest "/shadermanager.toml"; a load
// registers the shader under a new id, makes its first version and hands a compile task to the
// task scheduler. Changed source or metadata files give the shaders that depend on them new
// versions; users draw with the newest ready one. Eleven built-in full-screen shaders serve blit
// and blend.

#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include <tl/expected.hpp>

#include "graphics/gpu_buffers.h"
#include "shaders/blend_mode.h"
#include "text/serial_value.h"
#include "shaders/shader.h"
#include "shaders/shader_compile_task.h"
#include "shaders/shader_request.h"
#include "graphics/state_set.h"
#include "support/math.h"

struct render_target_t;

class shader_manager_t {
 public:
  virtual ~shader_manager_t() = default;
  // Drops every shader before the device goes; only the destructor may follow.
  virtual void release() = 0;
  // Once per tick: new versions for the shaders whose watched files changed.
  virtual void reload_changed_files() = 0;
  // Registers a new shader and returns its first version, never empty. With wait 1 the version's
  // compile task has finished (state ready or failed) when this returns.
  virtual std::shared_ptr<shader_t> load_shader(const shader_request_t& request) = 0;
  // Copies source into target (cleared first); a tint alpha below 1 tints the copy.
  virtual void blit(render_target_t& source, render_target_t& target, const float4& tint) = 0;
  // Combines two targets (either may be null) into target with blend mode `mode`.
  virtual void blend(render_target_t* first, render_target_t* second, render_target_t& target, int32_t mode,
                     const float4& parameter) = 0;
  // The ready version with the highest number; empty when none is ready or the id is unknown.
  virtual std::shared_ptr<shader_t> current_version(int32_t id) = 0;
};

struct shader_cache_entry_t {
  std::string filename;
  std::string entrypoint;
  std::vector<uint8_t> code;
  std::vector<uint8_t> reflection;
  int64_t time = 0;  // the source file's time when the manifest was read
  bool used = false;
};

// "<path>:<entry point>", the key of the cache manifest.
std::string make_shader_key(const shader_t& shader);

// How many compile tasks of any manager have reported so far; current_version can answer
// differently only after it changed.
uint64_t finished_shader_versions();

class shader_manager_impl_t final : public shader_manager_t, public shader_loaded_interface_t {
 public:
  struct shader_data_t {
    shader_request_t request;
    std::string metadata_path;
    int32_t id = 0;
    int32_t version = 0;
    // Finished versions, ready or failed, in completion order.
    std::vector<std::shared_ptr<shader_t>> versions;
  };

  shader_manager_impl_t() = default;
  ~shader_manager_impl_t() override;
  shader_manager_impl_t(const shader_manager_impl_t&) = delete;
  shader_manager_impl_t& operator=(const shader_manager_impl_t&) = delete;

  // Reads the manifest, makes the state sets and the constant buffer, loads the built-in shaders
  // and waits for them.
  tl::expected<void, std::string> init();

  void release() override;
  void reload_changed_files() override;
  std::shared_ptr<shader_t> load_shader(const shader_request_t& request) override;
  void blit(render_target_t& source, render_target_t& target, const float4& tint) override;
  void blend(render_target_t* first, render_target_t* second, render_target_t& target, int32_t mode,
             const float4& parameter) override;
  std::shared_ptr<shader_t> current_version(int32_t id) override;
  void on_shader_loaded(compile_task_t& task, int32_t state) override;

  void load_cache_manifest(const serial::value_t& root);
  std::shared_ptr<shader_t> create_shader_version(const shader_request_t& request, int32_t id, int32_t version);

  // Read-only views for diagnostics and tests.
  const std::unordered_map<std::string, shader_cache_entry_t>& cache_entries() const { return cache; }
  std::shared_ptr<shader_t> builtin(const std::string& entry_point) const;

 private:
  // Gives the task the cache entry's data when the entry is not older than the source; the
  // caller holds the lock.
  void lookup_cache_locked(compile_task_t& task, const shader_t& version, const shader_request_t& request);
  void submit_locked(std::unique_ptr<compile_task_t> task);
  // Runs pending tasks on this thread until the version's task has reported.
  void wait_for(const std::shared_ptr<shader_t>& version);
  // Frees the tasks that have finished.
  void collect_finished_tasks();
  void wait_for_all_tasks();
  void bind_target(render_target_t& target, render_target_t*& previous);
  void restore_target(render_target_t* previous);

  std::unordered_map<int32_t, std::shared_ptr<shader_data_t>> registry;
  int32_t next_id = 1;
  int32_t watch_owner = 0;
  std::mutex lock;
  std::unordered_map<std::string, std::vector<std::shared_ptr<shader_data_t>>> dependents;
  std::unordered_map<std::string, shader_cache_entry_t> cache;
  std::vector<std::shared_ptr<shader_t>> all_shaders;
  std::unique_ptr<constant_buffer_t> constants;
  std::shared_ptr<shader_t> vs_quad;
  std::shared_ptr<shader_t> ps_copy;
  std::shared_ptr<shader_t> ps_copy_alpha;
  std::shared_ptr<shader_t> ps_add;
  std::shared_ptr<shader_t> ps_multiply;
  std::shared_ptr<shader_t> ps_screen;
  std::shared_ptr<shader_t> ps_lerp;
  std::shared_ptr<shader_t> ps_lighten;
  std::shared_ptr<shader_t> ps_darken;
  std::shared_ptr<shader_t> ps_difference;
  std::shared_ptr<shader_t> ps_negation;
  state_set_t default_states;
  state_set_t copy_states;
  state_set_t one_one_states;
  state_set_t src_alpha_states;
  // Submitted tasks, freed on the main thread once they have finished.
  std::list<std::unique_ptr<compile_task_t>> tasks;
};
