#pragma once
// The immediate context's mirror of D3D state: what the caller bound, with references held, as
// D3D holds them. GL is brought in line with it lazily, at the next draw or dispatch.

#include "platform/d3d11/d3d11.h"

struct stage_state_t {
  com_ptr_t<IUnknown> shader;  // keeps the bound shader alive
  struct shader_core_t* core = nullptr;
  com_ptr_t<ID3D11Buffer> constant_buffers[D3D11_COMMONSHADER_CONSTANT_BUFFER_API_SLOT_COUNT];
  com_ptr_t<ID3D11ShaderResourceView> resources[D3D11_COMMONSHADER_INPUT_RESOURCE_SLOT_COUNT];
  com_ptr_t<ID3D11SamplerState> samplers[D3D11_COMMONSHADER_SAMPLER_SLOT_COUNT];
};

struct context_state_t {
  static constexpr int stage_count = 4;  // vertex, geometry, pixel, compute
  stage_state_t stages[stage_count];
  com_ptr_t<ID3D11UnorderedAccessView> compute_uavs[D3D11_1_UAV_SLOT_COUNT];
  com_ptr_t<ID3D11UnorderedAccessView> pixel_uavs[D3D11_1_UAV_SLOT_COUNT];

  com_ptr_t<ID3D11InputLayout> input_layout;
  com_ptr_t<ID3D11Buffer> vertex_buffers[D3D11_IA_VERTEX_INPUT_RESOURCE_SLOT_COUNT];
  UINT strides[D3D11_IA_VERTEX_INPUT_RESOURCE_SLOT_COUNT] = {};
  UINT offsets[D3D11_IA_VERTEX_INPUT_RESOURCE_SLOT_COUNT] = {};
  com_ptr_t<ID3D11Buffer> index_buffer;
  DXGI_FORMAT index_format = DXGI_FORMAT_R32_UINT;
  UINT index_offset = 0;
  D3D11_PRIMITIVE_TOPOLOGY topology = D3D11_PRIMITIVE_TOPOLOGY_UNDEFINED;

  com_ptr_t<ID3D11RasterizerState> rasterizer;
  com_ptr_t<ID3D11BlendState> blend;
  FLOAT blend_factor[4] = {1, 1, 1, 1};
  UINT sample_mask = 0xFFFFFFFFu;
  com_ptr_t<ID3D11DepthStencilState> depth_stencil;
  UINT stencil_ref = 0;

  com_ptr_t<ID3D11RenderTargetView> render_targets[D3D11_SIMULTANEOUS_RENDER_TARGET_COUNT];
  com_ptr_t<ID3D11DepthStencilView> depth_target;
  D3D11_VIEWPORT viewports[D3D11_VIEWPORT_AND_SCISSORRECT_OBJECT_COUNT_PER_PIPELINE] = {};
  UINT viewport_count = 0;
  D3D11_RECT scissors[D3D11_VIEWPORT_AND_SCISSORRECT_OBJECT_COUNT_PER_PIPELINE] = {};
  UINT scissor_count = 0;
};
