// Per-frame evaluation of many animated variables at one time.
#include <benchmark/benchmark.h>

#include <vector>

#include "variables/animation.h"
#include "variables/variable.h"

namespace {

constexpr int variable_count = 10000;

// A mix of the curves blocks use: linear, eased, spline and expression channels of floats and vectors.
std::vector<variable_ptr_t> make_variables() {
  std::vector<variable_ptr_t> variables;
  variables.reserve(variable_count);
  for (int i = 0; i < variable_count; ++i) {
    const variable_type_t type = i % 2 == 0 ? VT_FLOAT : VT_FLOAT3;
    variable_ptr_t v = construct_variable("v", type, make_default_value(type));
    v->animation = construct_animation(v.get());
    v->animation->interpolation = 1 + i % 4;
    v->animation->repeat = i % 3;
    v->animation->easing_type = 1 + i % 9;
    for (int c = 0; c < value_component_count(type); ++c) {
      for (int k = 0; k < 8; ++k)
        v->animation->keys[c].push_back({0.5f * k, static_cast<float>((k * 7 + c) % 5)});
    }
    if (i % 10 == 9) {
      v->animation->interpolation = INTERPOLATION_EXPRESSION;
      for (int c = 0; c < value_component_count(type); ++c)
        set_channel_expression(*v->animation, c, "sin(t*2)+t");
    }
    variables.push_back(v);
  }
  return variables;
}

void evaluate_animated_variables(benchmark::State& state) {
  std::vector<variable_ptr_t> variables = make_variables();
  float t = 0.0f;
  for (auto _ : state) {
    for (const variable_ptr_t& v : variables) evaluate_variable_at(*v, t);
    t += 0.016f;
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * variable_count);
  state.counters["ns_per_variable"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * variable_count,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(evaluate_animated_variables)->Unit(benchmark::kMicrosecond);

}  // namespace
