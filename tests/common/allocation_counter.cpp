#include "common/allocation_counter.h"

#include <execinfo.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace {

std::atomic<int> armed{0};
std::atomic<uint64_t> allocations{0};
std::atomic<uint64_t> allocated_bytes{0};

// PUMBLECRISP_ALLOCATION_STACKS=1 prints the call stack of every counted allocation to standard
// error, to find where a frame allocates.
const bool print_stacks = std::getenv("PUMBLECRISP_ALLOCATION_STACKS") != nullptr;
thread_local bool printing = false;

void print_stack() {
  if (printing) return;  // backtrace() may allocate the first time it runs
  printing = true;
  void* frames[64];
  const int depth = backtrace(frames, 64);
  const char separator[] = "-- allocation\n";
  [[maybe_unused]] const ssize_t written = write(2, separator, sizeof(separator) - 1);
  backtrace_symbols_fd(frames, depth, 2);
  printing = false;
}

void* allocate(std::size_t size, std::size_t alignment) {
  if (armed.load(std::memory_order_relaxed)) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    allocated_bytes.fetch_add(size, std::memory_order_relaxed);
    if (print_stacks) print_stack();
  }
  if (size == 0) size = 1;
  void* p = alignment > alignof(std::max_align_t) ? std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment)
                                                    : std::malloc(size);
  if (!p) throw std::bad_alloc();
  return p;
}

}  // namespace

namespace test_support {

allocation_counter_t::allocation_counter_t() {
  allocations.store(0);
  allocated_bytes.store(0);
  armed.fetch_add(1);
}

allocation_counter_t::~allocation_counter_t() { armed.fetch_sub(1); }

uint64_t allocation_counter_t::count() const { return allocations.load(); }
uint64_t allocation_counter_t::bytes() const { return allocated_bytes.load(); }

}  // namespace test_support

void* operator new(std::size_t size) { return allocate(size, 0); }
void* operator new[](std::size_t size) { return allocate(size, 0); }
void* operator new(std::size_t size, std::align_val_t alignment) { return allocate(size, std::size_t(alignment)); }
void* operator new[](std::size_t size, std::align_val_t alignment) {
  return allocate(size, std::size_t(alignment));
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return allocate(size, 0);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return allocate(size, 0);
  } catch (...) {
    return nullptr;
  }
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
