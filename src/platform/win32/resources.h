#pragma once
// Data resources: named byte blobs linked into the executable. A build adds them with
// data_resource_registrar_t objects (the player target generates one per configured file);
// by default there are none.

#include <cstddef>

#include "platform/win32/types.h"

inline LPCSTR const RT_RCDATA = MAKEINTRESOURCEA(10);

// Only the running executable (module null) carries resources, and only of type RT_RCDATA.
HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
void* LockResource(HGLOBAL data);
DWORD SizeofResource(HMODULE module, HRSRC resource);

namespace win32 {

// Adds a resource of type RT_RCDATA for the life of the process; bytes are not copied.
struct data_resource_registrar_t {
  data_resource_registrar_t(const char* name, const unsigned char* bytes, size_t size);
};

}  // namespace win32
