#include "platform/d3d11/immediate_context.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/d3d11/blend_state.h"
#include "platform/d3d11/buffer.h"
#include "platform/d3d11/depth_stencil_state.h"
#include "platform/d3d11/depth_stencil_view.h"
#include "platform/d3d11/gl_debug.h"
#include "platform/d3d11/rasterizer_state.h"
#include "platform/d3d11/sampler_state.h"
#include "platform/d3d11/shader.h"
#include "platform/d3d11/shader_resource_view.h"
#include "platform/d3d11/texture.h"
#include "platform/d3d11/unordered_access_view.h"
#include "platform/win32/debugger.h"

namespace {

constexpr GLbitfield stage_bits[4] = {GL_VERTEX_SHADER_BIT, GL_GEOMETRY_SHADER_BIT, GL_FRAGMENT_SHADER_BIT,
                                      GL_COMPUTE_SHADER_BIT};
const attachment_t stale_attachment{~0u, -2, -2, 0, 0};

GLenum index_type(DXGI_FORMAT format) {
  return format == DXGI_FORMAT_R16_UINT ? GL_UNSIGNED_SHORT : GL_UNSIGNED_INT;
}
uint32_t index_size(DXGI_FORMAT format) { return format == DXGI_FORMAT_R16_UINT ? 2 : 4; }

// The values a channel of an integer format holds.
struct integer_range_t {
  double low, high;
};
integer_range_t integer_range(GLenum type) {
  switch (type) {
    case GL_BYTE:
      return {-128, 127};
    case GL_UNSIGNED_BYTE:
      return {0, 255};
    case GL_SHORT:
      return {-32768, 32767};
    case GL_UNSIGNED_SHORT:
      return {0, 65535};
    case GL_INT:
      return {-2147483648.0, 2147483647.0};
    default:
      return {0, 4294967295.0};
  }
}

// D3D's float-to-integer rule for clear values: NaN is 0, the rest truncates toward zero and
// saturates to the channel's range (a plain cast of FLT_MAX or of a negative value is undefined).
int64_t saturate_integer(float value, const integer_range_t& range) {
  if (std::isnan(value)) return 0;
  return int64_t(std::clamp(std::trunc(double(value)), range.low, range.high));
}

// D3D's float-to-half conversion keeps finite values finite: beyond the half range they become the
// largest half of their sign (infinities and NaN pass). GL leaves the overflow to the driver, and
// the engine clears half targets with FLT_MAX.
float saturate_half(float value) {
  constexpr float max_half = 65504.0f;
  if (!std::isfinite(value)) return value;
  return std::clamp(value, -max_half, max_half);
}

void attach(GLuint fbo, GLenum point, const attachment_t& a) {
  if (a.layer >= 0)
    glNamedFramebufferTextureLayer(fbo, point, a.texture, a.level, a.layer);
  else
    glNamedFramebufferTexture(fbo, point, a.texture, a.level);
}

}  // namespace

d3d11_immediate_context_t::d3d11_immediate_context_t(d3d11_device_t* device) : device_(device) {}

d3d11_immediate_context_t::~d3d11_immediate_context_t() = default;

void d3d11_immediate_context_t::create_gl() {
  glCreateVertexArrays(1, &vao_);
  glCreateProgramPipelines(1, &graphics_pipeline_);
  glCreateProgramPipelines(1, &compute_pipeline_);
  glCreateFramebuffers(1, &draw_fbo_);
  glCreateFramebuffers(1, &clear_fbo_);
  GLint storage_alignment = 0, texture_alignment = 0;
  glGetIntegerv(GL_SHADER_STORAGE_BUFFER_OFFSET_ALIGNMENT, &storage_alignment);
  glGetIntegerv(GL_TEXTURE_BUFFER_OFFSET_ALIGNMENT, &texture_alignment);
  buffer_view_alignment_ = uint32_t(std::max({storage_alignment, texture_alignment, GLint(1)}));
  pinned_memory_ = epoxy_has_gl_extension("GL_AMD_pinned_memory");
  glCreateBuffers(1, &discard_buffer_);
  glNamedBufferStorage(discard_buffer_, gl_fallbacks_t::zero_buffer_size, nullptr, 0);
  // A framebuffer without attachments (UAV-only rendering) still needs a size.
  glNamedFramebufferParameteri(draw_fbo_, GL_FRAMEBUFFER_DEFAULT_WIDTH, 16384);
  glNamedFramebufferParameteri(draw_fbo_, GL_FRAMEBUFFER_DEFAULT_HEIGHT, 16384);
  for (auto& a : attached_) a = attachment_t{};
  attached_depth_ = attachment_t{};
  for (auto& b : draw_buffers_) b = GL_NONE;
  glNamedFramebufferDrawBuffers(draw_fbo_, 8, draw_buffers_);
  auto& cache = device_->cache();
  cache.bind_vertex_array(vao_);
  cache.bind_draw_framebuffer(draw_fbo_);
  // Ranges of the full-screen viewport: D3D points are one pixel, and no program sets the size.
  glDisable(GL_PROGRAM_POINT_SIZE);
  glPointSize(1.0f);
  glEnable(GL_FRAMEBUFFER_SRGB);
}

void d3d11_immediate_context_t::destroy_gl() {
  ClearState();
  glDeleteVertexArrays(1, &vao_);
  glDeleteProgramPipelines(1, &graphics_pipeline_);
  glDeleteProgramPipelines(1, &compute_pipeline_);
  glDeleteFramebuffers(1, &draw_fbo_);
  glDeleteFramebuffers(1, &clear_fbo_);
  device_->cache().forget_buffer(discard_buffer_);
  glDeleteBuffers(1, &discard_buffer_);
  if (shifted_indices_) {
    device_->cache().forget_buffer(shifted_indices_);
    glDeleteBuffers(1, &shifted_indices_);
  }
}

void d3d11_immediate_context_t::forget_texture(GLuint name) {
  for (auto& a : attached_)
    if (a.texture == name) a = stale_attachment;
  if (attached_depth_.texture == name) attached_depth_ = stale_attachment;
  framebuffer_dirty_ = true;
}

HRESULT d3d11_immediate_context_t::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (riid == ID3D11DeviceContext::iid || riid == ID3D11DeviceChild::iid || riid == IUnknown::iid) {
    *object = static_cast<ID3D11DeviceContext*>(this);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}

void d3d11_immediate_context_t::begin_command() {
  device_->run_pending();
  barrier();
}

void d3d11_immediate_context_t::barrier() {
  if (!uav_writes_pending_) return;
  // D3D orders UAV writes before every later read: shaders, copies, indirect arguments, maps.
  glMemoryBarrier(GL_ALL_BARRIER_BITS);
  uav_writes_pending_ = false;
}

// Input assembler.

void d3d11_immediate_context_t::IASetInputLayout(ID3D11InputLayout* layout) {
  state_.input_layout = layout;
  layout_dirty_ = true;
}

void d3d11_immediate_context_t::IASetVertexBuffers(UINT start, UINT count, ID3D11Buffer* const* buffers,
                                                   const UINT* strides, const UINT* offsets) {
  for (UINT i = 0; i < count && start + i < D3D11_IA_VERTEX_INPUT_RESOURCE_SLOT_COUNT; ++i) {
    state_.vertex_buffers[start + i] = buffers ? buffers[i] : nullptr;
    state_.strides[start + i] = strides ? strides[i] : 0;
    state_.offsets[start + i] = offsets ? offsets[i] : 0;
  }
}

void d3d11_immediate_context_t::IASetIndexBuffer(ID3D11Buffer* buffer, DXGI_FORMAT format, UINT offset) {
  state_.index_buffer = buffer;
  state_.index_format = format;
  state_.index_offset = offset;
}

void d3d11_immediate_context_t::IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY topology) {
  state_.topology = topology;
}

// Shaders and their resources.

void d3d11_immediate_context_t::set_shader(int stage, IUnknown* holder, shader_core_t* core) {
  state_.stages[stage].shader = holder;
  state_.stages[stage].core = core;
}

void d3d11_immediate_context_t::VSSetShader(ID3D11VertexShader* shader, ID3D11ClassInstance* const*, UINT) {
  set_shader(0, shader, shader_core_of(shader));
}
void d3d11_immediate_context_t::GSSetShader(ID3D11GeometryShader* shader, ID3D11ClassInstance* const*, UINT) {
  set_shader(1, shader, shader_core_of(shader));
}
void d3d11_immediate_context_t::PSSetShader(ID3D11PixelShader* shader, ID3D11ClassInstance* const*, UINT) {
  set_shader(2, shader, shader_core_of(shader));
  // Which outputs the shader writes decides which textures still without storage get it.
  framebuffer_dirty_ = true;
}
void d3d11_immediate_context_t::CSSetShader(ID3D11ComputeShader* shader, ID3D11ClassInstance* const*, UINT) {
  set_shader(3, shader, shader_core_of(shader));
}

void d3d11_immediate_context_t::set_constant_buffers(int stage, UINT start, UINT count,
                                                     ID3D11Buffer* const* buffers) {
  for (UINT i = 0; i < count && start + i < D3D11_COMMONSHADER_CONSTANT_BUFFER_API_SLOT_COUNT; ++i)
    state_.stages[stage].constant_buffers[start + i] = buffers ? buffers[i] : nullptr;
}

void d3d11_immediate_context_t::set_shader_resources(int stage, UINT start, UINT count,
                                                     ID3D11ShaderResourceView* const* views) {
  for (UINT i = 0; i < count && start + i < D3D11_COMMONSHADER_INPUT_RESOURCE_SLOT_COUNT; ++i) {
    ID3D11ShaderResourceView* view = views ? views[i] : nullptr;
    // D3D refuses a view of a resource that is bound as a render target.
    if (view) {
      ID3D11Resource* resource = to_impl(view)->resource();
      for (auto& rtv : state_.render_targets)
        if (rtv && to_impl(rtv.p)->resource() == resource) view = nullptr;
      if (state_.depth_target && to_impl(state_.depth_target.p)->resource() == resource) view = nullptr;
    }
    state_.stages[stage].resources[start + i] = view;
  }
}

void d3d11_immediate_context_t::set_samplers(int stage, UINT start, UINT count,
                                             ID3D11SamplerState* const* samplers) {
  for (UINT i = 0; i < count && start + i < D3D11_COMMONSHADER_SAMPLER_SLOT_COUNT; ++i)
    state_.stages[stage].samplers[start + i] = samplers ? samplers[i] : nullptr;
}

void d3d11_immediate_context_t::CSSetUnorderedAccessViews(UINT start, UINT count,
                                                          ID3D11UnorderedAccessView* const* views,
                                                          const UINT* initial_counts) {
  begin_command();
  for (UINT i = 0; i < count && start + i < D3D11_1_UAV_SLOT_COUNT; ++i) {
    ID3D11UnorderedAccessView* view = views ? views[i] : nullptr;
    state_.compute_uavs[start + i] = view;
    if (view && initial_counts) to_impl(view)->set_counter(initial_counts[i]);
  }
}

// Rasterizer and output merger.

void d3d11_immediate_context_t::RSSetState(ID3D11RasterizerState* state) {
  state_.rasterizer = state;
  fixed_function_dirty_ = true;
}

void d3d11_immediate_context_t::RSSetViewports(UINT count, const D3D11_VIEWPORT* viewports) {
  count = std::min<UINT>(count, D3D11_VIEWPORT_AND_SCISSORRECT_OBJECT_COUNT_PER_PIPELINE);
  for (UINT i = 0; i < count; ++i) state_.viewports[i] = viewports[i];
  state_.viewport_count = count;
  fixed_function_dirty_ = true;
}

void d3d11_immediate_context_t::RSSetScissorRects(UINT count, const D3D11_RECT* rects) {
  count = std::min<UINT>(count, D3D11_VIEWPORT_AND_SCISSORRECT_OBJECT_COUNT_PER_PIPELINE);
  for (UINT i = 0; i < count; ++i) state_.scissors[i] = rects[i];
  state_.scissor_count = count;
  fixed_function_dirty_ = true;
}

void d3d11_immediate_context_t::OMSetBlendState(ID3D11BlendState* state, const FLOAT blend_factor[4],
                                                UINT sample_mask) {
  state_.blend = state;
  for (int i = 0; i < 4; ++i) state_.blend_factor[i] = blend_factor ? blend_factor[i] : 1.0f;
  state_.sample_mask = sample_mask;
  fixed_function_dirty_ = true;
}

void d3d11_immediate_context_t::OMSetDepthStencilState(ID3D11DepthStencilState* state, UINT stencil_ref) {
  state_.depth_stencil = state;
  state_.stencil_ref = stencil_ref;
  fixed_function_dirty_ = true;
  // A depth buffer still without storage is attached only for draws that test it.
  framebuffer_dirty_ = true;
}

void d3d11_immediate_context_t::unbind_resource_from_srvs(ID3D11Resource* resource) {
  for (auto& stage : state_.stages)
    for (auto& srv : stage.resources)
      if (srv && to_impl(srv.p)->resource() == resource) srv = nullptr;
}

void d3d11_immediate_context_t::bind_render_targets(UINT count, ID3D11RenderTargetView* const* views,
                                                    ID3D11DepthStencilView* depth) {
  for (UINT i = 0; i < D3D11_SIMULTANEOUS_RENDER_TARGET_COUNT; ++i) {
    ID3D11RenderTargetView* view = (views && i < count) ? views[i] : nullptr;
    state_.render_targets[i] = view;
    // A resource becoming a render target leaves the shader-resource slots, as in D3D.
    if (view) unbind_resource_from_srvs(to_impl(view)->resource());
  }
  state_.depth_target = depth;
  if (depth) unbind_resource_from_srvs(to_impl(depth)->resource());
  framebuffer_dirty_ = true;
}

void d3d11_immediate_context_t::OMSetRenderTargets(UINT count, ID3D11RenderTargetView* const* views,
                                                   ID3D11DepthStencilView* depth) {
  bind_render_targets(count, views, depth);
  for (auto& uav : state_.pixel_uavs) uav = nullptr;
}

void d3d11_immediate_context_t::bind_pixel_uavs(UINT start, UINT count,
                                                ID3D11UnorderedAccessView* const* uavs, const UINT* counts) {
  for (auto& uav : state_.pixel_uavs) uav = nullptr;
  for (UINT i = 0; i < count && start + i < D3D11_1_UAV_SLOT_COUNT; ++i) {
    ID3D11UnorderedAccessView* view = uavs ? uavs[i] : nullptr;
    state_.pixel_uavs[start + i] = view;
    if (view && counts) to_impl(view)->set_counter(counts[i]);
  }
}

void d3d11_immediate_context_t::OMSetRenderTargetsAndUnorderedAccessViews(
    UINT rtv_count, ID3D11RenderTargetView* const* views, ID3D11DepthStencilView* depth, UINT uav_start,
    UINT uav_count, ID3D11UnorderedAccessView* const* uavs, const UINT* initial_counts) {
  begin_command();
  if (rtv_count != D3D11_KEEP_UNORDERED_ACCESS_VIEWS) bind_render_targets(rtv_count, views, depth);
  if (uav_count != D3D11_KEEP_UNORDERED_ACCESS_VIEWS)
    bind_pixel_uavs(uav_start, uav_count, uavs, initial_counts);
}

// Clears: the whole view, whatever the scissor and the write masks say.

bool d3d11_immediate_context_t::record_clear(d3d11_render_target_view_t& view, const FLOAT color[4]) {
  texture_core_t& texture = *view.texture();
  const dxgi_format_info_t& format = view.format();
  // Only what a clear of the texture's own texels gives alike: sRGB encoding and swizzled or
  // converted storage are left to the framebuffer clear.
  if (!texture.storage_pending() || view.level() != 0 || format.srgb || format.compressed ||
      format.gl_internal_format != texture.storage->gl_internal_format ||
      texture.storage->conversion != dxgi_conversion_t::none || !dxgi_swizzle_is_identity(*texture.storage))
    return false;
  if (format.integer) {
    const integer_range_t range = integer_range(format.gl_type);
    if (range.low < 0) {
      GLint values[4];
      for (int i = 0; i < 4; ++i) values[i] = GLint(saturate_integer(color[i], range));
      texture.record_colour_clear(GL_RGBA_INTEGER, GL_INT, values, sizeof values);
    } else {
      GLuint values[4];
      for (int i = 0; i < 4; ++i) values[i] = GLuint(saturate_integer(color[i], range));
      texture.record_colour_clear(GL_RGBA_INTEGER, GL_UNSIGNED_INT, values, sizeof values);
    }
    return true;
  }
  GLfloat values[4] = {color[0], color[1], color[2], color[3]};
  if (format.gl_type == GL_HALF_FLOAT)
    for (GLfloat& value : values) value = saturate_half(value);
  texture.record_colour_clear(GL_RGBA, GL_FLOAT, values, sizeof values);
  return true;
}

void d3d11_immediate_context_t::ClearRenderTargetView(ID3D11RenderTargetView* view, const FLOAT color[4]) {
  if (!view) return;
  begin_command();
  if (record_clear(*to_impl(view), color)) return;
  auto& cache = device_->cache();
  const attachment_t a = to_impl(view)->attachment();
  attach(clear_fbo_, GL_COLOR_ATTACHMENT0, a);
  const GLenum buffer = GL_COLOR_ATTACHMENT0;
  glNamedFramebufferDrawBuffers(clear_fbo_, 1, &buffer);
  cache.enable(GL_SCISSOR_TEST, false);
  cache.color_mask(0, 0xF);
  // sRGB views take linear clear colours, as D3D does.
  const dxgi_format_info_t& format = to_impl(view)->format();
  if (format.integer) {
    const integer_range_t range = integer_range(format.gl_type);
    if (range.low < 0) {
      GLint values[4];
      for (int i = 0; i < 4; ++i) values[i] = GLint(saturate_integer(color[i], range));
      glClearNamedFramebufferiv(clear_fbo_, GL_COLOR, 0, values);
    } else {
      GLuint values[4];
      for (int i = 0; i < 4; ++i) values[i] = GLuint(saturate_integer(color[i], range));
      glClearNamedFramebufferuiv(clear_fbo_, GL_COLOR, 0, values);
    }
  } else if (format.gl_type == GL_HALF_FLOAT) {
    const GLfloat values[4] = {saturate_half(color[0]), saturate_half(color[1]), saturate_half(color[2]),
                               saturate_half(color[3])};
    glClearNamedFramebufferfv(clear_fbo_, GL_COLOR, 0, values);
  } else {
    glClearNamedFramebufferfv(clear_fbo_, GL_COLOR, 0, color);
  }
  glNamedFramebufferTexture(clear_fbo_, GL_COLOR_ATTACHMENT0, 0, 0);
  fixed_function_dirty_ = true;
  GL_CHECK("ClearRenderTargetView");
}

void d3d11_immediate_context_t::ClearDepthStencilView(ID3D11DepthStencilView* view, UINT flags, FLOAT depth,
                                                      UINT8 stencil) {
  if (!view || !(flags & (D3D11_CLEAR_DEPTH | D3D11_CLEAR_STENCIL))) return;
  begin_command();
  auto* dsv = to_impl(view);
  const bool clear_stencil = (flags & D3D11_CLEAR_STENCIL) && dsv->has_stencil();
  const bool clear_depth = flags & D3D11_CLEAR_DEPTH;
  if (dsv->texture()->storage_pending() && dsv->level() == 0) {
    dsv->texture()->record_depth_clear(clear_depth, depth, clear_stencil, stencil);
    return;
  }
  auto& cache = device_->cache();
  const GLenum point = dsv->has_stencil() ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT;
  attach(clear_fbo_, point, dsv->attachment());
  const GLenum none = GL_NONE;
  glNamedFramebufferDrawBuffers(clear_fbo_, 1, &none);
  cache.enable(GL_SCISSOR_TEST, false);
  cache.depth_mask(true);
  cache.stencil_mask(0xFF);
  if (clear_depth && clear_stencil) {
    glClearNamedFramebufferfi(clear_fbo_, GL_DEPTH_STENCIL, 0, depth, stencil);
  } else if (clear_depth) {
    glClearNamedFramebufferfv(clear_fbo_, GL_DEPTH, 0, &depth);
  } else if (clear_stencil) {
    const GLint value = stencil;
    glClearNamedFramebufferiv(clear_fbo_, GL_STENCIL, 0, &value);
  }
  glNamedFramebufferTexture(clear_fbo_, point, 0, 0);
  fixed_function_dirty_ = true;
  GL_CHECK("ClearDepthStencilView");
}

void d3d11_immediate_context_t::ClearUnorderedAccessViewUint(ID3D11UnorderedAccessView* view,
                                                             const UINT values[4]) {
  if (!view) return;
  begin_command();
  auto* uav = to_impl(view);
  if (uav->buffer() && !uav->image_format()) {
    glClearNamedBufferSubData(uav->buffer()->gl_name(), GL_R32UI, uav->buffer_offset(), uav->buffer_size(),
                              GL_RED_INTEGER, GL_UNSIGNED_INT, &values[0]);
  } else if (uav->image_texture()) {
    if (uav->buffer())
      glClearNamedBufferSubData(uav->buffer()->gl_name(), GL_R32UI, uav->buffer_offset(), uav->buffer_size(),
                                GL_RED_INTEGER, GL_UNSIGNED_INT, &values[0]);
    else
      glClearTexImage(uav->image_texture(), uav->image_level(), GL_RGBA_INTEGER, GL_UNSIGNED_INT, values);
  }
}

void d3d11_immediate_context_t::ClearUnorderedAccessViewFloat(ID3D11UnorderedAccessView* view,
                                                              const FLOAT values[4]) {
  if (!view) return;
  begin_command();
  auto* uav = to_impl(view);
  if (uav->texture())
    glClearTexImage(uav->image_texture(), uav->image_level(), GL_RGBA, GL_FLOAT, values);
  else if (uav->buffer())
    glClearNamedBufferSubData(uav->buffer()->gl_name(), GL_R32F, uav->buffer_offset(), uav->buffer_size(),
                              GL_RED, GL_FLOAT, &values[0]);
}

// Bringing GL in line before a draw or dispatch.

GLenum d3d11_immediate_context_t::gl_topology() const {
  switch (state_.topology) {
    case D3D11_PRIMITIVE_TOPOLOGY_POINTLIST:
      return GL_POINTS;
    case D3D11_PRIMITIVE_TOPOLOGY_LINELIST:
      return GL_LINES;
    case D3D11_PRIMITIVE_TOPOLOGY_LINESTRIP:
      return GL_LINE_STRIP;
    case D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST:
      return GL_TRIANGLES;
    case D3D11_PRIMITIVE_TOPOLOGY_TRIANGLESTRIP:
      return GL_TRIANGLE_STRIP;
    default:
      return no_topology;
  }
}

void d3d11_immediate_context_t::apply_pipeline() {
  auto& cache = device_->cache();
  cache.bind_program_pipeline(graphics_pipeline_);
  for (int stage = 0; stage < 3; ++stage) {
    shader_core_t* core = state_.stages[stage].core;
    cache.use_program_stage(0, graphics_pipeline_, stage, stage_bits[stage], core ? core->gl_program() : 0);
  }
}

void d3d11_immediate_context_t::apply_vertex_input() {
  auto& cache = device_->cache();
  d3d11_input_layout_t* layout = state_.input_layout ? to_impl(state_.input_layout.p) : nullptr;
  if (layout_dirty_ || layout != applied_layout_) {
    uint32_t enabled = 0;
    if (layout) {
      for (const auto& a : layout->attributes()) {
        if (a.integer)
          glVertexArrayAttribIFormat(vao_, a.location, a.size, a.type, a.offset);
        else
          glVertexArrayAttribFormat(vao_, a.location, a.size, a.type, a.normalized, a.offset);
        glVertexArrayAttribBinding(vao_, a.location, a.binding);
        enabled |= 1u << a.location;
      }
      for (int slot = 0; slot < 16; ++slot)
        if (layout->binding(slot).used)
          glVertexArrayBindingDivisor(vao_, slot, layout->binding(slot).divisor);
    }
    for (GLuint location = 0; location < 32; ++location) {
      const uint32_t bit = 1u << location;
      if ((enabled & bit) && !(enabled_attributes_ & bit)) glEnableVertexArrayAttrib(vao_, location);
      if (!(enabled & bit) && (enabled_attributes_ & bit)) glDisableVertexArrayAttrib(vao_, location);
    }
    enabled_attributes_ = enabled;
    applied_layout_ = layout;
    layout_dirty_ = false;
  }
  if (layout) {
    for (int slot = 0; slot < 16; ++slot) {
      if (!layout->binding(slot).used) continue;
      ID3D11Buffer* buffer = state_.vertex_buffers[slot];
      const GLuint name = buffer ? to_impl(buffer)->gl_name() : device_->fallbacks().zero_buffer;
      cache.vertex_buffer(vao_, slot, name, buffer ? state_.offsets[slot] : 0,
                          buffer ? state_.strides[slot] : 0);
    }
  }
  ID3D11Buffer* index = state_.index_buffer;
  cache.element_buffer(vao_, index ? to_impl(index)->gl_name() : 0);
}

const gl_depth_stencil_t& d3d11_immediate_context_t::depth_stencil() const {
  return state_.depth_stencil ? static_cast<d3d11_depth_stencil_state_t*>(state_.depth_stencil.p)->gl()
                              : d3d11_depth_stencil_state_t::defaults();
}

void d3d11_immediate_context_t::apply_fixed_function() {
  if (!fixed_function_dirty_) return;
  fixed_function_dirty_ = false;
  auto& cache = device_->cache();
  const gl_rasterizer_t& rs = state_.rasterizer
                                  ? static_cast<d3d11_rasterizer_state_t*>(state_.rasterizer.p)->gl()
                                  : d3d11_rasterizer_state_t::defaults();
  cache.polygon_mode(rs.polygon_mode);
  cache.enable(GL_CULL_FACE, rs.cull);
  cache.cull_face(rs.cull_face);
  cache.front_face(rs.front_face);
  const bool offset = rs.offset_factor != 0 || rs.offset_units != 0;
  cache.enable(GL_POLYGON_OFFSET_FILL, offset);
  cache.enable(GL_POLYGON_OFFSET_LINE, offset);
  if (offset) cache.polygon_offset(rs.offset_factor, rs.offset_units);
  cache.enable(GL_DEPTH_CLAMP, rs.depth_clamp);
  cache.enable(GL_SCISSOR_TEST, rs.scissor);

  const gl_blend_t& blend = state_.blend ? static_cast<d3d11_blend_state_t*>(state_.blend.p)->gl()
                                         : d3d11_blend_state_t::defaults();
  cache.enable(GL_SAMPLE_ALPHA_TO_COVERAGE, blend.alpha_to_coverage);
  for (int i = 0; i < 8; ++i) {
    const gl_blend_target_t& t = blend.targets[i];
    cache.enable_blend(i, t.enable);
    if (t.enable) {
      cache.blend_func(i, t.src, t.dst, t.src_alpha, t.dst_alpha);
      cache.blend_equation(i, t.op, t.op_alpha);
    }
    cache.color_mask(i, t.mask);
  }
  cache.blend_color(state_.blend_factor);

  const gl_depth_stencil_t& ds = depth_stencil();
  cache.enable(GL_DEPTH_TEST, ds.depth_test);
  cache.depth_mask(ds.depth_write);
  cache.depth_func(ds.depth_func);
  cache.enable(GL_STENCIL_TEST, ds.stencil);
  if (ds.stencil) {
    cache.stencil_func(GL_FRONT, ds.front.func, GLint(state_.stencil_ref), ds.read_mask);
    cache.stencil_func(GL_BACK, ds.back.func, GLint(state_.stencil_ref), ds.read_mask);
    cache.stencil_op(GL_FRONT, ds.front.fail, ds.front.depth_fail, ds.front.pass);
    cache.stencil_op(GL_BACK, ds.back.fail, ds.back.depth_fail, ds.back.pass);
    cache.stencil_mask(ds.write_mask);
  }

  for (UINT i = 0; i < state_.viewport_count; ++i) {
    const D3D11_VIEWPORT& v = state_.viewports[i];
    cache.viewport(int(i), v.TopLeftX, v.TopLeftY, v.Width, v.Height);
    cache.depth_range(int(i), v.MinDepth, v.MaxDepth);
  }
  if (rs.scissor) {
    for (UINT i = 0; i < state_.scissor_count; ++i) {
      const D3D11_RECT& r = state_.scissors[i];
      cache.scissor(int(i), r.left, r.top, r.right - r.left, r.bottom - r.top);
    }
  }
}

void d3d11_immediate_context_t::apply_framebuffer() {
  auto& cache = device_->cache();
  cache.bind_draw_framebuffer(draw_fbo_);
  if (!framebuffer_dirty_) return;
  framebuffer_dirty_ = false;
  bool buffers_changed = false;
  // Only the outputs the pixel shader writes are drawn to: GL would leave the others undefined
  // (llvmpipe writes them), where Direct3D keeps what they hold. A texture still without storage
  // is attached only where the draw writes it, one with storage stays attached.
  const shader_core_t* pixel = state_.stages[2].core;
  const uint32_t written = pixel ? pixel->written_targets : 0u;
  for (int i = 0; i < 8; ++i) {
    ID3D11RenderTargetView* bound = state_.render_targets[i];
    const bool writes = bound && ((written >> i) & 1u);
    ID3D11RenderTargetView* view =
        bound && (writes || !to_impl(bound)->texture()->storage_pending()) ? bound : nullptr;
    const attachment_t a = view ? to_impl(view)->attachment() : attachment_t{};
    if (!(a == attached_[i])) {
      attach(draw_fbo_, GL_COLOR_ATTACHMENT0 + i, a);
      attached_[i] = a;
    }
    const GLenum wanted = writes ? GL_COLOR_ATTACHMENT0 + i : GL_NONE;
    if (draw_buffers_[i] != wanted) draw_buffers_[i] = wanted, buffers_changed = true;
  }
  if (buffers_changed) glNamedFramebufferDrawBuffers(draw_fbo_, 8, draw_buffers_);
  const gl_depth_stencil_t& ds = depth_stencil();
  auto* dsv = state_.depth_target ? to_impl(state_.depth_target.p) : nullptr;
  if (dsv && !ds.depth_test && !ds.stencil && dsv->texture()->storage_pending()) dsv = nullptr;
  const attachment_t depth = dsv ? dsv->attachment() : attachment_t{};
  const GLenum point = dsv && dsv->has_stencil() ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT;
  if (!(depth == attached_depth_) || point != attached_depth_point_) {
    if (attached_depth_point_ && attached_depth_point_ != point)
      glNamedFramebufferTexture(draw_fbo_, attached_depth_point_, 0, 0);
    attach(draw_fbo_, point, depth);
    attached_depth_ = depth;
    attached_depth_point_ = point;
  }
  GL_CHECK("apply_framebuffer");
}

void d3d11_immediate_context_t::apply_stage_resources(int stage) {
  stage_state_t& s = state_.stages[stage];
  shader_core_t* core = s.core;
  if (!core || !core->gl_program()) return;
  auto& cache = device_->cache();
  const gl_fallbacks_t& fallbacks = device_->fallbacks();
  const translated_shader_t& r = core->reflection;
  for (const auto& cb : r.constant_buffers) {
    ID3D11Buffer* buffer = cb.slot < 14 ? s.constant_buffers[cb.slot].p : nullptr;
    if (buffer)
      cache.bind_uniform_buffer(cb.gl_binding, to_impl(buffer)->gl_name(), 0,
                                to_impl(buffer)->desc().ByteWidth);
    else
      cache.bind_uniform_buffer(cb.gl_binding, fallbacks.zero_buffer, 0, gl_fallbacks_t::zero_buffer_size);
  }
  for (const auto& t : r.textures) {
    ID3D11ShaderResourceView* view = t.texture_slot < 128 ? s.resources[t.texture_slot].p : nullptr;
    GLuint name = 0;
    if (view && to_impl(view)->desc().ViewDimension == t.dimension) name = to_impl(view)->gl_texture();
    if (!name) name = fallbacks.textures[t.dimension < 11 ? t.dimension : 4];
    cache.bind_texture_unit(t.gl_unit, name);
    ID3D11SamplerState* sampler =
        t.sampler_slot >= 0 && t.sampler_slot < 16 ? s.samplers[t.sampler_slot].p : nullptr;
    cache.bind_sampler(t.gl_unit, sampler ? to_impl(sampler)->gl_name() : fallbacks.default_sampler);
  }
  auto* uavs = stage == 3 ? state_.compute_uavs : state_.pixel_uavs;
  for (const auto& b : r.storage_buffers) {
    if (!b.writable) {
      ID3D11ShaderResourceView* view = b.slot < 128 ? s.resources[b.slot].p : nullptr;
      auto* srv = view ? to_impl(view) : nullptr;
      if (srv && srv->buffer())
        cache.bind_storage_buffer(b.gl_binding, srv->buffer()->gl_name(), srv->buffer_offset(),
                                  srv->buffer_size());
      else
        cache.bind_storage_buffer(b.gl_binding, fallbacks.zero_buffer, 0, gl_fallbacks_t::zero_buffer_size);
      continue;
    }
    ID3D11UnorderedAccessView* view = b.slot < 8 ? uavs[b.slot].p : nullptr;
    auto* uav = view ? to_impl(view) : nullptr;
    // D3D drops writes to an unbound slot; they go to a sink, never to the buffer unbound reads see.
    if (uav && uav->buffer())
      cache.bind_storage_buffer(b.gl_binding, uav->buffer()->gl_name(), uav->buffer_offset(),
                                uav->buffer_size());
    else
      cache.bind_storage_buffer(b.gl_binding, discard_buffer_, 0, gl_fallbacks_t::zero_buffer_size);
    if (b.counter_gl_binding >= 0) {
      if (uav && uav->counter())
        cache.bind_storage_buffer(b.counter_gl_binding, uav->counter(), 0, 4);
      else
        cache.bind_storage_buffer(b.counter_gl_binding, discard_buffer_, 0, 16);
    }
    uav_writes_pending_ = true;
  }
  for (const auto& image : r.storage_images) {
    ID3D11UnorderedAccessView* view = image.slot < 8 ? uavs[image.slot].p : nullptr;
    auto* uav = view ? to_impl(view) : nullptr;
    // The unit takes the view's format, as D3D converts typed stores to it; the shader's declared
    // format (rgba32f for any float4 image) would make GL drop stores into other formats.
    if (uav && uav->image_texture())
      cache.bind_image(image.gl_unit, uav->image_texture(), uav->image_level(), uav->image_layered(),
                       uav->image_layer(), uav->image_format() ? uav->image_format() : image.gl_format);
    else
      cache.bind_image(image.gl_unit, 0, 0, false, 0, image.gl_format);
    uav_writes_pending_ = true;
  }
}

bool d3d11_immediate_context_t::prepare_draw() {
  begin_command();
  if (gl_topology() == no_topology) return false;
  apply_pipeline();
  apply_vertex_input();
  apply_fixed_function();
  apply_framebuffer();
  for (int stage = 0; stage < 3; ++stage) apply_stage_resources(stage);
  GL_CHECK("prepare_draw");
  return true;
}

void d3d11_immediate_context_t::DrawInstanced(UINT vertex_count, UINT instance_count, UINT start_vertex,
                                              UINT start_instance) {
  if (!prepare_draw() || vertex_count == 0 || instance_count == 0) return;
  glDrawArraysInstancedBaseInstance(gl_topology(), GLint(start_vertex), GLsizei(vertex_count),
                                    GLsizei(instance_count), start_instance);
  GL_CHECK("DrawInstanced");
}

void d3d11_immediate_context_t::DrawIndexedInstanced(UINT index_count, UINT instance_count, UINT start_index,
                                                     INT base_vertex, UINT start_instance) {
  if (!prepare_draw() || index_count == 0 || instance_count == 0 || !state_.index_buffer) return;
  const uintptr_t offset = state_.index_offset + uintptr_t(start_index) * index_size(state_.index_format);
  glDrawElementsInstancedBaseVertexBaseInstance(
      gl_topology(), GLsizei(index_count), index_type(state_.index_format),
      reinterpret_cast<const void*>(offset), GLsizei(instance_count), base_vertex, start_instance);
  GL_CHECK("DrawIndexedInstanced");
}

void d3d11_immediate_context_t::DrawInstancedIndirect(ID3D11Buffer* args, UINT offset) {
  if (!args || !prepare_draw()) return;
  barrier();
  device_->cache().bind_indirect_buffer(to_impl(args)->gl_name());
  glDrawArraysIndirect(gl_topology(), reinterpret_cast<const void*>(uintptr_t(offset)));
  GL_CHECK("DrawInstancedIndirect");
}

void d3d11_immediate_context_t::DrawIndexedInstancedIndirect(ID3D11Buffer* args, UINT offset) {
  if (!args || !prepare_draw() || !state_.index_buffer) return;
  barrier();
  auto& cache = device_->cache();
  if (state_.index_offset != 0) {
    // GL's indirect arguments count from the start of the element buffer and have no byte offset:
    // draw from a copy of the indices that starts at the offset. The engine binds offset 0.
    const GLuint shifted = shifted_indices();
    if (!shifted) return;
    cache.element_buffer(vao_, shifted);
  }
  cache.bind_indirect_buffer(to_impl(args)->gl_name());
  glDrawElementsIndirect(gl_topology(), index_type(state_.index_format),
                         reinterpret_cast<const void*>(uintptr_t(offset)));
  GL_CHECK("DrawIndexedInstancedIndirect");
}

GLuint d3d11_immediate_context_t::shifted_indices() {
  d3d11_buffer_t* indices = to_impl(state_.index_buffer.p);
  const UINT width = indices->desc().ByteWidth;
  if (state_.index_offset >= width) return 0;
  const GLsizeiptr size = width - state_.index_offset;
  if (size > shifted_indices_size_) {
    if (!shifted_indices_) glCreateBuffers(1, &shifted_indices_);
    glNamedBufferData(shifted_indices_, size, nullptr, GL_STREAM_COPY);
    shifted_indices_size_ = size;
  }
  glCopyNamedBufferSubData(indices->gl_name(), shifted_indices_, state_.index_offset, 0, size);
  return shifted_indices_;
}

void d3d11_immediate_context_t::Dispatch(UINT x, UINT y, UINT z) {
  begin_command();
  shader_core_t* core = state_.stages[3].core;
  if (!core || !core->gl_program() || x == 0 || y == 0 || z == 0) return;
  auto& cache = device_->cache();
  cache.bind_program_pipeline(compute_pipeline_);
  cache.use_program_stage(1, compute_pipeline_, 3, GL_COMPUTE_SHADER_BIT, core->gl_program());
  apply_stage_resources(3);
  glDispatchCompute(x, y, z);
  uav_writes_pending_ = true;
  GL_CHECK("Dispatch");
}

// Resources.

HRESULT d3d11_immediate_context_t::Map(ID3D11Resource* resource, UINT subresource, D3D11_MAP type, UINT,
                                       D3D11_MAPPED_SUBRESOURCE* mapped) {
  if (!resource) return E_INVALIDARG;
  begin_command();
  if (d3d11_buffer_t* buffer = buffer_of(resource)) {
    if (subresource != 0) return E_INVALIDARG;
    void* pointer = buffer->map(type);
    if (!pointer) return E_INVALIDARG;
    if (mapped) *mapped = {pointer, buffer->desc().ByteWidth, buffer->desc().ByteWidth};
    return S_OK;
  }
  texture_core_t* texture = texture_core_of(resource);
  if (!texture) return E_INVALIDARG;
  uint32_t row = 0, depth = 0;
  void* pointer = texture->map(subresource, type, &row, &depth);
  if (!pointer) return E_INVALIDARG;
  if (mapped) *mapped = {pointer, row, depth};
  return S_OK;
}

void d3d11_immediate_context_t::Unmap(ID3D11Resource* resource, UINT subresource) {
  if (!resource) return;
  if (d3d11_buffer_t* buffer = buffer_of(resource)) {
    buffer->unmap();
    return;
  }
  if (texture_core_t* texture = texture_core_of(resource)) texture->unmap(subresource);
}

void d3d11_immediate_context_t::UpdateSubresource(ID3D11Resource* resource, UINT subresource,
                                                  const D3D11_BOX* box, const void* data, UINT row_pitch,
                                                  UINT depth_pitch) {
  if (!resource || !data) return;
  begin_command();
  if (d3d11_buffer_t* buffer = buffer_of(resource)) {
    const UINT width = buffer->desc().ByteWidth;
    const UINT left = box ? box->left : 0, right = box ? box->right : width;
    if (left >= right || right > width) return;
    glNamedBufferSubData(buffer->gl_name(), left, right - left, data);
    return;
  }
  texture_core_t* t = texture_core_of(resource);
  if (!t || subresource >= t->mip_levels * t->array_size) return;
  const uint32_t level = subresource % t->mip_levels;
  D3D11_BOX full{0, 0, 0, t->level_width(level), t->level_height(level), t->level_depth(level)};
  const D3D11_BOX& b = box ? *box : full;
  if (b.right <= b.left || b.bottom <= b.top || b.back <= b.front) return;
  const uint32_t row = dxgi_row_bytes(*t->storage, b.right - b.left);
  const uint32_t rows = dxgi_block_rows(*t->storage, b.bottom - b.top);
  const uint32_t slices = b.back - b.front;
  const uint32_t pitch = row_pitch ? row_pitch : row;
  const uint32_t slice = depth_pitch ? depth_pitch : pitch * rows;
  std::vector<uint8_t> packed(size_t(row) * rows * slices);
  for (uint32_t z = 0; z < slices; ++z)
    for (uint32_t y = 0; y < rows; ++y)
      std::memcpy(packed.data() + (size_t(z) * rows + y) * row,
                  static_cast<const uint8_t*>(data) + size_t(z) * slice + size_t(y) * pitch, row);
  if (t->storage->conversion != dxgi_conversion_t::none)
    dxgi_convert_to_gl(*t->storage, packed.data(), packed.size() / t->storage->block_bytes);
  t->upload(subresource, packed.data(), &b);
}

void d3d11_immediate_context_t::CopyResource(ID3D11Resource* dst, ID3D11Resource* src) {
  if (!dst || !src || dst == src) return;
  begin_command();
  d3d11_buffer_t *db = buffer_of(dst), *sb = buffer_of(src);
  if (db && sb) {
    glCopyNamedBufferSubData(sb->gl_name(), db->gl_name(), 0, 0,
                             std::min(sb->desc().ByteWidth, db->desc().ByteWidth));
    return;
  }
  texture_core_t *dt = texture_core_of(dst), *st = texture_core_of(src);
  if (!dt || !st || dt->mip_levels != st->mip_levels || dt->array_size != st->array_size) return;
  for (uint32_t i = 0; i < st->mip_levels * st->array_size; ++i)
    CopySubresourceRegion(dst, i, 0, 0, 0, src, i, nullptr);
}

void d3d11_immediate_context_t::CopySubresourceRegion(ID3D11Resource* dst, UINT dst_subresource, UINT x,
                                                      UINT y, UINT z, ID3D11Resource* src,
                                                      UINT src_subresource, const D3D11_BOX* box) {
  if (!dst || !src) return;
  begin_command();
  d3d11_buffer_t *db = buffer_of(dst), *sb = buffer_of(src);
  if (db && sb) {
    const UINT left = box ? box->left : 0, right = box ? box->right : sb->desc().ByteWidth;
    if (left >= right || right > sb->desc().ByteWidth || x + (right - left) > db->desc().ByteWidth) return;
    glCopyNamedBufferSubData(sb->gl_name(), db->gl_name(), left, x, right - left);
    return;
  }
  texture_core_t *dt = texture_core_of(dst), *st = texture_core_of(src);
  if (!dt || !st) return;
  if (src_subresource >= st->mip_levels * st->array_size ||
      dst_subresource >= dt->mip_levels * dt->array_size)
    return;
  const uint32_t src_level = src_subresource % st->mip_levels, src_layer = src_subresource / st->mip_levels;
  const uint32_t dst_level = dst_subresource % dt->mip_levels, dst_layer = dst_subresource / dt->mip_levels;
  D3D11_BOX full{
      0, 0, 0, st->level_width(src_level), st->level_height(src_level), st->level_depth(src_level)};
  const D3D11_BOX& b = box ? *box : full;
  const bool src_layered = st->target == GL_TEXTURE_2D_ARRAY || st->target == GL_TEXTURE_1D_ARRAY;
  const bool dst_layered = dt->target == GL_TEXTURE_2D_ARRAY || dt->target == GL_TEXTURE_1D_ARRAY;
  // 1D arrays keep their layer in y.
  const GLint sy = st->target == GL_TEXTURE_1D_ARRAY ? GLint(src_layer) : GLint(b.top);
  const GLint sz = st->target == GL_TEXTURE_2D_ARRAY ? GLint(src_layer) : GLint(b.front);
  const GLint dy = dt->target == GL_TEXTURE_1D_ARRAY ? GLint(dst_layer) : GLint(y);
  const GLint dz = dt->target == GL_TEXTURE_2D_ARRAY ? GLint(dst_layer) : GLint(z);
  (void)src_layered;
  (void)dst_layered;
  glCopyImageSubData(st->gl_name(), st->target, src_level, b.left, sy, sz, dt->gl_name(), dt->target,
                     dst_level, x, dy, dz, b.right - b.left, b.bottom - b.top, b.back - b.front);
  GL_CHECK("CopySubresourceRegion");
}

void d3d11_immediate_context_t::CopyStructureCount(ID3D11Buffer* dst, UINT offset,
                                                   ID3D11UnorderedAccessView* view) {
  if (!dst || !view) return;
  begin_command();
  auto* uav = to_impl(view);
  if (!uav->counter() || offset + 4 > to_impl(dst)->desc().ByteWidth) return;
  glCopyNamedBufferSubData(uav->counter(), to_impl(dst)->gl_name(), 0, offset, 4);
}

void d3d11_immediate_context_t::GenerateMips(ID3D11ShaderResourceView* view) {
  if (!view) return;
  begin_command();
  auto* srv = to_impl(view);
  texture_core_t* t = srv->texture();
  if (!t || !(t->misc_flags & D3D11_RESOURCE_MISC_GENERATE_MIPS) || t->mip_levels < 2) return;
  if (t->storage_pending()) {
    t->record_mip_generation();
    return;
  }
  glGenerateTextureMipmap(srv->gl_texture());
  GL_CHECK("GenerateMips");
}

void d3d11_immediate_context_t::ClearState() {
  state_ = context_state_t{};
  framebuffer_dirty_ = fixed_function_dirty_ = layout_dirty_ = true;
}

void d3d11_immediate_context_t::Flush() {
  begin_command();
  glFlush();
}
