#pragma once
// Debugger output and breaks. Output goes to standard error, one line per call; a break only
// happens when a debugger is attached, since a break without one would end the process.

void OutputDebugStringA(const char* text);
void DebugBreak();
bool IsDebuggerPresent();
