#pragma once
// The headless GL 4.5 core context on Mesa's surfaceless EGL platform.

#include "platform/d3d11/gl_context.h"
