// Cost of the Direct3D 11 layer over GL: one frame of 200 draws, each with state changes, a pixel
// shader switch, texture and sampler binds and a constant buffer rewritten through a discarding map,
// issued through the layer and as hand-written GL 4.5 on a context of its own. The frame ends when
// the GPU is done (glFinish), so both include the driver's work. "ratio" is layer time / GL time.
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/d3d11/d3d11.h"
#include "platform/d3d11/gl_context.h"

namespace {

constexpr int draws_per_frame = 200;
constexpr int target_size = 16;

const char* hlsl_vs = R"(
float4 main(uint id : SV_VertexID) : SV_Position {
  float2 uv = float2((id << 1) & 2, id & 2);
  return float4(uv * float2(2, -2) + float2(-1, 1), 0, 1);
})";
const char* hlsl_ps[2] = {R"(
Texture2D tex : register(t0);
SamplerState smp : register(s0);
cbuffer Draw : register(b0) { float4 color; };
float4 main(float4 pos : SV_Position) : SV_Target { return tex.Sample(smp, pos.xy / 16) * color; })",
                          R"(
Texture2D tex : register(t0);
SamplerState smp : register(s0);
cbuffer Draw : register(b0) { float4 color; };
float4 main(float4 pos : SV_Position) : SV_Target { return tex.Sample(smp, pos.xy / 16) + color; })"};

const char* glsl_vs = R"(#version 450 core
out gl_PerVertex { vec4 gl_Position; };
void main() {
  vec2 uv = vec2((gl_VertexID << 1) & 2, gl_VertexID & 2);
  gl_Position = vec4(uv * vec2(2, -2) + vec2(-1, 1), 0, 1);
})";
const char* glsl_ps[2] = {R"(#version 450 core
layout(binding = 0) uniform sampler2D tex;
layout(std140, binding = 0) uniform Draw { vec4 color; };
layout(location = 0) out vec4 result;
void main() { result = texture(tex, gl_FragCoord.xy / 16) * color; })",
                          R"(#version 450 core
layout(binding = 0) uniform sampler2D tex;
layout(std140, binding = 0) uniform Draw { vec4 color; };
layout(location = 0) out vec4 result;
void main() { result = texture(tex, gl_FragCoord.xy / 16) + color; })"};

std::vector<uint8_t> compile_hlsl(const char* source, const char* stage) {
  const std::string base = "/tmp/d3d11_frame_bench_" + std::to_string(getpid()) + "_" + stage +
                           std::to_string(reinterpret_cast<uintptr_t>(source) & 0xFFFF);
  std::ofstream(base + ".hlsl") << source;
  const std::string command = std::string("glslangValidator -D -V -S ") + stage +
                              " -e main --hlsl-iomap --auto-map-bindings --stb 1000 --ssb 2000 --suavb 3000"
                              " -fhlsl_functionality1 " +
                              base + ".hlsl -o " + base + ".spv > /dev/null 2>&1";
  const int status = std::system(command.c_str());
  std::ifstream in(base + ".spv", std::ios::binary);
  std::vector<uint8_t> code(std::istreambuf_iterator<char>(in), {});
  std::remove((base + ".hlsl").c_str());
  std::remove((base + ".spv").c_str());
  return status == 0 ? code : std::vector<uint8_t>();
}

float draw_color(int frame, int draw) { return float((frame + draw) % 256) / 255.0f; }

// ---- through the layer ----

struct layer_scene_t {
  com_ptr_t<ID3D11Device> device;
  com_ptr_t<ID3D11DeviceContext> context;
  com_ptr_t<ID3D11VertexShader> vs;
  com_ptr_t<ID3D11PixelShader> ps[2];
  com_ptr_t<ID3D11Buffer> constants;
  com_ptr_t<ID3D11Texture2D> texture, target;
  com_ptr_t<ID3D11ShaderResourceView> srv;
  com_ptr_t<ID3D11RenderTargetView> rtv;
  com_ptr_t<ID3D11SamplerState> samplers[2];
  com_ptr_t<ID3D11BlendState> blends[2];
  com_ptr_t<ID3D11RasterizerState> rasterizers[2];
  com_ptr_t<ID3D11DepthStencilState> depths[2];

  bool create() {
    if (FAILED(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION,
                                 &device, nullptr, &context)))
      return false;
    auto vs_code = compile_hlsl(hlsl_vs, "vert");
    if (FAILED(device->CreateVertexShader(vs_code.data(), vs_code.size(), nullptr, &vs))) return false;
    for (int i = 0; i < 2; ++i) {
      auto code = compile_hlsl(hlsl_ps[i], "frag");
      if (FAILED(device->CreatePixelShader(code.data(), code.size(), nullptr, &ps[i]))) return false;
    }
    D3D11_BUFFER_DESC cb{16, D3D11_USAGE_DYNAMIC, D3D11_BIND_CONSTANT_BUFFER, D3D11_CPU_ACCESS_WRITE, 0, 0};
    if (FAILED(device->CreateBuffer(&cb, nullptr, &constants))) return false;
    std::vector<uint32_t> texels(size_t(target_size) * target_size, 0xFF8040C0u);
    D3D11_TEXTURE2D_DESC desc{};
    desc.Width = desc.Height = target_size;
    desc.MipLevels = desc.ArraySize = 1;
    desc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    desc.SampleDesc = {1, 0};
    desc.Usage = D3D11_USAGE_IMMUTABLE;
    desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
    D3D11_SUBRESOURCE_DATA data{texels.data(), target_size * 4, 0};
    if (FAILED(device->CreateTexture2D(&desc, &data, &texture))) return false;
    if (FAILED(device->CreateShaderResourceView(texture, nullptr, &srv))) return false;
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = D3D11_BIND_RENDER_TARGET;
    if (FAILED(device->CreateTexture2D(&desc, nullptr, &target))) return false;
    if (FAILED(device->CreateRenderTargetView(target, nullptr, &rtv))) return false;
    for (int i = 0; i < 2; ++i) {
      D3D11_SAMPLER_DESC s = CD3D11_SAMPLER_DESC(D3D11_DEFAULT);
      s.Filter = i ? D3D11_FILTER_MIN_MAG_MIP_POINT : D3D11_FILTER_MIN_MAG_MIP_LINEAR;
      D3D11_BLEND_DESC b = CD3D11_BLEND_DESC(D3D11_DEFAULT);
      b.RenderTarget[0].BlendEnable = i;
      b.RenderTarget[0].SrcBlend = D3D11_BLEND_SRC_ALPHA;
      b.RenderTarget[0].DestBlend = D3D11_BLEND_INV_SRC_ALPHA;
      D3D11_RASTERIZER_DESC r = CD3D11_RASTERIZER_DESC(D3D11_DEFAULT);
      r.CullMode = i ? D3D11_CULL_NONE : D3D11_CULL_BACK;
      D3D11_DEPTH_STENCIL_DESC d = CD3D11_DEPTH_STENCIL_DESC(D3D11_DEFAULT);
      d.DepthEnable = FALSE;
      d.DepthFunc = i ? D3D11_COMPARISON_LESS : D3D11_COMPARISON_ALWAYS;
      if (FAILED(device->CreateSamplerState(&s, &samplers[i])) ||
          FAILED(device->CreateBlendState(&b, &blends[i])) ||
          FAILED(device->CreateRasterizerState(&r, &rasterizers[i])) ||
          FAILED(device->CreateDepthStencilState(&d, &depths[i])))
        return false;
    }
    return true;
  }

  void frame(int number) {
    ID3D11RenderTargetView* target_view = rtv;
    context->OMSetRenderTargets(1, &target_view, nullptr);
    D3D11_VIEWPORT viewport{0, 0, float(target_size), float(target_size), 0, 1};
    context->RSSetViewports(1, &viewport);
    const float clear[4] = {0, 0, 0, 1};
    context->ClearRenderTargetView(rtv, clear);
    context->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
    context->IASetInputLayout(nullptr);
    context->VSSetShader(vs, nullptr, 0);
    ID3D11ShaderResourceView* view = srv;
    context->PSSetShaderResources(0, 1, &view);
    for (int d = 0; d < draws_per_frame; ++d) {
      const int k = (d / 10) & 1;
      context->OMSetBlendState(blends[k], nullptr, 0xFFFFFFFF);
      context->RSSetState(rasterizers[k]);
      context->OMSetDepthStencilState(depths[k], 0);
      ID3D11SamplerState* sampler = samplers[k];
      context->PSSetSamplers(0, 1, &sampler);
      context->PSSetShader(ps[d & 1], nullptr, 0);
      D3D11_MAPPED_SUBRESOURCE mapped{};
      if (FAILED(context->Map(constants, 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped))) return;
      const float c = draw_color(number, d);
      const float color[4] = {c, 1 - c, 0.5f, 0.5f};
      std::memcpy(mapped.pData, color, sizeof(color));
      context->Unmap(constants, 0);
      ID3D11Buffer* buffer = constants;
      context->PSSetConstantBuffers(0, 1, &buffer);
      context->Draw(3, 0);
    }
    context->Flush();
    glFinish();
  }
};

// ---- hand-written GL ----

struct gl_scene_t {
  std::unique_ptr<gl_context_t> gl;
  GLuint programs[2] = {};
  GLuint vao = 0, constants = 0, texture = 0, target = 0, framebuffer = 0, samplers[2] = {};

  static GLuint link(const char* vs, const char* fs) {
    GLuint program = glCreateProgram();
    for (auto [type, text] : {std::pair{GL_VERTEX_SHADER, vs}, std::pair{GL_FRAGMENT_SHADER, fs}}) {
      GLuint shader = glCreateShader(type);
      glShaderSource(shader, 1, &text, nullptr);
      glCompileShader(shader);
      glAttachShader(program, shader);
      glDeleteShader(shader);
    }
    glLinkProgram(program);
    GLint linked = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    return linked ? program : 0;
  }

  bool create() {
    auto context = create_headless_gl_context();
    if (!context) return false;
    gl = std::move(*context);
    glClipControl(GL_UPPER_LEFT, GL_ZERO_TO_ONE);
    for (int i = 0; i < 2; ++i)
      if (!(programs[i] = link(glsl_vs, glsl_ps[i]))) return false;
    glCreateVertexArrays(1, &vao);
    glCreateBuffers(1, &constants);
    glNamedBufferData(constants, 16, nullptr, GL_DYNAMIC_DRAW);
    std::vector<uint32_t> texels(size_t(target_size) * target_size, 0xFF8040C0u);
    glCreateTextures(GL_TEXTURE_2D, 1, &texture);
    glTextureStorage2D(texture, 1, GL_RGBA8, target_size, target_size);
    glTextureSubImage2D(texture, 0, 0, 0, target_size, target_size, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    glCreateTextures(GL_TEXTURE_2D, 1, &target);
    glTextureStorage2D(target, 1, GL_RGBA8, target_size, target_size);
    glCreateFramebuffers(1, &framebuffer);
    glNamedFramebufferTexture(framebuffer, GL_COLOR_ATTACHMENT0, target, 0);
    glCreateSamplers(2, samplers);
    for (int i = 0; i < 2; ++i) {
      const GLint filter = i ? GL_NEAREST : GL_LINEAR;
      glSamplerParameteri(samplers[i], GL_TEXTURE_MIN_FILTER, filter);
      glSamplerParameteri(samplers[i], GL_TEXTURE_MAG_FILTER, filter);
      glSamplerParameteri(samplers[i], GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
      glSamplerParameteri(samplers[i], GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
    return true;
  }

  void frame(int number) {
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffer);
    glViewport(0, 0, target_size, target_size);
    const float clear[4] = {0, 0, 0, 1};
    glClearNamedFramebufferfv(framebuffer, GL_COLOR, 0, clear);
    glBindVertexArray(vao);
    glBindTextureUnit(0, texture);
    glFrontFace(GL_CW);
    for (int d = 0; d < draws_per_frame; ++d) {
      const int k = (d / 10) & 1;
      if (k) {
        glEnable(GL_BLEND);
        glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ZERO);
        glDisable(GL_CULL_FACE);
      } else {
        glDisable(GL_BLEND);
        glEnable(GL_CULL_FACE);
        glCullFace(GL_BACK);
      }
      glDisable(GL_DEPTH_TEST);
      glBindSampler(0, samplers[k]);
      glUseProgram(programs[d & 1]);
      glNamedBufferData(constants, 16, nullptr, GL_DYNAMIC_DRAW);
      void* mapped = glMapNamedBufferRange(
          constants, 0, 16, GL_MAP_WRITE_BIT | GL_MAP_INVALIDATE_BUFFER_BIT | GL_MAP_UNSYNCHRONIZED_BIT);
      const float c = draw_color(number, d);
      const float color[4] = {c, 1 - c, 0.5f, 0.5f};
      std::memcpy(mapped, color, sizeof(color));
      glUnmapNamedBuffer(constants);
      glBindBufferBase(GL_UNIFORM_BUFFER, 0, constants);
      glDrawArrays(GL_TRIANGLES, 0, 3);
    }
    glFinish();
  }
};

using clock_type = std::chrono::steady_clock;

// Both paths in one run, frames interleaved so that both see the same machine load.
void d3d11_frame_layer_vs_gl(benchmark::State& state) {
  layer_scene_t layer;
  gl_scene_t gl;
  if (!gl.create() || !layer.create()) {
    state.SkipWithError("no GL 4.5 core context or shader compiler");
    return;
  }
  gl_context_t* layer_context = gl_context_of(layer.device);
  // Lazy compiles and first uses out of the way.
  for (int i = 0; i < 3; ++i) {
    layer_context->make_current();
    layer.frame(i);
    gl.gl->make_current();
    gl.frame(i);
  }
  clock_type::duration layer_time{}, gl_time{};
  int frame = 0;
  for (auto _ : state) {
    layer_context->make_current();
    const auto a = clock_type::now();
    layer.frame(frame);
    const auto b = clock_type::now();
    gl.gl->make_current();
    const auto c = clock_type::now();
    gl.frame(frame);
    const auto d = clock_type::now();
    layer_time += b - a;
    gl_time += d - c;
    ++frame;
  }
  const double layer_us = std::chrono::duration<double, std::micro>(layer_time).count() / frame;
  const double gl_us = std::chrono::duration<double, std::micro>(gl_time).count() / frame;
  state.counters["layer_us"] = layer_us;
  state.counters["gl_us"] = gl_us;
  state.counters["ratio"] = gl_us > 0 ? layer_us / gl_us : 0;
  state.counters["draws"] = draws_per_frame;
  layer_context->make_current();
}
BENCHMARK(d3d11_frame_layer_vs_gl)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
