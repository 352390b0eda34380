#include "variables/serializer_aux.h"

#include <fmt/printf.h>

#include "support/log.h"
#include "variables/expression.h"
#include "variables/expression_context.h"

using serial::value_kind_t;
using serial::value_t;

namespace {

void add_int(value_t& table, const std::string& name, int32_t value) {
  table.add(name, value_kind_t::int_)->payload.i[0] = value;
}

void add_bool(value_t& table, const std::string& name, bool value) {
  table.add(name, value_kind_t::bool_)->payload.i[0] = value ? 1 : 0;
}

void add_ints(value_t& table, value_kind_t kind, std::initializer_list<int32_t> values) {
  value_t* node = table.add("value", kind);
  int i = 0;
  for (int32_t v : values) node->payload.i[i++] = v;
}

void add_floats(value_t& table, value_kind_t kind, std::initializer_list<float> values) {
  value_t* node = table.add("value", kind);
  int i = 0;
  for (float v : values) node->payload.f[i++] = v;
}

// "type" read as an int, reduced to its low 8 bits.
uint8_t read_type_code(const value_t& table) { return static_cast<uint8_t>(table.get_int("type", 0)); }

// The payload of a child of exactly that kind, zeros otherwise.
serial::payload_t payload_of(const value_t& table, value_kind_t kind) {
  return table.get("value", kind).payload;
}

// The first function an expression calls that the context does not have; empty when none.
std::string unknown_function(const parser::expression_t& expression, const expression_context_t& context) {
  using namespace parser;
  switch (expression.kind()) {
    case EXPR_PREFIX:
      return unknown_function(*static_cast<const prefix_expression_t&>(expression).operand, context);
    case EXPR_BINOP: {
      const auto& binop = static_cast<const binop_expression_t&>(expression);
      std::string found = unknown_function(*binop.left, context);
      return found.empty() ? unknown_function(*binop.right, context) : found;
    }
    case EXPR_ASSIGNMENT: {
      const auto& assignment = static_cast<const assignment_expression_t&>(expression);
      std::string found = unknown_function(*assignment.left, context);
      return found.empty() ? unknown_function(*assignment.right, context) : found;
    }
    case EXPR_TERNARY: {
      const auto& ternary = static_cast<const ternary_expression_t&>(expression);
      for (const expression_ptr_t* part : {&ternary.condition, &ternary.then_part, &ternary.else_part}) {
        std::string found = unknown_function(**part, context);
        if (!found.empty()) return found;
      }
      return {};
    }
    case EXPR_CALL: {
      const auto& call = static_cast<const call_expression_t&>(expression);
      if (call.callee->kind() != EXPR_NAME) return "(a call of an expression)";
      const std::string& name = static_cast<const name_expression_t&>(*call.callee).name;
      if (!context.find_function(name)) return name;
      for (const expression_ptr_t& argument : call.arguments) {
        std::string found = unknown_function(*argument, context);
        if (!found.empty()) return found;
      }
      return {};
    }
    default:
      return {};
  }
}

}  // namespace

std::string owner_path(const value_t& table) {
  std::string path;
  for (const value_t* node = &table; node; node = node->parent) {
    if (node->kind != value_kind_t::table) continue;
    const value_t& name = node->get("name", value_kind_t::string);
    if (!name.valid) continue;
    path = path.empty() ? name.text : name.text + "/" + path;
  }
  return path.empty() ? "project" : path;
}

void save_typed_value(value_t& table, const typed_value_t& value) {
  const variable_type_t type = variable_type_of_value(value);
  if (type == VT_NONE) return;
  add_int(table, "type", type);
  std::visit(
      [&](const auto& v) {
        using held_t = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<held_t, bool>) {
          add_bool(table, "value", v);
        } else if constexpr (std::is_same_v<held_t, int32_t>) {
          add_int(table, "value", v);
        } else if constexpr (std::is_same_v<held_t, int2>) {
          add_ints(table, value_kind_t::int2, {v.x, v.y});
        } else if constexpr (std::is_same_v<held_t, int3>) {
          add_ints(table, value_kind_t::int3, {v.x, v.y, v.z});
        } else if constexpr (std::is_same_v<held_t, int4>) {
          add_ints(table, value_kind_t::int4, {v.x, v.y, v.z, v.w});
        } else if constexpr (std::is_same_v<held_t, float>) {
          table.add_float("value", v);
        } else if constexpr (std::is_same_v<held_t, float2>) {
          add_floats(table, value_kind_t::float2, {v.x, v.y});
        } else if constexpr (std::is_same_v<held_t, float3>) {
          add_floats(table, value_kind_t::float3, {v.x, v.y, v.z});
        } else if constexpr (std::is_same_v<held_t, float4>) {
          add_floats(table, value_kind_t::float4, {v.x, v.y, v.z, v.w});
        } else if constexpr (std::is_same_v<held_t, color_t>) {
          add_floats(table, value_kind_t::color, {v.r, v.g, v.b, v.a});
        } else if constexpr (std::is_same_v<held_t, std::string>) {
          table.add_string("value", v);
        }
        // Matrices have no node kind: only their type is written.
      },
      value);
}

bool load_typed_value(const value_t& table, typed_value_t& value) {
  const uint8_t code = read_type_code(table);
  switch (code) {
    case VT_BOOL:
      value = table.get("value", value_kind_t::bool_).payload.i[0] == 1;
      return true;
    case VT_INT:
      value = table.get_int("value", 0);
      return true;
    case VT_FLOAT:
      value = table.get_float("value", 0.0f);
      return true;
    case VT_INT2: {
      const serial::payload_t p = payload_of(table, value_kind_t::int2);
      value = int2{p.i[0], p.i[1]};
      return true;
    }
    case VT_INT3: {
      const serial::payload_t p = payload_of(table, value_kind_t::int3);
      value = int3{p.i[0], p.i[1], p.i[2]};
      return true;
    }
    case VT_INT4: {
      const serial::payload_t p = payload_of(table, value_kind_t::int4);
      value = int4{p.i[0], p.i[1], p.i[2], p.i[3]};
      return true;
    }
    case VT_FLOAT2: {
      const serial::payload_t p = payload_of(table, value_kind_t::float2);
      value = float2{p.f[0], p.f[1]};
      return true;
    }
    case VT_FLOAT3: {
      const serial::payload_t p = payload_of(table, value_kind_t::float3);
      value = float3{p.f[0], p.f[1], p.f[2]};
      return true;
    }
    case VT_FLOAT4: {
      const serial::payload_t p = payload_of(table, value_kind_t::float4);
      value = float4{p.f[0], p.f[1], p.f[2], p.f[3]};
      return true;
    }
    case VT_COLOR: {
      const serial::payload_t p = payload_of(table, value_kind_t::color);
      value = color_t{p.f[0], p.f[1], p.f[2], p.f[3]};
      return true;
    }
    case VT_STRING:
      value = table.get("value", value_kind_t::string).text;
      return true;
    default:
      LOG_WRN("attempting to load unsupported type: %d", code);
      return false;
  }
}

void save_variable(value_t& table, const variable_t& variable) {
  table.add_string("name", variable.name);
  add_int(table, "flags", variable.flags);
  add_int(table, "type", variable.type);
  if (!value_equals(variable.value.value, variable.default_value)) {
    save_typed_value(*table.add("value", value_kind_t::table), variable.value.value);
  }
  save_typed_value(*table.add("default", value_kind_t::table), variable.default_value);
  if (variable.min.index() != TV_EMPTY)
    save_typed_value(*table.add("min", value_kind_t::table), variable.min);
  if (variable.max.index() != TV_EMPTY)
    save_typed_value(*table.add("max", value_kind_t::table), variable.max);
  add_bool(table, "has-animation", variable.animation != nullptr);
  if (variable.animation) save_animation(*table.add("anim", value_kind_t::table), *variable.animation);
}

bool load_variable(const value_t& table, variable_t& variable) {
  variable.name = table.get_string("name", "");
  variable.flags = table.get_int("flags", 0);
  const variable_type_t previous_type = variable.type;
  const int32_t type_code = table.get_int("type", 0);
  variable.type = static_cast<variable_type_t>(read_type_code(table));
  load_typed_value(table.get("default", value_kind_t::table), variable.default_value);
  if (type_code < VT_NONE || type_code > VT_FLOAT4X4) {
    // The default's own type says what the variable holds; a fresh variable has nothing else.
    const variable_type_t fallback = variable_type_of_value(variable.default_value) != VT_NONE
                                         ? variable_type_of_value(variable.default_value)
                                         : previous_type;
    LOG_WRN("%s: type %d is not a variable type; using %d", owner_path(table).c_str(), type_code, int(fallback));
    variable.type = fallback;
  }
  const value_t& value = table.get("value", value_kind_t::table);
  if (value.valid) {
    load_typed_value(value, variable.value.value);
  } else if (!value_equals(variable.value.value, variable.default_value)) {
    variable.value.value = variable.default_value;
    variable.value.changed = true;
  }
  if (variable.flags & VAR_FLAG_HAS_MIN)
    load_typed_value(table.get("min", value_kind_t::table), variable.min);
  if (variable.flags & VAR_FLAG_HAS_MAX)
    load_typed_value(table.get("max", value_kind_t::table), variable.max);
  if (table.get_bool("has-animation", false)) {
    variable.animation = construct_animation(&variable);
    load_animation(table.get("anim", value_kind_t::table), *variable.animation);
  }
  return true;
}

void save_animation(value_t& table, const animation_t& animation) {
  add_int(table, "type", animation.type);
  add_int(table, "repeat", animation.repeat);
  add_int(table, "interpolation", animation.interpolation);
  add_int(table, "easing-type", animation.easing_type);
  table.add_float("speed", animation.speed);
  const int channels = value_component_count(animation.type);
  for (int c = 0; c < channels; ++c) {
    if (animation.keys[c].empty()) continue;
    value_t* array = table.add(fmt::sprintf("channel_%d", c), value_kind_t::array);
    for (const animation_key_t& key : animation.keys[c]) {
      value_t* item = array->append(value_kind_t::table);
      item->add_float("time", key.time);
      item->add_float("value", key.value);
    }
  }
  for (int c = 0; c < channels; ++c)
    table.add_string(fmt::sprintf("expr_%d", c), animation.expression_texts[c]);
  add_int(table, "fft-band", animation.fft_band);
  table.add_float("fft-factor", animation.fft_factor);
}

bool load_animation(const value_t& table, animation_t& animation) {
  animation.type = static_cast<variable_type_t>(read_type_code(table));
  animation.repeat = table.get_int("repeat", REPEAT_CLAMP);
  animation.interpolation = table.get_int("interpolation", INTERPOLATION_LINEAR);
  animation.easing_type = table.get_int("easing-type", EASING_CUBIC_IN_OUT);
  animation.speed = table.get_float("speed", 1.0f);
  const int channels = value_component_count(animation.type);
  for (int c = 0; c < channels; ++c) {
    std::vector<animation_key_t>& keys = animation.keys[c];
    keys.clear();
    for (const value_t& item : table.get_array(fmt::sprintf("channel_%d", c))) {
      if (!item.valid || item.kind != value_kind_t::table) continue;
      if (!item.get_any("value", {value_kind_t::int_, value_kind_t::float_}).valid) continue;
      keys.push_back({item.get_float("time", 0.0f), item.get_float("value", 0.0f)});
    }
  }
  for (int c = 0; c < channels; ++c) {
    const std::string key = fmt::sprintf("expr_%d", c);
    const std::string text = table.get_string(key, "");
    if (text.empty()) continue;
    set_channel_expression(animation, c, text);
    // The text is kept (and saved) as written; the channel reads its default instead.
    std::string problem;
    if (!animation.expressions[c]) {
      problem = "does not parse";
    } else if (std::string unknown = unknown_function(*animation.expressions[c], global_expression_context());
               !unknown.empty()) {
      problem = fmt::sprintf("calls %s, which is not a function", unknown);
    }
    if (problem.empty()) continue;
    LOG_WRN("%s: %s \"%s\" %s; the channel keeps its default", owner_path(table).c_str(), key.c_str(), text.c_str(),
            problem.c_str());
    animation.expressions[c] = nullptr;
  }
  return true;
}
