#pragma once
// The running executable as a module: its path, its handle and its exported functions.
// glibc refuses to dlopen a position-independent executable by path, so loading the own
// executable's file yields the handle of the running program (dlopen of no file).

#include "platform/win32/types.h"

// Only the running executable (module null) is supported. Returns the length copied, without
// the NUL; a path that does not fit is cut to size - 1 characters.
DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);
// Any name but null is unsupported and yields null.
HMODULE GetModuleHandleA(LPCSTR name);
// Only the running executable's own path (or null) can be loaded; anything else yields null.
HMODULE LoadLibraryA(LPCSTR path);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
