#pragma once
// Vertex-format codes, the layout tokens of shader descriptions, and the Direct3D input elements
// built from them. Pure; also called from shader compile tasks.

#include <cstdint>
#include <vector>

#include "platform/d3d11/d3d11.h"

enum vertex_format_t : int32_t {
  VF_POS = 1,
  VF_POS_XYZW = 2,
  VF_SV_POS_XYZW = 3,
  VF_POS_XY = 4,
  VF_NORMAL = 5,
  VF_TANGENT = 6,
  VF_BINORMAL = 7,
  VF_TEX1 = 8,
  VF_TEX2 = 9,
  VF_TEX3 = 10,
  VF_TEX4 = 11,
  VF_COLOR = 12,
  VF_COLOR_U32 = 13,
};

// One element per known code, semantic indices counted per semantic group, offsets packed.
std::vector<D3D11_INPUT_ELEMENT_DESC> build_input_layout(const std::vector<int32_t>& codes);
// Bytes of one code's element; 0 for unknown codes.
int vertex_format_size(int code);
// The code's semantic group: 1 position, 5 normal, 6 tangent, 7 binormal, 8 texture coordinate,
// 12 colour, 0 none.
int vertex_format_semantic(int code);
