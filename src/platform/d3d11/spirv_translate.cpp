#include "platform/d3d11/spirv_translate.h"

#include "platform/d3d11/spirv_reflection.h"

#include <epoxy/gl.h>
#include <fmt/printf.h>
#include <spirv-tools/libspirv.h>
#include <spirv_cross/spirv_cross_c.h>

#include <atomic>
#include <cctype>
#include <cstring>
#include <memory>
#include <mutex>

namespace {

// One place per (semantic, index) for every stage. Vertex-layout semantics come first so that vertex
// inputs stay below the vertex attribute limit.
struct semantic_range_t {
  const char* name;
  uint32_t count;
  int32_t base;
};

constexpr semantic_range_t semantic_table[] = {
    {"POSITION", 2, 0},  {"SV_POSITION", 1, 2},  {"NORMAL", 2, 3},
    {"TANGENT", 1, 5},   {"BINORMAL", 1, 6},     {"COLOR", 2, 7},
    {"TEXCOORD", 16, 9}, {"BLENDWEIGHT", 1, 25}, {"BLENDINDICES", 1, 26},
};

constexpr uint32_t uniform_blocks_per_stage = 16;
constexpr uint32_t texture_units_per_stage = 32;
constexpr uint32_t srv_buffers_per_stage = 16;
constexpr uint32_t srv_buffer_base = 16;
constexpr uint32_t uav_slots = 8;
constexpr uint32_t uav_counter_base = 8;
constexpr uint32_t max_render_targets = 8;
constexpr uint32_t max_vertex_inputs = 16;

// glslang's register shifts (--stb 1000 --ssb 2000 --suavb 3000, b unshifted).
// The device's register counts: a shader naming a register past them could never be bound.
constexpr uint32_t constant_buffer_registers = 14;
constexpr uint32_t texture_registers = 128;
constexpr uint32_t sampler_registers = 16;
constexpr uint32_t texture_shift = 1000;
constexpr uint32_t sampler_shift = 2000;
constexpr uint32_t uav_shift = 3000;

struct context_deleter_t {
  void operator()(spvc_context_s* context) const { spvc_context_destroy(context); }
};
using context_ptr_t = std::unique_ptr<spvc_context_s, context_deleter_t>;

struct translator_t {
  spvc_context context = nullptr;
  spvc_compiler compiler = nullptr;
  std::string last_error;
  uint32_t stage_index = 0;
};

void capture_error(void* user_data, const char* error) {
  static_cast<translator_t*>(user_data)->last_error = error;
}

std::string failure(const translator_t& t, const char* what) {
  if (t.last_error.empty()) return what;
  return fmt::sprintf("%s: %s", what, t.last_error);
}

SpvExecutionModel execution_model_of(spirv_stage_t stage) {
  switch (stage) {
    case spirv_stage_t::vertex:
      return SpvExecutionModelVertex;
    case spirv_stage_t::geometry:
      return SpvExecutionModelGeometry;
    case spirv_stage_t::pixel:
      return SpvExecutionModelFragment;
    case spirv_stage_t::compute:
      return SpvExecutionModelGLCompute;
  }
  return SpvExecutionModelMax;
}

uint32_t gl_image_format_of(SpvImageFormat format) {
  switch (format) {
    case SpvImageFormatRgba32f:
      return GL_RGBA32F;
    case SpvImageFormatRgba16f:
      return GL_RGBA16F;
    case SpvImageFormatR32f:
      return GL_R32F;
    case SpvImageFormatRgba8:
      return GL_RGBA8;
    case SpvImageFormatRg32f:
      return GL_RG32F;
    case SpvImageFormatRg16f:
      return GL_RG16F;
    case SpvImageFormatR16f:
      return GL_R16F;
    case SpvImageFormatRgba16:
      return GL_RGBA16;
    case SpvImageFormatRg16:
      return GL_RG16;
    case SpvImageFormatRg8:
      return GL_RG8;
    case SpvImageFormatR16:
      return GL_R16;
    case SpvImageFormatR8:
      return GL_R8;
    case SpvImageFormatRgba32i:
      return GL_RGBA32I;
    case SpvImageFormatRgba16i:
      return GL_RGBA16I;
    case SpvImageFormatRgba8i:
      return GL_RGBA8I;
    case SpvImageFormatR32i:
      return GL_R32I;
    case SpvImageFormatRg32i:
      return GL_RG32I;
    case SpvImageFormatRg16i:
      return GL_RG16I;
    case SpvImageFormatRg8i:
      return GL_RG8I;
    case SpvImageFormatR16i:
      return GL_R16I;
    case SpvImageFormatR8i:
      return GL_R8I;
    case SpvImageFormatRgba32ui:
      return GL_RGBA32UI;
    case SpvImageFormatRgba16ui:
      return GL_RGBA16UI;
    case SpvImageFormatRgba8ui:
      return GL_RGBA8UI;
    case SpvImageFormatR32ui:
      return GL_R32UI;
    case SpvImageFormatRgb10a2ui:
      return GL_RGB10_A2UI;
    case SpvImageFormatRg32ui:
      return GL_RG32UI;
    case SpvImageFormatRg16ui:
      return GL_RG16UI;
    case SpvImageFormatRg8ui:
      return GL_RG8UI;
    case SpvImageFormatR16ui:
      return GL_R16UI;
    case SpvImageFormatR8ui:
      return GL_R8UI;
    default:
      return 0;
  }
}

uint32_t binding_of(const translator_t& t, spvc_variable_id id) {
  return spvc_compiler_get_decoration(t.compiler, id, SpvDecorationBinding);
}

tl::expected<void, std::string> map_constant_buffers(translator_t& t, spvc_resources resources,
                                                     translated_shader_t& out) {
  size_t count = 0;
  const auto* list = spirv_resource_list(resources, SPVC_RESOURCE_TYPE_UNIFORM_BUFFER, count);
  for (size_t i = 0; i < count; ++i) {
    const uint32_t slot = binding_of(t, list[i].id);
    if (slot >= constant_buffer_registers)
      return tl::unexpected(fmt::sprintf("constant buffer %s at b%u: only b0 to b%u exist", list[i].name, slot,
                                         constant_buffer_registers - 1));
    size_t size = 0;
    spvc_compiler_get_declared_struct_size(
        t.compiler, spvc_compiler_get_type_handle(t.compiler, list[i].base_type_id), &size);
    translated_constant_buffer_t cb;
    cb.name = spvc_compiler_get_name(t.compiler, list[i].base_type_id);
    cb.slot = slot;
    cb.gl_binding = t.stage_index * uniform_blocks_per_stage + slot;
    cb.size = static_cast<uint32_t>(size);
    spvc_compiler_set_decoration(t.compiler, list[i].id, SpvDecorationBinding, cb.gl_binding);
    out.constant_buffers.push_back(cb);
  }
  return {};
}

uint32_t runtime_array_stride(const translator_t& t, spvc_type_id base_type_id) {
  spvc_type type = spvc_compiler_get_type_handle(t.compiler, base_type_id);
  const unsigned members = spvc_type_get_num_member_types(type);
  if (members == 0) return 0;
  spvc_type last = spvc_compiler_get_type_handle(t.compiler, spvc_type_get_member_type(type, members - 1));
  if (spvc_type_get_num_array_dimensions(last) == 0) return 0;
  unsigned stride = 0;
  if (spvc_compiler_type_struct_member_array_stride(t.compiler, type, members - 1, &stride) != SPVC_SUCCESS)
    return 0;
  return stride;
}

tl::expected<void, std::string> map_storage_buffers(translator_t& t, spvc_resources resources,
                                                    translated_shader_t& out) {
  size_t count = 0;
  const auto* list = spirv_resource_list(resources, SPVC_RESOURCE_TYPE_STORAGE_BUFFER, count);
  for (size_t i = 0; i < count; ++i) {
    // A counter gets its binding through the buffer it counts, never from its own auto-mapped register.
    if (spvc_compiler_buffer_is_hlsl_counter_buffer(t.compiler, list[i].id)) continue;
    const uint32_t binding = binding_of(t, list[i].id);
    translated_storage_buffer_t buffer;
    buffer.name = list[i].name;
    buffer.stride = runtime_array_stride(t, list[i].base_type_id);
    if (binding >= uav_shift) {
      buffer.slot = binding - uav_shift;
      buffer.writable = true;
      if (buffer.slot >= uav_slots)
        return tl::unexpected(
            fmt::sprintf("buffer %s at u%u: only u0 to u7 exist", buffer.name, buffer.slot));
      buffer.gl_binding = buffer.slot;
      spvc_variable_id counter = 0;
      if (spvc_compiler_buffer_get_hlsl_counter_buffer(t.compiler, list[i].id, &counter)) {
        buffer.counter_gl_binding = static_cast<int32_t>(uav_counter_base + buffer.slot);
        spvc_compiler_set_decoration(t.compiler, counter, SpvDecorationBinding,
                                     static_cast<uint32_t>(buffer.counter_gl_binding));
      }
    } else if (binding >= texture_shift && binding < sampler_shift) {
      buffer.slot = binding - texture_shift;
      if (buffer.slot >= srv_buffers_per_stage)
        return tl::unexpected(
            fmt::sprintf("buffer %s at t%u: buffers use t0 to t15", buffer.name, buffer.slot));
      buffer.gl_binding = srv_buffer_base + t.stage_index * srv_buffers_per_stage + buffer.slot;
    } else {
      return tl::unexpected(
          fmt::sprintf("buffer %s has binding %u, outside the t and u registers", buffer.name, binding));
    }
    spvc_compiler_set_decoration(t.compiler, list[i].id, SpvDecorationBinding, buffer.gl_binding);
    out.storage_buffers.push_back(buffer);
  }
  return {};
}

tl::expected<void, std::string> map_storage_images(translator_t& t, spvc_resources resources,
                                                   translated_shader_t& out) {
  size_t count = 0;
  const auto* list = spirv_resource_list(resources, SPVC_RESOURCE_TYPE_STORAGE_IMAGE, count);
  for (size_t i = 0; i < count; ++i) {
    const uint32_t binding = binding_of(t, list[i].id);
    if (binding < uav_shift || binding - uav_shift >= uav_slots)
      return tl::unexpected(fmt::sprintf("image %s: only u0 to u7 exist", list[i].name));
    spvc_type type = spvc_compiler_get_type_handle(t.compiler, list[i].type_id);
    translated_storage_image_t image;
    image.name = list[i].name;
    image.slot = binding - uav_shift;
    image.gl_unit = image.slot;
    image.dimension = spirv_srv_dimension(type);
    image.gl_format = gl_image_format_of(spvc_type_get_image_storage_format(type));
    spvc_compiler_set_decoration(t.compiler, list[i].id, SpvDecorationBinding, image.gl_unit);
    out.storage_images.push_back(image);
  }
  return {};
}

// Each (texture, sampler) pair the code uses becomes one GL sampler; a texture read without a
// sampler (Load, GetDimensions) is paired with a dummy sampler.
tl::expected<void, std::string> map_textures(translator_t& t, spvc_resources resources,
                                             translated_shader_t& out) {
  size_t image_count = 0;
  const auto* images = spirv_resource_list(resources, SPVC_RESOURCE_TYPE_SEPARATE_IMAGE, image_count);
  auto image_type_of = [&](spvc_variable_id id) -> spvc_type {
    for (size_t i = 0; i < image_count; ++i)
      if (images[i].id == id) return spvc_compiler_get_type_handle(t.compiler, images[i].type_id);
    return nullptr;
  };
  spvc_variable_id dummy = 0;
  if (spvc_compiler_build_dummy_sampler_for_combined_images(t.compiler, &dummy) != SPVC_SUCCESS)
    return tl::unexpected(failure(t, "cannot build the dummy sampler"));
  if (spvc_compiler_build_combined_image_samplers(t.compiler) != SPVC_SUCCESS)
    return tl::unexpected(failure(t, "cannot combine textures and samplers"));
  const spvc_combined_image_sampler* pairs = nullptr;
  size_t count = 0;
  spvc_compiler_get_combined_image_samplers(t.compiler, &pairs, &count);
  if (count > texture_units_per_stage)
    return tl::unexpected(
        fmt::sprintf("%zu texture and sampler pairs, at most %u fit", count, texture_units_per_stage));
  for (size_t k = 0; k < count; ++k) {
    const char* image_name = spvc_compiler_get_name(t.compiler, pairs[k].image_id);
    const uint32_t image_binding = binding_of(t, pairs[k].image_id);
    if (image_binding < texture_shift || image_binding >= texture_shift + texture_registers)
      return tl::unexpected(
          fmt::sprintf("texture %s has binding %u, outside the t registers", image_name, image_binding));
    translated_texture_t texture;
    texture.texture_slot = image_binding - texture_shift;
    const bool real_sampler = pairs[k].sampler_id != 0 && pairs[k].sampler_id != dummy;
    if (real_sampler) {
      const uint32_t sampler_binding = binding_of(t, pairs[k].sampler_id);
      if (sampler_binding < sampler_shift || sampler_binding >= sampler_shift + sampler_registers)
        return tl::unexpected(fmt::sprintf("sampler %s has binding %u, outside the s registers",
                                           spvc_compiler_get_name(t.compiler, pairs[k].sampler_id),
                                           sampler_binding));
      texture.sampler_slot = static_cast<int32_t>(sampler_binding - sampler_shift);
    }
    if (spvc_type image_type = image_type_of(pairs[k].image_id))
      texture.dimension = spirv_srv_dimension(image_type);
    texture.shadow = spvc_compiler_variable_is_depth_or_compare(t.compiler, pairs[k].combined_id);
    texture.gl_unit = t.stage_index * texture_units_per_stage + static_cast<uint32_t>(k);
    texture.name = fmt::sprintf(
        "%s_%s", image_name, real_sampler ? spvc_compiler_get_name(t.compiler, pairs[k].sampler_id) : "load");
    spvc_compiler_set_name(t.compiler, pairs[k].combined_id, texture.name.c_str());
    spvc_compiler_set_decoration(t.compiler, pairs[k].combined_id, SpvDecorationBinding, texture.gl_unit);
    out.textures.push_back(texture);
  }
  // Typed buffers are fetched without a sampler and stay plain GLSL samplerBuffers.
  for (size_t i = 0; i < image_count; ++i) {
    bool paired = false;
    for (size_t k = 0; k < count; ++k) paired = paired || pairs[k].image_id == images[i].id;
    if (paired) continue;
    const uint32_t image_binding = binding_of(t, images[i].id);
    if (image_binding < texture_shift || image_binding >= texture_shift + texture_registers)
      return tl::unexpected(
          fmt::sprintf("texture %s has binding %u, outside the t registers", images[i].name, image_binding));
    if (out.textures.size() >= texture_units_per_stage)
      return tl::unexpected(fmt::sprintf("more than %u textures", texture_units_per_stage));
    translated_texture_t texture;
    texture.name = images[i].name;
    texture.texture_slot = image_binding - texture_shift;
    texture.dimension = spirv_srv_dimension(spvc_compiler_get_type_handle(t.compiler, images[i].type_id));
    texture.gl_unit = t.stage_index * texture_units_per_stage + static_cast<uint32_t>(out.textures.size());
    spvc_compiler_set_decoration(t.compiler, images[i].id, SpvDecorationBinding, texture.gl_unit);
    out.textures.push_back(texture);
  }
  return {};
}

translated_varying_t describe_varying(const translator_t& t, spvc_variable_id id, spvc_type_id type_id) {
  translated_varying_t varying;
  const char* semantic = spvc_compiler_get_decoration_string(t.compiler, id, SpvDecorationUserSemantic);
  split_semantic(semantic ? semantic : "", varying.semantic, varying.semantic_index);
  spvc_type type = spvc_compiler_get_type_handle(t.compiler, type_id);
  varying.component_type = spirv_component_type(type);
  varying.components = spvc_type_get_vector_size(type);
  return varying;
}

tl::expected<void, std::string> map_varyings(translator_t& t, spvc_resources resources, bool outputs,
                                             spirv_stage_t stage, std::vector<translated_varying_t>& out) {
  const char* direction = outputs ? "output" : "input";
  size_t count = 0;
  const auto* list = spirv_resource_list(
      resources, outputs ? SPVC_RESOURCE_TYPE_STAGE_OUTPUT : SPVC_RESOURCE_TYPE_STAGE_INPUT, count);
  for (size_t i = 0; i < count; ++i) {
    translated_varying_t varying = describe_varying(t, list[i].id, list[i].type_id);
    if (varying.semantic.empty())
      return tl::unexpected(fmt::sprintf("stage %s %s has no semantic", direction, list[i].name));
    if (stage == spirv_stage_t::pixel && outputs) {
      if (varying.semantic != "SV_TARGET" || varying.semantic_index >= max_render_targets)
        return tl::unexpected(fmt::sprintf("pixel shader output %s%u is not SV_Target0 to SV_Target7",
                                           varying.semantic, varying.semantic_index));
      varying.location = static_cast<int32_t>(varying.semantic_index);
    } else {
      varying.location = semantic_location(varying.semantic, varying.semantic_index);
      if (varying.location < 0)
        return tl::unexpected(
            fmt::sprintf("unknown %s semantic %s%u", direction, varying.semantic, varying.semantic_index));
    }
    if (stage == spirv_stage_t::vertex && !outputs &&
        varying.location >= static_cast<int32_t>(max_vertex_inputs))
      return tl::unexpected(fmt::sprintf("vertex input %s%u has no attribute location below %u",
                                         varying.semantic, varying.semantic_index, max_vertex_inputs));
    spvc_compiler_set_decoration(t.compiler, list[i].id, SpvDecorationLocation,
                                 static_cast<uint32_t>(varying.location));
    out.push_back(varying);
  }
  const spvc_reflected_builtin_resource* builtins = nullptr;
  size_t builtin_count = 0;
  if (spvc_resources_get_builtin_resource_list_for_type(
          resources,
          outputs ? SPVC_BUILTIN_RESOURCE_TYPE_STAGE_OUTPUT : SPVC_BUILTIN_RESOURCE_TYPE_STAGE_INPUT,
          &builtins, &builtin_count) != SPVC_SUCCESS)
    builtin_count = 0;
  for (size_t i = 0; i < builtin_count; ++i) {
    translated_varying_t varying = describe_varying(t, builtins[i].resource.id, builtins[i].value_type_id);
    if (varying.semantic.empty()) continue;  // a member of a built-in block without its own semantic
    out.push_back(varying);
  }
  return {};
}

bool set_options(translator_t& t) {
  spvc_compiler_options options = nullptr;
  if (spvc_compiler_create_compiler_options(t.compiler, &options) != SPVC_SUCCESS) return false;
  spvc_compiler_options_set_uint(options, SPVC_COMPILER_OPTION_GLSL_VERSION, 450);
  spvc_compiler_options_set_bool(options, SPVC_COMPILER_OPTION_GLSL_ES, SPVC_FALSE);
  spvc_compiler_options_set_bool(options, SPVC_COMPILER_OPTION_GLSL_VULKAN_SEMANTICS, SPVC_FALSE);
  spvc_compiler_options_set_bool(options, SPVC_COMPILER_OPTION_GLSL_SEPARATE_SHADER_OBJECTS, SPVC_TRUE);
  spvc_compiler_options_set_bool(options, SPVC_COMPILER_OPTION_FLIP_VERTEX_Y, SPVC_FALSE);
  spvc_compiler_options_set_bool(options, SPVC_COMPILER_OPTION_FIXUP_DEPTH_CONVENTION, SPVC_FALSE);
  // With it on, SV_InstanceID would become gl_InstanceID + a base uniform the device never sets.
  spvc_compiler_options_set_bool(options, SPVC_COMPILER_OPTION_GLSL_SUPPORT_NONZERO_BASE_INSTANCE,
                                 SPVC_FALSE);
  return spvc_compiler_install_compiler_options(t.compiler, options) == SPVC_SUCCESS;
}

const char* stage_name(SpvExecutionModel model) {
  switch (model) {
    case SpvExecutionModelVertex:
      return "vertex";
    case SpvExecutionModelGeometry:
      return "geometry";
    case SpvExecutionModelFragment:
      return "pixel";
    case SpvExecutionModelGLCompute:
      return "compute";
    default:
      return "unsupported";
  }
}

}  // namespace

void split_semantic(const std::string& text, std::string& name, uint32_t& index) {
  size_t digits = text.size();
  while (digits > 0 && std::isdigit(static_cast<unsigned char>(text[digits - 1]))) --digits;
  name.clear();
  for (size_t i = 0; i < digits; ++i)
    name.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(text[i]))));
  index = 0;
  for (size_t i = digits; i < text.size() && i < digits + 6; ++i)
    index = index * 10 + static_cast<uint32_t>(text[i] - '0');
}

int32_t semantic_location(const std::string& semantic, uint32_t semantic_index) {
  for (const auto& range : semantic_table) {
    if (semantic == range.name) {
      if (semantic_index >= range.count) return -1;
      return range.base + static_cast<int32_t>(semantic_index);
    }
  }
  return -1;
}

namespace {

tl::expected<void, std::string> validate(const std::vector<SpvId>& words) {
  std::unique_ptr<spv_context_t, decltype(&spvContextDestroy)> context(spvContextCreate(SPV_ENV_UNIVERSAL_1_5),
                                                                      spvContextDestroy);
  if (!context) return tl::unexpected(std::string("out of memory"));
  spv_const_binary_t binary{words.data(), words.size()};
  spv_diagnostic diagnostic = nullptr;
  const spv_result_t result = spvValidate(context.get(), &binary, &diagnostic);
  std::string message = diagnostic && diagnostic->error ? diagnostic->error : "";
  spvDiagnosticDestroy(diagnostic);
  if (result == SPV_SUCCESS) return {};
  return tl::unexpected(fmt::sprintf("invalid SPIR-V: %s", message));
}

tl::expected<translated_shader_t, std::string> translate(const void* code, size_t size, spirv_stage_t stage) {
  constexpr uint32_t spirv_magic = 0x07230203;
  constexpr size_t header_bytes = 20;
  if (code == nullptr || size == 0) return tl::unexpected(std::string("empty bytecode"));
  if (size % 4 != 0 || size < header_bytes) return tl::unexpected(std::string("bytecode is not SPIR-V"));
  std::vector<SpvId> words(size / 4);
  std::memcpy(words.data(), code, size);
  if (words[0] != spirv_magic) return tl::unexpected(std::string("bytecode is not SPIR-V"));
  // The translation library trusts its input and reads past its own tables on a malformed module:
  // only a module the validator accepts goes on.
  if (auto valid = validate(words); !valid) return tl::unexpected(valid.error());

  translator_t t;
  t.stage_index = static_cast<uint32_t>(stage);
  if (spvc_context_create(&t.context) != SPVC_SUCCESS) return tl::unexpected(std::string("out of memory"));
  context_ptr_t context_owner(t.context);
  spvc_context_set_error_callback(t.context, capture_error, &t);

  spvc_parsed_ir ir = nullptr;
  if (spvc_context_parse_spirv(t.context, words.data(), words.size(), &ir) != SPVC_SUCCESS)
    return tl::unexpected(failure(t, "invalid SPIR-V"));
  if (spvc_context_create_compiler(t.context, SPVC_BACKEND_GLSL, ir, SPVC_CAPTURE_MODE_TAKE_OWNERSHIP,
                                   &t.compiler) != SPVC_SUCCESS)
    return tl::unexpected(failure(t, "invalid SPIR-V"));
  const SpvExecutionModel model = spvc_compiler_get_execution_model(t.compiler);
  if (model != execution_model_of(stage))
    return tl::unexpected(fmt::sprintf("bytecode holds a %s shader", stage_name(model)));
  if (!set_options(t)) return tl::unexpected(failure(t, "cannot set the GLSL options"));

  translated_shader_t out;
  out.stage = stage;
  spvc_resources resources = nullptr;
  if (spvc_compiler_create_shader_resources(t.compiler, &resources) != SPVC_SUCCESS)
    return tl::unexpected(failure(t, "cannot reflect the resources"));
  for (auto step : {map_constant_buffers, map_storage_buffers, map_storage_images, map_textures}) {
    if (auto mapped = step(t, resources, out); !mapped) return tl::unexpected(mapped.error());
  }
  if (auto mapped = map_varyings(t, resources, false, stage, out.inputs); !mapped)
    return tl::unexpected(mapped.error());
  if (auto mapped = map_varyings(t, resources, true, stage, out.outputs); !mapped)
    return tl::unexpected(mapped.error());

  const char* glsl = nullptr;
  if (spvc_compiler_compile(t.compiler, &glsl) != SPVC_SUCCESS || glsl == nullptr)
    return tl::unexpected(failure(t, "cannot express the shader in GLSL"));
  out.glsl = glsl;
  return out;
}

}  // namespace

tl::expected<translated_shader_t, std::string> translate_spirv(const void* code, size_t size,
                                                               spirv_stage_t stage) {
  // The translation library fills its static tables lazily on the first full translation, and
  // not safely for concurrent first calls. Until one translation has succeeded, run them one at a
  // time.
  static std::mutex first_translation;
  static std::atomic<bool> tables_ready{false};
  if (!tables_ready.load(std::memory_order_acquire)) {
    std::lock_guard lock(first_translation);
    if (!tables_ready.load(std::memory_order_relaxed)) {
      auto translated = translate(code, size, stage);
      if (translated) tables_ready.store(true, std::memory_order_release);
      return translated;
    }
  }
  return translate(code, size, stage);
}
