#include "graphics/pipeline_states.h"

#include <cfloat>

namespace {

D3D11_RENDER_TARGET_BLEND_DESC default_target_blend() {
  return {FALSE,           D3D11_BLEND_ONE,  D3D11_BLEND_ZERO,   D3D11_BLEND_OP_ADD,
          D3D11_BLEND_ONE, D3D11_BLEND_ZERO, D3D11_BLEND_OP_ADD, D3D11_COLOR_WRITE_ENABLE_ALL};
}

D3D11_RENDER_TARGET_BLEND_DESC target_blend(D3D11_BLEND src, D3D11_BLEND dest, D3D11_BLEND src_alpha,
                                            D3D11_BLEND dest_alpha, UINT8 write_mask) {
  return {TRUE, src, dest, D3D11_BLEND_OP_ADD, src_alpha, dest_alpha, D3D11_BLEND_OP_ADD, write_mask};
}

bool target_equals(const D3D11_RENDER_TARGET_BLEND_DESC& a, const D3D11_RENDER_TARGET_BLEND_DESC& b) {
  return a.BlendEnable == b.BlendEnable && a.SrcBlend == b.SrcBlend && a.DestBlend == b.DestBlend &&
         a.BlendOp == b.BlendOp && a.SrcBlendAlpha == b.SrcBlendAlpha &&
         a.DestBlendAlpha == b.DestBlendAlpha && a.BlendOpAlpha == b.BlendOpAlpha &&
         a.RenderTargetWriteMask == b.RenderTargetWriteMask;
}

bool face_equals(const D3D11_DEPTH_STENCILOP_DESC& a, const D3D11_DEPTH_STENCILOP_DESC& b) {
  return a.StencilFailOp == b.StencilFailOp && a.StencilDepthFailOp == b.StencilDepthFailOp &&
         a.StencilPassOp == b.StencilPassOp && a.StencilFunc == b.StencilFunc;
}

HRESULT create_state(ID3D11Device* device, const D3D11_RASTERIZER_DESC& desc, ID3D11RasterizerState** state) {
  return device->CreateRasterizerState(&desc, state);
}
HRESULT create_state(ID3D11Device* device, const D3D11_BLEND_DESC& desc, ID3D11BlendState** state) {
  return device->CreateBlendState(&desc, state);
}
HRESULT create_state(ID3D11Device* device, const D3D11_DEPTH_STENCIL_DESC& desc,
                     ID3D11DepthStencilState** state) {
  return device->CreateDepthStencilState(&desc, state);
}
HRESULT create_state(ID3D11Device* device, const D3D11_SAMPLER_DESC& desc, ID3D11SamplerState** state) {
  return device->CreateSamplerState(&desc, state);
}

// The shared record of an equal description, else a new one; empty positions are skipped.
template <class Record, class Desc>
std::shared_ptr<Record> find_or_create(ID3D11Device* device, std::vector<std::shared_ptr<Record>>& list,
                                       const Desc& desc) {
  for (const auto& record : list)
    if (record && desc_equals(record->desc, desc)) return record;
  auto record = std::make_shared<Record>();
  record->desc = desc;
  if (FAILED(create_state(device, desc, &record->state))) return nullptr;
  list.push_back(record);
  return record;
}

template <class Record>
std::shared_ptr<Record> preset(const std::vector<std::shared_ptr<Record>>& list, int id, int count) {
  if (id < 1 || id > count || id >= static_cast<int>(list.size())) return nullptr;
  return list[id];
}

}  // namespace

D3D11_RASTERIZER_DESC rasterizer_preset_desc(int id) {
  D3D11_RASTERIZER_DESC desc{
      D3D11_FILL_SOLID, D3D11_CULL_BACK, FALSE, 0, 0.0f, 0.0f, TRUE, FALSE, FALSE, FALSE};
  switch (id) {
    case 2:
      desc.CullMode = D3D11_CULL_NONE;
      break;
    case 3:
      desc.CullMode = D3D11_CULL_FRONT;
      break;
    case 4:
      desc.FillMode = D3D11_FILL_WIREFRAME;
      desc.CullMode = D3D11_CULL_NONE;
      break;
    default:
      break;
  }
  return desc;
}

D3D11_BLEND_DESC blend_preset_desc(int id) {
  D3D11_BLEND_DESC desc{};
  desc.AlphaToCoverageEnable = FALSE;
  desc.IndependentBlendEnable = FALSE;
  for (auto& target : desc.RenderTarget) target = default_target_blend();
  auto& target0 = desc.RenderTarget[0];
  switch (id) {
    case 2:
      desc.IndependentBlendEnable = TRUE;
      target0 = target_blend(D3D11_BLEND_SRC_ALPHA, D3D11_BLEND_INV_SRC_ALPHA, D3D11_BLEND_ONE,
                             D3D11_BLEND_ONE, 0xF);
      break;
    case 4:
      target0 = target_blend(D3D11_BLEND_ONE, D3D11_BLEND_ONE, D3D11_BLEND_ONE, D3D11_BLEND_ONE, 0xF);
      break;
    case 5:
      target0 = target_blend(D3D11_BLEND_ONE, D3D11_BLEND_ZERO, D3D11_BLEND_ONE, D3D11_BLEND_ONE, 0x0);
      break;
    case 6:
      desc.IndependentBlendEnable = TRUE;
      target0 = target_blend(D3D11_BLEND_ONE, D3D11_BLEND_INV_SRC_ALPHA, D3D11_BLEND_ONE,
                             D3D11_BLEND_INV_SRC_ALPHA, 0xF);
      break;
    case 7:
      desc.IndependentBlendEnable = TRUE;
      target0 = target_blend(D3D11_BLEND_ONE, D3D11_BLEND_ONE, D3D11_BLEND_ONE, D3D11_BLEND_ONE, 0xF);
      desc.RenderTarget[1] = target_blend(D3D11_BLEND_ZERO, D3D11_BLEND_INV_SRC_ALPHA, D3D11_BLEND_ZERO,
                                          D3D11_BLEND_INV_SRC_ALPHA, 0xF);
      break;
    case 8:
      target0 = target_blend(D3D11_BLEND_INV_SRC_ALPHA, D3D11_BLEND_SRC_ALPHA, D3D11_BLEND_INV_SRC_ALPHA,
                             D3D11_BLEND_DEST_ALPHA, 0x7);
      break;
    default:  // 1 "default" and 3 "ignorealpha"
      break;
  }
  return desc;
}

D3D11_DEPTH_STENCIL_DESC depth_stencil_preset_desc(int id) {
  const D3D11_DEPTH_STENCILOP_DESC face{D3D11_STENCIL_OP_KEEP, D3D11_STENCIL_OP_KEEP, D3D11_STENCIL_OP_KEEP,
                                        D3D11_COMPARISON_ALWAYS};
  D3D11_DEPTH_STENCIL_DESC desc{
      TRUE, D3D11_DEPTH_WRITE_MASK_ALL, D3D11_COMPARISON_LESS, FALSE, 0xFF, 0xFF, face, face};
  switch (id) {
    case 2:
      desc.DepthEnable = FALSE;
      break;
    case 3:
      desc.DepthWriteMask = D3D11_DEPTH_WRITE_MASK_ZERO;
      break;
    case 4:
      desc.DepthWriteMask = D3D11_DEPTH_WRITE_MASK_ZERO;
      desc.DepthFunc = D3D11_COMPARISON_EQUAL;
      break;
    default:
      break;
  }
  return desc;
}

D3D11_SAMPLER_DESC sampler_preset_desc(int id) {
  D3D11_FILTER filter = D3D11_FILTER_MIN_MAG_MIP_LINEAR;
  D3D11_TEXTURE_ADDRESS_MODE address = D3D11_TEXTURE_ADDRESS_CLAMP;
  switch (id) {
    case 2:
      filter = D3D11_FILTER_MIN_MAG_MIP_POINT;
      break;
    case 3:
      address = D3D11_TEXTURE_ADDRESS_WRAP;
      break;
    case 4:
      address = D3D11_TEXTURE_ADDRESS_MIRROR;
      break;
    default:  // 1 and 5
      break;
  }
  return {filter,   address, address, address, 0.0f, 1, D3D11_COMPARISON_NEVER, {1.0f, 1.0f, 1.0f, 1.0f},
          -FLT_MAX, FLT_MAX};
}

bool desc_equals(const D3D11_RASTERIZER_DESC& a, const D3D11_RASTERIZER_DESC& b) {
  return a.FillMode == b.FillMode && a.CullMode == b.CullMode &&
         a.FrontCounterClockwise == b.FrontCounterClockwise && a.DepthBias == b.DepthBias &&
         a.DepthBiasClamp == b.DepthBiasClamp && a.SlopeScaledDepthBias == b.SlopeScaledDepthBias &&
         a.DepthClipEnable == b.DepthClipEnable && a.ScissorEnable == b.ScissorEnable &&
         a.MultisampleEnable == b.MultisampleEnable && a.AntialiasedLineEnable == b.AntialiasedLineEnable;
}

bool desc_equals(const D3D11_BLEND_DESC& a, const D3D11_BLEND_DESC& b) {
  if (a.AlphaToCoverageEnable != b.AlphaToCoverageEnable ||
      a.IndependentBlendEnable != b.IndependentBlendEnable)
    return false;
  for (int i = 0; i < 8; ++i)
    if (!target_equals(a.RenderTarget[i], b.RenderTarget[i])) return false;
  return true;
}

bool desc_equals(const D3D11_DEPTH_STENCIL_DESC& a, const D3D11_DEPTH_STENCIL_DESC& b) {
  return a.DepthEnable == b.DepthEnable && a.DepthWriteMask == b.DepthWriteMask &&
         a.DepthFunc == b.DepthFunc && a.StencilEnable == b.StencilEnable &&
         a.StencilReadMask == b.StencilReadMask && a.StencilWriteMask == b.StencilWriteMask &&
         face_equals(a.FrontFace, b.FrontFace) && face_equals(a.BackFace, b.BackFace);
}

bool desc_equals(const D3D11_SAMPLER_DESC& a, const D3D11_SAMPLER_DESC& b) {
  for (int i = 0; i < 4; ++i)
    if (a.BorderColor[i] != b.BorderColor[i]) return false;
  return a.Filter == b.Filter && a.AddressU == b.AddressU && a.AddressV == b.AddressV &&
         a.AddressW == b.AddressW && a.MipLODBias == b.MipLODBias && a.MaxAnisotropy == b.MaxAnisotropy &&
         a.ComparisonFunc == b.ComparisonFunc && a.MinLOD == b.MinLOD && a.MaxLOD == b.MaxLOD;
}

std::shared_ptr<rasterizer_state_t> pipeline_state_lists_t::create_rasterizer_state(
    ID3D11Device* device, const D3D11_RASTERIZER_DESC& desc) {
  return find_or_create(device, rasterizer_states, desc);
}
std::shared_ptr<blend_state_t> pipeline_state_lists_t::create_blend_state(ID3D11Device* device,
                                                                          const D3D11_BLEND_DESC& desc) {
  return find_or_create(device, blend_states, desc);
}
std::shared_ptr<depth_stencil_state_t> pipeline_state_lists_t::create_depth_stencil_state(
    ID3D11Device* device, const D3D11_DEPTH_STENCIL_DESC& desc) {
  return find_or_create(device, depth_stencil_states, desc);
}
std::shared_ptr<sampler_state_t> pipeline_state_lists_t::create_sampler_state(
    ID3D11Device* device, const D3D11_SAMPLER_DESC& desc) {
  return find_or_create(device, sampler_states, desc);
}

std::shared_ptr<rasterizer_state_t> pipeline_state_lists_t::get_rasterizer_state(int id) const {
  return preset(rasterizer_states, id, RASTERIZER_PRESET_COUNT);
}
std::shared_ptr<blend_state_t> pipeline_state_lists_t::get_blend_state(int id) const {
  return preset(blend_states, id, BLEND_PRESET_COUNT);
}
std::shared_ptr<depth_stencil_state_t> pipeline_state_lists_t::get_depth_stencil_state(int id) const {
  return preset(depth_stencil_states, id, DEPTH_STENCIL_PRESET_COUNT);
}
std::shared_ptr<sampler_state_t> pipeline_state_lists_t::get_sampler_state(int id) const {
  return preset(sampler_states, id, SAMPLER_PRESET_COUNT);
}

void pipeline_state_lists_t::build_presets(ID3D11Device* device) {
  rasterizer_states.assign(RASTERIZER_PRESET_COUNT + 1, nullptr);
  blend_states.assign(BLEND_PRESET_COUNT + 1, nullptr);
  depth_stencil_states.assign(DEPTH_STENCIL_PRESET_COUNT + 1, nullptr);
  sampler_states.assign(SAMPLER_PRESET_COUNT + 1, nullptr);

  // The order decides which later preset finds an earlier equal one (blend 3 is blend 1, sampler
  // 5 is sampler 1); each made preset is also appended after the preset positions.
  auto rasterizer = [&](int id) {
    rasterizer_states[id] = create_rasterizer_state(device, rasterizer_preset_desc(id));
  };
  auto blend = [&](int id) { blend_states[id] = create_blend_state(device, blend_preset_desc(id)); };
  auto depth_stencil = [&](int id) {
    depth_stencil_states[id] = create_depth_stencil_state(device, depth_stencil_preset_desc(id));
  };
  auto sampler = [&](int id) { sampler_states[id] = create_sampler_state(device, sampler_preset_desc(id)); };

  rasterizer(1);
  blend(1);
  depth_stencil(1);
  sampler(1);
  for (int id : {2, 3, 4}) rasterizer(id);
  for (int id : {2, 6, 4, 3, 5, 7, 8}) blend(id);
  for (int id : {2, 3, 4}) depth_stencil(id);
  for (int id : {5, 3, 4, 2}) sampler(id);
}

void pipeline_state_lists_t::clear() {
  rasterizer_states.clear();
  blend_states.clear();
  depth_stencil_states.clear();
  sampler_states.clear();
}
