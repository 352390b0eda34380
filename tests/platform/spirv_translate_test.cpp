// SPIR-V from HLSL (made by glslangValidator here, as the content build makes it) translated to GLSL:
// binding scheme, semantics, failures, and the GLSL compiled by a real GL driver when one is there.
#include "platform/d3d11/spirv_translate.h"

#include <epoxy/egl.h>
#include <epoxy/gl.h>
#include <fmt/printf.h>
#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>

namespace {

const char* stage_flag(spirv_stage_t stage) {
  switch (stage) {
    case spirv_stage_t::vertex:
      return "vert";
    case spirv_stage_t::geometry:
      return "geom";
    case spirv_stage_t::pixel:
      return "frag";
    case spirv_stage_t::compute:
      return "comp";
  }
  return "";
}

std::vector<char> read_bytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<char>((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// HLSL text to SPIR-V with the content build's flags.
std::vector<char> compile_hlsl(const std::string& source, spirv_stage_t stage, const std::string& entry) {
  const std::string base = fmt::sprintf("%s/spirv_translate_%d_%s", testing::TempDir(), getpid(), entry);
  std::ofstream(base + ".hlsl") << source;
  const std::string command = fmt::sprintf(
      "glslangValidator -D -V -S %s -e %s --hlsl-iomap --auto-map-bindings --stb 1000 --ssb 2000 --suavb "
      "3000 "
      "-fhlsl_functionality1 %s.hlsl -o %s.spv > %s.log 2>&1",
      stage_flag(stage), entry, base, base, base);
  if (std::system(command.c_str()) != 0) {
    const std::vector<char> log = read_bytes(base + ".log");
    ADD_FAILURE() << "glslangValidator failed:\n" << std::string(log.begin(), log.end());
    return {};
  }
  return read_bytes(base + ".spv");
}

translated_shader_t translate(const std::string& source, spirv_stage_t stage, const std::string& entry) {
  const std::vector<char> code = compile_hlsl(source, stage, entry);
  auto result = translate_spirv(code.data(), code.size(), stage);
  EXPECT_TRUE(result.has_value()) << (result ? "" : result.error());
  return result ? *result : translated_shader_t{};
}

const char* particle_source = R"(
cbuffer Params : register(b2) { float4 tint_col; float2 offs; float speed; float _pad0; float4x4 world; };
cbuffer Frame : register(b0) { float time; uint count; float2 _pad1; };
struct particle_t { float3 pos; float life; };
Texture2D diffuse : register(t0);
Texture2D<float> depth : register(t1);
StructuredBuffer<particle_t> particles : register(t2);
SamplerState LinearWrap : register(s0);
SamplerState PointClamp : register(s1);
AppendStructuredBuffer<particle_t> spawned : register(u2);
struct vs_out_t { float4 pos : SV_Position; float2 uv : TEXCOORD0; float4 color : COLOR; };
struct ps_out_t { float4 c0 : SV_Target0; float4 c1 : SV_Target1; };
vs_out_t VsMain(float3 pos : POSITION, float2 uv : TEXCOORD0, float4 col : COLOR, uint id : SV_VertexID) {
  vs_out_t o; o.pos = mul(float4(pos, 1), world); o.uv = uv; o.color = col * time + id; return o;
}
ps_out_t PsMain(vs_out_t i) {
  ps_out_t o;
  particle_t p = particles[0];
  o.c0 = diffuse.Sample(LinearWrap, i.uv) * tint_col * speed + float4(offs, 0, time) + i.color;
  o.c1 = depth.Sample(PointClamp, i.uv).xxxx + mul(float4(p.pos, 1), world) + depth.Load(int3(0, 0, 0)).xxxx;
  if (count > 3) spawned.Append(p);
  return o;
}
)";

const char* compute_source = R"(
RWBuffer<uint> args : register(u1);
RWStructuredBuffer<float4> alive : register(u3);
ConsumeStructuredBuffer<float4> dead : register(u4);
RWTexture2D<float4> img : register(u0);
Buffer<float4> typed : register(t3);
ByteAddressBuffer raw : register(t4);
cbuffer Sim : register(b3) { float dt; float _pad0; float _pad1; float _pad2; };
[numthreads(64, 1, 1)]
void CsMain(uint3 id : SV_DispatchThreadID) {
  uint n = alive.IncrementCounter();
  float4 d = dead.Consume();
  alive[n] = d * dt + typed[id.x] + asfloat(raw.Load(id.x * 4));
  InterlockedAdd(args[0], 1);
  img[id.xy] = d;
}
)";

const char* geometry_source = R"(
cbuffer Cam : register(b1) { float4x4 proj; };
struct gs_in_t { float4 pos : SV_Position; float4 col : COLOR0; float size : TEXCOORD1; };
struct gs_out_t { float4 pos : SV_Position; float2 uv : TEXCOORD0; float4 col : COLOR0; };
[maxvertexcount(4)]
void GsMain(point gs_in_t i[1], inout TriangleStream<gs_out_t> s) {
  gs_out_t o; o.col = i[0].col;
  for (int k = 0; k < 4; ++k) {
    o.uv = float2(k & 1, k >> 1);
    o.pos = mul(i[0].pos + float4(o.uv * i[0].size, 0, 0), proj);
    s.Append(o);
  }
}
)";

const translated_varying_t* find_varying(const std::vector<translated_varying_t>& list,
                                         const std::string& semantic, uint32_t index) {
  for (const auto& v : list)
    if (v.semantic == semantic && v.semantic_index == index) return &v;
  return nullptr;
}

TEST(SpirvTranslate, PixelShaderResourcesFollowTheBindingScheme) {
  const translated_shader_t ps = translate(particle_source, spirv_stage_t::pixel, "PsMain");
  ASSERT_EQ(ps.constant_buffers.size(), 2u);
  for (const auto& cb : ps.constant_buffers) {
    if (cb.name == "Params") {
      EXPECT_EQ(cb.slot, 2u);
      EXPECT_EQ(cb.gl_binding, 2u * 16 + 2);
      EXPECT_EQ(cb.size, 96u);
    } else {
      EXPECT_EQ(cb.name, "Frame");
      EXPECT_EQ(cb.slot, 0u);
      EXPECT_EQ(cb.gl_binding, 2u * 16);
      EXPECT_EQ(cb.size, 16u);
    }
  }

  // (t0, s0), (t1, s1) and t1 read by Load through the dummy sampler: three units from 64.
  ASSERT_EQ(ps.textures.size(), 3u);
  std::vector<std::pair<uint32_t, int32_t>> pairs;
  for (size_t k = 0; k < ps.textures.size(); ++k) {
    EXPECT_EQ(ps.textures[k].gl_unit, 2u * 32 + k);
    EXPECT_EQ(ps.textures[k].dimension, 4u);
    pairs.emplace_back(ps.textures[k].texture_slot, ps.textures[k].sampler_slot);
  }
  std::sort(pairs.begin(), pairs.end());
  EXPECT_EQ(pairs, (std::vector<std::pair<uint32_t, int32_t>>{{0, 0}, {1, -1}, {1, 1}}));

  ASSERT_EQ(ps.storage_buffers.size(), 2u);
  for (const auto& buffer : ps.storage_buffers) {
    EXPECT_EQ(buffer.stride, 16u);
    if (buffer.writable) {
      EXPECT_EQ(buffer.name, "spawned");
      EXPECT_EQ(buffer.slot, 2u);
      EXPECT_EQ(buffer.gl_binding, 2u);
      EXPECT_EQ(buffer.counter_gl_binding, 8 + 2);
    } else {
      EXPECT_EQ(buffer.slot, 2u);
      EXPECT_EQ(buffer.gl_binding, 16u + 2 * 16 + 2);
      EXPECT_EQ(buffer.counter_gl_binding, -1);
    }
  }

  ASSERT_EQ(ps.outputs.size(), 2u);
  EXPECT_EQ(find_varying(ps.outputs, "SV_TARGET", 0)->location, 0);
  EXPECT_EQ(find_varying(ps.outputs, "SV_TARGET", 1)->location, 1);
}

TEST(SpirvTranslate, VertexOutputsMeetPixelInputsBySemantic) {
  const translated_shader_t vs = translate(particle_source, spirv_stage_t::vertex, "VsMain");
  const translated_shader_t ps = translate(particle_source, spirv_stage_t::pixel, "PsMain");
  for (const auto& input : ps.inputs) {
    const translated_varying_t* output = find_varying(vs.outputs, input.semantic, input.semantic_index);
    ASSERT_NE(output, nullptr) << input.semantic;
    EXPECT_EQ(output->location, input.location) << input.semantic;
    EXPECT_GE(input.location, 0);
  }
  EXPECT_EQ(find_varying(ps.inputs, "COLOR", 0)->location, semantic_location("COLOR", 0));

  ASSERT_EQ(vs.inputs.size(), 4u);
  const translated_varying_t* position = find_varying(vs.inputs, "POSITION", 0);
  ASSERT_NE(position, nullptr);
  EXPECT_EQ(position->components, 3u);
  EXPECT_EQ(position->component_type, 3u);
  EXPECT_EQ(find_varying(vs.inputs, "TEXCOORD", 0)->location, semantic_location("TEXCOORD", 0));
  const translated_varying_t* vertex_id = find_varying(vs.inputs, "SV_VERTEXID", 0);
  ASSERT_NE(vertex_id, nullptr);
  EXPECT_EQ(vertex_id->location, -1);
  EXPECT_EQ(vertex_id->component_type, 1u);
  EXPECT_EQ(find_varying(vs.outputs, "SV_POSITION", 0)->location, -1);
  // The vertex stage's own constant-buffer bindings start at 0.
  for (const auto& cb : vs.constant_buffers) EXPECT_EQ(cb.gl_binding, cb.slot);
}

TEST(SpirvTranslate, ComputeUavsCountersImagesAndBufferViews) {
  const translated_shader_t cs = translate(compute_source, spirv_stage_t::compute, "CsMain");
  ASSERT_EQ(cs.constant_buffers.size(), 1u);
  EXPECT_EQ(cs.constant_buffers[0].gl_binding, 3u * 16 + 3);

  std::map<std::string, translated_storage_buffer_t> buffers;
  for (const auto& b : cs.storage_buffers) buffers[b.name] = b;
  ASSERT_EQ(buffers.size(), 3u);
  EXPECT_EQ(buffers["alive"].gl_binding, 3u);
  EXPECT_EQ(buffers["alive"].counter_gl_binding, 8 + 3);
  EXPECT_EQ(buffers["dead"].gl_binding, 4u);
  EXPECT_EQ(buffers["dead"].counter_gl_binding, 8 + 4);
  EXPECT_FALSE(buffers["raw"].writable);
  EXPECT_EQ(buffers["raw"].gl_binding, 16u + 3 * 16 + 4);
  EXPECT_EQ(buffers["raw"].stride, 4u);

  std::map<std::string, translated_storage_image_t> images;
  for (const auto& i : cs.storage_images) images[i.name] = i;
  ASSERT_EQ(images.size(), 2u);
  EXPECT_EQ(images["args"].gl_unit, 1u);
  EXPECT_EQ(images["args"].dimension, 1u);
  EXPECT_EQ(images["args"].gl_format, static_cast<uint32_t>(GL_R32UI));
  EXPECT_EQ(images["img"].gl_unit, 0u);
  EXPECT_EQ(images["img"].dimension, 4u);
  EXPECT_EQ(images["img"].gl_format, static_cast<uint32_t>(GL_RGBA32F));

  ASSERT_EQ(cs.textures.size(), 1u);
  EXPECT_EQ(cs.textures[0].texture_slot, 3u);
  EXPECT_EQ(cs.textures[0].sampler_slot, -1);
  EXPECT_EQ(cs.textures[0].dimension, 1u);
  EXPECT_EQ(cs.textures[0].gl_unit, 3u * 32);
}

TEST(SpirvTranslate, FailuresNameTheirCause) {
  const std::vector<char> pixel = compile_hlsl(particle_source, spirv_stage_t::pixel, "PsMain");
  const std::vector<char> garbage(64, 7);
  std::vector<char> truncated = pixel;
  truncated.resize(pixel.size() / 2 & ~size_t(3));
  struct case_t {
    const char* what;
    const void* code;
    size_t size;
    spirv_stage_t stage;
    const char* error;
  } cases[] = {
      {"empty", pixel.data(), 0, spirv_stage_t::pixel, "empty bytecode"},
      {"null", nullptr, 16, spirv_stage_t::pixel, "empty bytecode"},
      {"garbage", garbage.data(), garbage.size(), spirv_stage_t::pixel, "bytecode is not SPIR-V"},
      {"odd size", pixel.data(), pixel.size() - 1, spirv_stage_t::pixel, "bytecode is not SPIR-V"},
      {"truncated", truncated.data(), truncated.size(), spirv_stage_t::pixel, "invalid SPIR-V"},
      {"wrong stage", pixel.data(), pixel.size(), spirv_stage_t::vertex, "bytecode holds a pixel shader"},
  };
  for (const auto& c : cases) {
    auto result = translate_spirv(c.code, c.size, c.stage);
    ASSERT_FALSE(result.has_value()) << c.what;
    EXPECT_EQ(result.error().rfind(c.error, 0), 0u) << c.what << ": " << result.error();
  }

  const std::vector<char> unknown = compile_hlsl("float4 VsOdd(float4 p : POSITION) : WORLDPOS { return p; }",
                                                 spirv_stage_t::vertex, "VsOdd");
  auto odd = translate_spirv(unknown.data(), unknown.size(), spirv_stage_t::vertex);
  ASSERT_FALSE(odd.has_value());
  EXPECT_EQ(odd.error(), "unknown output semantic WORLDPOS0");

  const std::vector<char> packed = compile_hlsl(
      "cbuffer P : register(b0) { float a; float3 b; }; float4 PsPacked() : SV_Target { return b.xyzz + a; }",
      spirv_stage_t::pixel, "PsPacked");
  auto layout = translate_spirv(packed.data(), packed.size(), spirv_stage_t::pixel);
  ASSERT_FALSE(layout.has_value());
  EXPECT_EQ(layout.error().rfind("cannot express the shader in GLSL", 0), 0u) << layout.error();
}

TEST(SpirvTranslate, SemanticNames) {
  struct case_t {
    const char* text;
    const char* name;
    uint32_t index;
  } cases[] = {{"TEXCOORD3", "TEXCOORD", 3},  {"color", "COLOR", 0},          {"Color1", "COLOR", 1},
               {"SV_Target", "SV_TARGET", 0}, {"SV_Target7", "SV_TARGET", 7}, {"TexCoord12", "TEXCOORD", 12}};
  for (const auto& c : cases) {
    std::string name;
    uint32_t index = 99;
    split_semantic(c.text, name, index);
    EXPECT_EQ(name, c.name) << c.text;
    EXPECT_EQ(index, c.index) << c.text;
  }
  EXPECT_EQ(semantic_location("COLOR", 0), semantic_location("COLOR", 0));
  EXPECT_NE(semantic_location("COLOR", 0), semantic_location("COLOR", 1));
  EXPECT_EQ(semantic_location("TEXCOORD", 99), -1);
  EXPECT_EQ(semantic_location("WORLDPOS", 0), -1);
}

// A headless GL 4.5 core context, when the machine has a driver for one.
class gl_context_t {
 public:
  gl_context_t() {
    display_ = eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display_ == EGL_NO_DISPLAY || !eglInitialize(display_, nullptr, nullptr)) return;
    eglBindAPI(EGL_OPENGL_API);
    // Surfaceless displays may offer no configs at all; a context without one is enough here.
    const EGLint config_attributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE,
                                        EGL_OPENGL_BIT, EGL_NONE};
    EGLConfig config = EGL_NO_CONFIG_KHR;
    EGLint configs = 0;
    if (!eglChooseConfig(display_, config_attributes, &config, 1, &configs) || configs == 0)
      config = EGL_NO_CONFIG_KHR;
    const EGLint context_attributes[] = {EGL_CONTEXT_MAJOR_VERSION,
                                         4,
                                         EGL_CONTEXT_MINOR_VERSION,
                                         5,
                                         EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                         EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                         EGL_NONE};
    context_ = eglCreateContext(display_, config, EGL_NO_CONTEXT, context_attributes);
    if (context_ == EGL_NO_CONTEXT) return;
    ready_ = eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_);
  }
  ~gl_context_t() {
    if (context_ != EGL_NO_CONTEXT) {
      eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
      eglDestroyContext(display_, context_);
    }
    // The display stays initialised, as the player's own does: terminating it unloads the driver,
    // and the leak check can then no longer tell the driver's start-up allocations from ours.
  }
  bool ready() const { return ready_; }

 private:
  EGLDisplay display_ = EGL_NO_DISPLAY;
  EGLContext context_ = EGL_NO_CONTEXT;
  bool ready_ = false;
};

GLenum gl_stage(spirv_stage_t stage) {
  switch (stage) {
    case spirv_stage_t::vertex:
      return GL_VERTEX_SHADER;
    case spirv_stage_t::geometry:
      return GL_GEOMETRY_SHADER;
    case spirv_stage_t::pixel:
      return GL_FRAGMENT_SHADER;
    case spirv_stage_t::compute:
      return GL_COMPUTE_SHADER;
  }
  return 0;
}

GLint resource_binding(GLuint program, GLenum interface, const char* name) {
  const GLuint index = glGetProgramResourceIndex(program, interface, name);
  if (index == GL_INVALID_INDEX) return -1;
  const GLenum property = GL_BUFFER_BINDING;
  GLint binding = -1;
  glGetProgramResourceiv(program, interface, index, 1, &property, 1, nullptr, &binding);
  return binding;
}

TEST(SpirvTranslate, GlslBuildsSeparablePrograms) {
  if (!epoxy_has_egl()) GTEST_SKIP() << "no EGL";
  gl_context_t gl;
  if (!gl.ready()) GTEST_SKIP() << "no headless GL 4.5 core context";

  struct case_t {
    const char* source;
    spirv_stage_t stage;
    const char* entry;
  } cases[] = {{particle_source, spirv_stage_t::vertex, "VsMain"},
               {particle_source, spirv_stage_t::pixel, "PsMain"},
               {geometry_source, spirv_stage_t::geometry, "GsMain"},
               {compute_source, spirv_stage_t::compute, "CsMain"}};
  for (const auto& c : cases) {
    const translated_shader_t shader = translate(c.source, c.stage, c.entry);
    const char* text = shader.glsl.c_str();
    const GLuint program = glCreateShaderProgramv(gl_stage(c.stage), 1, &text);
    GLint linked = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    char log[2048] = {};
    glGetProgramInfoLog(program, sizeof(log), nullptr, log);
    EXPECT_EQ(linked, GL_TRUE) << c.entry << ":\n" << log << "\n" << shader.glsl;
    for (const auto& cb : shader.constant_buffers)
      EXPECT_EQ(resource_binding(program, GL_UNIFORM_BLOCK, cb.name.c_str()),
                static_cast<GLint>(cb.gl_binding))
          << c.entry << " " << cb.name;
    if (c.stage == spirv_stage_t::pixel) {
      for (const auto& texture : shader.textures) {
        GLint unit = -1;
        glGetUniformiv(program, glGetUniformLocation(program, texture.name.c_str()), &unit);
        EXPECT_EQ(unit, static_cast<GLint>(texture.gl_unit)) << texture.name;
      }
    }
    glDeleteProgram(program);
  }
}

}  // namespace

// A module the fuzzer made from a content shader: the translation library read past its tables
// on it. The validator refuses it first, whatever the stage.
TEST(SpirvTranslate, MalformedModulesAreRefusedBeforeTranslation) {
  const std::vector<char> module = read_bytes(std::string(PUMBLECRISP_TEST_DATA) + "/fuzz/spirv-bad-id.spv");
  ASSERT_FALSE(module.empty());
  for (spirv_stage_t stage :
       {spirv_stage_t::vertex, spirv_stage_t::geometry, spirv_stage_t::pixel, spirv_stage_t::compute}) {
    auto result = translate_spirv(module.data(), module.size(), stage);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().rfind("invalid SPIR-V: ", 0), 0u) << result.error();
  }
}

// Registers the device has no slot for are refused: a content shader the fuzzer moved to s40, and
// HLSL naming b14 and t128.
TEST(SpirvTranslate, RegistersPastTheDeviceSlotsAreRefused) {
  const std::vector<char> moved = read_bytes(std::string(PUMBLECRISP_TEST_DATA) + "/fuzz/spirv-sampler-s40.spv");
  ASSERT_FALSE(moved.empty());
  auto result = translate_spirv(moved.data(), moved.size(), spirv_stage_t::pixel);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error(), "sampler linearClampSampler has binding 2040, outside the s registers");

  struct case_t {
    const char* source;
    const char* error;
  };
  const case_t cases[] = {
      {"cbuffer P : register(b14) { float a; }; float4 PsMain() : SV_Target { return a; }",
       "constant buffer P at b14: only b0 to b13 exist"},
      {"Texture2D t : register(t128); float4 PsMain() : SV_Target { return t.Load(int3(0, 0, 0)); }",
       "texture t has binding 1128, outside the t registers"},
  };
  for (const case_t& c : cases) {
    const std::vector<char> code = compile_hlsl(c.source, spirv_stage_t::pixel, "PsMain");
    ASSERT_FALSE(code.empty()) << c.source;
    auto translated = translate_spirv(code.data(), code.size(), spirv_stage_t::pixel);
    ASSERT_FALSE(translated.has_value()) << c.source;
    EXPECT_EQ(translated.error(), c.error);
  }
}
