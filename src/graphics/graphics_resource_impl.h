#pragma once
// The implementation of the graphics resources, visible to the host's start-up and to tests.

#include <memory>
#include <vector>

#include "graphics/graphics_resources.h"

class graphics_resource_impl_t final : public graphics_resources_t {
 public:
  graphics_resource_impl_t(ID3D11Device* device, ID3D11DeviceContext* context);
  ~graphics_resource_impl_t();

  void release_all() override;
  void begin_frame() override;
  std::unique_ptr<index_buffer_t> create_index_buffer(int count, int format, const void* data,
                                                      bool dynamic) override;
  std::unique_ptr<vertex_buffer_t> create_vertex_buffer(int count, int stride, const void* data,
                                                        bool dynamic) override;
  std::unique_ptr<constant_buffer_t> create_constant_buffer(int size, bool dynamic,
                                                            const void* data) override;
  std::unique_ptr<constant_buffer_t> create_readback_buffer(int size) override;
  std::unique_ptr<render_target_t> create_indirect_args_buffer(int type) override;
  std::shared_ptr<render_target_t> create_render_target(rt_size_t size_type, int width, int height,
                                                        DXGI_FORMAT format, uint32_t flags) override;
  std::unique_ptr<render_target_t> create_buffer(int count, int stride, uint32_t flags) override;
  std::shared_ptr<rasterizer_state_t> create_rasterizer_state(const D3D11_RASTERIZER_DESC& desc) override;
  std::shared_ptr<blend_state_t> create_blend_state(const D3D11_BLEND_DESC& desc) override;
  std::shared_ptr<depth_stencil_state_t> create_depth_stencil_state(
      const D3D11_DEPTH_STENCIL_DESC& desc) override;
  std::shared_ptr<sampler_state_t> create_sampler_state(const D3D11_SAMPLER_DESC& desc) override;
  std::shared_ptr<rasterizer_state_t> get_rasterizer_state(int id) override;
  std::shared_ptr<blend_state_t> get_blend_state(int id) override;
  std::shared_ptr<depth_stencil_state_t> get_depth_stencil_state(int id) override;
  std::shared_ptr<sampler_state_t> get_sampler_state(int id) override;

  int32_t frame_counter() const { return frame_counter_; }
  const std::vector<std::shared_ptr<render_target_t>>& temp_targets() const { return temp_targets_; }
  const pipeline_state_lists_t& states() const { return states_; }

 private:
  int32_t frame_counter_ = 0;
  pipeline_state_lists_t states_;
  std::vector<std::shared_ptr<render_target_t>> temp_targets_;
  // Owned by the graphics system.
  ID3D11Device* device_ = nullptr;
  [[maybe_unused]] ID3D11DeviceContext* context_ = nullptr;
};
