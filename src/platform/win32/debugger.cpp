#include "platform/win32/debugger.h"

#include <csignal>
#include <cstdarg>
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

void debug_output(const char* file, int line, const char* level, const char* format, ...) {
  char message[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(message, sizeof message, format, args);
  va_end(args);
  char text[1400];
  std::snprintf(text, sizeof text, "%s(%d): [%s] %s\n", file, line, level, message);
  OutputDebugStringA(text);
}
