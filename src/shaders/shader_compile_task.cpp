#include "shaders/shader_compile_task.h"

#include <unordered_map>

#include <fmt/printf.h>

#include "shaders/cached_reflection.h"
#include "graphics/graphics_resources.h"
#include "graphics/graphics_system.h"
#include "graphics/input_layout.h"
#include "support/systems.h"
#include "platform/win32/events.h"
#include "platform/win32/perf_counter.h"
#include "support/log.h"

namespace {

bool is_int_component(D3D_SHADER_VARIABLE_TYPE type) { return type == D3D_SVT_INT || type == D3D_SVT_UINT; }

// Creates the stage's object; S_OK for stages without one.
HRESULT create_stage_object(ID3D11Device* device, shader_t& shader, const std::vector<uint8_t>& code) {
  const void* bytes = code.data();
  const SIZE_T size = code.size();
  HRESULT hr = S_OK;
  const char* stage_name = nullptr;
  switch (shader.stage) {
    case SHADER_STAGE_VERTEX:
      hr = device->CreateVertexShader(bytes, size, nullptr, &shader.vertex_shader);
      stage_name = "vertex";
      break;
    case SHADER_STAGE_GEOMETRY:
      hr = device->CreateGeometryShader(bytes, size, nullptr, &shader.geometry_shader);
      stage_name = "geometry";
      break;
    case SHADER_STAGE_PIXEL:
      hr = device->CreatePixelShader(bytes, size, nullptr, &shader.pixel_shader);
      stage_name = "pixel";
      break;
    case SHADER_STAGE_COMPUTE:
      hr = device->CreateComputeShader(bytes, size, nullptr, &shader.compute_shader);
      stage_name = "compute";
      break;
    default:
      return S_OK;
  }
  if (FAILED(hr))
    LOG_INF("Error creating %s shader: %s (%x)", stage_name, hresult_message(hr).c_str(), static_cast<unsigned>(hr));
  return hr;
}

// The device's slots for a bound resource of this input type; everything else has no register.
uint32_t device_slot_count(D3D_SHADER_INPUT_TYPE type) {
  switch (type) {
    case D3D_SIT_CBUFFER: return D3D11_COMMONSHADER_CONSTANT_BUFFER_API_SLOT_COUNT;
    case D3D_SIT_SAMPLER: return D3D11_COMMONSHADER_SAMPLER_SLOT_COUNT;
    case D3D_SIT_TEXTURE:
    case D3D_SIT_STRUCTURED:
    case D3D_SIT_BYTEADDRESS: return D3D11_COMMONSHADER_INPUT_RESOURCE_SLOT_COUNT;
    case D3D_SIT_UAV_RWTYPED:
    case D3D_SIT_UAV_RWSTRUCTURED:
    case D3D_SIT_UAV_RWBYTEADDRESS:
    case D3D_SIT_UAV_APPEND_STRUCTURED:
    case D3D_SIT_UAV_CONSUME_STRUCTURED:
    case D3D_SIT_UAV_RWSTRUCTURED_WITH_COUNTER: return D3D11_1_UAV_SLOT_COUNT;
    default: return UINT32_MAX;
  }
}

}  // namespace

uint8_t reflected_entry_type(const D3D11_SHADER_TYPE_DESC& type) {
  const bool integer = is_int_component(type.Type);
  switch (type.Class) {
    case D3D_SVC_SCALAR:
      if (type.Type == D3D_SVT_BOOL) return VT_BOOL;
      if (integer) return VT_INT;
      if (type.Type == D3D_SVT_FLOAT) return VT_FLOAT;
      return VT_NONE;
    case D3D_SVC_VECTOR:
      switch (type.Columns) {
        case 2:
          return integer ? VT_INT2 : VT_FLOAT2;
        case 3:
          return integer ? VT_INT3 : VT_FLOAT3;
        case 4:
          return integer ? VT_INT4 : VT_FLOAT4;
        default:
          return VT_NONE;
      }
    case D3D_SVC_MATRIX_COLUMNS:
      if (type.Rows == 3 && type.Columns == 3) return VT_FLOAT3X3;
      if (type.Rows == 4 && type.Columns == 4) return VT_FLOAT4X4;
      return VT_NONE;
    default:
      return VT_NONE;
  }
}

compile_task_t::compile_task_t(shader_loaded_interface_t* manager) : enki::ITaskSet(1, 1), manager(manager) {
  LOG_INF("Creating compile task: %p", static_cast<void*>(this));
}

compile_task_t::~compile_task_t() { LOG_INF("Deleting compile task: %p", static_cast<void*>(this)); }

void compile_task_t::ExecuteRange(enki::TaskSetPartition, uint32_t) {
  const uint32_t t = timeGetTime();
  shader_t& version = *shader;
  const std::string path = version.path.full;
  const std::string entry_point = version.entry_point;
  LOG_INF("Using cached data for shader: %s:%s", path.c_str(), entry_point.c_str());

  ID3D11Device* device = S(gsys)->get_device();
  HRESULT hr = device ? create_stage_object(device, version, code) : E_FAIL;
  if (SUCCEEDED(hr) && version.stage == SHADER_STAGE_VERTEX && !request.vs_layout.empty()) {
    const std::vector<int32_t> codes(request.vs_layout.begin(), request.vs_layout.end());
    const std::vector<D3D11_INPUT_ELEMENT_DESC> elements = build_input_layout(codes);
    hr = device->CreateInputLayout(elements.data(), static_cast<UINT>(elements.size()), code.data(), code.size(),
                                   &version.input_layout);
    if (FAILED(hr)) {
      LOG_INF("Error creating input layout: %s (%x)", hresult_message(hr).c_str(), static_cast<unsigned>(hr));
      version.input_layout.Release();
    }
  }

  if (FAILED(hr)) {
    error = fmt::sprintf("Error compiling shader: %s, entry point: %s", path, entry_point);
  } else {
    cached_reflection_t reflected;
    auto reflected_ok = reflected.load(reflection.data(), reflection.size());
    if (reflected_ok) reflected_ok = apply_reflection(reflected);
    if (!reflected_ok) {
      error = fmt::sprintf("Error reading reflection for: %s, entry point: %s, err: %s", path, entry_point,
                           reflected_ok.error());
    } else if (!metadata_path.empty()) {
      if (auto applied = apply_metadata(); !applied)
        error = fmt::sprintf("Error applying metadata for: %s, err: %s", path, applied.error());
    }
  }

  const int32_t new_state = error.empty() ? SHADER_STATE_READY : SHADER_STATE_FAILED;
  if (error.empty()) version.variables_bound = false;
  if (new_state != version.state) {
    version.changed = true;
    version.state = new_state;
  }
  SetEvent(version.done_event);
  // The manager may free this task once it knows about it; nothing below touches shared state.
  const std::string final_error = error;
  const uint32_t start = static_cast<uint32_t>(start_time);
  manager->on_shader_loaded(*this, new_state);

  const uint32_t now = timeGetTime();
  const int32_t executed = static_cast<int32_t>(now - t);
  const int32_t total = static_cast<int32_t>(now - start);
  if (!final_error.empty()) LOG_WRN("%s", final_error.c_str());
  LOG_INF("[SHD]: done compile task in %dms: (total: %dms) %s, %s. %s", executed, total, path.c_str(),
          entry_point.c_str(), final_error.empty() ? "ok" : final_error.c_str());
}

tl::expected<void, std::string> compile_task_t::apply_reflection(reflection_interface_t& reflected) {
  shader_t& version = *shader;
  reflected.get_desc(&description);
  // The description's counts come from the blob as written; the lists end at the first index the
  // reflection cannot answer, and every later one is unanswered too.
  std::string problem;

  for (shader_output_slot_t& slot : version.outputs) slot = shader_output_slot_t{};
  for (uint32_t i = 0; i < description.OutputParameters; ++i) {
    D3D11_SIGNATURE_PARAMETER_DESC parameter{};
    if (FAILED(reflected.get_output_parameter_desc(i, &parameter))) break;
    if (parameter.SemanticIndex >= SHADER_SLOT_COUNT) continue;
    shader_output_slot_t& slot = version.outputs[parameter.SemanticIndex];
    slot.parameter = parameter;
    // The name points into the reflection, which goes when the task ends.
    slot.parameter.SemanticName = nullptr;
    slot.used = true;
  }

  for (shader_resource_slot_t& slot : version.resources) slot = shader_resource_slot_t{};
  version.samplers.clear();
  std::unordered_map<std::string, int32_t> cbuffer_slots;
  for (uint32_t i = 0; i < description.BoundResources; ++i) {
    D3D11_SHADER_INPUT_BIND_DESC binding{};
    if (FAILED(reflected.get_resource_binding_desc(i, &binding))) break;
    const std::string name = binding.Name ? binding.Name : "";
    // A register the device has no slot for cannot come from a compiler: the blob is broken. What
    // the tables cannot hold is not stored anyway; the sampler list is sized by its registers.
    const uint32_t slots = device_slot_count(binding.Type);
    const bool has_slot = binding.BindPoint < slots;
    if (!has_slot && problem.empty())
      problem = fmt::sprintf("%s at register %u, the device has %u", name, binding.BindPoint, slots);
    const shader_binding_t record{name, static_cast<int32_t>(binding.Type), static_cast<int32_t>(binding.BindPoint),
                                  static_cast<int32_t>(binding.uFlags)};
    const bool in_range = binding.BindPoint < SHADER_SLOT_COUNT;
    switch (binding.Type) {
      case D3D_SIT_CBUFFER:
        cbuffer_slots[name] = static_cast<int32_t>(binding.BindPoint);
        break;
      case D3D_SIT_SAMPLER:
        if (has_slot) version.samplers.push_back(record);
        break;
      case D3D_SIT_TEXTURE:
      case D3D_SIT_UAV_RWTYPED:
      case D3D_SIT_STRUCTURED:
      case D3D_SIT_UAV_RWSTRUCTURED:
      case D3D_SIT_BYTEADDRESS:
      case D3D_SIT_UAV_RWBYTEADDRESS:
      case D3D_SIT_UAV_CONSUME_STRUCTURED:
      case D3D_SIT_UAV_RWSTRUCTURED_WITH_COUNTER: {
        if (!in_range) break;
        shader_resource_slot_t& slot = version.resources[binding.BindPoint];
        slot.input_type = record.input_type;
        slot.binding = record;
        slot.binding_name = name;
        if (binding.Type == D3D_SIT_TEXTURE) slot.display_name = name;
        slot.needs_texture = true;
        break;
      }
      case D3D_SIT_UAV_APPEND_STRUCTURED: {
        if (!in_range) break;
        shader_output_slot_t& slot = version.outputs[binding.BindPoint];
        slot.name = name;
        slot.kind = D3D_SIT_UAV_APPEND_STRUCTURED;
        slot.bind_point = record.bind_point;
        slot.flags = record.flags;
        slot.used = true;
        break;
      }
      default:
        LOG_DBG("Unsupported bound resource %d in %s:%s", static_cast<int>(binding.Type), version.path.full.c_str(),
                version.entry_point.c_str());
        break;
    }
  }

  version.cbuffers.clear();
  // A selection past a list keeps the previous one, which then answers again: its name pointer
  // shows that the index could not be answered.
  const char* previous_buffer = nullptr;
  const char* previous_variable = nullptr;
  for (uint32_t i = 0; i < description.ConstantBuffers; ++i) {
    reflected.select_constant_buffer(i);
    D3D11_SHADER_BUFFER_DESC buffer_desc{};
    if (FAILED(reflected.get_constant_buffer_desc(&buffer_desc)) || buffer_desc.Name == previous_buffer) break;
    previous_buffer = buffer_desc.Name;
    const std::string buffer_name = buffer_desc.Name ? buffer_desc.Name : "";
    if (buffer_desc.Type == D3D_CT_RESOURCE_BIND_INFO) {
      version.buffer_strides[buffer_name] = static_cast<int32_t>(buffer_desc.Size);
      continue;
    }
    if (buffer_desc.Type != D3D_CT_CBUFFER) continue;

    auto buffer = std::make_unique<cbuffer_t>();
    buffer->name = buffer_name;
    for (uint32_t j = 0; j < buffer_desc.Variables; ++j) {
      reflected.select_variable(j);
      D3D11_SHADER_VARIABLE_DESC variable{};
      D3D11_SHADER_TYPE_DESC type{};
      if (FAILED(reflected.get_variable_desc(&variable)) || FAILED(reflected.get_variable_type_desc(&type)) ||
          variable.Name == previous_variable)
        break;
      previous_variable = variable.Name;
      const std::string name = variable.Name ? variable.Name : "";
      if (!(variable.uFlags & D3D_SVF_USED)) {
        LOG_INF("Skipping unused cb entry: %s", name.c_str());
        continue;
      }
      if (type.Class == D3D_SVC_STRUCT) continue;
      uint8_t entry_type = reflected_entry_type(type);
      if (entry_type == VT_NONE) {
        LOG_DBG("Skipping unsupported variable: %s", name.c_str());
        continue;
      }
      if (name.compare(0, 4, "_pad") == 0) {
        LOG_INF("Skipping padding: %s", name.c_str());
        continue;
      }
      if (entry_type == VT_FLOAT4 && name.find("col") != std::string::npos) entry_type = VT_COLOR;
      cb_entry_t& entry = buffer->entries.emplace_back();
      entry.name = name;
      entry.var_name = name;
      entry.offset = static_cast<int32_t>(variable.StartOffset);
      entry.type = entry_type;
      entry.default_value = make_default_value(variable_type_t(entry_type));
    }
    if (buffer->entries.empty()) continue;

    auto found = cbuffer_slots.find(buffer_name);
    const int32_t slot = found != cbuffer_slots.end() ? found->second : static_cast<int32_t>(i);
    // Registers beyond the Direct3D 11 constant-buffer slots cannot be bound.
    if (slot < 0 || slot >= static_cast<int32_t>(D3D11_COMMONSHADER_CONSTANT_BUFFER_API_SLOT_COUNT)) continue;
    if (version.cbuffers.size() < static_cast<size_t>(slot) + 1) version.cbuffers.resize(slot + 1);
    buffer->size = static_cast<int32_t>(buffer_desc.Size);
    buffer->stages = version.stage;
    buffer->slot = slot;
    if (S(resources)) buffer->buffer = S(resources)->create_constant_buffer(buffer->size, true, nullptr);
    version.cbuffers[slot] = std::move(buffer);
  }
  if (!problem.empty()) return tl::unexpected(problem);
  return {};
}
