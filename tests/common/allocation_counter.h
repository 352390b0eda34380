#pragma once
// Counts the program's operator new calls, from every thread, while a counter is armed. Linked into
// the executables that measure the frame's allocations; it replaces the global allocation functions.

#include <cstdint>

namespace test_support {

// Arms the count on construction and disarms it on destruction; `count()` reads it in between too.
class allocation_counter_t {
 public:
  allocation_counter_t();
  ~allocation_counter_t();
  allocation_counter_t(const allocation_counter_t&) = delete;
  allocation_counter_t& operator=(const allocation_counter_t&) = delete;

  uint64_t count() const;
  uint64_t bytes() const;
};

}  // namespace test_support
