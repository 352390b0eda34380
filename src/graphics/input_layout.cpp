#include "graphics/input_layout.h"

#include <array>

namespace {

struct vertex_format_info_t {
  const char* semantic;
  DXGI_FORMAT format;
  int size;
  // The semantic-index counter the code shares: "SV_POSITION" counts with "POSITION".
  int group;
};

constexpr std::array<vertex_format_info_t, 14> vertex_formats = {{
    {nullptr, DXGI_FORMAT_UNKNOWN, 0, 0},
    {"POSITION", DXGI_FORMAT_R32G32B32_FLOAT, 12, 1},
    {"POSITION", DXGI_FORMAT_R32G32B32A32_FLOAT, 16, 1},
    {"SV_POSITION", DXGI_FORMAT_R32G32B32A32_FLOAT, 16, 1},
    {"POSITION", DXGI_FORMAT_R32G32_FLOAT, 8, 1},
    {"NORMAL", DXGI_FORMAT_R32G32B32_FLOAT, 12, 5},
    {"TANGENT", DXGI_FORMAT_R32G32B32_FLOAT, 12, 6},
    {"BINORMAL", DXGI_FORMAT_R32G32B32_FLOAT, 12, 7},
    {"TEXCOORD", DXGI_FORMAT_R32_FLOAT, 4, 8},
    {"TEXCOORD", DXGI_FORMAT_R32G32_FLOAT, 8, 8},
    {"TEXCOORD", DXGI_FORMAT_R32G32B32_FLOAT, 12, 8},
    {"TEXCOORD", DXGI_FORMAT_R32G32B32A32_FLOAT, 16, 8},
    {"COLOR", DXGI_FORMAT_R32G32B32A32_FLOAT, 16, 12},
    {"COLOR", DXGI_FORMAT_R8G8B8A8_UNORM, 4, 12},
}};

const vertex_format_info_t& format_info(int code) {
  if (code < VF_POS || code > VF_COLOR_U32) return vertex_formats[0];
  return vertex_formats[code];
}

}  // namespace

std::vector<D3D11_INPUT_ELEMENT_DESC> build_input_layout(const std::vector<int32_t>& codes) {
  std::vector<D3D11_INPUT_ELEMENT_DESC> elements;
  std::array<UINT, 13> semantic_index{};
  UINT offset = 0;
  for (int32_t code : codes) {
    const vertex_format_info_t& info = format_info(code);
    if (info.semantic) {
      elements.push_back({info.semantic, semantic_index[info.group]++, info.format, 0, offset,
                          D3D11_INPUT_PER_VERTEX_DATA, 0});
    }
    offset += info.size;
  }
  return elements;
}

int vertex_format_size(int code) { return format_info(code).size; }

int vertex_format_semantic(int code) { return format_info(code).group; }
