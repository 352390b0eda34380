#pragma once
// The engine: the project's blocks, the engine variables, the playback clock and the media
// managers. The host reaches it only through the six exported functions below; everything else
// reaches it through engine_t in the engine context.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <tl/expected.hpp>

#include "engine/block_base.h"
#include "variables/engine_context.h"
#include "variables/variable.h"

struct systems_t;

struct project_settings_t {
  std::string project_name;
  float cur_time = 0.0f;
  bool gamma = true;
  int32_t fade_mode = 0;
  float block_fade_in = 1.0f;
  float camera_fade_in = 2.0f;
  float sound_fade_out = 3.0f;
};

class engine_t : public engine_variables_t {
 public:
  virtual ~engine_t() = default;
  // False once the timeline has ended.
  virtual bool tick() = 0;
  virtual uint64_t get_frame_count() = 0;
  virtual bool is_running() = 0;
  virtual void set_running(bool running) = 0;
  virtual void set_cur_time(float seconds) = 0;
  virtual float get_volume() = 0;
  virtual void set_volume(float volume) = 0;
  virtual float get_music_length() = 0;
  virtual int get_free_block_id() = 0;
  virtual std::vector<block_base_t*> get_blocks() = 0;
  virtual std::vector<block_base_t*> get_root_blocks(bool active_only) = 0;
  virtual block_base_t* find_block(int id) = 0;
  virtual std::vector<block_base_t*> get_block_closure(block_base_t* block) = 0;
  virtual block_ptr_t create_block(const std::string& class_name, bool default_init) = 0;
  virtual project_settings_t& get_settings() = 0;
  virtual tl::expected<void, std::string> load_project(const std::string& path) = 0;
};

// The engine of the engine context, or null.
inline engine_t* current_engine() { return static_cast<engine_t*>(engine_context->engine); }

// The exports the host resolves by name from its own executable. They are safe to call when no
// engine exists: start, stop and set_cur_time do nothing, tick touches no engine and close
// releases only what was registered.
extern "C" {
__attribute__((visibility("default"))) bool engine_init(systems_t* systems, const char* project_text);
__attribute__((visibility("default"))) bool engine_close();
__attribute__((visibility("default"))) bool engine_tick();
__attribute__((visibility("default"))) void engine_start();
__attribute__((visibility("default"))) void engine_stop();
__attribute__((visibility("default"))) void engine_set_cur_time(float seconds);
}
