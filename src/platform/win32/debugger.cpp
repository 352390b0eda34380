#include "platform/win32/debugger.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

void OutputDebugStringA(const char* text) {
  if (!text) return;
  std::fputs(text, stderr);
  std::fflush(stderr);
}

bool IsDebuggerPresent() {
  FILE* status = std::fopen("/proc/self/status", "r");
  if (!status) return false;
  char line[256];
  bool traced = false;
  while (std::fgets(line, sizeof line, status)) {
    if (std::strncmp(line, "TracerPid:", 10) == 0) {
      traced = std::atoi(line + 10) != 0;
      break;
    }
  }
  std::fclose(status);
  return traced;
}

void DebugBreak() {
  if (IsDebuggerPresent()) std::raise(SIGTRAP);
}
