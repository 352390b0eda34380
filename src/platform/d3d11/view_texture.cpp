#include "platform/d3d11/view_texture.h"

bool view_needs_gl_view(const texture_core_t& core, const view_range_t& range) {
  if (range.target != core.target) return true;
  if (range.first_level != 0 || range.levels != core.mip_levels) return true;
  if (range.first_layer != 0 || range.layers != core.array_size) return true;
  if (!core.is_depth() && range.format &&
      range.format->gl_internal_format != core.storage->gl_internal_format)
    return true;
  if (!core.is_depth() && range.format && range.format->swizzle != core.storage->swizzle) return true;
  return false;
}

GLuint create_gl_texture_view(texture_core_t& core, const view_range_t& range) {
  const dxgi_format_info_t& format = (range.format && !core.is_depth()) ? *range.format : *core.storage;
  GLuint name = 0;
  glGenTextures(1, &name);
  glTextureView(name, range.target, core.gl_name(), format.gl_internal_format, range.first_level,
                range.levels, range.first_layer, range.layers);
  if (!dxgi_swizzle_is_identity(format))
    glTextureParameteriv(name, GL_TEXTURE_SWIZZLE_RGBA, format.swizzle.data());
  return name;
}

GLenum srv_gl_target(D3D11_SRV_DIMENSION dimension) {
  switch (dimension) {
    case D3D11_SRV_DIMENSION_BUFFER:
      return GL_TEXTURE_BUFFER;
    case D3D11_SRV_DIMENSION_TEXTURE1D:
      return GL_TEXTURE_1D;
    case D3D11_SRV_DIMENSION_TEXTURE1DARRAY:
      return GL_TEXTURE_1D_ARRAY;
    case D3D11_SRV_DIMENSION_TEXTURE2DARRAY:
      return GL_TEXTURE_2D_ARRAY;
    case D3D11_SRV_DIMENSION_TEXTURE3D:
      return GL_TEXTURE_3D;
    case D3D11_SRV_DIMENSION_TEXTURECUBE:
      return GL_TEXTURE_CUBE_MAP;
    case D3D11_SRV_DIMENSION_TEXTURECUBEARRAY:
      return GL_TEXTURE_CUBE_MAP_ARRAY;
    default:
      return GL_TEXTURE_2D;
  }
}
