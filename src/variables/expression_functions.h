#pragma once
// The built-in math functions of expressions, as function objects over plain function pointers.

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>

#include "variables/expression_context.h"

// Calls a function of N floats with the first N arguments; missing arguments are 0.
template <size_t N, typename fn_t>
class function_impl_t : public function_base_t {
 public:
  explicit function_impl_t(fn_t function) : function_(function) {}

  float call(std::span<const float> arguments) const override {
    std::array<float, N> args{};
    std::copy_n(arguments.begin(), std::min(N, arguments.size()), args.begin());
    if constexpr (N == 1) {
      return function_(args[0]);
    } else if constexpr (N == 2) {
      return function_(args[0], args[1]);
    } else {
      return function_(args[0], args[1], args[2]);
    }
  }

 private:
  fn_t function_;
};

using function1_t = float (*)(float);
using function2_t = float (*)(float, float);
using function3_t = float (*)(float, float, float);

// (1 - t) * a + b * t
float lerp(float a, float b, float t);
// a when a < b, else b (so a NaN in either gives b).
float expression_min(float a, float b);
// a when a > b, else b.
float expression_max(float a, float b);
// The upper bound is tested first: hi when x > hi, else lo when x < lo, else x.
float expression_clamp(float x, float lo, float hi);
