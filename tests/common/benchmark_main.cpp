// The entry of every benchmark: the process heap gets the policy the player sets at start-up, so
// that what is measured runs as it does in the player.
#include <benchmark/benchmark.h>

#include "support/process_heap.h"

int main(int argc, char** argv) {
  keep_freed_heap_mapped();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
