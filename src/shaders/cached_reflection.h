#pragma once
// The reflection of a pre-compiled shader, read from the blob the content build wrote beside its
// bytecode. It answers the questions the compile task would ask Direct3D's shader reflection, with
// the same description records as results.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <tl/expected.hpp>

#include "platform/d3d11/d3d11_shader.h"

// The part of ID3D11ShaderReflection the compile task uses.
class reflection_interface_t {
 public:
  virtual ~reflection_interface_t() = default;
  virtual HRESULT get_desc(D3D11_SHADER_DESC* out) = 0;
  // E_FAIL with `out` untouched when the index is past the list.
  virtual HRESULT get_input_parameter_desc(uint32_t index, D3D11_SIGNATURE_PARAMETER_DESC* out) = 0;
  virtual HRESULT get_output_parameter_desc(uint32_t index, D3D11_SIGNATURE_PARAMETER_DESC* out) = 0;
  virtual HRESULT get_resource_binding_desc(uint32_t index, D3D11_SHADER_INPUT_BIND_DESC* out) = 0;
  // An index past the list keeps the selection as it was.
  virtual void select_constant_buffer(uint32_t index) = 0;
  virtual HRESULT get_constant_buffer_desc(D3D11_SHADER_BUFFER_DESC* out) = 0;
  // Selects a variable of the selected buffer; no buffer, or an index past its list, changes nothing.
  virtual void select_variable(uint32_t index) = 0;
  virtual HRESULT get_variable_desc(D3D11_SHADER_VARIABLE_DESC* out) = 0;
  virtual HRESULT get_variable_type_desc(D3D11_SHADER_TYPE_DESC* out) = 0;
};

class cached_reflection_t final : public reflection_interface_t {
 public:
  struct parameter_t {
    D3D11_SIGNATURE_PARAMETER_DESC record{};
    std::string name;
  };
  struct binding_t {
    D3D11_SHADER_INPUT_BIND_DESC record{};
    std::string name;
  };
  struct reflected_variable_t {
    D3D11_SHADER_VARIABLE_DESC record{};
    std::string name;
    D3D11_SHADER_TYPE_DESC type{};
    std::string type_name;
  };
  struct buffer_t {
    D3D11_SHADER_BUFFER_DESC record{};
    std::string name;
    std::vector<reflected_variable_t> variables;
  };

  // A blob's lists may claim more records than it holds; the missing ones read as zero records.
  // This many are the most a list keeps, so a hostile count cannot exhaust memory.
  static constexpr int32_t max_list_length = 16384;

  cached_reflection_t() = default;
  cached_reflection_t(const cached_reflection_t&) = delete;
  cached_reflection_t& operator=(const cached_reflection_t&) = delete;

  // Parses a blob into this empty object. Short, truncated and inconsistent blobs yield zeros,
  // empty names and fewer records, and the load fails with where the blob stops being whole: a
  // record or string past its end, or a list longer than its bytes could hold. An empty blob is
  // a shader without reflection and loads.
  tl::expected<void, std::string> load(const uint8_t* bytes, size_t size);

  HRESULT get_desc(D3D11_SHADER_DESC* out) override;
  HRESULT get_input_parameter_desc(uint32_t index, D3D11_SIGNATURE_PARAMETER_DESC* out) override;
  HRESULT get_output_parameter_desc(uint32_t index, D3D11_SIGNATURE_PARAMETER_DESC* out) override;
  HRESULT get_resource_binding_desc(uint32_t index, D3D11_SHADER_INPUT_BIND_DESC* out) override;
  void select_constant_buffer(uint32_t index) override;
  HRESULT get_constant_buffer_desc(D3D11_SHADER_BUFFER_DESC* out) override;
  void select_variable(uint32_t index) override;
  HRESULT get_variable_desc(D3D11_SHADER_VARIABLE_DESC* out) override;
  HRESULT get_variable_type_desc(D3D11_SHADER_TYPE_DESC* out) override;

  // A position in the blob being read.
  struct cursor_t {
    const uint8_t* bytes = nullptr;
    size_t size = 0;
    size_t offset = 0;
    size_t left() const { return size - offset; }
  };
  // A u32 length and that many bytes. False with an empty string when the length does not fit
  // (the cursor stays) or the bytes do not (the cursor stays after the length).
  static bool read_blob_string(cursor_t& cursor, std::string& text);

  D3D11_SHADER_DESC description{};
  std::string creator;
  std::vector<parameter_t> input_parameters;
  std::vector<parameter_t> output_parameters;
  std::vector<binding_t> bound_resources;
  std::vector<buffer_t> constant_buffers;
  buffer_t* selected_buffer = nullptr;
  reflected_variable_t* selected_variable = nullptr;
};
