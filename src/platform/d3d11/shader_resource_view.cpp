#include "platform/d3d11/shader_resource_view.h"

#include "platform/d3d11/immediate_context.h"
#include "platform/d3d11/view_texture.h"

namespace {

constexpr uint32_t all_levels = 0xFFFFFFFFu;

// The description a null one stands for: the whole resource in its own format.
bool default_desc(ID3D11Resource* resource, D3D11_SHADER_RESOURCE_VIEW_DESC& desc) {
  desc = {};
  if (d3d11_buffer_t* buffer = buffer_of(resource)) {
    const auto& b = buffer->desc();
    if (!(b.MiscFlags & D3D11_RESOURCE_MISC_BUFFER_STRUCTURED)) return false;
    desc.Format = DXGI_FORMAT_UNKNOWN;
    desc.ViewDimension = D3D11_SRV_DIMENSION_BUFFER;
    desc.Buffer.FirstElement = 0;
    desc.Buffer.NumElements = b.ByteWidth / b.StructureByteStride;
    return true;
  }
  texture_core_t* t = texture_core_of(resource);
  if (!t || dxgi_format_info(t->format).typeless) return false;
  desc.Format = t->format;
  switch (t->dimension) {
    case D3D11_RESOURCE_DIMENSION_TEXTURE1D:
      desc.ViewDimension =
          t->array_size > 1 ? D3D11_SRV_DIMENSION_TEXTURE1DARRAY : D3D11_SRV_DIMENSION_TEXTURE1D;
      desc.Texture1DArray = {0, t->mip_levels, 0, t->array_size};
      break;
    case D3D11_RESOURCE_DIMENSION_TEXTURE3D:
      desc.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE3D;
      desc.Texture3D = {0, t->mip_levels};
      break;
    default:
      if (t->misc_flags & D3D11_RESOURCE_MISC_TEXTURECUBE) {
        desc.ViewDimension =
            t->array_size > 6 ? D3D11_SRV_DIMENSION_TEXTURECUBEARRAY : D3D11_SRV_DIMENSION_TEXTURECUBE;
        desc.TextureCubeArray = {0, t->mip_levels, 0, t->array_size / 6};
      } else {
        desc.ViewDimension =
            t->array_size > 1 ? D3D11_SRV_DIMENSION_TEXTURE2DARRAY : D3D11_SRV_DIMENSION_TEXTURE2D;
        desc.Texture2DArray = {0, t->mip_levels, 0, t->array_size};
      }
      break;
  }
  return true;
}

// Level and layer range of a texture view; false when it leaves the resource or does not fit its kind.
bool texture_range(const texture_core_t& t, D3D11_SHADER_RESOURCE_VIEW_DESC& desc, view_range_t& range) {
  uint32_t first_level = 0, levels = 0, first_layer = 0, layers = 1;
  switch (desc.ViewDimension) {
    case D3D11_SRV_DIMENSION_TEXTURE1D:
    case D3D11_SRV_DIMENSION_TEXTURE2D:
    case D3D11_SRV_DIMENSION_TEXTURE3D:
    case D3D11_SRV_DIMENSION_TEXTURECUBE:
      first_level = desc.Texture2D.MostDetailedMip;
      levels = desc.Texture2D.MipLevels;
      layers = desc.ViewDimension == D3D11_SRV_DIMENSION_TEXTURECUBE ? 6 : 1;
      break;
    case D3D11_SRV_DIMENSION_TEXTURE1DARRAY:
    case D3D11_SRV_DIMENSION_TEXTURE2DARRAY:
      first_level = desc.Texture2DArray.MostDetailedMip;
      levels = desc.Texture2DArray.MipLevels;
      first_layer = desc.Texture2DArray.FirstArraySlice;
      layers = desc.Texture2DArray.ArraySize;
      break;
    case D3D11_SRV_DIMENSION_TEXTURECUBEARRAY:
      first_level = desc.TextureCubeArray.MostDetailedMip;
      levels = desc.TextureCubeArray.MipLevels;
      first_layer = desc.TextureCubeArray.First2DArrayFace;
      layers = desc.TextureCubeArray.NumCubes * 6;
      break;
    default:
      return false;
  }
  if (first_level >= t.mip_levels) return false;
  if (levels == all_levels) levels = t.mip_levels - first_level;
  if (levels == 0 || first_level + levels > t.mip_levels) return false;
  if (layers == 0 || first_layer + layers > t.array_size) return false;
  const bool is_1d = desc.ViewDimension == D3D11_SRV_DIMENSION_TEXTURE1D ||
                     desc.ViewDimension == D3D11_SRV_DIMENSION_TEXTURE1DARRAY;
  const bool is_3d = desc.ViewDimension == D3D11_SRV_DIMENSION_TEXTURE3D;
  if (is_1d != (t.dimension == D3D11_RESOURCE_DIMENSION_TEXTURE1D)) return false;
  if (is_3d != (t.dimension == D3D11_RESOURCE_DIMENSION_TEXTURE3D)) return false;
  // Record the resolved count, as GetDesc reports it.
  switch (desc.ViewDimension) {
    case D3D11_SRV_DIMENSION_TEXTURE1DARRAY:
    case D3D11_SRV_DIMENSION_TEXTURE2DARRAY:
      desc.Texture2DArray.MipLevels = levels;
      break;
    case D3D11_SRV_DIMENSION_TEXTURECUBEARRAY:
      desc.TextureCubeArray.MipLevels = levels;
      break;
    default:
      desc.Texture2D.MipLevels = levels;
      break;
  }
  range.target = srv_gl_target(desc.ViewDimension);
  range.first_level = first_level, range.levels = levels;
  range.first_layer = first_layer, range.layers = layers;
  return true;
}

}  // namespace

d3d11_shader_resource_view_t::d3d11_shader_resource_view_t(d3d11_device_t* device, ID3D11Resource* resource,
                                                           const D3D11_SHADER_RESOURCE_VIEW_DESC& desc)
    : device_child_t(device), resource_(resource), desc_(desc) {
  resource_->AddRef();
  buffer_ = buffer_of(resource);
  texture_ = texture_core_of(resource);
}

HRESULT d3d11_shader_resource_view_t::create(d3d11_device_t* device, ID3D11Resource* resource,
                                             const D3D11_SHADER_RESOURCE_VIEW_DESC* in,
                                             ID3D11ShaderResourceView** view) {
  if (!resource) return E_INVALIDARG;
  D3D11_SHADER_RESOURCE_VIEW_DESC desc;
  if (in)
    desc = *in;
  else if (!default_desc(resource, desc))
    return E_INVALIDARG;

  view_range_t range;
  if (d3d11_buffer_t* buffer = buffer_of(resource)) {
    const auto& b = buffer->desc();
    if (desc.ViewDimension != D3D11_SRV_DIMENSION_BUFFER || !(b.BindFlags & D3D11_BIND_SHADER_RESOURCE))
      return E_INVALIDARG;
    const bool structured = b.MiscFlags & D3D11_RESOURCE_MISC_BUFFER_STRUCTURED;
    if (structured != (desc.Format == DXGI_FORMAT_UNKNOWN)) return E_INVALIDARG;
    const uint32_t stride = structured ? b.StructureByteStride : dxgi_format_info(desc.Format).block_bytes;
    if (stride == 0 || desc.Buffer.NumElements == 0) return E_INVALIDARG;
    if (uint64_t(desc.Buffer.FirstElement + uint64_t(desc.Buffer.NumElements)) * stride > b.ByteWidth)
      return E_INVALIDARG;
    if (!buffer_view_start_fits(device, uint64_t(desc.Buffer.FirstElement) * stride)) return E_INVALIDARG;
  } else {
    texture_core_t* t = texture_core_of(resource);
    if (!t || !(t->bind_flags & D3D11_BIND_SHADER_RESOURCE)) return E_INVALIDARG;
    const dxgi_format_info_t& format = dxgi_format_info(desc.Format);
    if (!format.supported || format.typeless) return E_INVALIDARG;
    if (!texture_range(*t, desc, range)) return E_INVALIDARG;
  }
  if (!view) return S_FALSE;
  auto* object = new d3d11_shader_resource_view_t(device, resource, desc);
  device->enqueue([object] { object->create_gl(); });
  *view = object;
  return S_OK;
}

void d3d11_shader_resource_view_t::create_gl() {
  if (buffer_) {
    const bool structured = desc_.Format == DXGI_FORMAT_UNKNOWN;
    const auto bytes =
        buffer_view_bytes(buffer_->desc(), desc_.Format, desc_.Buffer.FirstElement, desc_.Buffer.NumElements);
    buffer_offset_ = bytes.offset;
    buffer_size_ = bytes.size;
    if (!structured) {
      glCreateTextures(GL_TEXTURE_BUFFER, 1, &own_texture_);
      glTextureBufferRange(own_texture_, dxgi_format_info(desc_.Format).gl_internal_format,
                           buffer_->gl_name(), buffer_offset_, buffer_size_);
    }
    return;
  }
  view_range_t range;
  D3D11_SHADER_RESOURCE_VIEW_DESC desc = desc_;
  texture_range(*texture_, desc, range);
  range.format = &dxgi_format_info(desc_.Format);
  if (view_needs_gl_view(*texture_, range)) own_texture_ = create_gl_texture_view(*texture_, range);
}

void d3d11_shader_resource_view_t::destroy_gl() {
  if (!own_texture_) return;
  device()->forget_texture(own_texture_);
  glDeleteTextures(1, &own_texture_);
  own_texture_ = 0;
}
