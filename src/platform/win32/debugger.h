#pragma once
// Debugger output and breaks. Output goes to standard error, one line per call; a break only
// happens when a debugger is attached, since a break without one would end the process.

void OutputDebugStringA(const char* text);
void DebugBreak();
bool IsDebuggerPresent();

// The layer's own diagnostics: "file(line): [level] message" as one debugger line.
void debug_output(const char* file, int line, const char* level, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

#define PLATFORM_LOG_DBG(...) debug_output(__FILE__, __LINE__, "DBG", __VA_ARGS__)
#define PLATFORM_LOG_INF(...) debug_output(__FILE__, __LINE__, "INF", __VA_ARGS__)
#define PLATFORM_LOG_WRN(...) debug_output(__FILE__, __LINE__, "WRN", __VA_ARGS__)
#define PLATFORM_LOG_ERR(...) debug_output(__FILE__, __LINE__, "ERR", __VA_ARGS__)
