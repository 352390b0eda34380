#pragma once
// The calling thread's last error code, as the kernel calls of this layer set it.

#include "platform/win32/types.h"

constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_NO_MORE_FILES = 18;
constexpr DWORD ERROR_FILE_EXISTS = 80;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_BAD_PATHNAME = 161;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_DIRECTORY = 267;
constexpr DWORD ERROR_IO_INCOMPLETE = 996;

DWORD GetLastError();
void SetLastError(DWORD error);

namespace win32 {
// The Windows error code closest to a POSIX errno value.
DWORD error_from_errno(int error);
}  // namespace win32
