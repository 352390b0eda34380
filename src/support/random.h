#pragma once
// Deterministic random numbers: one process-wide PCG32 generator (never reseeded, so every run
// draws the same sequence) and a Box-Muller Gaussian that keeps one spare value per thread.
// The generator is not synchronised; draw from the main thread.

#include <cstdint>

// PCG32 XSH-RR.
struct pcg32_t {
  uint64_t state = 0x853c49e6748fea9bULL;
  uint64_t increment = 0xda3e39cb94b95bdbULL;
  uint32_t next();
  // Moves on as `delta` calls of next() would, in log(delta) steps.
  void advance(uint64_t delta);
};

pcg32_t& global_pcg32();
// The next global output scaled to [0, 1].
double random_unit();
double random_gaussian(double mean, double sigma);

// The second value of a Box-Muller pair, kept for the next draw.
struct gaussian_spare_t {
  bool has = false;
  double value = 0.0;
};
// The same Gaussian over a generator and spare of the caller's; random_gaussian is this over the
// global generator and the calling thread's spare.
double random_gaussian(pcg32_t& generator, gaussian_spare_t& spare, double mean, double sigma);
// The calling thread's spare, which random_gaussian(mean, sigma) uses.
gaussian_spare_t& thread_gaussian_spare();
