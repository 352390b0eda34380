#include "shaders/cached_reflection.h"

#include <algorithm>
#include <cstring>

namespace {

using cursor_t = cached_reflection_t::cursor_t;

// A fixed-size record, or all zero (the cursor staying) when it does not fit.
template <typename record_t>
void read_record(cursor_t& cursor, record_t& record, size_t size = sizeof(record_t)) {
  std::memset(&record, 0, sizeof(record_t));
  if (cursor.left() < size) return;
  std::memcpy(&record, cursor.bytes + cursor.offset, size);
  cursor.offset += size;
}

int32_t read_count(cursor_t& cursor) {
  int32_t count = 0;
  if (cursor.left() < sizeof(count)) return 0;
  std::memcpy(&count, cursor.bytes + cursor.offset, sizeof(count));
  cursor.offset += sizeof(count);
  return std::clamp(count, 0, cached_reflection_t::max_list_length);
}

template <typename entry_t>
void read_named_records(cursor_t& cursor, std::vector<entry_t>& list) {
  const int32_t count = read_count(cursor);
  for (int32_t i = 0; i < count; ++i) {
    entry_t& entry = list.emplace_back();
    read_record(cursor, entry.record);
    cached_reflection_t::read_blob_string(cursor, entry.name);
  }
}

}  // namespace

bool cached_reflection_t::read_blob_string(cursor_t& cursor, std::string& text) {
  text.clear();
  uint32_t length = 0;
  if (cursor.left() < sizeof(length)) return false;
  std::memcpy(&length, cursor.bytes + cursor.offset, sizeof(length));
  cursor.offset += sizeof(length);
  if (length > cursor.left()) return false;
  text.assign(reinterpret_cast<const char*>(cursor.bytes + cursor.offset), length);
  cursor.offset += length;
  return true;
}

tl::expected<void, std::string> cached_reflection_t::load(const uint8_t* bytes, size_t size) {
  cursor_t cursor{bytes, bytes ? size : 0, 0};
  if (cursor.size >= sizeof(description)) read_record(cursor, description);
  read_blob_string(cursor, creator);
  read_named_records(cursor, input_parameters);
  read_named_records(cursor, output_parameters);
  read_named_records(cursor, bound_resources);

  const int32_t buffer_count = read_count(cursor);
  for (int32_t i = 0; i < buffer_count; ++i) {
    buffer_t& buffer = constant_buffers.emplace_back();
    read_record(cursor, buffer.record);
    read_blob_string(cursor, buffer.name);
    const int32_t variable_count = read_count(cursor);
    for (int32_t j = 0; j < variable_count; ++j) {
      reflected_variable_t& variable = buffer.variables.emplace_back();
      read_record(cursor, variable.record);
      read_blob_string(cursor, variable.name);
      read_record(cursor, variable.type);
      read_blob_string(cursor, variable.type_name);
    }
  }

  // The stored pointers are meaningless; point them at the strings now that no list grows any more.
  description.Creator = creator.c_str();
  for (auto* list : {&input_parameters, &output_parameters})
    for (parameter_t& p : *list) p.record.SemanticName = p.name.c_str();
  for (binding_t& b : bound_resources) b.record.Name = b.name.c_str();
  for (buffer_t& buffer : constant_buffers) {
    buffer.record.Name = buffer.name.c_str();
    for (reflected_variable_t& v : buffer.variables) {
      v.record.Name = v.name.c_str();
      v.type.Name = v.type_name.c_str();
    }
  }
  return {};
}

HRESULT cached_reflection_t::get_desc(D3D11_SHADER_DESC* out) {
  *out = description;
  return S_OK;
}

HRESULT cached_reflection_t::get_input_parameter_desc(uint32_t index, D3D11_SIGNATURE_PARAMETER_DESC* out) {
  if (index >= input_parameters.size()) return E_FAIL;
  *out = input_parameters[index].record;
  return S_OK;
}

HRESULT cached_reflection_t::get_output_parameter_desc(uint32_t index, D3D11_SIGNATURE_PARAMETER_DESC* out) {
  if (index >= output_parameters.size()) return E_FAIL;
  *out = output_parameters[index].record;
  return S_OK;
}

HRESULT cached_reflection_t::get_resource_binding_desc(uint32_t index, D3D11_SHADER_INPUT_BIND_DESC* out) {
  if (index >= bound_resources.size()) return E_FAIL;
  *out = bound_resources[index].record;
  return S_OK;
}

void cached_reflection_t::select_constant_buffer(uint32_t index) {
  if (index < constant_buffers.size()) selected_buffer = &constant_buffers[index];
}

HRESULT cached_reflection_t::get_constant_buffer_desc(D3D11_SHADER_BUFFER_DESC* out) {
  if (!selected_buffer) return E_FAIL;
  *out = selected_buffer->record;
  return S_OK;
}

void cached_reflection_t::select_variable(uint32_t index) {
  if (selected_buffer && index < selected_buffer->variables.size())
    selected_variable = &selected_buffer->variables[index];
}

HRESULT cached_reflection_t::get_variable_desc(D3D11_SHADER_VARIABLE_DESC* out) {
  if (!selected_variable) return E_FAIL;
  *out = selected_variable->record;
  return S_OK;
}

HRESULT cached_reflection_t::get_variable_type_desc(D3D11_SHADER_TYPE_DESC* out) {
  if (!selected_variable) return E_FAIL;
  *out = selected_variable->type;
  return S_OK;
}
