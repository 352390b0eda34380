#include "platform/d3d11/input_layout.h"

#include "platform/d3d11/spirv_translate.h"
#include "platform/win32/debugger.h"

namespace {

bool attribute_format(DXGI_FORMAT format, gl_vertex_attribute_t& a) {
  const dxgi_format_info_t& info = dxgi_format_info(format);
  if (!info.supported || info.compressed || info.typeless || info.kind != dxgi_format_kind_t::color)
    return false;
  switch (info.gl_format) {
    case GL_RED:
    case GL_RED_INTEGER:
      a.size = 1;
      break;
    case GL_RG:
    case GL_RG_INTEGER:
      a.size = 2;
      break;
    case GL_RGB:
    case GL_RGB_INTEGER:
      a.size = 3;
      break;
    case GL_RGBA:
    case GL_RGBA_INTEGER:
      a.size = 4;
      break;
    case GL_BGRA:
      a.size = GL_BGRA;
      break;
    default:
      return false;
  }
  a.type = info.gl_type;
  a.integer = info.integer;
  a.normalized = !info.integer && info.gl_type != GL_FLOAT && info.gl_type != GL_HALF_FLOAT;
  return true;
}

}  // namespace

d3d11_input_layout_t::d3d11_input_layout_t(d3d11_device_t* device,
                                           std::vector<gl_vertex_attribute_t> attributes,
                                           const gl_vertex_binding_t (&bindings)[16])
    : device_child_t(device), attributes_(std::move(attributes)) {
  for (int i = 0; i < 16; ++i) bindings_[i] = bindings[i];
}

HRESULT d3d11_input_layout_t::create(d3d11_device_t* device, const D3D11_INPUT_ELEMENT_DESC* elements,
                                     UINT count, const void* code, size_t size, ID3D11InputLayout** layout) {
  if ((count && !elements) || !code || size == 0 || count > 32) return E_INVALIDARG;
  auto vs = translate_spirv(code, size, spirv_stage_t::vertex);
  if (!vs) return E_INVALIDARG;

  // Elements with their resolved offsets, keyed by semantic.
  struct element_t {
    std::string semantic;
    uint32_t index;
    gl_vertex_attribute_t attribute;
  };
  std::vector<element_t> resolved;
  gl_vertex_binding_t bindings[16];
  uint32_t running[16] = {};
  for (UINT i = 0; i < count; ++i) {
    const auto& e = elements[i];
    if (!e.SemanticName || e.InputSlot >= 16) return E_INVALIDARG;
    element_t r;
    split_semantic(e.SemanticName, r.semantic, r.index);
    r.index = e.SemanticIndex;
    if (!attribute_format(e.Format, r.attribute)) return E_INVALIDARG;
    r.attribute.binding = e.InputSlot;
    r.attribute.offset =
        e.AlignedByteOffset == D3D11_APPEND_ALIGNED_ELEMENT ? running[e.InputSlot] : e.AlignedByteOffset;
    running[e.InputSlot] = r.attribute.offset + dxgi_format_info(e.Format).block_bytes;
    gl_vertex_binding_t& b = bindings[e.InputSlot];
    if (b.used && (b.divisor != 0) != (e.InputSlotClass == D3D11_INPUT_PER_INSTANCE_DATA))
      return E_INVALIDARG;
    b.used = true;
    b.divisor = e.InputSlotClass == D3D11_INPUT_PER_INSTANCE_DATA
                    ? (e.InstanceDataStepRate ? e.InstanceDataStepRate : 1)
                    : 0;
    resolved.push_back(r);
  }

  std::vector<gl_vertex_attribute_t> attributes;
  for (const translated_varying_t& input : vs->inputs) {
    if (input.location < 0) continue;  // SV_VertexID and friends come from GL itself
    const element_t* match = nullptr;
    for (const auto& r : resolved)
      if (r.semantic == input.semantic && r.index == input.semantic_index) match = &r;
    if (!match) {
      PLATFORM_LOG_DBG("Input layout lacks %s%u", input.semantic.c_str(), input.semantic_index);
      return E_INVALIDARG;
    }
    gl_vertex_attribute_t a = match->attribute;
    a.location = input.location;
    // An integer input needs integer data; float inputs take float or normalised data.
    if ((input.component_type == 1 || input.component_type == 2) != a.integer) return E_INVALIDARG;
    attributes.push_back(a);
  }
  if (!layout) return S_FALSE;
  *layout = new d3d11_input_layout_t(device, std::move(attributes), bindings);
  return S_OK;
}
