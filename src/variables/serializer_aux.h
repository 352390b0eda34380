#pragma once
// Table forms of typed values, variables and animations in the value tree of the project file.
// Readers take defaults for missing keys and never fail as a whole.

#include "variables/animation.h"
#include "text/serial_value.h"
#include "variables/variable.h"

// Where a table sits, for messages: the "name" of every enclosing table that has one, outermost
// first, joined by '/' (a block's name, a camera's, a variable's); "project" when none has one.
std::string owner_path(const serial::value_t& table);

// {"type", "value"}; the empty value writes nothing and matrices write only their type.
void save_typed_value(serial::value_t& table, const typed_value_t& value);
// Reads the alternative of the table's type code into value; an unsupported code logs a warning,
// leaves value as it was and gives false.
bool load_typed_value(const serial::value_t& table, typed_value_t& value);

// "name", "flags", "type", "value" (only when it differs from the default), "default", "min", "max",
// "has-animation" and "anim".
void save_variable(serial::value_t& table, const variable_t& variable);
// Reads into an empty variable; true in every case.
bool load_variable(const serial::value_t& table, variable_t& variable);

// "type", "repeat", "interpolation", "easing-type", "speed", "channel_%d" key arrays, "expr_%d",
// "fft-band" and "fft-factor".
void save_animation(serial::value_t& table, const animation_t& animation);
// Replaces the modes, the keys of each channel of the table's type and the non-empty expressions.
bool load_animation(const serial::value_t& table, animation_t& animation);
