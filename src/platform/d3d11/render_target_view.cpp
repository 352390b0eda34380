#include "platform/d3d11/render_target_view.h"

#include "platform/d3d11/view_texture.h"

d3d11_render_target_view_t::d3d11_render_target_view_t(d3d11_device_t* device, ID3D11Resource* resource,
                                                       const D3D11_RENDER_TARGET_VIEW_DESC& desc,
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

HRESULT d3d11_render_target_view_t::create(d3d11_device_t* device, ID3D11Resource* resource,
                                           const D3D11_RENDER_TARGET_VIEW_DESC* in,
                                           ID3D11RenderTargetView** view) {
  texture_core_t* t = texture_core_of(resource);
  if (!t || !(t->bind_flags & D3D11_BIND_RENDER_TARGET)) return E_INVALIDARG;
  D3D11_RENDER_TARGET_VIEW_DESC desc{};
  if (in) {
    desc = *in;
  } else {
    desc.Format = t->format;
    switch (t->dimension) {
      case D3D11_RESOURCE_DIMENSION_TEXTURE1D:
        desc.ViewDimension =
            t->array_size > 1 ? D3D11_RTV_DIMENSION_TEXTURE1DARRAY : D3D11_RTV_DIMENSION_TEXTURE1D;
        desc.Texture1DArray = {0, 0, t->array_size};
        break;
      case D3D11_RESOURCE_DIMENSION_TEXTURE3D:
        desc.ViewDimension = D3D11_RTV_DIMENSION_TEXTURE3D;
        desc.Texture3D = {0, 0, t->depth};
        break;
      default:
        desc.ViewDimension =
            t->array_size > 1 ? D3D11_RTV_DIMENSION_TEXTURE2DARRAY : D3D11_RTV_DIMENSION_TEXTURE2D;
        desc.Texture2DArray = {0, 0, t->array_size};
        break;
    }
  }
  const dxgi_format_info_t& format = dxgi_format_info(desc.Format);
  if (!format.supported || format.typeless || format.kind != dxgi_format_kind_t::color || format.compressed)
    return E_INVALIDARG;
  uint32_t level = 0, first = 0, count = 1, available = t->array_size;
  switch (desc.ViewDimension) {
    case D3D11_RTV_DIMENSION_TEXTURE1D:
    case D3D11_RTV_DIMENSION_TEXTURE2D:
      level = desc.Texture2D.MipSlice;
      break;
    case D3D11_RTV_DIMENSION_TEXTURE1DARRAY:
    case D3D11_RTV_DIMENSION_TEXTURE2DARRAY:
      level = desc.Texture2DArray.MipSlice, first = desc.Texture2DArray.FirstArraySlice;
      count = desc.Texture2DArray.ArraySize;
      break;
    case D3D11_RTV_DIMENSION_TEXTURE3D:
      level = desc.Texture3D.MipSlice, first = desc.Texture3D.FirstWSlice, count = desc.Texture3D.WSize;
      available = t->level_depth(level);
      if (count == 0xFFFFFFFFu) count = available - first;
      break;
    default:
      return E_INVALIDARG;
  }
  if (level >= t->mip_levels || count == 0 || first + count > available) return E_INVALIDARG;
  if (!view) return S_FALSE;
  auto* object = new d3d11_render_target_view_t(device, resource, desc, level, first, count);
  device->enqueue([object] { object->create_gl(); });
  *view = object;
  return S_OK;
}

void d3d11_render_target_view_t::create_gl() {
  const dxgi_format_info_t& view_format = format();
  // A different format needs a texture view; the attachment then starts at its level 0.
  if (view_format.gl_internal_format != texture_->storage->gl_internal_format &&
      texture_->target != GL_TEXTURE_3D) {
    view_range_t range;
    range.target = texture_->target;
    range.format = &view_format;
    range.first_level = level_, range.levels = 1;
    range.first_layer =
        texture_->target == GL_TEXTURE_2D_ARRAY || texture_->target == GL_TEXTURE_1D_ARRAY ? first_layer_ : 0;
    range.layers = range.first_layer == 0 && texture_->array_size == 1 ? 1 : layers_;
    own_texture_ = create_gl_texture_view(*texture_, range);
  }
}

attachment_t d3d11_render_target_view_t::attachment() const {
  attachment_t a;
  a.width = texture_->level_width(level_);
  a.height = texture_->level_height(level_);
  if (own_texture_) {
    a.texture = own_texture_;
    a.level = 0;
    a.layer =
        (layers_ == 1 && texture_->target != GL_TEXTURE_2D && texture_->target != GL_TEXTURE_1D) ? 0 : -1;
    return a;
  }
  a.texture = texture_->gl_name();
  a.level = level_;
  const bool layered_storage = texture_->target != GL_TEXTURE_2D && texture_->target != GL_TEXTURE_1D;
  a.layer = layered_storage && layers_ == 1 ? int(first_layer_) : -1;
  return a;
}

void d3d11_render_target_view_t::destroy_gl() {
  if (!own_texture_) return;
  device()->forget_texture(own_texture_);
  glDeleteTextures(1, &own_texture_);
  own_texture_ = 0;
}
