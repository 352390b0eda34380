#include "platform/win32/last_error.h"

#include <cerrno>

namespace {
thread_local DWORD last_error = ERROR_SUCCESS;
}

DWORD GetLastError() { return last_error; }

void SetLastError(DWORD error) { last_error = error; }

namespace win32 {

DWORD error_from_errno(int error) {
  switch (error) {
    case 0:
      return ERROR_SUCCESS;
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
      return ERROR_ACCESS_DENIED;
    case EEXIST:
      return ERROR_ALREADY_EXISTS;
    case ENOMEM:
    case ENOSPC:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    case ENAMETOOLONG:
      return ERROR_BAD_PATHNAME;
    default:
      return ERROR_INVALID_PARAMETER;
  }
}

}  // namespace win32
