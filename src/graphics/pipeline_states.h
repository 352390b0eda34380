#pragma once
// Shared pipeline-state records and the numbered presets that render passes, state sets and the
// shader manager select by id. Each record keeps the description it was made from, so that equal
// descriptions share one Direct3D object.

#include <memory>
#include <vector>

#include "platform/d3d11/d3d11.h"

struct rasterizer_state_t {
  D3D11_RASTERIZER_DESC desc{};
  com_ptr_t<ID3D11RasterizerState> state;
};
struct blend_state_t {
  D3D11_BLEND_DESC desc{};
  com_ptr_t<ID3D11BlendState> state;
};
struct depth_stencil_state_t {
  D3D11_DEPTH_STENCIL_DESC desc{};
  com_ptr_t<ID3D11DepthStencilState> state;
};
struct sampler_state_t {
  D3D11_SAMPLER_DESC desc{};
  com_ptr_t<ID3D11SamplerState> state;
};

// Highest preset id of each kind; position 0 of every list is empty.
constexpr int RASTERIZER_PRESET_COUNT = 4;
constexpr int BLEND_PRESET_COUNT = 8;
constexpr int DEPTH_STENCIL_PRESET_COUNT = 4;
constexpr int SAMPLER_PRESET_COUNT = 5;

// Descriptions of the presets, by id (1 to the count above).
D3D11_RASTERIZER_DESC rasterizer_preset_desc(int id);
D3D11_BLEND_DESC blend_preset_desc(int id);
D3D11_DEPTH_STENCIL_DESC depth_stencil_preset_desc(int id);
D3D11_SAMPLER_DESC sampler_preset_desc(int id);

// Member-by-member equality of descriptions (the rule by which states are shared).
bool desc_equals(const D3D11_RASTERIZER_DESC& a, const D3D11_RASTERIZER_DESC& b);
bool desc_equals(const D3D11_BLEND_DESC& a, const D3D11_BLEND_DESC& b);
bool desc_equals(const D3D11_DEPTH_STENCIL_DESC& a, const D3D11_DEPTH_STENCIL_DESC& b);
bool desc_equals(const D3D11_SAMPLER_DESC& a, const D3D11_SAMPLER_DESC& b);

// The four state lists of the graphics resources; position i of a list is preset id i.
struct pipeline_state_lists_t {
  std::vector<std::shared_ptr<rasterizer_state_t>> rasterizer_states;
  std::vector<std::shared_ptr<blend_state_t>> blend_states;
  std::vector<std::shared_ptr<depth_stencil_state_t>> depth_stencil_states;
  std::vector<std::shared_ptr<sampler_state_t>> sampler_states;

  // The existing record of an equal description, else a new one appended to the list; an empty
  // handle when the device refuses the description.
  std::shared_ptr<rasterizer_state_t> create_rasterizer_state(ID3D11Device* device,
                                                              const D3D11_RASTERIZER_DESC& desc);
  std::shared_ptr<blend_state_t> create_blend_state(ID3D11Device* device, const D3D11_BLEND_DESC& desc);
  std::shared_ptr<depth_stencil_state_t> create_depth_stencil_state(ID3D11Device* device,
                                                                    const D3D11_DEPTH_STENCIL_DESC& desc);
  std::shared_ptr<sampler_state_t> create_sampler_state(ID3D11Device* device, const D3D11_SAMPLER_DESC& desc);

  // Empty handles for id 0 and ids outside the preset range.
  std::shared_ptr<rasterizer_state_t> get_rasterizer_state(int id) const;
  std::shared_ptr<blend_state_t> get_blend_state(int id) const;
  std::shared_ptr<depth_stencil_state_t> get_depth_stencil_state(int id) const;
  std::shared_ptr<sampler_state_t> get_sampler_state(int id) const;

  // Sizes the lists to their presets and makes them in the fixed order; a refused preset stays an
  // empty position.
  void build_presets(ID3D11Device* device);
  void clear();
};
