#include "variables/animation.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "variables/expression_context.h"

namespace {

// The keys of a channel, with the ping-pong mirror appended on the fly rather than copied.
class key_view_t {
 public:
  key_view_t(std::span<const animation_key_t> keys, bool mirrored) : keys_(keys), mirrored_(mirrored) {
    last_time_ = keys_.back().time;
  }
  size_t size() const { return mirrored_ ? 2 * keys_.size() : keys_.size(); }
  float time(size_t i) const {
    if (i < keys_.size()) return keys_[i].time;
    return 2.0f * last_time_ - keys_[mirror(i)].time;
  }
  float value(size_t i) const { return i < keys_.size() ? keys_[i].value : keys_[mirror(i)].value; }

 private:
  size_t mirror(size_t i) const { return 2 * keys_.size() - 1 - i; }
  std::span<const animation_key_t> keys_;
  bool mirrored_;
  float last_time_ = 0;
};

// A plain span seen through the same interface as the mirrored keys.
class span_view_t {
 public:
  explicit span_view_t(std::span<const animation_key_t> keys) : keys_(keys) {}
  size_t size() const { return keys_.size(); }
  float time(size_t i) const { return keys_[i].time; }
  float value(size_t i) const { return keys_[i].value; }

 private:
  std::span<const animation_key_t> keys_;
};

// The first index from 1 whose time is at or after t; size() when none (only for a NaN t).
template <typename view_t>
size_t find_bracket(const view_t& keys, float t) {
  for (size_t i = 1; i < keys.size(); ++i) {
    if (keys.time(i) >= t) return i;
  }
  return keys.size();
}

template <typename view_t>
float spline(const view_t& keys, float t) {
  const size_t n = keys.size();
  if (n == 0) return 0.0f;
  if (t <= keys.time(0)) return keys.value(0);
  if (t >= keys.time(n - 1)) return keys.value(n - 1);
  const size_t i = find_bracket(keys, t);
  if (i >= n) return keys.value(0);
  const float f = (t - keys.time(i - 1)) / (keys.time(i) - keys.time(i - 1));
  static constexpr float coefficients[4][4] = {
      {-1, 2, -1, 0},
      {3, -5, 0, 2},
      {-3, 4, 1, 0},
      {1, -1, 0, 0},
  };
  float sum = 0.0f;
  for (int k = 0; k < 4; ++k) {
    const float* c = coefficients[k];
    const float basis = ((c[0] * f + c[1]) * f + c[2]) * f + c[3];
    const int64_t index =
        std::clamp<int64_t>(static_cast<int64_t>(i) - 2 + k, 0, static_cast<int64_t>(n) - 1);
    sum += 0.5f * basis * keys.value(static_cast<size_t>(index));
  }
  return sum;
}

float sign_of(float value) {
  if (value < 0.0f) return -1.0f;
  if (value > 0.0f) return 1.0f;
  return 0.0f;
}

template <typename view_t>
float interpolate(const view_t& keys, const animation_t& animation, float t) {
  const size_t n = keys.size();
  const bool sign_step = animation.interpolation == INTERPOLATION_SIGN_STEP;
  if (animation.interpolation == INTERPOLATION_SPLINE) return spline(keys, t);
  if (t <= keys.time(0)) return sign_step ? sign_of(keys.value(0)) : keys.value(0);
  if (t >= keys.time(n - 1)) return sign_step ? sign_of(keys.value(n - 1)) : keys.value(n - 1);
  const size_t i = find_bracket(keys, t);
  // No bracket: a NaN time, or a loop whose period is zero. Never read before the first key.
  if (i >= n) return sign_step ? sign_of(keys.value(0)) : keys.value(0);
  const float f = (t - keys.time(i - 1)) / (keys.time(i) - keys.time(i - 1));
  switch (animation.interpolation) {
    case INTERPOLATION_EASED_LINEAR: {
      const float w = apply_easing(animation.easing_type, f);
      return (1.0f - w) * keys.value(i - 1) + w * keys.value(i);
    }
    case INTERPOLATION_SIGN_STEP:
      return sign_of(keys.value(i - 1));
    case INTERPOLATION_LINEAR:
      return (1.0f - f) * keys.value(i - 1) + f * keys.value(i);
    default:
      return 0.0f;
  }
}

struct component_visitor_t {
  int c;
  float operator()(int32_t v) const { return static_cast<float>(v); }
  float operator()(float v) const { return v; }
  float operator()(const int2& v) const { return pick({float(v.x), float(v.y)}); }
  float operator()(const int3& v) const { return pick({float(v.x), float(v.y), float(v.z)}); }
  float operator()(const int4& v) const { return pick({float(v.x), float(v.y), float(v.z), float(v.w)}); }
  float operator()(const float2& v) const { return pick({v.x, v.y}); }
  float operator()(const float3& v) const { return pick({v.x, v.y, v.z}); }
  float operator()(const float4& v) const { return pick({v.x, v.y, v.z, v.w}); }
  float operator()(const color_t& v) const { return pick({v.r, v.g, v.b, v.a}); }
  // Values without numeric components (empty, bool, matrices, string).
  float operator()(const auto&) const { return 0.0f; }
  float pick(std::initializer_list<float> components) const {
    return c >= 0 && static_cast<size_t>(c) < components.size() ? components.begin()[c] : 0.0f;
  }
};

// Component c of a value as a float; the single component of an int or float scalar.
float component_of(const typed_value_t& value, int c) { return std::visit(component_visitor_t{c}, value); }

// Truncation toward zero that stays defined for NaN and values beyond the int range.
int32_t truncate_to_int(float value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483648.0f) return std::numeric_limits<int32_t>::max();
  if (value < -2147483648.0f) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

float elastic(float x) {
  const float exponent = 10.0f * (x - 1.0f);
  const double product =
      std::pow(2.0, static_cast<double>(exponent)) * static_cast<double>(std::cos(18.849556f * x));
  return static_cast<float>(product);
}

float back_curve(float x) { return x * x * (2.70158f * x - 1.70158f); }

}  // namespace

int value_component_count(variable_type_t type) {
  switch (type) {
    case VT_INT2:
    case VT_FLOAT2:
      return 2;
    case VT_INT3:
    case VT_FLOAT3:
      return 3;
    case VT_INT4:
    case VT_FLOAT4:
    case VT_COLOR:
      return 4;
    default:
      return 1;
  }
}

std::unique_ptr<animation_t> construct_animation(variable_t* owner) {
  auto animation = std::make_unique<animation_t>();
  animation->owner = owner;
  animation->type = owner ? owner->type : VT_NONE;
  animation->channel_count = value_component_count(animation->type);
  return animation;
}

std::unique_ptr<animation_t> clone_animation(const animation_t& source, variable_t* new_owner) {
  std::unique_ptr<animation_t> clone = construct_animation(new_owner);
  // The source's type may have been replaced by a loaded one; the clone must evaluate the same.
  clone->type = source.type;
  clone->repeat = source.repeat;
  clone->interpolation = source.interpolation;
  clone->easing_type = source.easing_type;
  clone->speed = source.speed;
  const int channels = std::clamp(source.channel_count, 0, max_animation_channels);
  for (int c = 0; c < channels; ++c) {
    clone->keys[c] = source.keys[c];
    set_channel_expression(*clone, c, source.expression_texts[c]);
  }
  return clone;
}

void set_channel_expression(animation_t& animation, int channel, const std::string& text) {
  if (channel < 0 || channel >= max_animation_channels) return;
  animation.expression_texts[channel] = text;
  animation.expressions[channel] = text.empty() ? nullptr : parser::parse_expression(text);
}

float evaluate_animation_channel(const animation_t& animation, int channel, float t) {
  if (channel < 0 || channel >= max_animation_channels) return 0.0f;
  const int interpolation = animation.interpolation;
  if (interpolation < INTERPOLATION_NONE || interpolation > INTERPOLATION_EXPRESSION) return 0.0f;
  if (interpolation == INTERPOLATION_EXPRESSION) {
    const parser::expression_t* expression = animation.expressions[channel].get();
    // A channel without a text reads 0; one whose text did not parse reads the variable's default
    // rather than a silent 0.
    if (!expression) {
      if (animation.expression_texts[channel].empty() || !animation.owner) return 0.0f;
      return component_of(animation.owner->default_value, channel);
    }
    expression_context_t& context = global_expression_context();
    context.set_variable("t", t);
    return expression->evaluate(context);
  }
  const std::vector<animation_key_t>& keys = animation.keys[channel];
  if (keys.empty() || interpolation == INTERPOLATION_NONE) {
    return animation.owner ? component_of(animation.owner->value.value, channel) : 0.0f;
  }
  if (keys.size() == 1) return keys[0].value;

  const float last = keys.back().time;
  if (animation.repeat == REPEAT_LOOP) {
    return interpolate(key_view_t(keys, false), animation, std::fmod(t, last));
  }
  if (animation.repeat == REPEAT_PING_PONG) {
    return interpolate(key_view_t(keys, true), animation, std::fmod(t, 2.0f * last));
  }
  return interpolate(key_view_t(keys, false), animation, t);
}

float evaluate_key_spline(std::span<const animation_key_t> keys, float t) {
  return spline(span_view_t(keys), t);
}

typed_value_t evaluate_animation(const animation_t& animation, float t) {
  auto channel = [&](int c) { return evaluate_animation_channel(animation, c, t); };
  auto int_channel = [&](int c) { return truncate_to_int(channel(c)); };
  switch (animation.type) {
    case VT_INT:
      return int_channel(0);
    case VT_INT2:
      return int2{int_channel(0), int_channel(1)};
    case VT_INT3:
      return int3{int_channel(0), int_channel(1), int_channel(2)};
    case VT_INT4:
      return int4{int_channel(0), int_channel(1), int_channel(2), int_channel(3)};
    case VT_FLOAT:
      return channel(0);
    case VT_FLOAT2:
      return float2{channel(0), channel(1)};
    case VT_FLOAT3:
      return float3{channel(0), channel(1), channel(2)};
    case VT_FLOAT4:
      return float4{channel(0), channel(1), channel(2), channel(3)};
    case VT_COLOR:
      return color_t{channel(0), channel(1), channel(2), channel(3)};
    default:
      return animation.owner ? animation.owner->value.value : make_default_value(animation.type);
  }
}

float apply_easing(int32_t easing, float t) {
  if (t < 0.0f) return 0.0f;
  if (t > 1.0f) return 1.0f;
  switch (easing) {
    case EASING_CUBIC_IN:
      return t * t * t;
    case EASING_CUBIC_OUT: {
      const float b = 1.0f - t;
      return 1.0f - b * b * b;
    }
    case EASING_CUBIC_IN_OUT: {
      if (t < 0.5f) {
        const float d = 2.0f * t;
        return d * d * d / 2.0f;
      }
      const float c = 2.0f * (1.0f - t);
      return (1.0f - c * c * c) / 2.0f + 0.5f;
    }
    case EASING_BACK_IN:
      return back_curve(t);
    case EASING_BACK_OUT:
      return 1.0f - back_curve(1.0f - t);
    case EASING_BACK_IN_OUT:
      if (t < 0.5f) return back_curve(2.0f * t) / 2.0f;
      return (1.0f - back_curve(2.0f * (1.0f - t))) / 2.0f + 0.5f;
    case EASING_ELASTIC_IN:
      return elastic(t);
    case EASING_ELASTIC_OUT:
      return 1.0f - elastic(1.0f - t);
    case EASING_ELASTIC_IN_OUT:
      if (t < 0.5f) return elastic(2.0f * t) / 2.0f;
      return (1.0f - elastic(2.0f * (1.0f - t))) / 2.0f + 0.5f;
    default:
      return t;
  }
}
