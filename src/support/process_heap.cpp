#include "support/process_heap.h"

#include <malloc.h>

namespace {

// glibc refuses an mmap threshold above 32 MiB on 64-bit systems.
constexpr int mmap_threshold = 32 * 1024 * 1024;
constexpr int trim_threshold = 1024 * 1024 * 1024;

}  // namespace

void keep_freed_heap_mapped() {
  mallopt(M_MMAP_THRESHOLD, mmap_threshold);
  mallopt(M_TRIM_THRESHOLD, trim_threshold);
}
