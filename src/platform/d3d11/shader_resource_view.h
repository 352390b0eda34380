#pragma once
// ID3D11ShaderResourceView: a texture (or texture view) for a texture unit, a storage-buffer range
// for structured buffers, or a buffer texture for typed buffer views.

#include "platform/d3d11/buffer.h"
#include "platform/d3d11/texture.h"

class d3d11_shader_resource_view_t final : public device_child_t<ID3D11ShaderResourceView> {
 public:
  static HRESULT create(d3d11_device_t* device, ID3D11Resource* resource,
                        const D3D11_SHADER_RESOURCE_VIEW_DESC* desc, ID3D11ShaderResourceView** view);

  void GetResource(ID3D11Resource** resource) override {
    resource_->AddRef();
    *resource = resource_;
  }
  void GetDesc(D3D11_SHADER_RESOURCE_VIEW_DESC* desc) override { *desc = desc_; }

  ID3D11Resource* resource() const { return resource_; }
  const D3D11_SHADER_RESOURCE_VIEW_DESC& desc() const { return desc_; }
  texture_core_t* texture() const { return texture_; }
  d3d11_buffer_t* buffer() const { return buffer_; }
  // Texture unit binding (textures and typed buffers).
  GLuint gl_texture() const { return own_texture_ ? own_texture_ : (texture_ ? texture_->gl_name() : 0); }
  // Storage-buffer binding (structured buffers).
  GLintptr buffer_offset() const { return buffer_offset_; }
  GLsizeiptr buffer_size() const { return buffer_size_; }

 private:
  d3d11_shader_resource_view_t(d3d11_device_t* device, ID3D11Resource* resource,
                               const D3D11_SHADER_RESOURCE_VIEW_DESC& desc);
  ~d3d11_shader_resource_view_t() override { resource_->Release(); }
  void create_gl();
  void destroy_gl() override;

  ID3D11Resource* resource_;
  D3D11_SHADER_RESOURCE_VIEW_DESC desc_;
  texture_core_t* texture_ = nullptr;
  d3d11_buffer_t* buffer_ = nullptr;
  GLuint own_texture_ = 0;
  GLintptr buffer_offset_ = 0;
  GLsizeiptr buffer_size_ = 0;
};

inline d3d11_shader_resource_view_t* to_impl(ID3D11ShaderResourceView* view) {
  return static_cast<d3d11_shader_resource_view_t*>(view);
}
