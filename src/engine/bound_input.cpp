#include "engine/bound_input.h"

using serial::value_kind_t;

void bound_input_t::load(const serial::value_t& table) {
  display_name = table.get_string("displayname", display_name);
  type = table.get_int("type", type);
  mode = table.get_int("mode", mode);
  const serial::value_t& dim_value = table.get("dim", value_kind_t::int2);
  dim = dim_value.valid ? int2{dim_value.payload.i[0], dim_value.payload.i[1]} : int2{1, 1};
  system_texture = table.get_string("system-texture", system_texture);
  texture_path = table.get_string("texture-path", texture_path);
  block_id = table.get_int("block-id", block_id);
  layer = table.get_int("layer", layer);
  layer_offset = table.get_int("layer_offset", layer_offset);
  is_dynamic = table.get_bool("is-dynamic", false);
}

void bound_input_t::save(serial::value_t& table) const {
  auto add_int = [&](const char* key, int32_t value) {
    table.add(key, value_kind_t::int_)->payload.i[0] = value;
  };
  table.add_string("displayname", display_name);
  add_int("type", type);
  add_int("mode", mode);
  serial::value_t* dim_value = table.add("dim", value_kind_t::int2);
  dim_value->payload.i[0] = dim.x;
  dim_value->payload.i[1] = dim.y;
  table.add_string("system-texture", system_texture);
  table.add_string("texture-path", texture_path);
  add_int("block-id", block_id);
  add_int("layer", layer);
  add_int("layer_offset", layer_offset);
  table.add("is-dynamic", value_kind_t::bool_)->payload.i[0] = is_dynamic ? 1 : 0;
}

bound_input_t make_layer_input(const std::string& display_name, int32_t layer) {
  bound_input_t input;
  input.display_name = display_name;
  input.type = BOUND_INPUT_LAYER;
  input.layer_offset = 1;
  input.layer = layer;
  return input;
}
