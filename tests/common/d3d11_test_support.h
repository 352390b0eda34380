#pragma once
// Shared pieces of the Direct3D 11 layer tests: a headless device that skips the test when no
// GL 4.5 context exists, HLSL compiled to SPIR-V by glslangValidator at test time, and read-back.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/d3d11/d3d11.h"

namespace d3d11_test {

// HLSL source → SPIR-V words, with the flags the content build uses. Empty on failure.
inline std::vector<uint8_t> compile_hlsl(const std::string& source, const char* stage, const char* entry) {
  static int counter = 0;
  const std::string base =
      ::testing::TempDir() + "d3d11_shader_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
  {
    std::ofstream out(base + ".hlsl");
    out << source;
  }
  const std::string command = std::string("glslangValidator -D -V -S ") + stage + " -e " + entry +
                              " --hlsl-iomap --auto-map-bindings --stb 1000 --ssb 2000 --suavb 3000"
                              " -fhlsl_functionality1 " +
                              base + ".hlsl -o " + base + ".spv > " + base + ".log 2>&1";
  if (std::system(command.c_str()) != 0) {
    std::ifstream log(base + ".log");
    ADD_FAILURE() << "glslangValidator failed: " << std::string(std::istreambuf_iterator<char>(log), {});
    return {};
  }
  std::ifstream in(base + ".spv", std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

class device_fixture_t : public ::testing::Test {
 protected:
  void SetUp() override {
    D3D_FEATURE_LEVEL level{};
    const HRESULT hr = D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0,
                                         D3D11_SDK_VERSION, &device, &level, &context);
    if (FAILED(hr)) GTEST_SKIP() << "no GL 4.5 core context: " << std::hex << hr;
    ASSERT_EQ(level, D3D_FEATURE_LEVEL_11_0);
  }
  void TearDown() override {
    fullscreen.Release();
    context.Release();
    device.Release();
  }

  com_ptr_t<ID3D11VertexShader> vertex_shader(const std::string& source, const char* entry = "main") {
    auto code = compile_hlsl(source, "vert", entry);
    com_ptr_t<ID3D11VertexShader> shader;
    EXPECT_EQ(device->CreateVertexShader(code.data(), code.size(), nullptr, &shader), S_OK);
    last_vs_code = code;
    return shader;
  }
  com_ptr_t<ID3D11PixelShader> pixel_shader(const std::string& source, const char* entry = "main") {
    auto code = compile_hlsl(source, "frag", entry);
    com_ptr_t<ID3D11PixelShader> shader;
    EXPECT_EQ(device->CreatePixelShader(code.data(), code.size(), nullptr, &shader), S_OK);
    return shader;
  }
  com_ptr_t<ID3D11GeometryShader> geometry_shader(const std::string& source, const char* entry = "main") {
    auto code = compile_hlsl(source, "geom", entry);
    com_ptr_t<ID3D11GeometryShader> shader;
    EXPECT_EQ(device->CreateGeometryShader(code.data(), code.size(), nullptr, &shader), S_OK);
    return shader;
  }
  com_ptr_t<ID3D11ComputeShader> compute_shader(const std::string& source, const char* entry = "main") {
    auto code = compile_hlsl(source, "comp", entry);
    com_ptr_t<ID3D11ComputeShader> shader;
    EXPECT_EQ(device->CreateComputeShader(code.data(), code.size(), nullptr, &shader), S_OK);
    return shader;
  }

  // A render target of w × h in `format`, bound with a full viewport.
  struct target_t {
    com_ptr_t<ID3D11Texture2D> texture;
    com_ptr_t<ID3D11RenderTargetView> rtv;
    com_ptr_t<ID3D11ShaderResourceView> srv;
    UINT width = 0, height = 0;
  };
  target_t make_target(UINT w, UINT h, DXGI_FORMAT format = DXGI_FORMAT_R8G8B8A8_UNORM, UINT mips = 1,
                       UINT misc = 0) {
    target_t t;
    t.width = w, t.height = h;
    D3D11_TEXTURE2D_DESC desc{};
    desc.Width = w, desc.Height = h, desc.MipLevels = mips, desc.ArraySize = 1, desc.Format = format;
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE;
    desc.MiscFlags = misc;
    EXPECT_EQ(device->CreateTexture2D(&desc, nullptr, &t.texture), S_OK);
    EXPECT_EQ(device->CreateRenderTargetView(t.texture, nullptr, &t.rtv), S_OK);
    EXPECT_EQ(device->CreateShaderResourceView(t.texture, nullptr, &t.srv), S_OK);
    return t;
  }
  void bind_target(const target_t& t, ID3D11DepthStencilView* dsv = nullptr) {
    ID3D11RenderTargetView* rtv = t.rtv;
    context->OMSetRenderTargets(1, &rtv, dsv);
    D3D11_VIEWPORT viewport{0, 0, float(t.width), float(t.height), 0, 1};
    context->RSSetViewports(1, &viewport);
  }

  // Texels of one subresource of a 2D texture as `T` (one `T` per texel), rows top first, through
  // a staging copy of the whole resource.
  template <class T>
  std::vector<T> read_texels(ID3D11Texture2D* texture, UINT subresource = 0) {
    D3D11_TEXTURE2D_DESC desc{};
    texture->GetDesc(&desc);
    desc.Usage = D3D11_USAGE_STAGING;
    desc.BindFlags = 0;
    desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
    desc.MiscFlags = 0;
    com_ptr_t<ID3D11Texture2D> staging;
    EXPECT_EQ(device->CreateTexture2D(&desc, nullptr, &staging), S_OK);
    if (!staging) return {};
    context->CopyResource(staging, texture);
    D3D11_MAPPED_SUBRESOURCE mapped{};
    EXPECT_EQ(context->Map(staging, subresource, D3D11_MAP_READ, 0, &mapped), S_OK);
    if (!mapped.pData) return {};
    const UINT level = subresource % desc.MipLevels;
    const UINT w = std::max(1u, desc.Width >> level), h = std::max(1u, desc.Height >> level);
    std::vector<T> texels(size_t(w) * h);
    for (UINT y = 0; y < h; ++y)
      std::memcpy(&texels[size_t(y) * w], static_cast<uint8_t*>(mapped.pData) + size_t(y) * mapped.RowPitch,
                  w * sizeof(T));
    context->Unmap(staging, subresource);
    return texels;
  }
  // RGBA8 pixels of level `level` of a 2D texture, rows top first, through a staging copy.
  std::vector<uint32_t> read_rgba8(ID3D11Texture2D* texture, UINT level = 0) {
    return read_texels<uint32_t>(texture, level);
  }

  // A shader-readable 2D texture with one block of data per subresource (tightly packed rows).
  com_ptr_t<ID3D11Texture2D> texture_2d(D3D11_TEXTURE2D_DESC desc, const std::vector<const void*>& levels,
                                        UINT texel_bytes) {
    UINT mips = desc.MipLevels;
    if (mips == 0)  // the full chain
      for (UINT size = std::max(desc.Width, desc.Height); size > 0; size >>= 1) ++mips;
    std::vector<D3D11_SUBRESOURCE_DATA> data;
    for (size_t i = 0; i < levels.size(); ++i) {
      const UINT level = UINT(i) % mips;
      data.push_back({levels[i], std::max(1u, desc.Width >> level) * texel_bytes, 0});
    }
    com_ptr_t<ID3D11Texture2D> texture;
    EXPECT_EQ(device->CreateTexture2D(&desc, data.empty() ? nullptr : data.data(), &texture), S_OK);
    return texture;
  }

  // Draws the full-screen triangle with `ps` into whatever is bound.
  void draw_fullscreen(ID3D11PixelShader* ps) {
    if (!fullscreen) fullscreen = vertex_shader(fullscreen_vs_source());
    context->IASetInputLayout(nullptr);
    context->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
    context->VSSetShader(fullscreen, nullptr, 0);
    context->GSSetShader(nullptr, nullptr, 0);
    context->PSSetShader(ps, nullptr, 0);
    context->Draw(3, 0);
  }

  com_ptr_t<ID3D11Buffer> make_buffer(UINT size, D3D11_USAGE usage, UINT bind, UINT cpu, UINT misc,
                                      UINT stride, const void* data = nullptr) {
    D3D11_BUFFER_DESC desc{size, usage, bind, cpu, misc, stride};
    D3D11_SUBRESOURCE_DATA init{data, 0, 0};
    com_ptr_t<ID3D11Buffer> buffer;
    EXPECT_EQ(device->CreateBuffer(&desc, data ? &init : nullptr, &buffer), S_OK);
    return buffer;
  }

  template <class T>
  std::vector<T> read_buffer(ID3D11Buffer* buffer, size_t count) {
    D3D11_BUFFER_DESC desc{};
    buffer->GetDesc(&desc);
    D3D11_BUFFER_DESC staging_desc{desc.ByteWidth, D3D11_USAGE_STAGING, 0, D3D11_CPU_ACCESS_READ, 0, 0};
    com_ptr_t<ID3D11Buffer> staging;
    EXPECT_EQ(device->CreateBuffer(&staging_desc, nullptr, &staging), S_OK);
    context->CopyResource(staging, buffer);
    D3D11_MAPPED_SUBRESOURCE mapped{};
    EXPECT_EQ(context->Map(staging, 0, D3D11_MAP_READ, 0, &mapped), S_OK);
    std::vector<T> values(count);
    std::memcpy(values.data(), mapped.pData, count * sizeof(T));
    context->Unmap(staging, 0);
    return values;
  }

  com_ptr_t<ID3D11Buffer> constant_buffer(const void* data, UINT size, bool dynamic = false) {
    D3D11_BUFFER_DESC desc{(size + 15) & ~15u,
                           dynamic ? D3D11_USAGE_DYNAMIC : D3D11_USAGE_DEFAULT,
                           D3D11_BIND_CONSTANT_BUFFER,
                           dynamic ? D3D11_CPU_ACCESS_WRITE : 0u,
                           0,
                           0};
    std::vector<uint8_t> padded(desc.ByteWidth, 0);
    if (data) std::memcpy(padded.data(), data, size);
    D3D11_SUBRESOURCE_DATA init{padded.data(), 0, 0};
    com_ptr_t<ID3D11Buffer> buffer;
    EXPECT_EQ(device->CreateBuffer(&desc, &init, &buffer), S_OK);
    return buffer;
  }

  com_ptr_t<ID3D11Device> device;
  com_ptr_t<ID3D11DeviceContext> context;
  std::vector<uint8_t> last_vs_code;
  com_ptr_t<ID3D11VertexShader> fullscreen;

 private:
  static const char* fullscreen_vs_source();
};

// The process's resident memory, for checks that memory never touched costs nothing.
inline long resident_mib() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6) / 1024;
  return -1;
}

constexpr uint32_t rgba(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  return uint32_t(r) | uint32_t(g) << 8 | uint32_t(b) << 16 | uint32_t(a) << 24;
}

// A full-screen triangle from the vertex id, uv (0,0) at the top left.
inline const char* fullscreen_vs = R"(
struct vs_out { float4 pos : SV_Position; float2 uv : TEXCOORD0; };
vs_out main(uint id : SV_VertexID) {
  vs_out o;
  o.uv = float2((id << 1) & 2, id & 2);
  o.pos = float4(o.uv * float2(2, -2) + float2(-1, 1), 0, 1);
  return o;
})";

inline const char* device_fixture_t::fullscreen_vs_source() { return fullscreen_vs; }

}  // namespace d3d11_test
