#include "platform/d3d11/device.h"

#include <cstring>

#include "platform/d3d11/blend_state.h"
#include "platform/d3d11/buffer.h"
#include "platform/d3d11/depth_stencil_state.h"
#include "platform/d3d11/depth_stencil_view.h"
#include "platform/d3d11/egl_context.h"
#include "platform/d3d11/gl_debug.h"
#include "platform/d3d11/immediate_context.h"
#include "platform/d3d11/input_layout.h"
#include "platform/d3d11/rasterizer_state.h"
#include "platform/d3d11/render_target_view.h"
#include "platform/d3d11/sampler_state.h"
#include "platform/d3d11/shader.h"
#include "platform/d3d11/shader_resource_view.h"
#include "platform/d3d11/texture.h"
#include "platform/d3d11/unordered_access_view.h"
#include "platform/win32/debugger.h"

namespace {

std::mutex hooks_mutex;
// Serialises the GL work of devices whose users let go: their children may be released on any
// thread. Outside any device, as that work may end with the device's deletion.
std::recursive_mutex orphan_mutex;
gl_context_factory_t context_factory;
dxgi_device_query_t dxgi_device_query = nullptr;

}  // namespace

void set_gl_context_factory(gl_context_factory_t factory) {
  std::lock_guard<std::mutex> lock(hooks_mutex);
  context_factory = std::move(factory);
}

void set_dxgi_device_query(dxgi_device_query_t query) {
  std::lock_guard<std::mutex> lock(hooks_mutex);
  dxgi_device_query = query;
}

gl_context_t* gl_context_of(ID3D11Device* device) {
  return device ? static_cast<d3d11_device_t*>(device)->gl() : nullptr;
}

IUnknown* gl_device_adapter(ID3D11Device* device) {
  return device ? static_cast<d3d11_device_t*>(device)->adapter() : nullptr;
}

void gl_flush_pending(ID3D11Device* device) {
  if (device) static_cast<d3d11_device_t*>(device)->run_pending();
}

unsigned gl_texture_name(ID3D11Texture2D* texture) {
  if (!texture) return 0;
  ID3D11Device* device = nullptr;
  texture->GetDevice(&device);
  gl_flush_pending(device);
  device->Release();
  return static_cast<d3d11_texture2d_t*>(texture)->core().gl_name();
}

d3d11_device_t::d3d11_device_t(std::unique_ptr<gl_context_t> gl, IUnknown* adapter)
    : gl_(std::move(gl)), adapter_(adapter) {}

d3d11_device_t::~d3d11_device_t() = default;

HRESULT d3d11_device_t::create(std::unique_ptr<gl_context_t> gl, IUnknown* adapter, d3d11_device_t** device) {
  if (!gl || !gl->make_current()) return E_FAIL;
  if (epoxy_gl_version() < 45) {
    PLATFORM_LOG_ERR("GL 4.5 is required, the context offers %d.%d", epoxy_gl_version() / 10, epoxy_gl_version() % 10);
    return DXGI_ERROR_UNSUPPORTED;
  }
  auto* object = new d3d11_device_t(std::move(gl), adapter);
  gl_install_debug_callback();
  // D3D's conventions: row 0 at the top, depth from 0 to 1.
  glClipControl(GL_UPPER_LEFT, GL_ZERO_TO_ONE);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glEnable(GL_TEXTURE_CUBE_MAP_SEAMLESS);
  object->create_fallbacks();
  object->context_ = new d3d11_immediate_context_t(object);
  object->context_->create_gl();
  GL_CHECK("D3D11CreateDevice");
  *device = object;
  return S_OK;
}

void d3d11_device_t::create_fallbacks() {
  const uint8_t black[4] = {0, 0, 0, 0};
  const GLenum targets[11] = {0,
                              GL_TEXTURE_BUFFER,
                              GL_TEXTURE_1D,
                              GL_TEXTURE_1D_ARRAY,
                              GL_TEXTURE_2D,
                              GL_TEXTURE_2D_ARRAY,
                              GL_TEXTURE_2D,
                              GL_TEXTURE_2D_ARRAY,
                              GL_TEXTURE_3D,
                              GL_TEXTURE_CUBE_MAP,
                              GL_TEXTURE_CUBE_MAP_ARRAY};
  std::vector<uint8_t> zeros(gl_fallbacks_t::zero_buffer_size, 0);
  glCreateBuffers(1, &fallbacks_.zero_buffer);
  glNamedBufferStorage(fallbacks_.zero_buffer, gl_fallbacks_t::zero_buffer_size, zeros.data(), 0);
  for (int d = 1; d < 11; ++d) {
    GLuint& name = fallbacks_.textures[d];
    glCreateTextures(targets[d], 1, &name);
    switch (targets[d]) {
      case GL_TEXTURE_BUFFER:
        glTextureBufferRange(name, GL_RGBA32F, fallbacks_.zero_buffer, 0, gl_fallbacks_t::zero_buffer_size);
        break;
      case GL_TEXTURE_1D:
        glTextureStorage1D(name, 1, GL_RGBA8, 1);
        glTextureSubImage1D(name, 0, 0, 1, GL_RGBA, GL_UNSIGNED_BYTE, black);
        break;
      case GL_TEXTURE_1D_ARRAY:
      case GL_TEXTURE_2D:
        glTextureStorage2D(name, 1, GL_RGBA8, 1, 1);
        glTextureSubImage2D(name, 0, 0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, black);
        break;
      case GL_TEXTURE_CUBE_MAP:
      case GL_TEXTURE_CUBE_MAP_ARRAY:
      case GL_TEXTURE_2D_ARRAY:
      case GL_TEXTURE_3D: {
        const GLsizei layers = targets[d] == GL_TEXTURE_3D || targets[d] == GL_TEXTURE_2D_ARRAY ? 1 : 6;
        if (targets[d] == GL_TEXTURE_CUBE_MAP)
          glTextureStorage2D(name, 1, GL_RGBA8, 1, 1);
        else
          glTextureStorage3D(name, 1, GL_RGBA8, 1, 1, layers);
        const uint8_t faces[24] = {};
        glTextureSubImage3D(name, 0, 0, 0, 0, 1, 1, layers, GL_RGBA, GL_UNSIGNED_BYTE, faces);
        break;
      }
    }
  }
  fallbacks_.default_sampler = create_gl_sampler(CD3D11_SAMPLER_DESC(D3D11_DEFAULT));
}

void d3d11_device_t::forget_texture(GLuint name) {
  cache_.forget_texture(name);
  if (context_) context_->forget_texture(name);
}

HRESULT d3d11_device_t::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (riid == ID3D11Device::iid || riid == IUnknown::iid) {
    *object = static_cast<ID3D11Device*>(this);
    AddRef();
    return S_OK;
  }
  dxgi_device_query_t query;
  {
    std::lock_guard<std::mutex> lock(hooks_mutex);
    query = dxgi_device_query;
  }
  // The DXGI layer answers for its own interfaces; anything it does not know is E_NOINTERFACE.
  if (query) {
    const HRESULT hr = query(this, object);
    if (SUCCEEDED(hr) || hr != E_NOINTERFACE) return hr;
  }
  return E_NOINTERFACE;
}

ULONG d3d11_device_t::AddRef() { return public_refs_.fetch_add(1, std::memory_order_relaxed) + 1; }

ULONG d3d11_device_t::Release() {
  const ULONG left = public_refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left != 0) return left;
  // The users are gone: drop what the context holds and let the children finish. Children still
  // held elsewhere may be released on other threads, which then need the context.
  std::lock_guard<std::recursive_mutex> lock(orphan_mutex);
  add_private_ref();
  if (gl_->make_current()) context_->ClearState();
  run_pending();
  hand_over_context();
  release_private_ref();
  return 0;
}

void d3d11_device_t::retire_child(std::function<void()> job) {
  // Holds the device while this call still uses it: the job may release its last child reference.
  add_private_ref();
  queue_.push(std::move(job));
  if (orphaned()) {
    std::lock_guard<std::recursive_mutex> lock(orphan_mutex);
    run_pending();
    hand_over_context();
  }
  release_private_ref();
}

void d3d11_device_t::hand_over_context() {
  // Not from inside the queue's run, whose remaining work still needs the context here; nor
  // when the caller's reference is the last, as the deletion that follows needs it too.
  if (!running_pending_ && private_refs_.load(std::memory_order_acquire) > 1) gl_->release_current();
}

void d3d11_device_t::release_private_ref() {
  const ULONG left = private_refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0 && orphaned()) {
    std::lock_guard<std::recursive_mutex> lock(orphan_mutex);
    destroy_if_unused();
  }
}

void d3d11_device_t::destroy_if_unused() {
  if (running_pending_) {
    destroy_requested_ = true;
    return;
  }
  // Without the context the GL names cannot go; the device is left behind rather than deleting
  // them on a thread where they do not exist.
  if (!gl_->make_current()) {
    PLATFORM_LOG_WRN("Direct3D device released on a thread that cannot take its GL context; left undeleted");
    return;
  }
  run_pending_now();
  context_->destroy_gl();
  run_pending_now();
  delete context_;
  context_ = nullptr;
  glDeleteBuffers(1, &fallbacks_.zero_buffer);
  glDeleteTextures(10, &fallbacks_.textures[1]);
  glDeleteSamplers(1, &fallbacks_.default_sampler);
  delete this;
}

void d3d11_device_t::run_pending() {
  if (!gl_->make_current()) return;
  run_pending_now();
}

void d3d11_device_t::run_pending_now() {
  if (running_pending_) return;
  running_pending_ = true;
  queue_.run_all();
  running_pending_ = false;
  if (destroy_requested_) {
    destroy_requested_ = false;
    if (private_refs_.load(std::memory_order_acquire) == 0 && orphaned()) destroy_if_unused();
  }
}

void d3d11_device_t::GetImmediateContext(ID3D11DeviceContext** context) {
  if (!context) return;
  AddRef();
  *context = context_;
}

HRESULT d3d11_device_t::CreateBuffer(const D3D11_BUFFER_DESC* desc, const D3D11_SUBRESOURCE_DATA* data,
                                     ID3D11Buffer** buffer) {
  if (!desc) return E_INVALIDARG;
  if (buffer) *buffer = nullptr;
  d3d11_buffer_t* object = nullptr;
  const HRESULT hr = d3d11_buffer_t::create(this, *desc, data, buffer ? &object : nullptr);
  if (buffer && SUCCEEDED(hr)) *buffer = object;
  return hr;
}

HRESULT d3d11_device_t::CreateTexture1D(const D3D11_TEXTURE1D_DESC* desc, const D3D11_SUBRESOURCE_DATA* data,
                                        ID3D11Texture1D** texture) {
  if (!desc) return E_INVALIDARG;
  if (texture) *texture = nullptr;
  return create_texture1d(this, *desc, data, texture);
}

HRESULT d3d11_device_t::CreateTexture2D(const D3D11_TEXTURE2D_DESC* desc, const D3D11_SUBRESOURCE_DATA* data,
                                        ID3D11Texture2D** texture) {
  if (!desc) return E_INVALIDARG;
  if (texture) *texture = nullptr;
  return create_texture2d(this, *desc, data, texture);
}

HRESULT d3d11_device_t::CreateTexture3D(const D3D11_TEXTURE3D_DESC* desc, const D3D11_SUBRESOURCE_DATA* data,
                                        ID3D11Texture3D** texture) {
  if (!desc) return E_INVALIDARG;
  if (texture) *texture = nullptr;
  return create_texture3d(this, *desc, data, texture);
}

HRESULT d3d11_device_t::CreateShaderResourceView(ID3D11Resource* resource,
                                                 const D3D11_SHADER_RESOURCE_VIEW_DESC* desc,
                                                 ID3D11ShaderResourceView** view) {
  if (view) *view = nullptr;
  return d3d11_shader_resource_view_t::create(this, resource, desc, view);
}

HRESULT d3d11_device_t::CreateRenderTargetView(ID3D11Resource* resource,
                                               const D3D11_RENDER_TARGET_VIEW_DESC* desc,
                                               ID3D11RenderTargetView** view) {
  if (view) *view = nullptr;
  return d3d11_render_target_view_t::create(this, resource, desc, view);
}

HRESULT d3d11_device_t::CreateDepthStencilView(ID3D11Resource* resource,
                                               const D3D11_DEPTH_STENCIL_VIEW_DESC* desc,
                                               ID3D11DepthStencilView** view) {
  if (view) *view = nullptr;
  return d3d11_depth_stencil_view_t::create(this, resource, desc, view);
}

HRESULT d3d11_device_t::CreateUnorderedAccessView(ID3D11Resource* resource,
                                                  const D3D11_UNORDERED_ACCESS_VIEW_DESC* desc,
                                                  ID3D11UnorderedAccessView** view) {
  if (view) *view = nullptr;
  return d3d11_unordered_access_view_t::create(this, resource, desc, view);
}

HRESULT d3d11_device_t::CreateRasterizerState(const D3D11_RASTERIZER_DESC* desc,
                                              ID3D11RasterizerState** state) {
  if (!desc) return E_INVALIDARG;
  if (state) *state = nullptr;
  return d3d11_rasterizer_state_t::create(this, *desc, state);
}

HRESULT d3d11_device_t::CreateBlendState(const D3D11_BLEND_DESC* desc, ID3D11BlendState** state) {
  if (!desc) return E_INVALIDARG;
  if (state) *state = nullptr;
  return d3d11_blend_state_t::create(this, *desc, state);
}

HRESULT d3d11_device_t::CreateDepthStencilState(const D3D11_DEPTH_STENCIL_DESC* desc,
                                                ID3D11DepthStencilState** state) {
  if (!desc) return E_INVALIDARG;
  if (state) *state = nullptr;
  return d3d11_depth_stencil_state_t::create(this, *desc, state);
}

HRESULT d3d11_device_t::CreateSamplerState(const D3D11_SAMPLER_DESC* desc, ID3D11SamplerState** state) {
  if (!desc) return E_INVALIDARG;
  if (state) *state = nullptr;
  return d3d11_sampler_state_t::create(this, *desc, state);
}

HRESULT d3d11_device_t::CreateVertexShader(const void* code, SIZE_T size, ID3D11ClassLinkage*,
                                           ID3D11VertexShader** shader) {
  if (shader) *shader = nullptr;
  return create_shader(this, code, size, spirv_stage_t::vertex, shader);
}

HRESULT d3d11_device_t::CreateGeometryShader(const void* code, SIZE_T size, ID3D11ClassLinkage*,
                                             ID3D11GeometryShader** shader) {
  if (shader) *shader = nullptr;
  return create_shader(this, code, size, spirv_stage_t::geometry, shader);
}

HRESULT d3d11_device_t::CreatePixelShader(const void* code, SIZE_T size, ID3D11ClassLinkage*,
                                          ID3D11PixelShader** shader) {
  if (shader) *shader = nullptr;
  return create_shader(this, code, size, spirv_stage_t::pixel, shader);
}

HRESULT d3d11_device_t::CreateComputeShader(const void* code, SIZE_T size, ID3D11ClassLinkage*,
                                            ID3D11ComputeShader** shader) {
  if (shader) *shader = nullptr;
  return create_shader(this, code, size, spirv_stage_t::compute, shader);
}

HRESULT d3d11_device_t::CreateInputLayout(const D3D11_INPUT_ELEMENT_DESC* elements, UINT count,
                                          const void* code, SIZE_T size, ID3D11InputLayout** layout) {
  if (layout) *layout = nullptr;
  return d3d11_input_layout_t::create(this, elements, count, code, size, layout);
}

HRESULT D3D11CreateDevice(IDXGIAdapter* adapter, D3D_DRIVER_TYPE driver_type, void* software, UINT,
                          const D3D_FEATURE_LEVEL* feature_levels, UINT level_count, UINT sdk_version,
                          ID3D11Device** device, D3D_FEATURE_LEVEL* feature_level,
                          ID3D11DeviceContext** context) {
  if (device) *device = nullptr;
  if (context) *context = nullptr;
  if (software || sdk_version != D3D11_SDK_VERSION) return E_INVALIDARG;
  if (adapter ? driver_type != D3D_DRIVER_TYPE_UNKNOWN : driver_type == D3D_DRIVER_TYPE_UNKNOWN)
    return E_INVALIDARG;
  // Only 11.0 is offered; a list must contain it.
  if (feature_levels && level_count) {
    bool found = false;
    for (UINT i = 0; i < level_count; ++i) found |= feature_levels[i] == D3D_FEATURE_LEVEL_11_0;
    if (!found) return E_INVALIDARG;
  }
  gl_context_factory_t factory;
  {
    std::lock_guard<std::mutex> lock(hooks_mutex);
    factory = context_factory;
  }
  auto gl = factory ? factory() : create_headless_gl_context();
  if (!gl) {
    PLATFORM_LOG_ERR("No GL 4.5 context: %s", gl.error().c_str());
    return DXGI_ERROR_UNSUPPORTED;
  }
  d3d11_device_t* object = nullptr;
  const HRESULT hr = d3d11_device_t::create(std::move(*gl), reinterpret_cast<IUnknown*>(adapter), &object);
  if (FAILED(hr)) return hr;
  if (feature_level) *feature_level = D3D_FEATURE_LEVEL_11_0;
  if (context) object->GetImmediateContext(context);
  if (device)
    *device = object;
  else
    object->Release();
  return S_OK;
}
