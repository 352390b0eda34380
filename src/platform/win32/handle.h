#pragma once
// Kernel handles: every HANDLE the layer hands out points to a kernel_object_t, so one
// CloseHandle releases events, files and directory handles alike.

#include "platform/win32/types.h"

namespace win32 {

class kernel_object_t {
 public:
  virtual ~kernel_object_t() = default;
};

inline HANDLE to_handle(kernel_object_t* object) { return static_cast<HANDLE>(object); }
inline kernel_object_t* from_handle(HANDLE handle) { return static_cast<kernel_object_t*>(handle); }

}  // namespace win32

inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~uintptr_t{0});

// Deletes the object behind the handle; FALSE for a null or invalid handle.
BOOL CloseHandle(HANDLE handle);
