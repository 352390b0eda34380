#pragma once
// Windows base types with the widths of 64-bit Windows, for the calls the player makes.
// HRESULT stays 32-bit so "%x" prints the same eight digits as on Windows.

#include <cstdint>

using BOOL = int32_t;
using BYTE = uint8_t;
using WORD = uint16_t;
using UINT = uint32_t;
using DWORD = uint32_t;
using LONG = int32_t;
using HRESULT = int32_t;
using ATOM = uint16_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using LPCSTR = const char*;
using LPSTR = char*;

using HANDLE = void*;
struct HWND__;
using HWND = HWND__*;
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;
struct HRSRC__;
using HRSRC = HRSRC__*;
using HGLOBAL = void*;
struct HCURSOR__;
using HCURSOR = HCURSOR__*;
struct HICON__;
using HICON = HICON__*;
struct HBRUSH__;
using HBRUSH = HBRUSH__*;
struct HMENU__;
using HMENU = HMENU__*;
using FARPROC = void (*)();

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

constexpr DWORD MAX_PATH = 260;

constexpr WORD LOWORD(uint64_t value) { return static_cast<WORD>(value & 0xFFFF); }
constexpr WORD HIWORD(uint64_t value) { return static_cast<WORD>((value >> 16) & 0xFFFF); }
constexpr LPARAM MAKELPARAM(WORD low, WORD high) {
  return static_cast<LPARAM>(static_cast<uint32_t>(low) | (static_cast<uint32_t>(high) << 16));
}

// Integer resource ids travel in name pointers, as on Windows.
inline LPCSTR MAKEINTRESOURCEA(uintptr_t id) { return reinterpret_cast<LPCSTR>(id); }
inline bool IS_INTRESOURCE(LPCSTR name) { return (reinterpret_cast<uintptr_t>(name) >> 16) == 0; }
