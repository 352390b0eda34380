#pragma once
// ID3D11UnorderedAccessView: a storage-buffer range (structured buffers), a storage image (typed
// buffers through a buffer texture, or one level of a texture), and for append and counter views
// the hidden counter: a 4-byte GL buffer of its own, set by initial counts when the view is bound
// and read by CopyStructureCount.

#include "platform/d3d11/buffer.h"
#include "platform/d3d11/texture.h"

class d3d11_unordered_access_view_t final : public device_child_t<ID3D11UnorderedAccessView> {
 public:
  static HRESULT create(d3d11_device_t* device, ID3D11Resource* resource,
                        const D3D11_UNORDERED_ACCESS_VIEW_DESC* desc, ID3D11UnorderedAccessView** view);

  void GetResource(ID3D11Resource** resource) override {
    resource_->AddRef();
    *resource = resource_;
  }
  void GetDesc(D3D11_UNORDERED_ACCESS_VIEW_DESC* desc) override { *desc = desc_; }

  ID3D11Resource* resource() const { return resource_; }
  d3d11_buffer_t* buffer() const { return buffer_; }
  texture_core_t* texture() const { return texture_; }
  GLintptr buffer_offset() const { return buffer_offset_; }
  GLsizeiptr buffer_size() const { return buffer_size_; }
  GLuint counter() const { return counter_; }
  // Storage image binding.
  GLuint image_texture() const { return own_texture_ ? own_texture_ : (texture_ ? texture_->gl_name() : 0); }
  GLint image_level() const { return own_texture_ && buffer_ ? 0 : level_; }
  bool image_layered() const { return layered_; }
  GLint image_layer() const { return layer_; }
  GLenum image_format() const { return image_format_; }

  // Context thread: an initial count other than 0xFFFFFFFF replaces the hidden counter.
  void set_counter(uint32_t count);

 private:
  d3d11_unordered_access_view_t(d3d11_device_t* device, ID3D11Resource* resource,
                                const D3D11_UNORDERED_ACCESS_VIEW_DESC& desc);
  ~d3d11_unordered_access_view_t() override { resource_->Release(); }
  void create_gl();
  void destroy_gl() override;

  ID3D11Resource* resource_;
  D3D11_UNORDERED_ACCESS_VIEW_DESC desc_;
  d3d11_buffer_t* buffer_ = nullptr;
  texture_core_t* texture_ = nullptr;
  GLintptr buffer_offset_ = 0;
  GLsizeiptr buffer_size_ = 0;
  GLuint counter_ = 0;
  GLuint own_texture_ = 0;
  GLint level_ = 0;
  bool layered_ = false;
  GLint layer_ = 0;
  GLenum image_format_ = 0;
};

inline d3d11_unordered_access_view_t* to_impl(ID3D11UnorderedAccessView* view) {
  return static_cast<d3d11_unordered_access_view_t*>(view);
}
