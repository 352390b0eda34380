#include "platform/d3d11/texture.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/win32/debugger.h"

namespace {

uint32_t full_chain(uint32_t w, uint32_t h, uint32_t d) {
  uint32_t size = std::max({w, h, d}), levels = 1;
  while (size > 1) size >>= 1, ++levels;
  return levels;
}

// Fills the parts of the core that every kind shares and checks them; E_INVALIDARG on refusal.
HRESULT prepare_core(texture_core_t& core, uint32_t sample_count) {
  const dxgi_format_info_t& info = dxgi_format_info(core.format);
  if (!info.supported || core.format == DXGI_FORMAT_UNKNOWN) return E_INVALIDARG;
  core.storage = &info;
  if (info.typeless && (core.bind_flags & D3D11_BIND_DEPTH_STENCIL)) {
    if (info.depth_alias == DXGI_FORMAT_UNKNOWN) return E_INVALIDARG;
    core.storage = &dxgi_format_info(info.depth_alias);
  }
  if ((core.bind_flags & D3D11_BIND_DEPTH_STENCIL) && core.storage->kind == dxgi_format_kind_t::color)
    return E_INVALIDARG;
  if (sample_count != 1) return E_INVALIDARG;
  if (core.width == 0 || core.height == 0 || core.depth == 0 || core.array_size == 0) return E_INVALIDARG;
  const uint32_t limit = core.dimension == D3D11_RESOURCE_DIMENSION_TEXTURE3D ? 2048 : 16384;
  if (core.width > limit || core.height > limit || core.depth > 2048 || core.array_size > 2048)
    return E_INVALIDARG;
  if (info.compressed && (core.dimension == D3D11_RESOURCE_DIMENSION_TEXTURE1D)) return E_INVALIDARG;
  const uint32_t max_levels = full_chain(core.width, core.height, core.depth);
  if (core.mip_levels == 0) core.mip_levels = max_levels;
  if (core.mip_levels > max_levels) return E_INVALIDARG;
  if ((core.misc_flags & D3D11_RESOURCE_MISC_TEXTURECUBE) && core.array_size % 6 != 0) return E_INVALIDARG;
  if (core.usage == D3D11_USAGE_DYNAMIC &&
      (!(core.cpu_access & D3D11_CPU_ACCESS_WRITE) || core.mip_levels != 1))
    return E_INVALIDARG;
  if (core.usage == D3D11_USAGE_STAGING && core.bind_flags != 0) return E_INVALIDARG;
  if ((core.misc_flags & D3D11_RESOURCE_MISC_GENERATE_MIPS) &&
      (core.bind_flags & (D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE)) !=
          (D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE))
    return E_INVALIDARG;
  switch (core.dimension) {
    case D3D11_RESOURCE_DIMENSION_TEXTURE1D:
      core.target = core.array_size > 1 ? GL_TEXTURE_1D_ARRAY : GL_TEXTURE_1D;
      break;
    case D3D11_RESOURCE_DIMENSION_TEXTURE3D:
      core.target = GL_TEXTURE_3D;
      break;
    default:
      core.target = (core.array_size > 1 || (core.misc_flags & D3D11_RESOURCE_MISC_TEXTURECUBE))
                        ? GL_TEXTURE_2D_ARRAY
                        : GL_TEXTURE_2D;
      break;
  }
  return S_OK;
}

// Copies the caller's subresources into tightly packed blocks in GL's byte layout.
HRESULT copy_initial_data(const texture_core_t& core, const D3D11_SUBRESOURCE_DATA* data,
                          std::vector<std::vector<uint8_t>>& out) {
  if (!data) {
    if (core.usage == D3D11_USAGE_IMMUTABLE) return E_INVALIDARG;
    return S_OK;
  }
  const uint32_t count = core.mip_levels * core.array_size;
  out.resize(count);
  for (uint32_t layer = 0; layer < core.array_size; ++layer) {
    for (uint32_t level = 0; level < core.mip_levels; ++level) {
      const uint32_t index = level + layer * core.mip_levels;
      const D3D11_SUBRESOURCE_DATA& sub = data[index];
      if (!sub.pSysMem) return E_INVALIDARG;
      const uint32_t row = core.row_pitch(level);
      const uint32_t rows = dxgi_block_rows(*core.storage, core.level_height(level));
      const uint32_t slices = core.level_depth(level);
      const uint32_t pitch = sub.SysMemPitch ? sub.SysMemPitch : row;
      const uint32_t slice_pitch = sub.SysMemSlicePitch ? sub.SysMemSlicePitch : pitch * rows;
      if (pitch < row) return E_INVALIDARG;
      std::vector<uint8_t>& block = out[index];
      block.resize(size_t(row) * rows * slices);
      const auto* src = static_cast<const uint8_t*>(sub.pSysMem);
      for (uint32_t z = 0; z < slices; ++z)
        for (uint32_t y = 0; y < rows; ++y)
          std::memcpy(block.data() + (size_t(z) * rows + y) * row,
                      src + size_t(z) * slice_pitch + size_t(y) * pitch, row);
      if (core.storage->conversion != dxgi_conversion_t::none)
        dxgi_convert_to_gl(*core.storage, block.data(), block.size() / core.storage->block_bytes);
    }
  }
  return S_OK;
}

template <class Texture, class Interface, class Desc>
HRESULT finish(d3d11_device_t* device, const Desc& desc, texture_core_t& core,
               const D3D11_SUBRESOURCE_DATA* data, Interface** texture) {
  HRESULT hr = prepare_core(core, 1);
  if (FAILED(hr)) return hr;
  std::vector<std::vector<uint8_t>> initial;
  hr = copy_initial_data(core, data, initial);
  if (FAILED(hr)) return hr;
  if (!texture) return S_FALSE;
  Desc normalised = desc;
  normalised.MipLevels = core.mip_levels;
  auto* object = new Texture(device, normalised, core);
  device->enqueue([object, initial = std::move(initial)] { object->core().create_gl(initial); });
  *texture = object;
  return S_OK;
}

}  // namespace

uint32_t texture_core_t::row_pitch(uint32_t level) const {
  return dxgi_row_bytes(*storage, level_width(level));
}

uint32_t texture_core_t::slice_pitch(uint32_t level) const {
  return row_pitch(level) * dxgi_block_rows(*storage, level_height(level));
}

void texture_core_t::upload(uint32_t subresource, const void* bytes, const D3D11_BOX* box) {
  const GLuint name = gl_name();
  const GLint level = subresource % mip_levels;
  const GLint layer = subresource / mip_levels;
  GLint x = 0, y = 0, z = 0;
  GLsizei w = level_width(level), h = level_height(level), d = level_depth(level);
  if (box) {
    x = box->left, y = box->top, z = box->front;
    w = box->right - box->left, h = box->bottom - box->top, d = box->back - box->front;
  }
  const GLenum fmt = storage->gl_format, type = storage->gl_type;
  if (storage->compressed) {
    const GLsizei size = dxgi_row_bytes(*storage, w) * dxgi_block_rows(*storage, h) * d;
    if (target == GL_TEXTURE_2D)
      glCompressedTextureSubImage2D(name, level, x, y, w, h, storage->gl_internal_format, size, bytes);
    else
      glCompressedTextureSubImage3D(name, level, x, y, target == GL_TEXTURE_3D ? z : layer, w, h, d,
                                    storage->gl_internal_format, size, bytes);
    return;
  }
  switch (target) {
    case GL_TEXTURE_1D:
      glTextureSubImage1D(name, level, x, w, fmt, type, bytes);
      break;
    case GL_TEXTURE_1D_ARRAY:
      glTextureSubImage2D(name, level, x, layer, w, 1, fmt, type, bytes);
      break;
    case GL_TEXTURE_2D:
      glTextureSubImage2D(name, level, x, y, w, h, fmt, type, bytes);
      break;
    case GL_TEXTURE_2D_ARRAY:
      glTextureSubImage3D(name, level, x, y, layer, w, h, 1, fmt, type, bytes);
      break;
    default:
      glTextureSubImage3D(name, level, x, y, z, w, h, d, fmt, type, bytes);
      break;
  }
}

void texture_core_t::download(uint32_t subresource, void* bytes) {
  const GLuint name = gl_name();
  const GLint level = subresource % mip_levels;
  const GLint layer = subresource / mip_levels;
  const GLsizei w = level_width(level), h = level_height(level), d = level_depth(level);
  const GLsizei size = slice_pitch(level) * d;
  GLint y = 0, z = 0;
  GLsizei gh = h, gd = d;
  if (target == GL_TEXTURE_1D_ARRAY) y = layer, gh = 1;
  if (target == GL_TEXTURE_2D_ARRAY) z = layer, gd = 1;
  if (storage->compressed)
    glGetCompressedTextureSubImage(name, level, 0, y, z, w, gh, gd, size, bytes);
  else
    glGetTextureSubImage(name, level, 0, y, z, w, gh, gd, storage->gl_format, storage->gl_type, size, bytes);
  if (storage->conversion != dxgi_conversion_t::none)
    dxgi_convert_from_gl(*storage, bytes, size / storage->block_bytes);
}

void* texture_core_t::map(uint32_t subresource, D3D11_MAP type, uint32_t* out_row_pitch,
                          uint32_t* out_depth_pitch) {
  if (mapped_subresource >= 0 || subresource >= mip_levels * array_size) return nullptr;
  const bool reading = type == D3D11_MAP_READ || type == D3D11_MAP_READ_WRITE;
  const bool writing = type != D3D11_MAP_READ;
  if (reading && !(cpu_access & D3D11_CPU_ACCESS_READ)) return nullptr;
  if (writing && !(cpu_access & D3D11_CPU_ACCESS_WRITE)) return nullptr;
  if (type == D3D11_MAP_WRITE_NO_OVERWRITE) return nullptr;
  if (usage == D3D11_USAGE_DYNAMIC && type != D3D11_MAP_WRITE_DISCARD) return nullptr;
  const uint32_t level = subresource % mip_levels;
  map_memory.resize(size_t(slice_pitch(level)) * level_depth(level));
  if (reading) download(subresource, map_memory.data());
  mapped_subresource = int(subresource);
  map_type = type;
  *out_row_pitch = row_pitch(level);
  *out_depth_pitch = slice_pitch(level);
  return map_memory.data();
}

void texture_core_t::unmap(uint32_t subresource) {
  if (mapped_subresource != int(subresource)) return;
  if (map_type != D3D11_MAP_READ) {
    if (storage->conversion != dxgi_conversion_t::none)
      dxgi_convert_to_gl(*storage, map_memory.data(), map_memory.size() / storage->block_bytes);
    upload(subresource, map_memory.data());
  }
  mapped_subresource = -1;
}

texture_core_t* texture_core_of(ID3D11Resource* resource) {
  if (!resource) return nullptr;
  D3D11_RESOURCE_DIMENSION dimension = D3D11_RESOURCE_DIMENSION_UNKNOWN;
  resource->GetType(&dimension);
  switch (dimension) {
    case D3D11_RESOURCE_DIMENSION_TEXTURE1D:
      return &static_cast<d3d11_texture1d_t*>(static_cast<ID3D11Texture1D*>(resource))->core();
    case D3D11_RESOURCE_DIMENSION_TEXTURE2D:
      return &static_cast<d3d11_texture2d_t*>(static_cast<ID3D11Texture2D*>(resource))->core();
    case D3D11_RESOURCE_DIMENSION_TEXTURE3D:
      return &static_cast<d3d11_texture3d_t*>(static_cast<ID3D11Texture3D*>(resource))->core();
    default:
      return nullptr;
  }
}

void texture_core_t::create_gl(const std::vector<std::vector<uint8_t>>& data) {
  deferred_ = data.empty() && usage == D3D11_USAGE_DEFAULT && !(bind_flags & D3D11_BIND_UNORDERED_ACCESS) &&
              target == GL_TEXTURE_2D && !storage->compressed;
  if (deferred_) return;
  create_storage(data.empty());
  for (size_t i = 0; i < data.size(); ++i) upload(uint32_t(i), data[i].data());
}

void texture_core_t::create_storage(bool zeroed) {
  glCreateTextures(target, 1, &name_);
  const GLenum internal = storage->gl_internal_format;
  switch (target) {
    case GL_TEXTURE_1D:
      glTextureStorage1D(name_, mip_levels, internal, width);
      break;
    case GL_TEXTURE_1D_ARRAY:
      glTextureStorage2D(name_, mip_levels, internal, width, array_size);
      break;
    case GL_TEXTURE_2D:
      glTextureStorage2D(name_, mip_levels, internal, width, height);
      break;
    case GL_TEXTURE_2D_ARRAY:
      glTextureStorage3D(name_, mip_levels, internal, width, height, array_size);
      break;
    default:
      glTextureStorage3D(name_, mip_levels, internal, width, height, depth);
      break;
  }
  if (!dxgi_swizzle_is_identity(*storage))
    glTextureParameteriv(name_, GL_TEXTURE_SWIZZLE_RGBA, storage->swizzle.data());
  glTextureParameteri(name_, GL_TEXTURE_MAX_LEVEL, mip_levels - 1);
  if (storage->compressed || !zeroed) return;
  if (!is_depth()) {
    // D3D's new textures read as zero; GL leaves storage undefined.
    for (uint32_t level = 0; level < mip_levels; ++level)
      glClearTexImage(name_, level, storage->gl_format, storage->gl_type, nullptr);
  }
  apply_recorded_clear();
}

GLuint texture_core_t::gl_name() {
  if (!name_ && deferred_) create_storage(true);
  return name_;
}

void texture_core_t::record_colour_clear(GLenum format, GLenum type, const void* value, size_t bytes) {
  colour_clear_t& clear = first_level_clear_;
  clear.recorded = true;
  clear.format = format;
  clear.type = type;
  clear.value = {};
  std::memcpy(clear.value.data(), value, std::min(bytes, clear.value.size()));
}

void texture_core_t::record_mip_generation() { other_levels_clear_ = first_level_clear_; }

void texture_core_t::record_depth_clear(bool depth, float depth_value, bool stencil, uint8_t stencil_value) {
  if (depth) clear_depth_ = depth_value;
  if (stencil) clear_stencil_ = stencil_value;
  depth_cleared_ = true;
}

void texture_core_t::apply_recorded_clear() {
  if (other_levels_clear_.recorded) {
    const colour_clear_t& clear = other_levels_clear_;
    for (uint32_t level = 1; level < mip_levels; ++level)
      glClearTexImage(name_, GLint(level), clear.format, clear.type, clear.value.data());
  }
  if (first_level_clear_.recorded) {
    const colour_clear_t& clear = first_level_clear_;
    glClearTexImage(name_, 0, clear.format, clear.type, clear.value.data());
  } else if (depth_cleared_) {
    const float depth_value = std::clamp(clear_depth_, 0.0f, 1.0f);
    switch (storage->gl_internal_format) {
      case GL_DEPTH24_STENCIL8: {
        const uint32_t packed = (uint32_t(std::lround(double(depth_value) * 0xFFFFFF)) << 8) | clear_stencil_;
        glClearTexImage(name_, 0, GL_DEPTH_STENCIL, GL_UNSIGNED_INT_24_8, &packed);
        break;
      }
      case GL_DEPTH32F_STENCIL8: {
        const struct {
          float depth;
          uint32_t stencil;
        } packed{depth_value, clear_stencil_};
        glClearTexImage(name_, 0, GL_DEPTH_STENCIL, GL_FLOAT_32_UNSIGNED_INT_24_8_REV, &packed);
        break;
      }
      default:
        glClearTexImage(name_, 0, GL_DEPTH_COMPONENT, GL_FLOAT, &depth_value);
        break;
    }
  }
  first_level_clear_ = other_levels_clear_ = {};
  depth_cleared_ = false;
}

GLuint texture_core_t::destroy_gl() {
  const GLuint name = name_;
  if (name_) glDeleteTextures(1, &name_);
  name_ = 0;
  deferred_ = false;
  return name;
}

template <class Interface, class Desc>
void d3d11_texture_t<Interface, Desc>::destroy_gl() {
  if (const GLuint name = core_.destroy_gl()) this->device()->forget_texture(name);
}

template class d3d11_texture_t<ID3D11Texture1D, D3D11_TEXTURE1D_DESC>;
template class d3d11_texture_t<ID3D11Texture2D, D3D11_TEXTURE2D_DESC>;
template class d3d11_texture_t<ID3D11Texture3D, D3D11_TEXTURE3D_DESC>;

HRESULT create_texture1d(d3d11_device_t* device, const D3D11_TEXTURE1D_DESC& desc,
                         const D3D11_SUBRESOURCE_DATA* data, ID3D11Texture1D** texture) {
  texture_core_t core;
  core.dimension = D3D11_RESOURCE_DIMENSION_TEXTURE1D;
  core.width = desc.Width, core.mip_levels = desc.MipLevels, core.array_size = desc.ArraySize;
  core.format = desc.Format, core.usage = desc.Usage, core.bind_flags = desc.BindFlags;
  core.cpu_access = desc.CPUAccessFlags, core.misc_flags = desc.MiscFlags;
  if (core.misc_flags & D3D11_RESOURCE_MISC_TEXTURECUBE) return E_INVALIDARG;
  return finish<d3d11_texture1d_t>(device, desc, core, data, texture);
}

HRESULT create_texture2d(d3d11_device_t* device, const D3D11_TEXTURE2D_DESC& desc,
                         const D3D11_SUBRESOURCE_DATA* data, ID3D11Texture2D** texture) {
  texture_core_t core;
  core.dimension = D3D11_RESOURCE_DIMENSION_TEXTURE2D;
  core.width = desc.Width, core.height = desc.Height, core.mip_levels = desc.MipLevels;
  core.array_size = desc.ArraySize, core.format = desc.Format, core.usage = desc.Usage;
  core.bind_flags = desc.BindFlags, core.cpu_access = desc.CPUAccessFlags, core.misc_flags = desc.MiscFlags;
  if (desc.SampleDesc.Count != 1) return E_INVALIDARG;
  return finish<d3d11_texture2d_t>(device, desc, core, data, texture);
}

HRESULT create_texture3d(d3d11_device_t* device, const D3D11_TEXTURE3D_DESC& desc,
                         const D3D11_SUBRESOURCE_DATA* data, ID3D11Texture3D** texture) {
  texture_core_t core;
  core.dimension = D3D11_RESOURCE_DIMENSION_TEXTURE3D;
  core.width = desc.Width, core.height = desc.Height, core.depth = desc.Depth;
  core.mip_levels = desc.MipLevels, core.array_size = 1, core.format = desc.Format;
  core.usage = desc.Usage, core.bind_flags = desc.BindFlags, core.cpu_access = desc.CPUAccessFlags;
  core.misc_flags = desc.MiscFlags;
  if (core.misc_flags & D3D11_RESOURCE_MISC_TEXTURECUBE) return E_INVALIDARG;
  return finish<d3d11_texture3d_t>(device, desc, core, data, texture);
}
