#include "variables/variable.h"

#include <cstring>

#include "variables/animation.h"

namespace {

struct type_info_t {
  const char* name;
  size_t packed_size;
};

constexpr type_info_t type_table[] = {
    {"", 0},       {"bool", 1},   {"int", 4},       {"int2", 8},      {"int3", 12},
    {"int4", 16},  {"float", 4},  {"float2", 8},    {"float3", 12},   {"float4", 16},
    {"color", 16}, {"string", 0}, {"float3x3", 36}, {"float4x4", 64},
};
constexpr size_t type_count = sizeof(type_table) / sizeof(type_table[0]);

template <typename value_t>
uint8_t* write_bytes(uint8_t* destination, const value_t& value, size_t size) {
  std::memcpy(destination, &value, size);
  return destination + size;
}

uint8_t* pack_value(const typed_value_t& value, uint8_t* destination) {
  switch (value.index()) {
    case TV_BOOL: {
      const uint8_t byte = std::get<bool>(value) ? 1 : 0;
      return write_bytes(destination, byte, 1);
    }
    case TV_INT:
      return write_bytes(destination, std::get<int32_t>(value), 4);
    case TV_INT2:
      return write_bytes(destination, std::get<int2>(value), 8);
    case TV_INT3:
      return write_bytes(destination, std::get<int3>(value), 12);
    case TV_INT4:
      return write_bytes(destination, std::get<int4>(value), 16);
    case TV_FLOAT:
      return write_bytes(destination, std::get<float>(value), 4);
    case TV_FLOAT2:
      return write_bytes(destination, std::get<float2>(value), 8);
    case TV_FLOAT3:
      return write_bytes(destination, std::get<float3>(value), 12);
    case TV_FLOAT4:
      return write_bytes(destination, std::get<float4>(value), 16);
    case TV_FLOAT3X3:
      return write_bytes(destination, std::get<float3x3>(value), 36);
    case TV_FLOAT4X4:
      return write_bytes(destination, std::get<float4x4>(value), 64);
    case TV_COLOR:
      return write_bytes(destination, std::get<color_t>(value), 16);
    default:
      return destination;
  }
}

}  // namespace

static_assert(sizeof(int2) == 8 && sizeof(int3) == 12 && sizeof(int4) == 16);
static_assert(sizeof(float2) == 8 && sizeof(float3) == 12 && sizeof(float4) == 16);
static_assert(sizeof(float3x3) == 36 && sizeof(float4x4) == 64 && sizeof(color_t) == 16);

variable_type_t parse_variable_type(std::string_view name) {
  for (size_t code = 1; code < type_count; ++code) {
    if (name == type_table[code].name) return static_cast<variable_type_t>(code);
  }
  return VT_NONE;
}

const char* variable_type_name(variable_type_t type) {
  return type < type_count ? type_table[type].name : "";
}

size_t packed_value_size(variable_type_t type) {
  return type < type_count ? type_table[type].packed_size : 0;
}

typed_value_t make_default_value(variable_type_t type) {
  switch (type) {
    case VT_BOOL:
      return true;
    case VT_INT2:
      return int2{};
    case VT_INT3:
      return int3{};
    case VT_INT4:
      return int4{};
    case VT_FLOAT:
      return 0.0f;
    case VT_FLOAT2:
      return float2{};
    case VT_FLOAT3:
      return float3{};
    case VT_FLOAT4:
      return float4{};
    case VT_COLOR:
      return color_t{0, 0, 0, 1};
    case VT_STRING:
      return std::string();
    case VT_FLOAT3X3:
      return float3x3{};
    case VT_FLOAT4X4: {
      float4x4 identity;
      for (int i = 0; i < 4; ++i) identity.m[i][i] = 1.0f;
      return identity;
    }
    default:
      return int32_t{0};
  }
}

variable_type_t variable_type_of_value(const typed_value_t& value) {
  switch (value.index()) {
    case TV_BOOL:
      return VT_BOOL;
    case TV_INT:
      return VT_INT;
    case TV_INT2:
      return VT_INT2;
    case TV_INT3:
      return VT_INT3;
    case TV_INT4:
      return VT_INT4;
    case TV_FLOAT:
      return VT_FLOAT;
    case TV_FLOAT2:
      return VT_FLOAT2;
    case TV_FLOAT3:
      return VT_FLOAT3;
    case TV_FLOAT4:
      return VT_FLOAT4;
    case TV_FLOAT3X3:
      return VT_FLOAT3X3;
    case TV_FLOAT4X4:
      return VT_FLOAT4X4;
    case TV_COLOR:
      return VT_COLOR;
    case TV_STRING:
      return VT_STRING;
    default:
      return VT_NONE;
  }
}

bool value_matches_type(const typed_value_t& value, variable_type_t type) {
  if (type == VT_NONE || type >= type_count) return false;
  return variable_type_of_value(value) == type;
}

bool value_equals(const typed_value_t& a, const typed_value_t& b) {
  if (a.index() != b.index()) return false;
  switch (a.index()) {
    case TV_BOOL:
      return std::get<bool>(a) == std::get<bool>(b);
    case TV_INT:
      return std::get<int32_t>(a) == std::get<int32_t>(b);
    case TV_INT2: {
      const int2 &x = std::get<int2>(a), &y = std::get<int2>(b);
      return x.x == y.x && x.y == y.y;
    }
    case TV_INT3: {
      const int3 &x = std::get<int3>(a), &y = std::get<int3>(b);
      return x.x == y.x && x.y == y.y && x.z == y.z;
    }
    case TV_INT4: {
      const int4 &x = std::get<int4>(a), &y = std::get<int4>(b);
      return x.x == y.x && x.y == y.y && x.z == y.z && x.w == y.w;
    }
    case TV_FLOAT:
      return std::get<float>(a) == std::get<float>(b);
    case TV_FLOAT2: {
      const float2 &x = std::get<float2>(a), &y = std::get<float2>(b);
      return x.x == y.x && x.y == y.y;
    }
    case TV_FLOAT3: {
      const float3 &x = std::get<float3>(a), &y = std::get<float3>(b);
      return x.x == y.x && x.y == y.y && x.z == y.z;
    }
    case TV_FLOAT4: {
      const float4 &x = std::get<float4>(a), &y = std::get<float4>(b);
      return x.x == y.x && x.y == y.y && x.z == y.z && x.w == y.w;
    }
    case TV_COLOR: {
      const color_t &x = std::get<color_t>(a), &y = std::get<color_t>(b);
      return x.r == y.r && x.g == y.g && x.b == y.b && x.a == y.a;
    }
    case TV_STRING:
      return std::get<std::string>(a) == std::get<std::string>(b);
    default:
      // Empty and matrix values: assigning one must always count as a change.
      return false;
  }
}

bool tracked_value_t::set(const typed_value_t& new_value) {
  if (value_equals(value, new_value)) return false;
  value = new_value;
  changed = true;
  return true;
}

void destroy_tracked_value(tracked_value_t& value) { value.value = typed_value_t{}; }

variable_t::variable_t() = default;
variable_t::~variable_t() = default;

variable_ptr_t make_empty_variable() { return std::make_shared<variable_t>(); }

variable_ptr_t construct_variable(const std::string& name, variable_type_t type,
                                  const typed_value_t& default_value, int32_t flags) {
  variable_ptr_t variable = std::make_shared<variable_t>();
  variable->name = name;
  variable->flags = flags;
  variable->type = type;
  variable->value.value = default_value;
  variable->value.changed = true;
  variable->default_value = default_value;
  normalize_float_variable(*variable);
  return variable;
}

variable_ptr_t construct_ranged_variable(const std::string& name, variable_type_t type,
                                         const typed_value_t& default_value, const typed_value_t& min,
                                         const typed_value_t& max, int32_t flags) {
  variable_ptr_t variable = std::make_shared<variable_t>();
  variable->name = name;
  variable->flags = flags | VAR_FLAG_HAS_MIN | VAR_FLAG_HAS_MAX;
  variable->type = type;
  variable->value.value = default_value;
  variable->value.changed = true;
  variable->default_value = default_value;
  variable->min = min;
  variable->max = max;
  normalize_float_variable(*variable);
  return variable;
}

void normalize_float_variable(variable_t& variable) {
  if (variable.type != VT_FLOAT) return;
  auto to_float = [](typed_value_t& value) {
    if (value.index() == TV_INT) value = static_cast<float>(std::get<int32_t>(value));
  };
  to_float(variable.default_value);
  variable.value.set(variable.default_value);
  to_float(variable.min);
  to_float(variable.max);
}

variable_ptr_t clone_variable(const variable_t& source) {
  variable_ptr_t clone = construct_variable(source.name, source.type, source.default_value, 0);
  clone->flags = source.flags;
  clone->value = source.value;
  clone->min = source.min;
  clone->max = source.max;
  if (source.animation) clone->animation = clone_animation(*source.animation, clone.get());
  return clone;
}

typed_value_t variable_value_at(const variable_t& variable, float t) {
  if (variable.animation) return evaluate_animation(*variable.animation, t);
  return variable.value.value;
}

bool evaluate_variable_at(variable_t& variable, float t) {
  if (!variable.animation) return variable.value.set(variable.value.value);
  typed_value_t animated = evaluate_animation(*variable.animation, t);
  // An animation loaded with another type than its variable must not change the value's type
  // under the consumers that read it by its variable's type.
  const bool known_type = variable.type != VT_NONE && variable.type <= VT_FLOAT4X4;
  if (known_type && !value_matches_type(animated, variable.type)) return false;
  return variable.value.set(animated);
}

uint8_t* pack_variable_value(const variable_t& variable, uint8_t* destination) {
  if (packed_value_size(variable.type) == 0) return destination;
  if (value_matches_type(variable.value.value, variable.type))
    return pack_value(variable.value.value, destination);
  // A hand-written table can leave a value of another type behind; never reinterpret it.
  return pack_value(make_default_value(variable.type), destination);
}
