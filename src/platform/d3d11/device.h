#pragma once
// The free-threaded device. Creation calls validate and normalise their description and prepare
// everything CPU-side on the calling thread (copies of initial data, shader translation); the GL
// names are made by the context thread from a mutex-guarded queue that the immediate context runs
// before each command. No device call ever waits for the context thread, so workers may create
// objects while the main thread blocks on them.
//
// Children keep a private reference to the device; the public count belongs to the API's users.
// When both reach zero the device runs the remaining GL work and goes.

#include <epoxy/gl.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/d3d11/d3d11.h"
#include "platform/d3d11/gl_context.h"
#include "platform/d3d11/gl_state_cache.h"
#include "platform/d3d11/gl_work_queue.h"

class d3d11_immediate_context_t;
class d3d11_rasterizer_state_t;
class d3d11_blend_state_t;
class d3d11_depth_stencil_state_t;
class d3d11_sampler_state_t;

// GL objects every draw may need in place of what the caller left unbound.
struct gl_fallbacks_t {
  GLuint textures[11] = {};  // by D3D SRV dimension: 1×1 (×1) transparent black
  GLuint zero_buffer = 0;    // reads as zero: uniform, storage and buffer-texture fallback
  GLuint default_sampler = 0;
  static constexpr GLsizeiptr zero_buffer_size = 65536;
};

class d3d11_device_t final : public ID3D11Device {
 public:
  // Takes over the GL context, which must be current on the calling thread.
  static HRESULT create(std::unique_ptr<gl_context_t> gl, IUnknown* adapter, d3d11_device_t** device);

  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;

  HRESULT CreateBuffer(const D3D11_BUFFER_DESC* desc, const D3D11_SUBRESOURCE_DATA* data,
                       ID3D11Buffer** buffer) override;
  HRESULT CreateTexture1D(const D3D11_TEXTURE1D_DESC* desc, const D3D11_SUBRESOURCE_DATA* data,
                          ID3D11Texture1D** texture) override;
  HRESULT CreateTexture2D(const D3D11_TEXTURE2D_DESC* desc, const D3D11_SUBRESOURCE_DATA* data,
                          ID3D11Texture2D** texture) override;
  HRESULT CreateTexture3D(const D3D11_TEXTURE3D_DESC* desc, const D3D11_SUBRESOURCE_DATA* data,
                          ID3D11Texture3D** texture) override;
  HRESULT CreateShaderResourceView(ID3D11Resource* resource, const D3D11_SHADER_RESOURCE_VIEW_DESC* desc,
                                   ID3D11ShaderResourceView** view) override;
  HRESULT CreateRenderTargetView(ID3D11Resource* resource, const D3D11_RENDER_TARGET_VIEW_DESC* desc,
                                 ID3D11RenderTargetView** view) override;
  HRESULT CreateDepthStencilView(ID3D11Resource* resource, const D3D11_DEPTH_STENCIL_VIEW_DESC* desc,
                                 ID3D11DepthStencilView** view) override;
  HRESULT CreateUnorderedAccessView(ID3D11Resource* resource, const D3D11_UNORDERED_ACCESS_VIEW_DESC* desc,
                                    ID3D11UnorderedAccessView** view) override;
  HRESULT CreateRasterizerState(const D3D11_RASTERIZER_DESC* desc, ID3D11RasterizerState** state) override;
  HRESULT CreateBlendState(const D3D11_BLEND_DESC* desc, ID3D11BlendState** state) override;
  HRESULT CreateDepthStencilState(const D3D11_DEPTH_STENCIL_DESC* desc,
                                  ID3D11DepthStencilState** state) override;
  HRESULT CreateSamplerState(const D3D11_SAMPLER_DESC* desc, ID3D11SamplerState** state) override;
  HRESULT CreateVertexShader(const void* code, SIZE_T size, ID3D11ClassLinkage* linkage,
                             ID3D11VertexShader** shader) override;
  HRESULT CreateGeometryShader(const void* code, SIZE_T size, ID3D11ClassLinkage* linkage,
                               ID3D11GeometryShader** shader) override;
  HRESULT CreatePixelShader(const void* code, SIZE_T size, ID3D11ClassLinkage* linkage,
                            ID3D11PixelShader** shader) override;
  HRESULT CreateComputeShader(const void* code, SIZE_T size, ID3D11ClassLinkage* linkage,
                              ID3D11ComputeShader** shader) override;
  HRESULT CreateInputLayout(const D3D11_INPUT_ELEMENT_DESC* elements, UINT count, const void* code,
                            SIZE_T size, ID3D11InputLayout** layout) override;
  void GetImmediateContext(ID3D11DeviceContext** context) override;
  D3D_FEATURE_LEVEL GetFeatureLevel() override { return D3D_FEATURE_LEVEL_11_0; }

  // Any thread: queue GL work for the context thread.
  void enqueue(std::function<void()> job) { queue_.push(std::move(job)); }
  // Any thread, at a child's last Release: queue its deletion. Once the users let go of the device
  // there is no context thread any more, and the deletion runs at once wherever the context can be
  // made current.
  void retire_child(std::function<void()> job);
  // Context thread: make the context current and run the queued work. Work stays queued when the
  // context cannot be made current on the calling thread.
  void run_pending();
  void add_private_ref() { private_refs_.fetch_add(1, std::memory_order_relaxed); }
  void release_private_ref();
  // True once the users let go; children released later flush their GL work at once.
  bool orphaned() const { return public_refs_.load(std::memory_order_acquire) == 0; }

  gl_state_cache_t& cache() { return cache_; }
  // Context thread: a texture name is about to be deleted; no cache may keep it.
  void forget_texture(GLuint name);
  const gl_fallbacks_t& fallbacks() const { return fallbacks_; }
  gl_context_t* gl() { return gl_.get(); }
  IUnknown* adapter() { return adapter_; }
  d3d11_immediate_context_t* immediate() { return context_; }

  // Equal state descriptions share one object; a state leaving the last reference unregisters.
  std::mutex& state_mutex() { return state_mutex_; }
  std::vector<d3d11_rasterizer_state_t*>& rasterizer_states() { return rasterizer_states_; }
  std::vector<d3d11_blend_state_t*>& blend_states() { return blend_states_; }
  std::vector<d3d11_depth_stencil_state_t*>& depth_stencil_states() { return depth_stencil_states_; }
  std::vector<d3d11_sampler_state_t*>& sampler_states() { return sampler_states_; }

 private:
  d3d11_device_t(std::unique_ptr<gl_context_t> gl, IUnknown* adapter);
  ~d3d11_device_t();
  void create_fallbacks();
  void destroy_if_unused();
  void run_pending_now();
  // Orphaned devices: lets the next thread that releases a child take the context.
  void hand_over_context();

  std::unique_ptr<gl_context_t> gl_;
  IUnknown* adapter_ = nullptr;
  gl_work_queue_t queue_;
  gl_state_cache_t cache_;
  gl_fallbacks_t fallbacks_;
  d3d11_immediate_context_t* context_ = nullptr;
  std::atomic<ULONG> public_refs_{1};
  std::atomic<ULONG> private_refs_{0};
  bool running_pending_ = false;
  bool destroy_requested_ = false;
  std::mutex state_mutex_;
  std::vector<d3d11_rasterizer_state_t*> rasterizer_states_;
  std::vector<d3d11_blend_state_t*> blend_states_;
  std::vector<d3d11_depth_stencil_state_t*> depth_stencil_states_;
  std::vector<d3d11_sampler_state_t*> sampler_states_;
};
