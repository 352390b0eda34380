// The device is free-threaded: worker tasks create shaders, constant buffers, textures and views
// while the main thread keeps drawing with the immediate context and then blocks on them. Nothing
// may wait for the main thread, and every object must be usable once its task is done.

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "common/d3d11_test_support.h"
#include "libs/enki/task_scheduler.h"

using namespace d3d11_test;

namespace {

constexpr uint32_t object_count = 200;
constexpr uint32_t worker_threads = 8;
constexpr uint32_t shader_variants = 4;

// Variant k adds k/255 to red, so a draw shows which of the four bytecodes its shader came from.
std::string variant_source(uint32_t k) {
  return R"(
Texture2D tex : register(t0);
SamplerState point_sampler : register(s0);
cbuffer Tint : register(b0) { float4 tint; };
float4 main(float4 pos : SV_Position, float2 uv : TEXCOORD0) : SV_Target {
  return tex.Sample(point_sampler, uv) + tint + float4()" +
         std::to_string(k) + R"( / 255.0, 0, 0, 0);
})";
}

// What object i holds: a 1×1 texture (i, 200 − i, 0, 255), a tint adding (i mod 50) to blue.
uint32_t texel_of(uint32_t i) { return rgba(uint8_t(i), uint8_t(200 - i), 0, 255); }
float tint_blue_of(uint32_t i) { return float(i % 50) / 255.0f; }
uint32_t expected_pixel(uint32_t i) {
  return rgba(uint8_t(i + i % shader_variants), uint8_t(200 - i), uint8_t(i % 50), 255);
}

struct created_t {
  com_ptr_t<ID3D11PixelShader> shader;
  com_ptr_t<ID3D11Buffer> tint;
  com_ptr_t<ID3D11Texture2D> texture;
  com_ptr_t<ID3D11ShaderResourceView> view;
  com_ptr_t<ID3D11SamplerState> sampler;
  HRESULT result = E_FAIL;
};

class creation_task_t : public enki::ITaskSet {
 public:
  creation_task_t(ID3D11Device* device, const std::vector<std::vector<uint8_t>>& code,
                  std::vector<created_t>& out)
      : enki::ITaskSet(object_count, 1), device_(device), code_(code), out_(out) {}

  void ExecuteRange(enki::TaskSetPartition range, uint32_t) override {
    for (uint32_t i = range.start; i < range.end; ++i) out_[i].result = create(i, out_[i]);
  }

 private:
  HRESULT create(uint32_t i, created_t& o) {
    const auto& code = code_[i % shader_variants];
    HRESULT hr = device_->CreatePixelShader(code.data(), code.size(), nullptr, &o.shader);
    if (FAILED(hr)) return hr;

    const float tint[4] = {0, 0, tint_blue_of(i), 0};
    D3D11_BUFFER_DESC buffer_desc{16, D3D11_USAGE_IMMUTABLE, D3D11_BIND_CONSTANT_BUFFER, 0, 0, 0};
    D3D11_SUBRESOURCE_DATA buffer_data{tint, 0, 0};
    if (FAILED(hr = device_->CreateBuffer(&buffer_desc, &buffer_data, &o.tint))) return hr;

    const uint32_t texel = texel_of(i);
    D3D11_TEXTURE2D_DESC texture_desc{};
    texture_desc.Width = texture_desc.Height = texture_desc.MipLevels = texture_desc.ArraySize = 1;
    texture_desc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    texture_desc.SampleDesc = {1, 0};
    texture_desc.Usage = D3D11_USAGE_IMMUTABLE;
    texture_desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
    D3D11_SUBRESOURCE_DATA texture_data{&texel, 4, 4};
    if (FAILED(hr = device_->CreateTexture2D(&texture_desc, &texture_data, &o.texture))) return hr;
    if (FAILED(hr = device_->CreateShaderResourceView(o.texture, nullptr, &o.view))) return hr;

    // Equal descriptions from many threads at once share one object.
    D3D11_SAMPLER_DESC sampler_desc = CD3D11_SAMPLER_DESC(D3D11_DEFAULT);
    sampler_desc.Filter = D3D11_FILTER_MIN_MAG_MIP_POINT;
    if (FAILED(hr = device_->CreateSamplerState(&sampler_desc, &o.sampler))) return hr;

    // A last reference dropped on a worker: its GL names go on the context thread.
    com_ptr_t<ID3D11Buffer> scratch;
    D3D11_BUFFER_DESC scratch_desc{64, D3D11_USAGE_DEFAULT, D3D11_BIND_VERTEX_BUFFER, 0, 0, 0};
    return device_->CreateBuffer(&scratch_desc, nullptr, &scratch);
  }

  ID3D11Device* device_;
  const std::vector<std::vector<uint8_t>>& code_;
  std::vector<created_t>& out_;
};

class D3D11CreationThreadTest : public device_fixture_t {};

TEST_F(D3D11CreationThreadTest, WorkersCreateWhileTheMainThreadDrawsAndWaits) {
  std::vector<std::vector<uint8_t>> code;
  for (uint32_t k = 0; k < shader_variants; ++k)
    code.push_back(compile_hlsl(variant_source(k), "frag", "main"));
  for (const auto& c : code) ASSERT_FALSE(c.empty());
  auto vs = vertex_shader(fullscreen_vs);
  ASSERT_TRUE(vs);

  // The main thread's own frame: a dynamic constant buffer rewritten before every draw.
  auto target = make_target(4, 4);
  auto frame_ps = pixel_shader(R"(
cbuffer Frame : register(b0) { float4 color; };
float4 main(float4 pos : SV_Position) : SV_Target { return color; })");
  auto frame_constants = constant_buffer(nullptr, 16, true);

  std::vector<created_t> created(object_count);
  creation_task_t task(device, code, created);
  enki::TaskScheduler scheduler;
  scheduler.Initialize(worker_threads + 1);
  scheduler.AddTaskSetToPipe(&task);

  bind_target(target);
  context->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
  context->VSSetShader(vs, nullptr, 0);
  context->PSSetShader(frame_ps, nullptr, 0);
  ID3D11Buffer* frame_buffer = frame_constants;
  context->PSSetConstantBuffers(0, 1, &frame_buffer);
  uint32_t frames = 0;
  // Drawing for a while, then blocking as a loader would.
  for (; !task.GetIsComplete() && frames < 20; ++frames) {
    const float clear[4] = {0, 0, 0, 0};
    context->ClearRenderTargetView(target.rtv, clear);
    D3D11_MAPPED_SUBRESOURCE mapped{};
    ASSERT_EQ(context->Map(frame_constants, 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped), S_OK);
    const float color[4] = {float(frames % 256) / 255.0f, 0, 1, 1};
    std::memcpy(mapped.pData, color, sizeof(color));
    context->Unmap(frame_constants, 0);
    context->Draw(3, 0);
  }
  scheduler.WaitforTask(&task);
  if (frames > 0) {
    EXPECT_EQ(read_rgba8(target.texture)[5], rgba(uint8_t((frames - 1) % 256), 0, 255, 255));
  }

  for (uint32_t i = 0; i < object_count; ++i) {
    ASSERT_EQ(created[i].result, S_OK) << i;
    ASSERT_TRUE(created[i].shader && created[i].tint && created[i].view && created[i].sampler) << i;
    EXPECT_EQ(created[i].sampler.get(), created[0].sampler.get()) << i;
  }

  // Every twentieth set, and the last, draws what it was made with.
  std::vector<uint32_t> checked;
  for (uint32_t i = 0; i < object_count; i += 20) checked.push_back(i);
  checked.push_back(object_count - 1);
  for (uint32_t i : checked) {
    SCOPED_TRACE(i);
    const created_t& o = created[i];
    ID3D11Buffer* tint = o.tint;
    ID3D11ShaderResourceView* view = o.view;
    ID3D11SamplerState* sampler = o.sampler;
    context->PSSetShader(o.shader, nullptr, 0);
    context->PSSetConstantBuffers(0, 1, &tint);
    context->PSSetShaderResources(0, 1, &view);
    context->PSSetSamplers(0, 1, &sampler);
    context->Draw(3, 0);
    const auto pixels = read_rgba8(target.texture);
    EXPECT_EQ(pixels[0], expected_pixel(i));
    EXPECT_EQ(pixels[15], expected_pixel(i));
  }
  scheduler.WaitforAllAndShutdown();
}

// Objects made and dropped on workers in rounds, with the main thread flushing between them: the
// queue never runs a deletion before its creation, and nothing is left behind.
TEST_F(D3D11CreationThreadTest, ObjectsReleasedOnWorkersAreDeletedOnTheContextThread) {
  auto code = compile_hlsl(variant_source(0), "frag", "main");
  ASSERT_FALSE(code.empty());
  enki::TaskScheduler scheduler;
  scheduler.Initialize(worker_threads + 1);
  struct churn_t : enki::ITaskSet {
    churn_t(ID3D11Device* d, const std::vector<uint8_t>& c) : enki::ITaskSet(64, 1), device(d), code(c) {}
    void ExecuteRange(enki::TaskSetPartition range, uint32_t) override {
      for (uint32_t i = range.start; i < range.end; ++i) {
        com_ptr_t<ID3D11PixelShader> shader;
        if (FAILED(device->CreatePixelShader(code.data(), code.size(), nullptr, &shader))) failures++;
        D3D11_BUFFER_DESC desc{
            256, D3D11_USAGE_DYNAMIC, D3D11_BIND_CONSTANT_BUFFER, D3D11_CPU_ACCESS_WRITE, 0, 0};
        com_ptr_t<ID3D11Buffer> buffer;
        if (FAILED(device->CreateBuffer(&desc, nullptr, &buffer))) failures++;
        D3D11_RASTERIZER_DESC raster = CD3D11_RASTERIZER_DESC(D3D11_DEFAULT);
        raster.CullMode = i % 2 ? D3D11_CULL_NONE : D3D11_CULL_FRONT;
        com_ptr_t<ID3D11RasterizerState> state;
        if (FAILED(device->CreateRasterizerState(&raster, &state))) failures++;
      }
    }
    ID3D11Device* device;
    const std::vector<uint8_t>& code;
    std::atomic<int> failures{0};
  };
  for (int round = 0; round < 4; ++round) {
    churn_t churn(device, code);
    scheduler.AddTaskSetToPipe(&churn);
    while (!churn.GetIsComplete()) context->Flush();
    scheduler.WaitforTask(&churn);
    EXPECT_EQ(churn.failures.load(), 0);
  }
  context->Flush();
  scheduler.WaitforAllAndShutdown();
}

}  // namespace

// The users let go of the device while a worker still holds one of its objects; the worker's last
// Release must not run GL work on a thread where the context is not current.
TEST_F(D3D11CreationThreadTest, LastReleaseOnAWorkerAfterTheDeviceWasReleased) {
  D3D11_BUFFER_DESC desc{64, D3D11_USAGE_DEFAULT, D3D11_BIND_VERTEX_BUFFER, 0, 0, 0};
  ID3D11Buffer* buffer = nullptr;
  ASSERT_EQ(device->CreateBuffer(&desc, nullptr, &buffer), S_OK);
  context.Release();
  device.Release();
  std::thread worker([buffer] { buffer->Release(); });
  worker.join();
}
