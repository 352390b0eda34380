#include <benchmark/benchmark.h>

#include "libs/enki/task_scheduler.h"
#include "support/math.h"
#include "support/random.h"

namespace {

void BM_mat4_inverse(benchmark::State& state) {
  float4x4 m = make_mat4(2, 0, 1, 0, 1, 3, 0, 0, 0, 1, 4, 0, 5, -2, 7, 1);
  for (auto _ : state) {
    m = mat4_inverse(m);
    benchmark::DoNotOptimize(m);
  }
}
BENCHMARK(BM_mat4_inverse);

void BM_random_gaussian(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(random_gaussian(0.0, 1.0));
}
BENCHMARK(BM_random_gaussian);

// A particle-update-sized task set, submitted and waited for as once per frame.
class touch_task : public enki::ITaskSet {
 public:
  explicit touch_task(std::vector<float>& values)
      : ITaskSet(static_cast<uint32_t>(values.size()), 1), values(values) {}
  void ExecuteRange(enki::TaskSetPartition range, uint32_t) override {
    for (uint32_t i = range.start; i < range.end; ++i) values[i] = values[i] * 0.5f + 1.0f;
  }
  std::vector<float>& values;
};

void BM_task_set_round_trip(benchmark::State& state) {
  enki::TaskScheduler scheduler;
  scheduler.Initialize(static_cast<uint32_t>(state.range(0)));
  std::vector<float> values(100000, 1.0f);
  for (auto _ : state) {
    touch_task task(values);
    scheduler.AddTaskSetToPipe(&task);
    scheduler.WaitforTask(&task);
  }
  benchmark::DoNotOptimize(values.data());
}
BENCHMARK(BM_task_set_round_trip)->Arg(1)->Arg(4)->Arg(8);

}  // namespace
