#include "shaders/cached_reflection.h"

#include <algorithm>
#include <cstring>

#include <fmt/format.h>

namespace {

using cursor_t = cached_reflection_t::cursor_t;

// The smallest a list entry can be: its fixed records and the lengths of its strings.
constexpr size_t parameter_bytes = 40 + 4;
constexpr size_t binding_bytes = 40 + 4;
constexpr size_t buffer_bytes = 24 + 4 + 4;
constexpr size_t variable_bytes = 48 + 4 + 40 + 4;

// Reads like the cursor alone, remembering the first place where the blob is not whole.
struct blob_reader_t {
  cursor_t cursor;
  std::string problem;

  void fail(const std::string& text) {
    if (problem.empty()) problem = text;
  }
  void end_inside(const char* what) { fail(fmt::format("ends inside {} at byte {}", what, cursor.offset)); }

  // A fixed-size record, or all zero (the cursor staying) when it does not fit.
  template <typename record_t>
  void record(record_t& out, const char* what) {
    std::memset(&out, 0, sizeof(record_t));
    if (cursor.left() < sizeof(record_t)) return end_inside(what);
    std::memcpy(&out, cursor.bytes + cursor.offset, sizeof(record_t));
    cursor.offset += sizeof(record_t);
  }
  void string(std::string& text, const char* what) {
    if (!cached_reflection_t::read_blob_string(cursor, text)) end_inside(what);
  }
  // A list's length: 0 when it does not fit, at most the cap. A length the bytes left could not
  // hold is a broken blob, though what is there is still read.
  int32_t count(const char* what, size_t entry_bytes) {
    int32_t value = 0;
    if (cursor.left() < sizeof(value)) {
      end_inside(what);
      return 0;
    }
    std::memcpy(&value, cursor.bytes + cursor.offset, sizeof(value));
    cursor.offset += sizeof(value);
    if (value > 0 && uint64_t(value) > cursor.left() / entry_bytes)
      fail(fmt::format("claims {} {} at byte {} where {} bytes are left", value, what, cursor.offset - 4,
                       cursor.left()));
    return std::clamp(value, 0, cached_reflection_t::max_list_length);
  }
};

template <typename entry_t>
void read_named_records(blob_reader_t& in, std::vector<entry_t>& list, const char* what, size_t entry_bytes) {
  const int32_t count = in.count(what, entry_bytes);
  for (int32_t i = 0; i < count; ++i) {
    entry_t& entry = list.emplace_back();
    in.record(entry.record, what);
    in.string(entry.name, what);
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
  blob_reader_t in{cursor_t{bytes, bytes ? size : 0, 0}, {}};
  if (in.cursor.size >= sizeof(description)) in.record(description, "the description");
  in.string(creator, "the creator");
  read_named_records(in, input_parameters, "input parameters", parameter_bytes);
  read_named_records(in, output_parameters, "output parameters", parameter_bytes);
  read_named_records(in, bound_resources, "bound resources", binding_bytes);

  const int32_t buffer_count = in.count("constant buffers", buffer_bytes);
  for (int32_t i = 0; i < buffer_count; ++i) {
    buffer_t& buffer = constant_buffers.emplace_back();
    in.record(buffer.record, "constant buffers");
    in.string(buffer.name, "constant buffers");
    const int32_t variable_count = in.count("variables", variable_bytes);
    for (int32_t j = 0; j < variable_count; ++j) {
      reflected_variable_t& variable = buffer.variables.emplace_back();
      in.record(variable.record, "variables");
      in.string(variable.name, "variables");
      in.record(variable.type, "variables");
      in.string(variable.type_name, "variables");
    }
  }
  // A shader cached without reflection has an empty blob: nothing to apply, nothing wrong.
  if (in.cursor.size == 0) in.problem.clear();

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
  if (!in.problem.empty()) return tl::unexpected(in.problem);
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
