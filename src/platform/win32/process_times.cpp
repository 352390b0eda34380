#include "platform/win32/process_times.h"

#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace {

// 100 ns ticks between 1601-01-01 and 1970-01-01.
constexpr uint64_t unix_epoch_ticks = 116444736000000000ull;

HANDLE current_process_handle() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)); }

FILETIME to_filetime(uint64_t ticks) {
  return {static_cast<DWORD>(ticks & 0xffffffffu), static_cast<DWORD>(ticks >> 32)};
}

uint64_t ticks_of(const timespec& t) {
  return unix_epoch_ticks + static_cast<uint64_t>(t.tv_sec) * 10'000'000u + static_cast<uint64_t>(t.tv_nsec) / 100u;
}

// Field 22 of /proc/self/stat: the start time in clock ticks after boot. The command name in
// field 2 may hold spaces and parentheses, so fields are counted from its last ')'.
bool start_after_boot_seconds(double& seconds) {
  FILE* file = std::fopen("/proc/self/stat", "r");
  if (!file) return false;
  char text[1024] = {};
  const size_t read = std::fread(text, 1, sizeof(text) - 1, file);
  std::fclose(file);
  text[read] = '\0';
  const char* at = std::strrchr(text, ')');
  if (!at) return false;
  unsigned long long start = 0;
  // After ')': state (field 3) and fields 4 to 21, then the start time.
  if (std::sscanf(at + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %*u %*u %*d %*d %*d %*d %*d %*d %llu",
                  &start) != 1) {
    return false;
  }
  const long hertz = sysconf(_SC_CLK_TCK);
  if (hertz <= 0) return false;
  seconds = static_cast<double>(start) / static_cast<double>(hertz);
  return true;
}

}  // namespace

HANDLE GetCurrentProcess() { return current_process_handle(); }

BOOL GetProcessTimes(HANDLE process, FILETIME* creation, FILETIME* exit, FILETIME* kernel, FILETIME* user) {
  if (process != current_process_handle() || !creation) return 0;
  double after_boot = 0.0;
  if (!start_after_boot_seconds(after_boot)) return 0;
  timespec now{}, since_boot{};
  clock_gettime(CLOCK_REALTIME, &now);
  clock_gettime(CLOCK_BOOTTIME, &since_boot);
  const double boot_seconds = static_cast<double>(since_boot.tv_sec) + static_cast<double>(since_boot.tv_nsec) * 1e-9;
  const uint64_t now_ticks = ticks_of(now);
  const auto age_ticks = static_cast<uint64_t>((boot_seconds - after_boot) * 1e7);
  *creation = to_filetime(now_ticks - age_ticks);
  for (FILETIME* other : {exit, kernel, user})
    if (other) *other = FILETIME{};
  return 1;
}

void GetSystemTimeAsFileTime(FILETIME* now) {
  if (!now) return;
  timespec t{};
  clock_gettime(CLOCK_REALTIME, &t);
  *now = to_filetime(ticks_of(t));
}
