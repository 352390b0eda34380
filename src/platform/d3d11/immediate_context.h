#pragma once
// The immediate context: D3D11 commands on the thread that owns the GL context. Every command first
// runs the device's queued GL work, so objects made on other threads are complete when used. Binding
// calls only record state (context_state.h); draws and dispatches bring GL in line through the state
// cache. D3D rules kept here: clears ignore scissor and write masks, unbound resources read zero,
// UAV writes are visible to later commands, a resource bound as a render target leaves the
// shader-resource slots, and append counters follow the initial counts given at bind time.

#include "platform/d3d11/context_state.h"
#include "platform/d3d11/device.h"
#include "platform/d3d11/input_layout.h"
#include "platform/d3d11/render_target_view.h"

class d3d11_immediate_context_t final : public ID3D11DeviceContext {
 public:
  explicit d3d11_immediate_context_t(d3d11_device_t* device);
  ~d3d11_immediate_context_t();
  // Context thread, once: the GL objects the context draws with.
  void create_gl();
  void destroy_gl();
  void forget_texture(GLuint name);
  // GL's offset alignment for storage and texture buffer ranges, read once by create_gl; views of
  // buffers check their first byte against it on any thread.
  uint32_t buffer_view_alignment() const { return buffer_view_alignment_; }
  // Whether GL takes host memory as a buffer's store (GL_AMD_pinned_memory), read once by create_gl.
  bool pinned_memory() const { return pinned_memory_; }

  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override { return device_->AddRef(); }
  ULONG Release() override { return device_->Release(); }
  void GetDevice(ID3D11Device** device) override {
    device_->AddRef();
    *device = device_;
  }

  void IASetInputLayout(ID3D11InputLayout* layout) override;
  void IASetVertexBuffers(UINT start, UINT count, ID3D11Buffer* const* buffers, const UINT* strides,
                          const UINT* offsets) override;
  void IASetIndexBuffer(ID3D11Buffer* buffer, DXGI_FORMAT format, UINT offset) override;
  void IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY topology) override;
  void VSSetShader(ID3D11VertexShader* shader, ID3D11ClassInstance* const*, UINT) override;
  void GSSetShader(ID3D11GeometryShader* shader, ID3D11ClassInstance* const*, UINT) override;
  void PSSetShader(ID3D11PixelShader* shader, ID3D11ClassInstance* const*, UINT) override;
  void CSSetShader(ID3D11ComputeShader* shader, ID3D11ClassInstance* const*, UINT) override;
  void VSSetConstantBuffers(UINT start, UINT count, ID3D11Buffer* const* buffers) override {
    set_constant_buffers(0, start, count, buffers);
  }
  void GSSetConstantBuffers(UINT start, UINT count, ID3D11Buffer* const* buffers) override {
    set_constant_buffers(1, start, count, buffers);
  }
  void PSSetConstantBuffers(UINT start, UINT count, ID3D11Buffer* const* buffers) override {
    set_constant_buffers(2, start, count, buffers);
  }
  void CSSetConstantBuffers(UINT start, UINT count, ID3D11Buffer* const* buffers) override {
    set_constant_buffers(3, start, count, buffers);
  }
  void VSSetShaderResources(UINT start, UINT count, ID3D11ShaderResourceView* const* views) override {
    set_shader_resources(0, start, count, views);
  }
  void GSSetShaderResources(UINT start, UINT count, ID3D11ShaderResourceView* const* views) override {
    set_shader_resources(1, start, count, views);
  }
  void PSSetShaderResources(UINT start, UINT count, ID3D11ShaderResourceView* const* views) override {
    set_shader_resources(2, start, count, views);
  }
  void CSSetShaderResources(UINT start, UINT count, ID3D11ShaderResourceView* const* views) override {
    set_shader_resources(3, start, count, views);
  }
  void VSSetSamplers(UINT start, UINT count, ID3D11SamplerState* const* samplers) override {
    set_samplers(0, start, count, samplers);
  }
  void GSSetSamplers(UINT start, UINT count, ID3D11SamplerState* const* samplers) override {
    set_samplers(1, start, count, samplers);
  }
  void PSSetSamplers(UINT start, UINT count, ID3D11SamplerState* const* samplers) override {
    set_samplers(2, start, count, samplers);
  }
  void CSSetSamplers(UINT start, UINT count, ID3D11SamplerState* const* samplers) override {
    set_samplers(3, start, count, samplers);
  }
  void CSSetUnorderedAccessViews(UINT start, UINT count, ID3D11UnorderedAccessView* const* views,
                                 const UINT* initial_counts) override;
  void RSSetState(ID3D11RasterizerState* state) override;
  void RSSetViewports(UINT count, const D3D11_VIEWPORT* viewports) override;
  void RSSetScissorRects(UINT count, const D3D11_RECT* rects) override;
  void OMSetBlendState(ID3D11BlendState* state, const FLOAT blend_factor[4], UINT sample_mask) override;
  void OMSetDepthStencilState(ID3D11DepthStencilState* state, UINT stencil_ref) override;
  void OMSetRenderTargets(UINT count, ID3D11RenderTargetView* const* views,
                          ID3D11DepthStencilView* depth) override;
  void OMSetRenderTargetsAndUnorderedAccessViews(UINT rtv_count, ID3D11RenderTargetView* const* views,
                                                 ID3D11DepthStencilView* depth, UINT uav_start,
                                                 UINT uav_count, ID3D11UnorderedAccessView* const* uavs,
                                                 const UINT* initial_counts) override;
  void ClearRenderTargetView(ID3D11RenderTargetView* view, const FLOAT color[4]) override;
  void ClearDepthStencilView(ID3D11DepthStencilView* view, UINT flags, FLOAT depth, UINT8 stencil) override;
  void ClearUnorderedAccessViewUint(ID3D11UnorderedAccessView* view, const UINT values[4]) override;
  void ClearUnorderedAccessViewFloat(ID3D11UnorderedAccessView* view, const FLOAT values[4]) override;
  void Draw(UINT vertex_count, UINT start_vertex) override {
    DrawInstanced(vertex_count, 1, start_vertex, 0);
  }
  void DrawIndexed(UINT index_count, UINT start_index, INT base_vertex) override {
    DrawIndexedInstanced(index_count, 1, start_index, base_vertex, 0);
  }
  void DrawInstanced(UINT vertex_count, UINT instance_count, UINT start_vertex, UINT start_instance) override;
  void DrawIndexedInstanced(UINT index_count, UINT instance_count, UINT start_index, INT base_vertex,
                            UINT start_instance) override;
  void DrawInstancedIndirect(ID3D11Buffer* args, UINT offset) override;
  void DrawIndexedInstancedIndirect(ID3D11Buffer* args, UINT offset) override;
  void Dispatch(UINT x, UINT y, UINT z) override;
  HRESULT Map(ID3D11Resource* resource, UINT subresource, D3D11_MAP type, UINT flags,
              D3D11_MAPPED_SUBRESOURCE* mapped) override;
  void Unmap(ID3D11Resource* resource, UINT subresource) override;
  void UpdateSubresource(ID3D11Resource* resource, UINT subresource, const D3D11_BOX* box, const void* data,
                         UINT row_pitch, UINT depth_pitch) override;
  void CopyResource(ID3D11Resource* dst, ID3D11Resource* src) override;
  void CopySubresourceRegion(ID3D11Resource* dst, UINT dst_subresource, UINT x, UINT y, UINT z,
                             ID3D11Resource* src, UINT src_subresource, const D3D11_BOX* box) override;
  void CopyStructureCount(ID3D11Buffer* dst, UINT offset, ID3D11UnorderedAccessView* view) override;
  void GenerateMips(ID3D11ShaderResourceView* view) override;
  void ClearState() override;
  void Flush() override;

 private:
  void set_constant_buffers(int stage, UINT start, UINT count, ID3D11Buffer* const* buffers);
  void set_shader_resources(int stage, UINT start, UINT count, ID3D11ShaderResourceView* const* views);
  void set_samplers(int stage, UINT start, UINT count, ID3D11SamplerState* const* samplers);
  void set_shader(int stage, IUnknown* holder, struct shader_core_t* core);
  void bind_render_targets(UINT count, ID3D11RenderTargetView* const* views, ID3D11DepthStencilView* depth);
  void bind_pixel_uavs(UINT start, UINT count, ID3D11UnorderedAccessView* const* uavs, const UINT* counts);
  void unbind_resource_from_srvs(ID3D11Resource* resource);
  // The bound index buffer from its byte offset on, copied into a buffer of the context's own.
  GLuint shifted_indices();

  // Command prologue: pending device work, then outstanding UAV barriers.
  void begin_command();
  void barrier();
  bool prepare_draw();
  void apply_pipeline();
  void apply_vertex_input();
  void apply_fixed_function();
  void apply_framebuffer();
  // The bound depth-stencil state, or Direct3D's default one.
  const struct gl_depth_stencil_t& depth_stencil() const;
  // Records a clear of a texture whose storage is still deferred; false when it has to be drawn.
  bool record_clear(class d3d11_render_target_view_t& view, const FLOAT color[4]);
  void apply_stage_resources(int stage);
  // GL_POINTS is 0, so an unsupported topology needs a value of its own.
  static constexpr GLenum no_topology = ~0u;
  GLenum gl_topology() const;

  d3d11_device_t* device_;
  context_state_t state_;
  GLuint vao_ = 0;
  GLuint graphics_pipeline_ = 0, compute_pipeline_ = 0;
  GLuint draw_fbo_ = 0, clear_fbo_ = 0;
  attachment_t attached_[8];
  attachment_t attached_depth_;
  GLenum attached_depth_point_ = 0;
  GLenum draw_buffers_[8] = {};
  bool framebuffer_dirty_ = true;
  bool fixed_function_dirty_ = true;
  bool layout_dirty_ = true;
  d3d11_input_layout_t* applied_layout_ = nullptr;
  uint32_t enabled_attributes_ = 0;
  bool uav_writes_pending_ = false;
  uint32_t buffer_view_alignment_ = 256;  // GL's largest allowed value until queried
  bool pinned_memory_ = false;
  GLuint discard_buffer_ = 0;             // storage bound where a shader writes an unbound UAV
  GLuint shifted_indices_ = 0;
  GLsizeiptr shifted_indices_size_ = 0;
};
