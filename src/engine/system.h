#pragma once
// The host application: start-up, frame loop and shutdown.

// Entry point of the host; returns the process exit code.
int win_main(const char16_t* command_line);
