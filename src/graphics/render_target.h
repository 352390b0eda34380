#pragma once
// One record for texture render targets and for GPU buffers: members a kind does not need stay
// null or zero.

#include <cstdint>
#include <memory>

#include "graphics/gpu_buffers.h"
#include "platform/d3d11/d3d11.h"

enum rt_size_t : int32_t {
  RT_SIZE_EXPLICIT = 0,
  RT_SIZE_BACKBUFFER = 1,
  RT_SIZE_HALF = 2,
  RT_SIZE_QUARTER = 3,
  RT_SIZE_EIGHTH = 4,
};

enum rt_flags_t : uint32_t {
  RT_UAV = 0x1,
  RT_SRV = 0x2,
  RT_MIPS = 0x20,
  RT_TEMPORARY = 0x40,
  RT_DEPTH = 0x80,
  // Set by the resources on every target they make; cleared on free pooled ones.
  RT_IN_USE = 0x100000,
};

enum buffer_flags_t : uint32_t {
  BUF_UAV = 0x1,
  BUF_SRV = 0x2,
  BUF_COUNTER = 0x10,
  BUF_INDIRECT_ARGS = 0x100,
  BUF_APPEND = 0x200,
  BUF_COUNT_BUFFER = 0x400,
};

struct render_target_t {
  render_target_t() = default;
  render_target_t(const render_target_t&) = delete;
  render_target_t& operator=(const render_target_t&) = delete;
  ~render_target_t();

  // Copies the hidden counter of `uav` into the first 4 bytes of `count_buffer`, when there is one.
  void copy_counter();

  com_ptr_t<ID3D11Texture2D> texture;
  com_ptr_t<ID3D11RenderTargetView> rtv;
  com_ptr_t<ID3D11ShaderResourceView> srv;
  com_ptr_t<ID3D11UnorderedAccessView> uav;
  com_ptr_t<ID3D11Buffer> buffer;
  D3D11_TEXTURE2D_DESC texture_desc{};
  D3D11_RENDER_TARGET_VIEW_DESC rtv_desc{};
  D3D11_SHADER_RESOURCE_VIEW_DESC srv_desc{};
  D3D11_UNORDERED_ACCESS_VIEW_DESC uav_desc{};
  com_ptr_t<ID3D11Texture2D> ds_texture;
  com_ptr_t<ID3D11ShaderResourceView> ds_srv;
  com_ptr_t<ID3D11DepthStencilView> ds_dsv;
  D3D11_TEXTURE2D_DESC ds_texture_desc{};
  D3D11_DEPTH_STENCIL_VIEW_DESC ds_dsv_desc{};
  D3D11_SHADER_RESOURCE_VIEW_DESC ds_srv_desc{};
  D3D11_VIEWPORT viewport{};
  int32_t size_type = RT_SIZE_EXPLICIT;
  int32_t count = 0;
  int32_t stride = 0;
  std::shared_ptr<constant_buffer_t> count_buffer;
  uint32_t flags = 0;
  int32_t last_frame = 0;
};
