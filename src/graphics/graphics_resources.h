#pragma once
// The graphics resources: the one place where buffers, render targets and state objects are made,
// with the pool of temporary render targets and the state presets. Reached as S(resources).

#include <memory>
#include <string>

#include <tl/expected.hpp>

#include "graphics/gpu_buffers.h"
#include "graphics/pipeline_states.h"
#include "graphics/render_target.h"
#include "platform/d3d11/d3d11.h"

class graphics_resources_t {
 public:
  // Empties the state lists and the temporary pool.
  virtual void release_all() = 0;
  // Ages the temporary pool; once per frame before any rendering.
  virtual void begin_frame() = 0;

  // Plain buffers: sizes are rounded up to 16 bytes; null when the device refuses.
  virtual std::unique_ptr<index_buffer_t> create_index_buffer(int count, int format, const void* data,
                                                              bool dynamic) = 0;
  virtual std::unique_ptr<vertex_buffer_t> create_vertex_buffer(int count, int stride, const void* data,
                                                                bool dynamic) = 0;
  // Also called from shader compile tasks on worker threads.
  virtual std::unique_ptr<constant_buffer_t> create_constant_buffer(int size, bool dynamic,
                                                                    const void* data) = 0;
  // A staging buffer of exactly `size` bytes that the CPU reads.
  virtual std::unique_ptr<constant_buffer_t> create_readback_buffer(int size) = 0;
  // type 0 dispatch, 1 instanced draw, 2 indexed instanced draw; never null.
  virtual std::unique_ptr<render_target_t> create_indirect_args_buffer(int type) = 0;
  // New, or out of the pool with RT_TEMPORARY. Throws std::runtime_error when Direct3D refuses.
  virtual std::shared_ptr<render_target_t> create_render_target(rt_size_t size_type, int width, int height,
                                                                DXGI_FORMAT format, uint32_t flags) = 0;
  // A GPU buffer of count × stride bytes with the views of buffer_flags_t; null on failure.
  virtual std::unique_ptr<render_target_t> create_buffer(int count, int stride, uint32_t flags) = 0;

  // Equal descriptions share one record; an empty handle when the device refuses.
  virtual std::shared_ptr<rasterizer_state_t> create_rasterizer_state(const D3D11_RASTERIZER_DESC& desc) = 0;
  virtual std::shared_ptr<blend_state_t> create_blend_state(const D3D11_BLEND_DESC& desc) = 0;
  virtual std::shared_ptr<depth_stencil_state_t> create_depth_stencil_state(
      const D3D11_DEPTH_STENCIL_DESC& desc) = 0;
  virtual std::shared_ptr<sampler_state_t> create_sampler_state(const D3D11_SAMPLER_DESC& desc) = 0;

  // Presets by id: rasterizer 1-4, blend 1-8, depth-stencil 1-4, sampler 1-5; else empty.
  virtual std::shared_ptr<rasterizer_state_t> get_rasterizer_state(int id) = 0;
  virtual std::shared_ptr<blend_state_t> get_blend_state(int id) = 0;
  virtual std::shared_ptr<depth_stencil_state_t> get_depth_stencil_state(int id) = 0;
  virtual std::shared_ptr<sampler_state_t> get_sampler_state(int id) = 0;

 protected:
  ~graphics_resources_t() = default;
};

// Makes the one service over the graphics system's device and context (S(gsys) must be set) and
// builds the state presets. The service lives until the process ends.
tl::expected<graphics_resources_t*, std::string> create_graphics_resources();
