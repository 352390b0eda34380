#pragma once
// Animation of a variable over time: one curve per component, from keys with an interpolation,
// an easing and a repeat mode, or from an expression of the time "t".

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "variables/expression.h"
#include "variables/variable.h"

struct animation_key_t {
  float time = 0;
  float value = 0;
};

// Any other code behaves as clamp.
enum repeat_t : int32_t {
  REPEAT_CLAMP = 0,
  REPEAT_LOOP = 1,
  REPEAT_PING_PONG = 2,
};

// Any other code evaluates to 0.
enum interpolation_t : int32_t {
  INTERPOLATION_NONE = 0,  // the variable's current value
  INTERPOLATION_EASED_LINEAR = 1,
  INTERPOLATION_SIGN_STEP = 2,
  INTERPOLATION_LINEAR = 3,
  INTERPOLATION_SPLINE = 4,
  INTERPOLATION_EXPRESSION = 5,
};

// Any other code is the identity.
enum easing_t : int32_t {
  EASING_CUBIC_IN = 1,
  EASING_CUBIC_OUT = 2,
  EASING_CUBIC_IN_OUT = 3,
  EASING_BACK_IN = 4,
  EASING_BACK_OUT = 5,
  EASING_BACK_IN_OUT = 6,
  EASING_ELASTIC_IN = 7,
  EASING_ELASTIC_OUT = 8,
  EASING_ELASTIC_IN_OUT = 9,
};

constexpr int max_animation_channels = 4;

// Owned by its variable; evaluation changes nothing in it.
struct animation_t {
  variable_t* owner = nullptr;  // not owned
  variable_type_t type = VT_NONE;
  int32_t repeat = REPEAT_CLAMP;
  int32_t interpolation = INTERPOLATION_LINEAR;
  int32_t easing_type = EASING_CUBIC_IN_OUT;
  float speed = 1.0f;  // kept and saved; takes no part in evaluation
  std::array<std::vector<animation_key_t>, max_animation_channels> keys;
  std::array<std::string, max_animation_channels> expression_texts;
  std::array<parser::expression_ptr_t, max_animation_channels> expressions;
  int32_t fft_band = 8;
  float fft_factor = 1.0f;
  int32_t channel_count = 1;
};

// 2, 3 or 4 for vectors and colours, 1 for every other code.
int value_component_count(variable_type_t type);

std::unique_ptr<animation_t> construct_animation(variable_t* owner);
// A copy for the new owner; expressions are parsed anew, so nothing is shared.
std::unique_ptr<animation_t> clone_animation(const animation_t& source, variable_t* new_owner);
// Replaces the channel's expression text and tree; an empty text leaves the channel without one.
void set_channel_expression(animation_t& animation, int channel, const std::string& text);

// A value of the animation's type; types without channels give a copy of the owner's value.
typed_value_t evaluate_animation(const animation_t& animation, float t);
float evaluate_animation_channel(const animation_t& animation, int channel, float t);
// Uniform Catmull-Rom through the key values; key times only place the segment.
float evaluate_key_spline(std::span<const animation_key_t> keys, float t);
// The easing curve of the code at t, with t clamped to [0, 1].
float apply_easing(int32_t easing, float t);
