#pragma once
// Typed values and variables: the named, typed, optionally animated parameters of blocks,
// cameras, shader stages and the engine. Variables are always shared objects.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "support/math.h"

// Nine floats, m[row][column], identity by default.
struct float3x3 {
  float m[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  float* data() { return &m[0][0]; }
  const float* data() const { return &m[0][0]; }
};
struct color_t {
  float r = 0, g = 0, b = 0, a = 1;
};

// Type code of a variable; codes 1 to 11 equal the value kinds of the text format.
enum variable_type_t : uint8_t {
  VT_NONE = 0,
  VT_BOOL = 1,
  VT_INT = 2,
  VT_INT2 = 3,
  VT_INT3 = 4,
  VT_INT4 = 5,
  VT_FLOAT = 6,
  VT_FLOAT2 = 7,
  VT_FLOAT3 = 8,
  VT_FLOAT4 = 9,
  VT_COLOR = 10,
  VT_STRING = 11,
  VT_FLOAT3X3 = 12,
  VT_FLOAT4X4 = 13,
};

// Alternatives in this order; from colour on the index differs from the type code, so convert
// only through variable_type_of_value and make_default_value.
using typed_value_t = std::variant<std::monostate, bool, int32_t, int2, int3, int4, float, float2, float3,
                                   float4, float3x3, float4x4, color_t, std::string>;

enum typed_value_index_t : size_t {
  TV_EMPTY = 0,
  TV_BOOL = 1,
  TV_INT = 2,
  TV_INT2 = 3,
  TV_INT3 = 4,
  TV_INT4 = 5,
  TV_FLOAT = 6,
  TV_FLOAT2 = 7,
  TV_FLOAT3 = 8,
  TV_FLOAT4 = 9,
  TV_FLOAT3X3 = 10,
  TV_FLOAT4X4 = 11,
  TV_COLOR = 12,
  TV_STRING = 13,
};

// Bits of variable_t::flags; other bits are kept and saved unchanged.
enum variable_flag_t : int32_t {
  VAR_FLAG_HAS_MIN = 2,
  VAR_FLAG_HAS_MAX = 4,
  VAR_FLAG_ENGINE_EVALUATED = 8,
};

// Exact, case-sensitive type names ("float", "color", ...); anything else gives VT_NONE.
variable_type_t parse_variable_type(std::string_view name);
const char* variable_type_name(variable_type_t type);
// The default of each type; code 0 and unknown codes give an int 0.
typed_value_t make_default_value(variable_type_t type);
// The type code of the alternative a value holds; VT_NONE for the empty value.
variable_type_t variable_type_of_value(const typed_value_t& value);
// True when the value holds the alternative of the type code.
bool value_matches_type(const typed_value_t& value, variable_type_t type);
// Bytes a value of the type occupies in a constant buffer.
size_t packed_value_size(variable_type_t type);

// The one comparison of variable values: same alternative and equal components, floats by float
// equality. Empty and matrix values never compare equal, so assigning them always counts as a change.
bool value_equals(const typed_value_t& a, const typed_value_t& b);

// A current value with the flag that tells consumers it changed.
struct tracked_value_t {
  bool changed = false;
  typed_value_t value;

  // Assigns only a value that differs; returns whether it did (and then sets changed).
  bool set(const typed_value_t& new_value);
};

// Leaves the value empty; the changed flag is the consumers' and stays as it is.
void destroy_tracked_value(tracked_value_t& value);

struct animation_t;

// A named, typed parameter with a default, an optional range and an optional animation.
class variable_t : public std::enable_shared_from_this<variable_t> {
 public:
  variable_t();
  ~variable_t();
  variable_t(const variable_t&) = delete;
  variable_t& operator=(const variable_t&) = delete;

  std::string name;
  int32_t flags = 0;
  variable_type_t type = VT_NONE;
  tracked_value_t value;
  typed_value_t default_value;
  typed_value_t min;  // empty when there is none
  typed_value_t max;  // empty when there is none
  std::unique_ptr<animation_t> animation;
};

using variable_ptr_t = std::shared_ptr<variable_t>;

// The empty variable the loaders fill: no name, type 0, every value empty, changed false.
variable_ptr_t make_empty_variable();
// value := default with changed true; an int default of a float variable becomes a float.
variable_ptr_t construct_variable(const std::string& name, variable_type_t type,
                                  const typed_value_t& default_value, int32_t flags = 0);
variable_ptr_t construct_ranged_variable(const std::string& name, variable_type_t type,
                                         const typed_value_t& default_value, const typed_value_t& min,
                                         const typed_value_t& max, int32_t flags = 0);
// Float variables only: int default, min and max become floats.
void normalize_float_variable(variable_t& variable);
// A deep copy; the animation, when there is one, is cloned for the new variable.
variable_ptr_t clone_variable(const variable_t& variable);

// The animation's value at t, or a copy of the current value for a static variable.
typed_value_t variable_value_at(const variable_t& variable, float t);
// variable_value_at assigned with the rule of tracked_value_t::set; returns whether it changed.
bool evaluate_variable_at(variable_t& variable, float t);

// Writes the current value's constant-buffer bytes and returns the destination past them. A value
// that does not hold its type's alternative is never packed as another type: the type's default
// bytes are written instead.
uint8_t* pack_variable_value(const variable_t& variable, uint8_t* destination);
