#include "variables/expression_functions.h"

#include <cmath>

float lerp(float a, float b, float t) { return (1.0f - t) * a + b * t; }

float expression_min(float a, float b) { return a < b ? a : b; }

float expression_max(float a, float b) { return a > b ? a : b; }

float expression_clamp(float x, float lo, float hi) {
  if (x > hi) return hi;
  if (x < lo) return lo;
  return x;
}

namespace {

float sin_f(float x) { return std::sin(x); }
float cos_f(float x) { return std::cos(x); }
float tan_f(float x) { return std::tan(x); }
float asin_f(float x) { return std::asin(x); }
float acos_f(float x) { return std::acos(x); }
float atan_f(float x) { return std::atan(x); }
float log_f(float x) { return std::log(x); }
float exp_f(float x) { return std::exp(x); }

struct builtin_functions_t {
  function_impl_t<1, function1_t> sin{sin_f};
  function_impl_t<1, function1_t> cos{cos_f};
  function_impl_t<1, function1_t> tan{tan_f};
  function_impl_t<1, function1_t> asin{asin_f};
  function_impl_t<1, function1_t> acos{acos_f};
  function_impl_t<1, function1_t> atan{atan_f};
  function_impl_t<1, function1_t> log{log_f};
  function_impl_t<1, function1_t> exp{exp_f};
  function_impl_t<2, function2_t> min{expression_min};
  function_impl_t<2, function2_t> max{expression_max};
  function_impl_t<3, function3_t> lerp{::lerp};
  function_impl_t<3, function3_t> clamp{expression_clamp};
};

// The functions are stateless, so every context can refer to one set that outlives them all.
const builtin_functions_t& builtin_functions() {
  static const builtin_functions_t* functions = new builtin_functions_t();
  return *functions;
}

}  // namespace

void register_math_functions(expression_context_t& context) {
  const builtin_functions_t& f = builtin_functions();
  context.functions["sin"] = &f.sin;
  context.functions["cos"] = &f.cos;
  context.functions["tan"] = &f.tan;
  context.functions["asin"] = &f.asin;
  context.functions["acos"] = &f.acos;
  context.functions["atan"] = &f.atan;
  context.functions["log"] = &f.log;
  context.functions["exp"] = &f.exp;
  context.functions["min"] = &f.min;
  context.functions["max"] = &f.max;
  context.functions["lerp"] = &f.lerp;
  context.functions["clamp"] = &f.clamp;
}

void register_math_functions() { register_math_functions(global_expression_context()); }

void register_lsystem_math_functions() { register_math_functions(lsystem_expression_context()); }
