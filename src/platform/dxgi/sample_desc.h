#pragma once
// Multisampling of a resource or swap chain; shared by the DXGI and Direct3D 11 declarations.

#include "platform/win32/types.h"

struct DXGI_SAMPLE_DESC {
  UINT Count = 1;
  UINT Quality = 0;
};
