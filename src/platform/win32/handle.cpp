#include "platform/win32/handle.h"

BOOL CloseHandle(HANDLE handle) {
  if (!handle || handle == INVALID_HANDLE_VALUE) return FALSE;
  delete win32::from_handle(handle);
  return TRUE;
}
