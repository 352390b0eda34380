#pragma once
// ID3D11RenderTargetView and ID3D11DepthStencilView share this shape: one level and a slice
// range of a texture, attached to a framebuffer by texture name, level and layer.

#include "platform/d3d11/texture.h"

// How a view attaches: the texture (or texture view), its level, and one layer or all (-1).
struct attachment_t {
  GLuint texture = 0;
  GLint level = 0;
  GLint layer = -1;
  uint32_t width = 0, height = 0;
  bool operator==(const attachment_t&) const = default;
};

class d3d11_render_target_view_t final : public device_child_t<ID3D11RenderTargetView> {
 public:
  static HRESULT create(d3d11_device_t* device, ID3D11Resource* resource,
                        const D3D11_RENDER_TARGET_VIEW_DESC* desc, ID3D11RenderTargetView** view);

  void GetResource(ID3D11Resource** resource) override {
    resource_->AddRef();
    *resource = resource_;
  }
  void GetDesc(D3D11_RENDER_TARGET_VIEW_DESC* desc) override { *desc = desc_; }

  ID3D11Resource* resource() const { return resource_; }
  texture_core_t* texture() const { return texture_; }
  const dxgi_format_info_t& format() const { return dxgi_format_info(desc_.Format); }
  uint32_t level() const { return level_; }
  // The texture's storage is made if it was deferred.
  attachment_t attachment() const;

 private:
  d3d11_render_target_view_t(d3d11_device_t* device, ID3D11Resource* resource,
                             const D3D11_RENDER_TARGET_VIEW_DESC& desc, uint32_t level, uint32_t first_layer,
                             uint32_t layers);
  ~d3d11_render_target_view_t() override { resource_->Release(); }
  void create_gl();
  void destroy_gl() override;

  ID3D11Resource* resource_;
  D3D11_RENDER_TARGET_VIEW_DESC desc_;
  texture_core_t* texture_;
  uint32_t level_, first_layer_, layers_;
  GLuint own_texture_ = 0;
};

inline d3d11_render_target_view_t* to_impl(ID3D11RenderTargetView* view) {
  return static_cast<d3d11_render_target_view_t*>(view);
}
