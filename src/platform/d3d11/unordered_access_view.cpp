#include "platform/d3d11/unordered_access_view.h"

#include "platform/d3d11/immediate_context.h"

d3d11_unordered_access_view_t::d3d11_unordered_access_view_t(d3d11_device_t* device, ID3D11Resource* resource,
                                                             const D3D11_UNORDERED_ACCESS_VIEW_DESC& desc)
    : device_child_t(device),
      resource_(resource),
      desc_(desc),
      buffer_(buffer_of(resource)),
      texture_(texture_core_of(resource)) {
  resource_->AddRef();
}

HRESULT d3d11_unordered_access_view_t::create(d3d11_device_t* device, ID3D11Resource* resource,
                                              const D3D11_UNORDERED_ACCESS_VIEW_DESC* in,
                                              ID3D11UnorderedAccessView** view) {
  if (!resource) return E_INVALIDARG;
  D3D11_UNORDERED_ACCESS_VIEW_DESC desc{};
  if (d3d11_buffer_t* buffer = buffer_of(resource)) {
    const auto& b = buffer->desc();
    if (!(b.BindFlags & D3D11_BIND_UNORDERED_ACCESS)) return E_INVALIDARG;
    const bool structured = b.MiscFlags & D3D11_RESOURCE_MISC_BUFFER_STRUCTURED;
    if (in) {
      desc = *in;
    } else {
      if (!structured) return E_INVALIDARG;
      desc.Format = DXGI_FORMAT_UNKNOWN;
      desc.ViewDimension = D3D11_UAV_DIMENSION_BUFFER;
      desc.Buffer = {0, b.ByteWidth / b.StructureByteStride, 0};
    }
    if (desc.ViewDimension != D3D11_UAV_DIMENSION_BUFFER) return E_INVALIDARG;
    const bool raw = desc.Buffer.Flags & D3D11_BUFFER_UAV_FLAG_RAW;
    const bool counted = desc.Buffer.Flags & (D3D11_BUFFER_UAV_FLAG_APPEND | D3D11_BUFFER_UAV_FLAG_COUNTER);
    if (counted && (!structured || raw)) return E_INVALIDARG;
    if (structured != (desc.Format == DXGI_FORMAT_UNKNOWN)) return E_INVALIDARG;
    const uint32_t stride = structured ? b.StructureByteStride : dxgi_format_info(desc.Format).block_bytes;
    if (!structured && (!dxgi_format_info(desc.Format).supported || dxgi_format_info(desc.Format).typeless))
      return E_INVALIDARG;
    if (stride == 0 || desc.Buffer.NumElements == 0 ||
        (uint64_t(desc.Buffer.FirstElement) + desc.Buffer.NumElements) * stride > b.ByteWidth)
      return E_INVALIDARG;
    if (!buffer_view_start_fits(device, uint64_t(desc.Buffer.FirstElement) * stride)) return E_INVALIDARG;
  } else {
    texture_core_t* t = texture_core_of(resource);
    if (!t || !(t->bind_flags & D3D11_BIND_UNORDERED_ACCESS)) return E_INVALIDARG;
    if (in) {
      desc = *in;
    } else {
      desc.Format = t->format;
      desc.ViewDimension = t->dimension == D3D11_RESOURCE_DIMENSION_TEXTURE3D ? D3D11_UAV_DIMENSION_TEXTURE3D
                           : t->array_size > 1 ? D3D11_UAV_DIMENSION_TEXTURE2DARRAY
                                               : D3D11_UAV_DIMENSION_TEXTURE2D;
      desc.Texture2DArray = {0, 0, t->array_size};
    }
    const dxgi_format_info_t& format = dxgi_format_info(desc.Format);
    if (!format.supported || format.typeless || format.compressed) return E_INVALIDARG;
    if (desc.Texture2D.MipSlice >= t->mip_levels) return E_INVALIDARG;
  }
  if (!view) return S_FALSE;
  auto* object = new d3d11_unordered_access_view_t(device, resource, desc);
  device->enqueue([object] { object->create_gl(); });
  *view = object;
  return S_OK;
}

void d3d11_unordered_access_view_t::create_gl() {
  if (buffer_) {
    const bool structured = desc_.Format == DXGI_FORMAT_UNKNOWN;
    const auto bytes =
        buffer_view_bytes(buffer_->desc(), desc_.Format, desc_.Buffer.FirstElement, desc_.Buffer.NumElements);
    buffer_offset_ = bytes.offset;
    buffer_size_ = bytes.size;
    if (desc_.Buffer.Flags & (D3D11_BUFFER_UAV_FLAG_APPEND | D3D11_BUFFER_UAV_FLAG_COUNTER)) {
      const uint32_t zero = 0;
      glCreateBuffers(1, &counter_);
      glNamedBufferData(counter_, 4, &zero, GL_DYNAMIC_COPY);
    }
    if (!structured) {
      image_format_ = dxgi_format_info(desc_.Format).gl_internal_format;
      glCreateTextures(GL_TEXTURE_BUFFER, 1, &own_texture_);
      glTextureBufferRange(own_texture_, image_format_, buffer_->gl_name(), buffer_offset_, buffer_size_);
    }
    return;
  }
  image_format_ = dxgi_format_info(desc_.Format).gl_internal_format;
  level_ = desc_.Texture2D.MipSlice;
  switch (desc_.ViewDimension) {
    case D3D11_UAV_DIMENSION_TEXTURE1DARRAY:
    case D3D11_UAV_DIMENSION_TEXTURE2DARRAY:
      layered_ = desc_.Texture2DArray.ArraySize != 1;
      layer_ = desc_.Texture2DArray.FirstArraySlice;
      break;
    case D3D11_UAV_DIMENSION_TEXTURE3D:
      layered_ = true;
      break;
    default:
      // A single slice of array storage binds as that layer.
      layered_ = false;
      layer_ = 0;
      break;
  }
}

void d3d11_unordered_access_view_t::set_counter(uint32_t count) {
  if (!counter_ || count == 0xFFFFFFFFu) return;
  glNamedBufferSubData(counter_, 0, 4, &count);
}

void d3d11_unordered_access_view_t::destroy_gl() {
  if (counter_) {
    device()->cache().forget_buffer(counter_);
    glDeleteBuffers(1, &counter_);
    counter_ = 0;
  }
  if (own_texture_) {
    device()->forget_texture(own_texture_);
    glDeleteTextures(1, &own_texture_);
    own_texture_ = 0;
  }
}
