#include "reflection_writer.h"

#include <fmt/printf.h>
#include <spirv_cross/spirv_cross_c.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

#include "blob_writer.h"
#include "platform/d3d11/spirv_reflection.h"

namespace {

// Direct3D reflection enumerations (the values the blob carries).
enum : uint32_t {
  sit_cbuffer = 0,
  sit_texture = 2,
  sit_sampler = 3,
  sit_uav_rwtyped = 4,
  sit_structured = 5,
  sit_uav_rwstructured = 6,
  sit_byteaddress = 7,
  sit_uav_rwbyteaddress = 8,
  sit_uav_append_structured = 9,
  sit_uav_consume_structured = 10,
  sit_uav_rwstructured_with_counter = 11,
};
enum : uint32_t { ct_cbuffer = 0, ct_resource_bind_info = 3 };
enum : uint32_t {
  svc_scalar = 0,
  svc_vector = 1,
  svc_matrix_rows = 2,
  svc_matrix_columns = 3,
  svc_struct = 5
};
enum : uint32_t { svt_void = 0, svt_bool = 1, svt_int = 2, svt_float = 3, svt_uint = 19, svt_double = 39 };
enum : uint32_t { return_sint = 3, return_uint = 4, return_float = 5, return_mixed = 6 };
enum : uint32_t { svf_used = 2, sif_comparison_sampler = 2, sif_texture_components = 0xC };
enum : uint32_t { srv_dimension_buffer = 1 };

constexpr uint32_t texture_shift = 1000;
constexpr uint32_t sampler_shift = 2000;
constexpr uint32_t uav_shift = 3000;
constexpr uint32_t register_bytes = 16;
constexpr uint32_t no_slot = 0xFFFFFFFF;

struct context_deleter_t {
  void operator()(spvc_context_s* context) const { spvc_context_destroy(context); }
};

struct reflector_t {
  spvc_context context = nullptr;
  spvc_compiler compiler = nullptr;
  spvc_resources resources = nullptr;
  spirv_stage_t stage = spirv_stage_t::vertex;
  const hlsl_declarations_t* declarations = nullptr;
  std::string last_error;
};

void capture_error(void* user_data, const char* error) {
  static_cast<reflector_t*>(user_data)->last_error = error;
}

spvc_type type_of(const reflector_t& r, spvc_type_id id) {
  return spvc_compiler_get_type_handle(r.compiler, id);
}

const spvc_reflected_resource* resource_list(const reflector_t& r, spvc_resource_type type, size_t& count) {
  return spirv_resource_list(r.resources, type, count);
}

uint32_t binding_of(const reflector_t& r, spvc_variable_id id) {
  return spvc_compiler_get_decoration(r.compiler, id, SpvDecorationBinding);
}

std::string declared_type(const reflector_t& r, const std::string& name) {
  auto it = r.declarations->resources.find(name);
  return it == r.declarations->resources.end() ? std::string() : it->second.type;
}

uint32_t return_type_of(const reflector_t& r, spvc_type image_type) {
  switch (spvc_type_get_basetype(type_of(r, spvc_type_get_image_sampled_type(image_type)))) {
    case SPVC_BASETYPE_INT32:
      return return_sint;
    case SPVC_BASETYPE_UINT32:
      return return_uint;
    default:
      return return_float;
  }
}

// ---- signatures ----

uint32_t system_value_of(const std::string& semantic, spirv_stage_t stage, bool output) {
  if (stage == spirv_stage_t::vertex && !output) {
    if (semantic == "SV_VERTEXID") return 6;
    if (semantic == "SV_INSTANCEID") return 8;
    return 0;
  }
  static const std::pair<const char*, uint32_t> names[] = {
      {"SV_POSITION", 1},
      {"SV_CLIPDISTANCE", 2},
      {"SV_CULLDISTANCE", 3},
      {"SV_RENDERTARGETARRAYINDEX", 4},
      {"SV_VIEWPORTARRAYINDEX", 5},
      {"SV_VERTEXID", 6},
      {"SV_PRIMITIVEID", 7},
      {"SV_INSTANCEID", 8},
      {"SV_ISFRONTFACE", 9},
      {"SV_SAMPLEINDEX", 10},
      {"SV_TARGET", 64},
      {"SV_DEPTH", 65},
      {"SV_COVERAGE", 66},
  };
  for (const auto& [name, value] : names)
    if (semantic == name) return value;
  return 0;
}

struct signature_t {
  blob_record_t<40> record;
  std::string name;
};

tl::expected<std::vector<signature_t>, std::string> signatures(const reflector_t& r, bool output) {
  std::vector<signature_t> out;
  if (r.stage == spirv_stage_t::compute) return out;  // compute shaders have no signatures
  auto add = [&](spvc_variable_id id, spvc_type_id type_id,
                 const char* variable) -> tl::expected<void, std::string> {
    const char* semantic = spvc_compiler_get_decoration_string(r.compiler, id, SpvDecorationUserSemantic);
    if (semantic == nullptr || *semantic == 0)
      return tl::unexpected(
          fmt::sprintf("stage %s %s has no semantic", output ? "output" : "input", variable));
    signature_t s;
    uint32_t index = 0;
    split_semantic(semantic, s.name, index);
    spvc_type type = type_of(r, type_id);
    const uint32_t components = std::min(4u, std::max(1u, spvc_type_get_vector_size(type)));
    const uint32_t system_value = system_value_of(s.name, r.stage, output);
    uint32_t reg = static_cast<uint32_t>(out.size());
    if (system_value == 64) reg = index;
    if (system_value == 65 || system_value == 66) reg = no_slot;
    const uint8_t mask = static_cast<uint8_t>((1u << components) - 1);
    s.record.set_u32(8, index);
    s.record.set_u32(12, reg);
    s.record.set_u32(16, system_value);
    s.record.set_u32(20, spirv_component_type(type));
    s.record.set_u8(24, mask);
    s.record.set_u8(25, output ? 0 : mask);  // outputs: no component left unwritten
    out.push_back(std::move(s));
    return {};
  };
  size_t count = 0;
  const auto* list =
      resource_list(r, output ? SPVC_RESOURCE_TYPE_STAGE_OUTPUT : SPVC_RESOURCE_TYPE_STAGE_INPUT, count);
  for (size_t i = 0; i < count; ++i)
    if (auto added = add(list[i].id, list[i].type_id, list[i].name); !added)
      return tl::unexpected(added.error());
  const spvc_reflected_builtin_resource* builtins = nullptr;
  size_t builtin_count = 0;
  if (spvc_resources_get_builtin_resource_list_for_type(
          r.resources,
          output ? SPVC_BUILTIN_RESOURCE_TYPE_STAGE_OUTPUT : SPVC_BUILTIN_RESOURCE_TYPE_STAGE_INPUT,
          &builtins, &builtin_count) != SPVC_SUCCESS)
    builtin_count = 0;
  for (size_t i = 0; i < builtin_count; ++i) {
    const char* semantic =
        spvc_compiler_get_decoration_string(r.compiler, builtins[i].resource.id, SpvDecorationUserSemantic);
    if (semantic == nullptr || *semantic == 0) continue;  // a member of a built-in block
    if (auto added = add(builtins[i].resource.id, builtins[i].value_type_id, builtins[i].resource.name);
        !added)
      return tl::unexpected(added.error());
  }
  return out;
}

// ---- bound resources ----

struct binding_t {
  blob_record_t<40> record;
  std::string name;
  uint32_t order = 0;  // samplers, then shader resources, then UAVs, then constant buffers
  uint32_t slot = 0;
  uint32_t stride = 0;  // structured buffers: the element size
  spvc_type_id element_type = 0;
};

binding_t make_binding(const std::string& name, uint32_t type, uint32_t slot, uint32_t order) {
  binding_t b;
  b.name = name;
  b.order = order;
  b.slot = slot;
  b.record.set_u32(8, type);
  b.record.set_u32(12, slot);
  b.record.set_u32(16, 1);
  return b;
}

bool is_structured(uint32_t type) {
  return type == sit_structured || type == sit_uav_rwstructured || type == sit_uav_append_structured ||
         type == sit_uav_consume_structured || type == sit_uav_rwstructured_with_counter;
}

// The runtime array's stride and element type of a storage buffer block.
void element_of(const reflector_t& r, spvc_type_id block_type_id, uint32_t& stride, spvc_type_id& element) {
  spvc_type block = type_of(r, block_type_id);
  const unsigned members = spvc_type_get_num_member_types(block);
  stride = 0;
  element = 0;
  if (members == 0) return;
  const spvc_type_id last_id = spvc_type_get_member_type(block, members - 1);
  spvc_type last = type_of(r, last_id);
  if (spvc_type_get_num_array_dimensions(last) == 0) return;
  unsigned value = 0;
  if (spvc_compiler_type_struct_member_array_stride(r.compiler, block, members - 1, &value) == SPVC_SUCCESS)
    stride = value;
  element = spvc_type_get_base_type_id(last);
}

tl::expected<std::vector<binding_t>, std::string> bound_resources(const reflector_t& r) {
  std::vector<binding_t> out;
  size_t count = 0;

  const auto* samplers = resource_list(r, SPVC_RESOURCE_TYPE_SEPARATE_SAMPLERS, count);
  for (size_t i = 0; i < count; ++i) {
    binding_t b =
        make_binding(samplers[i].name, sit_sampler, binding_of(r, samplers[i].id) - sampler_shift, 0);
    if (declared_type(r, b.name) == "SamplerComparisonState") b.record.set_u32(20, sif_comparison_sampler);
    out.push_back(b);
  }

  const auto* images = resource_list(r, SPVC_RESOURCE_TYPE_SEPARATE_IMAGE, count);
  for (size_t i = 0; i < count; ++i) {
    spvc_type type = type_of(r, images[i].type_id);
    binding_t b = make_binding(images[i].name, sit_texture, binding_of(r, images[i].id) - texture_shift, 1);
    b.record.set_u32(20, sif_texture_components);
    b.record.set_u32(24, return_type_of(r, type));
    b.record.set_u32(28, spirv_srv_dimension(type));
    b.record.set_u32(32, spvc_type_get_image_multisampled(type) ? 0 : no_slot);
    out.push_back(b);
  }

  const auto* storage_images = resource_list(r, SPVC_RESOURCE_TYPE_STORAGE_IMAGE, count);
  for (size_t i = 0; i < count; ++i) {
    spvc_type type = type_of(r, storage_images[i].type_id);
    binding_t b = make_binding(storage_images[i].name, sit_uav_rwtyped,
                               binding_of(r, storage_images[i].id) - uav_shift, 2);
    b.record.set_u32(20, sif_texture_components);
    b.record.set_u32(24, return_type_of(r, type));
    b.record.set_u32(28, spirv_srv_dimension(type));
    b.record.set_u32(32, no_slot);
    out.push_back(b);
  }

  const auto* buffers = resource_list(r, SPVC_RESOURCE_TYPE_STORAGE_BUFFER, count);
  for (size_t i = 0; i < count; ++i) {
    if (spvc_compiler_buffer_is_hlsl_counter_buffer(r.compiler, buffers[i].id)) continue;
    const uint32_t binding = binding_of(r, buffers[i].id);
    const bool uav = binding >= uav_shift;
    spvc_variable_id counter = 0;
    const bool counted = spvc_compiler_buffer_get_hlsl_counter_buffer(r.compiler, buffers[i].id, &counter);
    const std::string declared = declared_type(r, buffers[i].name);
    uint32_t type = sit_structured;
    if (!uav) {
      type = declared == "ByteAddressBuffer" ? sit_byteaddress : sit_structured;
    } else if (declared == "AppendStructuredBuffer") {
      type = sit_uav_append_structured;
    } else if (declared == "ConsumeStructuredBuffer") {
      type = sit_uav_consume_structured;
    } else if (declared == "RWByteAddressBuffer") {
      type = sit_uav_rwbyteaddress;
    } else {
      type = counted ? sit_uav_rwstructured_with_counter : sit_uav_rwstructured;
    }
    binding_t b =
        make_binding(buffers[i].name, type, binding - (uav ? uav_shift : texture_shift), uav ? 2 : 1);
    element_of(r, buffers[i].base_type_id, b.stride, b.element_type);
    b.record.set_u32(24, return_mixed);
    b.record.set_u32(28, srv_dimension_buffer);
    b.record.set_u32(32, is_structured(type) ? b.stride : 0);
    out.push_back(b);
  }

  const auto* cbuffers = resource_list(r, SPVC_RESOURCE_TYPE_UNIFORM_BUFFER, count);
  for (size_t i = 0; i < count; ++i) {
    const char* name = spvc_compiler_get_name(r.compiler, cbuffers[i].base_type_id);
    out.push_back(make_binding(name, sit_cbuffer, binding_of(r, cbuffers[i].id), 3));
  }

  std::stable_sort(out.begin(), out.end(), [](const binding_t& a, const binding_t& b) {
    return a.order != b.order ? a.order < b.order : a.slot < b.slot;
  });
  return out;
}

// ---- constant buffers ----

struct variable_t {
  blob_record_t<48> record;
  std::string name;
  blob_record_t<40> type;
  std::string type_name;
};

struct buffer_t {
  blob_record_t<24> record;
  std::string name;
  std::vector<variable_t> variables;
};

// A member's type as the HLSL compiler lays it out.
struct member_layout_t {
  uint32_t d3d_size = 0;          // bytes the member covers, the last register not padded
  bool starts_register = false;   // arrays, matrices and structures begin a new 16-byte register
  uint32_t std140_alignment = 4;  // base alignment std140 needs
};

std::string scalar_name(uint32_t svt) {
  switch (svt) {
    case svt_bool:
      return "bool";
    case svt_int:
      return "int";
    case svt_uint:
      return "uint";
    case svt_double:
      return "double";
    default:
      return "float";
  }
}

uint32_t scalar_type_of(spvc_type type, bool declared_bool) {
  switch (spvc_type_get_basetype(type)) {
    case SPVC_BASETYPE_BOOLEAN:
      return svt_bool;
    case SPVC_BASETYPE_INT32:
      return svt_int;
    case SPVC_BASETYPE_UINT32:
      return declared_bool ? svt_bool : svt_uint;
    case SPVC_BASETYPE_FP64:
      return svt_double;
    case SPVC_BASETYPE_STRUCT:
      return svt_void;
    default:
      return svt_float;
  }
}

struct layout_error_t {
  std::string member;
  std::string reason;
};

tl::expected<member_layout_t, layout_error_t> describe_member(const reflector_t& r, spvc_type parent,
                                                              unsigned index, bool declared_bool,
                                                              blob_record_t<40>& type_record,
                                                              std::string& type_name);

// Checks a structure's members against both the HLSL packing (glslang's offsets must be what the HLSL
// compiler would choose) and std140 (what GL reads), and returns its HLSL size.
tl::expected<uint32_t, layout_error_t> check_struct(
    const reflector_t& r, spvc_type type, const std::map<std::string, hlsl_declaration_t>* declared) {
  const unsigned members = spvc_type_get_num_member_types(type);
  const spvc_type_id type_id = spvc_type_get_base_type_id(type);
  uint32_t end = 0;
  for (unsigned i = 0; i < members; ++i) {
    const char* member_name = spvc_compiler_get_member_name(r.compiler, type_id, i);
    const std::string name = member_name ? member_name : "";
    bool declared_bool = false;
    if (declared) {
      if (auto it = declared->find(name); it != declared->end())
        declared_bool = it->second.type.rfind("bool", 0) == 0;
    }
    blob_record_t<40> unused_type;
    std::string unused_name;
    auto layout = describe_member(r, type, i, declared_bool, unused_type, unused_name);
    if (!layout) return tl::unexpected(layout.error());
    unsigned offset = 0;
    spvc_compiler_type_struct_member_offset(r.compiler, type, i, &offset);
    uint32_t expected = end;
    const uint32_t used_in_register = end % register_bytes;
    if (layout->starts_register ||
        (used_in_register != 0 && used_in_register + layout->d3d_size > register_bytes))
      expected = (end + register_bytes - 1) / register_bytes * register_bytes;
    if (offset != expected)
      return tl::unexpected(layout_error_t{
          name,
          fmt::sprintf("offset %u here, %u in HLSL packing: start a new float4 after arrays, structures and "
                       "matrices",
                       offset, expected)});
    if (offset % layout->std140_alignment != 0)
      return tl::unexpected(layout_error_t{
          name,
          fmt::sprintf("offset %u is not a multiple of %u, which GL's std140 layout needs: pad with scalars",
                       offset, layout->std140_alignment)});
    end = offset + layout->d3d_size;
  }
  return end;
}

tl::expected<member_layout_t, layout_error_t> describe_member(const reflector_t& r, spvc_type parent,
                                                              unsigned index, bool declared_bool,
                                                              blob_record_t<40>& type_record,
                                                              std::string& type_name) {
  const spvc_type_id parent_id = spvc_type_get_base_type_id(parent);
  const char* member_name = spvc_compiler_get_member_name(r.compiler, parent_id, index);
  const std::string name = member_name ? member_name : "";
  spvc_type type = type_of(r, spvc_type_get_member_type(parent, index));
  member_layout_t layout;

  uint32_t elements = 1;
  const unsigned dimensions = spvc_type_get_num_array_dimensions(type);
  for (unsigned d = 0; d < dimensions; ++d) {
    if (!spvc_type_array_dimension_is_literal(type, d))
      return tl::unexpected(layout_error_t{name, "array sizes must be literal"});
    elements *= spvc_type_get_array_dimension(type, d);
  }
  // The base type id drops the array dimensions.
  spvc_type element = type_of(r, spvc_type_get_base_type_id(type));

  uint32_t klass = svc_scalar;
  uint32_t rows = 1;
  uint32_t columns = 1;
  uint32_t members = 0;
  uint32_t element_size = 0;
  const uint32_t svt = scalar_type_of(element, declared_bool);
  if (spvc_type_get_basetype(element) == SPVC_BASETYPE_STRUCT) {
    klass = svc_struct;
    members = spvc_type_get_num_member_types(element);
    auto size = check_struct(r, element, nullptr);
    if (!size) return tl::unexpected(layout_error_t{name + "." + size.error().member, size.error().reason});
    element_size = *size;
    columns = element_size / 4;
    const char* struct_name = spvc_compiler_get_name(r.compiler, spvc_type_get_base_type_id(element));
    type_name = struct_name ? struct_name : "";
    layout.starts_register = true;
    layout.std140_alignment = register_bytes;
  } else if (spvc_type_get_columns(element) > 1) {
    // HLSL rows are SPIR-V columns; HLSL's default column_major is SPIR-V's RowMajor.
    rows = spvc_type_get_columns(element);
    columns = spvc_type_get_vector_size(element);
    const bool column_major =
        spvc_compiler_has_member_decoration(r.compiler, parent_id, index, SpvDecorationRowMajor);
    klass = column_major ? svc_matrix_columns : svc_matrix_rows;
    element_size =
        column_major ? (columns - 1) * register_bytes + rows * 4 : (rows - 1) * register_bytes + columns * 4;
    type_name = fmt::sprintf("%s%ux%u", scalar_name(svt), rows, columns);
    layout.starts_register = true;
    layout.std140_alignment = register_bytes;
  } else if (spvc_type_get_vector_size(element) > 1) {
    klass = svc_vector;
    columns = spvc_type_get_vector_size(element);
    element_size = columns * 4;
    type_name = fmt::sprintf("%s%u", scalar_name(svt), columns);
    layout.std140_alignment = columns == 2 ? 8 : register_bytes;
  } else {
    element_size = 4;
    type_name = scalar_name(svt);
  }

  layout.d3d_size = element_size;
  if (dimensions > 0) {
    unsigned stride = 0;
    spvc_compiler_type_struct_member_array_stride(r.compiler, parent, index, &stride);
    if (stride % register_bytes != 0)
      return tl::unexpected(
          layout_error_t{name, fmt::sprintf("array stride %u is not a multiple of 16", stride)});
    layout.d3d_size = (elements - 1) * stride + element_size;
    layout.starts_register = true;
    layout.std140_alignment = register_bytes;
  }

  type_record.set_u32(0, klass);
  type_record.set_u32(4, klass == svc_struct ? svt_void : svt);
  type_record.set_u32(8, rows);
  type_record.set_u32(12, columns);
  type_record.set_u32(16, dimensions > 0 ? elements : 0);
  type_record.set_u32(20, members);
  return layout;
}

std::string layout_failure(const reflector_t& r, const std::string& cbuffer, const layout_error_t& error) {
  const std::string top_member = error.member.substr(0, error.member.find('.'));
  const hlsl_location_t where = r.declarations->locate(cbuffer, top_member);
  return fmt::sprintf("%s:%d: error: cbuffer %s, member %s: %s",
                      where.file.empty() ? "<unknown>" : where.file, where.line, cbuffer, error.member,
                      error.reason);
}

tl::expected<buffer_t, std::string> constant_buffer(const reflector_t& r,
                                                    const spvc_reflected_resource& resource) {
  buffer_t buffer;
  const char* name = spvc_compiler_get_name(r.compiler, resource.base_type_id);
  buffer.name = name ? name : "";
  spvc_type type = type_of(r, resource.base_type_id);

  const std::map<std::string, hlsl_declaration_t>* declared = nullptr;
  if (auto it = r.declarations->members.find(buffer.name); it != r.declarations->members.end())
    declared = &it->second;
  auto size = check_struct(r, type, declared);
  if (!size) return tl::unexpected(layout_failure(r, buffer.name, size.error()));

  const spvc_buffer_range* ranges = nullptr;
  size_t range_count = 0;
  spvc_compiler_get_active_buffer_ranges(r.compiler, resource.id, &ranges, &range_count);

  const unsigned members = spvc_type_get_num_member_types(type);
  for (unsigned i = 0; i < members; ++i) {
    variable_t v;
    const char* member_name = spvc_compiler_get_member_name(r.compiler, resource.base_type_id, i);
    v.name = member_name ? member_name : "";
    bool declared_bool = false;
    if (declared) {
      if (auto it = declared->find(v.name); it != declared->end())
        declared_bool = it->second.type.rfind("bool", 0) == 0;
    }
    auto layout = describe_member(r, type, i, declared_bool, v.type, v.type_name);
    if (!layout) return tl::unexpected(layout_failure(r, buffer.name, layout.error()));
    unsigned offset = 0;
    spvc_compiler_type_struct_member_offset(r.compiler, type, i, &offset);
    bool used = false;
    for (size_t k = 0; k < range_count; ++k) used = used || ranges[k].index == i;
    v.record.set_u32(8, offset);
    v.record.set_u32(12, layout->d3d_size);
    v.record.set_u32(16, used ? uint32_t{svf_used} : 0u);
    v.record.set_u32(32, no_slot);
    v.record.set_u32(40, no_slot);
    buffer.variables.push_back(std::move(v));
  }
  buffer.record.set_u32(8, ct_cbuffer);
  buffer.record.set_u32(12, static_cast<uint32_t>(buffer.variables.size()));
  buffer.record.set_u32(16, (*size + register_bytes - 1) / register_bytes * register_bytes);
  return buffer;
}

// The element type of a structured buffer, listed as D3D lists it: a buffer of the resource's name
// with one variable "$Element" whose size is the stride.
buffer_t bind_info_buffer(const reflector_t& r, const binding_t& binding) {
  buffer_t buffer;
  buffer.name = binding.name;
  variable_t v;
  v.name = "$Element";
  v.record.set_u32(12, binding.stride);
  v.record.set_u32(16, svf_used);
  v.record.set_u32(32, no_slot);
  v.record.set_u32(40, no_slot);
  spvc_type element = binding.element_type ? type_of(r, binding.element_type) : nullptr;
  if (element && spvc_type_get_basetype(element) == SPVC_BASETYPE_STRUCT) {
    v.type.set_u32(0, svc_struct);
    v.type.set_u32(8, 1);
    v.type.set_u32(12, binding.stride / 4);
    v.type.set_u32(20, spvc_type_get_num_member_types(element));
    const char* name = spvc_compiler_get_name(r.compiler, binding.element_type);
    v.type_name = name ? name : "";
  } else if (element) {
    const uint32_t svt = scalar_type_of(element, false);
    const uint32_t columns = std::max(1u, spvc_type_get_vector_size(element));
    v.type.set_u32(0, columns > 1 ? svc_vector : svc_scalar);
    v.type.set_u32(4, svt);
    v.type.set_u32(8, 1);
    v.type.set_u32(12, columns);
    v.type_name = columns > 1 ? fmt::sprintf("%s%u", scalar_name(svt), columns) : scalar_name(svt);
  }
  buffer.variables.push_back(std::move(v));
  buffer.record.set_u32(8, ct_resource_bind_info);
  buffer.record.set_u32(12, 1);
  buffer.record.set_u32(16, binding.stride);
  return buffer;
}

// ---- description ----

uint32_t version_of(spirv_stage_t stage) {
  uint32_t program_type = 0;
  switch (stage) {
    case spirv_stage_t::pixel:
      program_type = 0;
      break;
    case spirv_stage_t::vertex:
      program_type = 1;
      break;
    case spirv_stage_t::geometry:
      program_type = 2;
      break;
    case spirv_stage_t::compute:
      program_type = 5;
      break;
  }
  return program_type << 16 | 5 << 4 | 0;  // shader model 5.0
}

void describe_geometry(const reflector_t& r, blob_record_t<160>& description) {
  const SpvExecutionMode* modes = nullptr;
  size_t count = 0;
  if (spvc_compiler_get_execution_modes(r.compiler, &modes, &count) != SPVC_SUCCESS) return;
  uint32_t instances = 1;
  for (size_t i = 0; i < count; ++i) {
    switch (modes[i]) {
      case SpvExecutionModeOutputVertices:
        description.set_u32(116, spvc_compiler_get_execution_mode_argument(r.compiler, modes[i]));
        break;
      case SpvExecutionModeOutputPoints:
        description.set_u32(112, 1);
        break;
      case SpvExecutionModeOutputLineStrip:
        description.set_u32(112, 3);
        break;
      case SpvExecutionModeOutputTriangleStrip:
        description.set_u32(112, 5);
        break;
      case SpvExecutionModeInputPoints:
        description.set_u32(120, 1);
        break;
      case SpvExecutionModeInputLines:
        description.set_u32(120, 2);
        break;
      case SpvExecutionModeTriangles:
        description.set_u32(120, 3);
        break;
      case SpvExecutionModeInputLinesAdjacency:
        description.set_u32(120, 6);
        break;
      case SpvExecutionModeInputTrianglesAdjacency:
        description.set_u32(120, 7);
        break;
      case SpvExecutionModeInvocations:
        instances = spvc_compiler_get_execution_mode_argument(r.compiler, modes[i]);
        break;
      default:
        break;
    }
  }
  description.set_u32(128, instances);
}

}  // namespace

tl::expected<std::vector<uint8_t>, std::string> write_reflection(const std::vector<uint32_t>& spirv,
                                                                 spirv_stage_t stage,
                                                                 const hlsl_declarations_t& declarations) {
  reflector_t r;
  r.stage = stage;
  r.declarations = &declarations;
  if (spvc_context_create(&r.context) != SPVC_SUCCESS) return tl::unexpected(std::string("out of memory"));
  std::unique_ptr<spvc_context_s, context_deleter_t> context_owner(r.context);
  spvc_context_set_error_callback(r.context, capture_error, &r);
  spvc_parsed_ir ir = nullptr;
  if (spvc_context_parse_spirv(r.context, spirv.data(), spirv.size(), &ir) != SPVC_SUCCESS ||
      spvc_context_create_compiler(r.context, SPVC_BACKEND_NONE, ir, SPVC_CAPTURE_MODE_TAKE_OWNERSHIP,
                                   &r.compiler) != SPVC_SUCCESS ||
      spvc_compiler_create_shader_resources(r.compiler, &r.resources) != SPVC_SUCCESS)
    return tl::unexpected(fmt::sprintf("cannot reflect the SPIR-V: %s", r.last_error));

  auto inputs = signatures(r, false);
  if (!inputs) return tl::unexpected(inputs.error());
  auto outputs = signatures(r, true);
  if (!outputs) return tl::unexpected(outputs.error());
  auto bindings = bound_resources(r);
  if (!bindings) return tl::unexpected(bindings.error());

  std::vector<buffer_t> buffers;
  size_t cbuffer_count = 0;
  const auto* cbuffers = resource_list(r, SPVC_RESOURCE_TYPE_UNIFORM_BUFFER, cbuffer_count);
  for (size_t i = 0; i < cbuffer_count; ++i) {
    auto buffer = constant_buffer(r, cbuffers[i]);
    if (!buffer) return tl::unexpected(buffer.error());
    buffers.push_back(std::move(*buffer));
  }
  for (const auto& binding : *bindings) {
    uint32_t type = 0;
    std::memcpy(&type, binding.record.bytes.data() + 8, 4);
    if (is_structured(type)) buffers.push_back(bind_info_buffer(r, binding));
  }

  blob_record_t<160> description;
  description.set_u32(0, version_of(stage));
  description.set_u32(20, static_cast<uint32_t>(buffers.size()));
  description.set_u32(24, static_cast<uint32_t>(bindings->size()));
  description.set_u32(28, static_cast<uint32_t>(inputs->size()));
  description.set_u32(32, static_cast<uint32_t>(outputs->size()));
  if (stage == spirv_stage_t::geometry) describe_geometry(r, description);

  blob_writer_t blob;
  blob.record(description);
  blob.string("pumblecrisp shaderc (glslang, SPIRV-Cross)");
  for (const auto* list : {&*inputs, &*outputs}) {
    blob.count(static_cast<int32_t>(list->size()));
    for (const auto& s : *list) {
      blob.record(s.record);
      blob.string(s.name);
    }
  }
  blob.count(static_cast<int32_t>(bindings->size()));
  for (const auto& b : *bindings) {
    blob.record(b.record);
    blob.string(b.name);
  }
  blob.count(static_cast<int32_t>(buffers.size()));
  for (const auto& buffer : buffers) {
    blob.record(buffer.record);
    blob.string(buffer.name);
    blob.count(static_cast<int32_t>(buffer.variables.size()));
    for (const auto& v : buffer.variables) {
      blob.record(v.record);
      blob.string(v.name);
      blob.record(v.type);
      blob.string(v.type_name);
    }
  }
  return blob.bytes();
}
