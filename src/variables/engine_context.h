#pragma once
// The engine module's services as every layer from the variables up reaches them: the engine's clock
// and named variables, and the media and shader managers. engine_init fills it; each user reads a
// pointer at the moment of use, since any of them may be missing.

#include <string>

#include "variables/variable.h"

class shader_manager_t;
class soundsystem_t;
class texture_manager_t;
class rocket_manager_t;

// The engine's playback time and its named variables ("system::time", the sync tracks' values).
class engine_variables_t {
 public:
  virtual ~engine_variables_t() = default;
  virtual float get_cur_time() = 0;
  virtual variable_ptr_t find_variable(const std::string& name) = 0;
  virtual variable_ptr_t get_or_create_variable(const std::string& name, variable_type_t type) = 0;
};

struct engine_context_t {
  engine_variables_t* engine = nullptr;  // the engine; its own layer sees all of it as engine_t
  shader_manager_t* shader_manager = nullptr;
  soundsystem_t* soundsystem = nullptr;
  texture_manager_t* texture_manager = nullptr;
  rocket_manager_t* rocket_manager = nullptr;
};

extern engine_context_t* const engine_context;
