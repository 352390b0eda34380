#pragma once
// One texture input of a block and the table it is saved as.

#include <cstdint>
#include <string>

#include "text/serial_value.h"
#include "variables/variable.h"

enum bound_input_type_t : int32_t {
  BOUND_INPUT_NONE = 0,
  BOUND_INPUT_UNRESOLVED = 1,  // the block is then never executed
  BOUND_INPUT_LAYER = 2,       // an output of a lower position in the same chain
  BOUND_INPUT_BLOCK = 3,       // the output of the block "block-id", rendered on demand and cached
  BOUND_INPUT_TEXTURE = 4,     // the texture file "texture-path"
  BOUND_INPUT_SYSTEM = 5,      // the procedural texture "system-texture"
};

struct texture_t;

// Defaults are those of a new entry; a table without "dim" or "is-dynamic" reads (1, 1) and false.
struct bound_input_t {
  int32_t type = BOUND_INPUT_NONE;
  int32_t mode = 0;
  std::string display_name;
  int2 dim = {256, 256};
  std::string system_texture;
  std::string texture_path;
  int32_t block_id = -1;
  int32_t layer_offset = 0;
  int32_t layer = 0;  // 0 the colour output, any other value the second output
  bool is_dynamic = true;
  // The texture of "texture-path" or "system-texture" once found, so that frames do not look it up
  // by name; the texture manager keeps it. Not saved; a new path comes with a new input.
  mutable texture_t* resolved_texture = nullptr;

  void load(const serial::value_t& table);
  void save(serial::value_t& table) const;
};

// An input fed by the output of the block directly below.
bound_input_t make_layer_input(const std::string& display_name, int32_t layer);
