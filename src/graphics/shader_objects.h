#pragma once
// The Direct3D objects of one shader stage and its load state: what the graphics runtime binds.
// Shader versions (the shader manager's shader_t) carry them with their reflection and variables.

#include <atomic>
#include <cstdint>

#include "platform/d3d11/d3d11.h"
#include "platform/dxgi/com.h"

enum shader_state_t : int32_t {
  SHADER_STATE_NEW = 0,
  SHADER_STATE_FAILED = 3,
  SHADER_STATE_READY = 4,
};

struct shader_objects_t {
  com_ptr_t<ID3D11InputLayout> input_layout;
  com_ptr_t<ID3D11VertexShader> vertex_shader;
  com_ptr_t<ID3D11GeometryShader> geometry_shader;
  com_ptr_t<ID3D11PixelShader> pixel_shader;
  com_ptr_t<ID3D11ComputeShader> compute_shader;
  // Written by the compile task after every other member; read by holders while it runs.
  std::atomic<int32_t> state{SHADER_STATE_NEW};
};
