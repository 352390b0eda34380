#pragma once
// The GL texture a view reads or writes: the resource's own texture when the view covers it as it
// is, else a GL texture view over the view's levels, slices, target and format. Depth storage is
// never reinterpreted: its colour-format views (R32_FLOAT of a depth target) read the depth itself.

#include "platform/d3d11/texture.h"

struct view_range_t {
  GLenum target = GL_TEXTURE_2D;
  const dxgi_format_info_t* format = nullptr;  // null keeps the storage format
  uint32_t first_level = 0, levels = 1;
  uint32_t first_layer = 0, layers = 1;
};

// True when the range needs a GL texture view rather than the resource's texture.
bool view_needs_gl_view(const texture_core_t& core, const view_range_t& range);
// Context thread: a new texture view (owned by the caller).
GLuint create_gl_texture_view(texture_core_t& core, const view_range_t& range);
// The target a view dimension samples through.
GLenum srv_gl_target(D3D11_SRV_DIMENSION dimension);
