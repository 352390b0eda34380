#pragma once
// ID3D11DepthStencilView: one level (and slice) of a texture with depth storage.

#include "platform/d3d11/render_target_view.h"

class d3d11_depth_stencil_view_t final : public device_child_t<ID3D11DepthStencilView> {
 public:
  static HRESULT create(d3d11_device_t* device, ID3D11Resource* resource,
                        const D3D11_DEPTH_STENCIL_VIEW_DESC* desc, ID3D11DepthStencilView** view);

  void GetResource(ID3D11Resource** resource) override {
    resource_->AddRef();
    *resource = resource_;
  }
  void GetDesc(D3D11_DEPTH_STENCIL_VIEW_DESC* desc) override { *desc = desc_; }

  ID3D11Resource* resource() const { return resource_; }
  texture_core_t* texture() const { return texture_; }
  bool has_stencil() const { return texture_->storage->kind == dxgi_format_kind_t::depth_stencil; }
  uint32_t level() const { return level_; }
  // The texture's storage is made if it was deferred.
  attachment_t attachment() const;

 private:
  d3d11_depth_stencil_view_t(d3d11_device_t* device, ID3D11Resource* resource,
                             const D3D11_DEPTH_STENCIL_VIEW_DESC& desc, uint32_t level, uint32_t first_layer,
                             uint32_t layers);
  ~d3d11_depth_stencil_view_t() override { resource_->Release(); }

  ID3D11Resource* resource_;
  D3D11_DEPTH_STENCIL_VIEW_DESC desc_;
  texture_core_t* texture_;
  uint32_t level_, first_layer_, layers_;
};

inline d3d11_depth_stencil_view_t* to_impl(ID3D11DepthStencilView* view) {
  return static_cast<d3d11_depth_stencil_view_t*>(view);
}
