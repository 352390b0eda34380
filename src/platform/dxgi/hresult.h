#pragma once
// HRESULT codes and their texts. HRESULT is 32 bits wide so that "%x" prints the familiar
// 8-digit pattern (a 64-bit long would sign-extend to 16 digits).

#include <cstdint>
#include <string>

using HRESULT = int32_t;

constexpr HRESULT make_hresult(uint32_t bits) { return static_cast<HRESULT>(bits); }

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = make_hresult(0x80004001u);
constexpr HRESULT E_NOINTERFACE = make_hresult(0x80004002u);
constexpr HRESULT E_POINTER = make_hresult(0x80004003u);
constexpr HRESULT E_ABORT = make_hresult(0x80004004u);
constexpr HRESULT E_FAIL = make_hresult(0x80004005u);
constexpr HRESULT E_UNEXPECTED = make_hresult(0x8000FFFFu);
constexpr HRESULT E_ACCESSDENIED = make_hresult(0x80070005u);
constexpr HRESULT E_HANDLE = make_hresult(0x80070006u);
constexpr HRESULT E_OUTOFMEMORY = make_hresult(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = make_hresult(0x80070057u);

constexpr HRESULT DXGI_STATUS_OCCLUDED = make_hresult(0x087A0001u);
constexpr HRESULT DXGI_ERROR_INVALID_CALL = make_hresult(0x887A0001u);
constexpr HRESULT DXGI_ERROR_NOT_FOUND = make_hresult(0x887A0002u);
constexpr HRESULT DXGI_ERROR_MORE_DATA = make_hresult(0x887A0003u);
constexpr HRESULT DXGI_ERROR_UNSUPPORTED = make_hresult(0x887A0004u);
constexpr HRESULT DXGI_ERROR_DEVICE_REMOVED = make_hresult(0x887A0005u);
constexpr HRESULT DXGI_ERROR_DEVICE_HUNG = make_hresult(0x887A0006u);
constexpr HRESULT DXGI_ERROR_DEVICE_RESET = make_hresult(0x887A0007u);
constexpr HRESULT DXGI_ERROR_WAS_STILL_DRAWING = make_hresult(0x887A000Au);
constexpr HRESULT DXGI_ERROR_DRIVER_INTERNAL_ERROR = make_hresult(0x887A0020u);
constexpr HRESULT DXGI_ERROR_NOT_CURRENTLY_AVAILABLE = make_hresult(0x887A0022u);

constexpr HRESULT D3D11_ERROR_TOO_MANY_UNIQUE_STATE_OBJECTS = make_hresult(0x887C0001u);
constexpr HRESULT D3D11_ERROR_FILE_NOT_FOUND = make_hresult(0x887C0002u);
constexpr HRESULT D3D11_ERROR_TOO_MANY_UNIQUE_VIEW_OBJECTS = make_hresult(0x887C0003u);

// Win32 error codes that reach callers through HRESULT_FROM_WIN32.
constexpr uint32_t ERROR_SUCCESS = 0;
constexpr uint32_t ERROR_FILE_NOT_FOUND = 2;
constexpr uint32_t ERROR_PATH_NOT_FOUND = 3;
constexpr uint32_t ERROR_ACCESS_DENIED = 5;
constexpr uint32_t ERROR_INVALID_HANDLE = 6;
constexpr uint32_t ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr uint32_t ERROR_INVALID_DATA = 13;
constexpr uint32_t ERROR_OUTOFMEMORY = 14;
constexpr uint32_t ERROR_HANDLE_EOF = 38;
constexpr uint32_t ERROR_NOT_SUPPORTED = 50;
constexpr uint32_t ERROR_INVALID_PARAMETER = 87;
constexpr uint32_t ERROR_ARITHMETIC_OVERFLOW = 534;

constexpr uint32_t FACILITY_ITF = 4;
constexpr uint32_t FACILITY_WIN32 = 7;

constexpr HRESULT HRESULT_FROM_WIN32(uint32_t error) {
  return static_cast<int32_t>(error) <= 0
             ? static_cast<HRESULT>(error)
             : make_hresult((error & 0xFFFFu) | (FACILITY_WIN32 << 16) | 0x80000000u);
}
constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }
constexpr uint32_t HRESULT_CODE(HRESULT hr) { return static_cast<uint32_t>(hr) & 0xFFFFu; }
constexpr uint32_t HRESULT_FACILITY(HRESULT hr) { return (static_cast<uint32_t>(hr) >> 16) & 0x1FFFu; }

// The system's message for a code as the message table holds it (with its final line break),
// or an empty string when the system has no message for it.
std::string system_message_text(HRESULT hr);

// The message a COM error object gives for hr: the system's text without its final line break;
// without one, "IDispatch error #%d" for the interface codes reserved to dispatch errors
// (0x80040200 to 0x8004FFFF, numbered from 0x80040200), else "Unknown error 0x%0lX".
std::string hresult_message(HRESULT hr);
