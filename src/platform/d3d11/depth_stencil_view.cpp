#include "platform/d3d11/depth_stencil_view.h"

d3d11_depth_stencil_view_t::d3d11_depth_stencil_view_t(d3d11_device_t* device, ID3D11Resource* resource,
                                                       const D3D11_DEPTH_STENCIL_VIEW_DESC& desc,
                                                       uint32_t level, uint32_t first_layer, uint32_t layers)
    : device_child_t(device),
      resource_(resource),
      desc_(desc),
      texture_(texture_core_of(resource)),
      level_(level),
      first_layer_(first_layer),
      layers_(layers) {
  resource_->AddRef();
}

HRESULT d3d11_depth_stencil_view_t::create(d3d11_device_t* device, ID3D11Resource* resource,
                                           const D3D11_DEPTH_STENCIL_VIEW_DESC* in,
                                           ID3D11DepthStencilView** view) {
  texture_core_t* t = texture_core_of(resource);
  if (!t || !(t->bind_flags & D3D11_BIND_DEPTH_STENCIL) || t->dimension == D3D11_RESOURCE_DIMENSION_TEXTURE3D)
    return E_INVALIDARG;
  D3D11_DEPTH_STENCIL_VIEW_DESC desc{};
  if (in) {
    desc = *in;
  } else {
    desc.Format = t->format;
    desc.ViewDimension =
        t->array_size > 1 ? D3D11_DSV_DIMENSION_TEXTURE2DARRAY : D3D11_DSV_DIMENSION_TEXTURE2D;
    desc.Texture2DArray = {0, 0, t->array_size};
  }
  const dxgi_format_info_t& format = dxgi_format_info(desc.Format);
  if (!format.supported || format.kind == dxgi_format_kind_t::color) return E_INVALIDARG;
  if (format.gl_internal_format != t->storage->gl_internal_format) return E_INVALIDARG;
  uint32_t level = 0, first = 0, count = 1;
  switch (desc.ViewDimension) {
    case D3D11_DSV_DIMENSION_TEXTURE1D:
    case D3D11_DSV_DIMENSION_TEXTURE2D:
      level = desc.Texture2D.MipSlice;
      break;
    case D3D11_DSV_DIMENSION_TEXTURE1DARRAY:
    case D3D11_DSV_DIMENSION_TEXTURE2DARRAY:
      level = desc.Texture2DArray.MipSlice, first = desc.Texture2DArray.FirstArraySlice;
      count = desc.Texture2DArray.ArraySize;
      break;
    default:
      return E_INVALIDARG;
  }
  if (level >= t->mip_levels || count == 0 || first + count > t->array_size) return E_INVALIDARG;
  if (!view) return S_FALSE;
  *view = new d3d11_depth_stencil_view_t(device, resource, desc, level, first, count);
  return S_OK;
}

attachment_t d3d11_depth_stencil_view_t::attachment() const {
  attachment_t a;
  a.texture = texture_->gl_name();
  a.level = level_;
  a.width = texture_->level_width(level_);
  a.height = texture_->level_height(level_);
  const bool layered_storage = texture_->target != GL_TEXTURE_2D && texture_->target != GL_TEXTURE_1D;
  a.layer = layered_storage && layers_ == 1 ? int(first_layer_) : -1;
  return a;
}
