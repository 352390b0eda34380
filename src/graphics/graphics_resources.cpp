#include "graphics/graphics_resources.h"

#include <cstring>
#include <limits>
#include <optional>
#include <span>
#include <stdexcept>
#include <vector>

#include <fmt/printf.h>

#include "graphics/graphics_resource_impl.h"
#include "graphics/graphics_system.h"
#include "support/systems.h"
#include "platform/dxgi/hresult.h"
#include "support/log.h"

namespace {

// The largest byte size a buffer may have: its record keeps the size in an int, rounded up to 16.
constexpr int64_t max_buffer_bytes = std::numeric_limits<int32_t>::max() - 15;

// count × item bytes, computed in 64 bits; none, with a line naming the two, when either is
// negative or the product is larger than a buffer may be.
std::optional<int> buffer_bytes(int64_t count, int64_t item, const char* what) {
  if (count >= 0 && item >= 0 && (item == 0 || count <= max_buffer_bytes / item))
    return static_cast<int>(count * item);
  LOG_WRN("Refusing a %s of %lld x %lld bytes", what, static_cast<long long>(count),
          static_cast<long long>(item));
  return std::nullopt;
}

// Index, vertex and constant buffers: the size rounded up to 16; initial data padded with zeros so
// that nothing past the caller's bytes is read.
template <class Record>
std::unique_ptr<Record> create_plain_buffer(ID3D11Device* device, int size, UINT bind_flags, const void* data,
                                            bool dynamic) {
  if (!buffer_bytes(size, 1, "buffer")) return nullptr;
  auto record = std::make_unique<Record>();
  record->size = size;
  D3D11_BUFFER_DESC desc{};
  desc.ByteWidth = static_cast<UINT>(size + 15) & ~15u;
  desc.BindFlags = bind_flags;
  if (dynamic) {
    desc.Usage = D3D11_USAGE_DYNAMIC;
    desc.CPUAccessFlags = D3D11_CPU_ACCESS_WRITE;
  } else {
    desc.Usage = data ? D3D11_USAGE_IMMUTABLE : D3D11_USAGE_DEFAULT;
  }
  std::vector<uint8_t> padded;
  D3D11_SUBRESOURCE_DATA initial{};
  if (data) {
    padded.assign(desc.ByteWidth, 0);
    std::memcpy(padded.data(), data, size);
    initial.pSysMem = padded.data();
  }
  if (FAILED(device->CreateBuffer(&desc, data ? &initial : nullptr, &record->buffer))) return nullptr;
  return record;
}

void throw_if_failed(HRESULT hr, const char* call) {
  if (FAILED(hr)) throw std::runtime_error(fmt::sprintf("%s: %s", call, hresult_message(hr)));
}

bool viewport_equals(const D3D11_VIEWPORT& a, const D3D11_VIEWPORT& b) {
  return a.TopLeftX == b.TopLeftX && a.TopLeftY == b.TopLeftY && a.Width == b.Width && a.Height == b.Height &&
         a.MinDepth == b.MinDepth && a.MaxDepth == b.MaxDepth;
}

constexpr int POOL_FRAMES_KEPT = 10;

}  // namespace

graphics_resource_impl_t::graphics_resource_impl_t(ID3D11Device* device, ID3D11DeviceContext* context)
    : device_(device), context_(context) {
  states_.build_presets(device_);
}

graphics_resource_impl_t::~graphics_resource_impl_t() = default;

void graphics_resource_impl_t::release_all() {
  states_.clear();
  temp_targets_.clear();
}

void graphics_resource_impl_t::begin_frame() {
  ++frame_counter_;
  for (size_t i = 0; i < temp_targets_.size();) {
    render_target_t* target = temp_targets_[i].get();
    // Someone still holds it: it stays in use, however old.
    if (temp_targets_[i].use_count() != 1) {
      ++i;
      continue;
    }
    target->flags &= ~RT_IN_USE;
    if (frame_counter_ - target->last_frame > POOL_FRAMES_KEPT) {
      LOG_DBG("Releasing temp render target: %p", static_cast<void*>(target));
      temp_targets_.erase(temp_targets_.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      ++i;
    }
  }
}

std::unique_ptr<index_buffer_t> graphics_resource_impl_t::create_index_buffer(int count, int format,
                                                                              const void* data,
                                                                              bool dynamic) {
  const std::optional<int> size = buffer_bytes(count, format == DXGI_FORMAT_R16_UINT ? 2 : 4, "index buffer");
  if (!size) return nullptr;
  auto buffer = create_plain_buffer<index_buffer_t>(device_, *size, D3D11_BIND_INDEX_BUFFER, data, dynamic);
  if (buffer) {
    buffer->count = count;
    buffer->format = format;
  }
  return buffer;
}

std::unique_ptr<vertex_buffer_t> graphics_resource_impl_t::create_vertex_buffer(int count, int stride,
                                                                                const void* data,
                                                                                bool dynamic) {
  const std::optional<int> size = buffer_bytes(count, stride, "vertex buffer");
  if (!size) return nullptr;
  auto buffer = create_plain_buffer<vertex_buffer_t>(device_, *size, D3D11_BIND_VERTEX_BUFFER, data, dynamic);
  if (buffer) {
    buffer->count = count;
    buffer->stride = stride;
  }
  return buffer;
}

std::unique_ptr<constant_buffer_t> graphics_resource_impl_t::create_constant_buffer(int size, bool dynamic,
                                                                                    const void* data) {
  auto buffer =
      create_plain_buffer<constant_buffer_t>(device_, size, D3D11_BIND_CONSTANT_BUFFER, data, dynamic);
  if (buffer) buffer->dynamic = dynamic;
  return buffer;
}

std::unique_ptr<constant_buffer_t> graphics_resource_impl_t::create_readback_buffer(int size) {
  if (!buffer_bytes(size, 1, "read-back buffer")) return nullptr;
  auto record = std::make_unique<constant_buffer_t>();
  record->size = size;
  D3D11_BUFFER_DESC desc{};
  desc.ByteWidth = static_cast<UINT>(size);
  desc.Usage = D3D11_USAGE_STAGING;
  desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
  if (FAILED(device_->CreateBuffer(&desc, nullptr, &record->buffer))) return nullptr;
  return record;
}

std::unique_ptr<render_target_t> graphics_resource_impl_t::create_indirect_args_buffer(int type) {
  static constexpr uint32_t dispatch_args[] = {1, 1, 1};
  static constexpr uint32_t draw_args[] = {0, 1, 0, 0};
  static constexpr uint32_t indexed_draw_args[] = {0, 1, 0, 0, 0};
  std::span<const uint32_t> values;
  if (type == 0) values = dispatch_args;
  if (type == 1) values = draw_args;
  if (type == 2) values = indexed_draw_args;

  auto target = std::make_unique<render_target_t>();
  D3D11_BUFFER_DESC desc{};
  desc.ByteWidth = static_cast<UINT>(values.size_bytes());
  desc.BindFlags = D3D11_BIND_UNORDERED_ACCESS;
  desc.MiscFlags = D3D11_RESOURCE_MISC_DRAWINDIRECT_ARGS;
  desc.StructureByteStride = 4;
  const D3D11_SUBRESOURCE_DATA initial{values.data(), 0, 0};
  if (FAILED(device_->CreateBuffer(&desc, &initial, &target->buffer))) {
    LOG_INF("Error creating indirect args buffer");
    return std::make_unique<render_target_t>();
  }
  D3D11_UNORDERED_ACCESS_VIEW_DESC uav_desc{};
  uav_desc.Format = DXGI_FORMAT_R32_UINT;
  uav_desc.ViewDimension = D3D11_UAV_DIMENSION_BUFFER;
  uav_desc.Buffer = {0, static_cast<UINT>(values.size()), 0};
  if (FAILED(device_->CreateUnorderedAccessView(target->buffer, &uav_desc, &target->uav))) {
    LOG_INF("Error creating indirect args uav");
    return std::make_unique<render_target_t>();
  }
  target->uav_desc = uav_desc;
  return target;
}

std::shared_ptr<render_target_t> graphics_resource_impl_t::create_render_target(rt_size_t size_type,
                                                                                int width, int height,
                                                                                DXGI_FORMAT format,
                                                                                uint32_t flags) {
  if (size_type >= RT_SIZE_BACKBUFFER && size_type <= RT_SIZE_EIGHTH) {
    const int2 backbuffer = S(gsys)->get_backbuffer_size();
    const int divisor = 1 << (size_type - RT_SIZE_BACKBUFFER);
    width = backbuffer.x / divisor;
    height = backbuffer.y / divisor;
  }
  const D3D11_VIEWPORT viewport{0.0f, 0.0f, static_cast<float>(width), static_cast<float>(height),
                                0.0f, 1.0f};

  if (flags & RT_TEMPORARY) {
    for (const auto& pooled : temp_targets_) {
      if (viewport_equals(pooled->viewport, viewport) && pooled->texture_desc.Format == format &&
          pooled->flags == flags) {
        ++S(gsys)->get_frame_counters()->reused;
        pooled->last_frame = frame_counter_;
        pooled->flags |= RT_IN_USE;
        return pooled;
      }
    }
  }

  auto rt = std::make_unique<render_target_t>();
  rt->size_type = size_type;
  rt->viewport = viewport;
  rt->flags = flags | RT_IN_USE;
  rt->last_frame = frame_counter_;

  rt->texture_desc.Width = static_cast<UINT>(width);
  rt->texture_desc.Height = static_cast<UINT>(height);
  rt->texture_desc.MipLevels = (flags & RT_MIPS) ? 0 : 1;
  rt->texture_desc.ArraySize = 1;
  rt->texture_desc.Format = format;
  rt->texture_desc.SampleDesc = {1, 0};
  rt->texture_desc.Usage = D3D11_USAGE_DEFAULT;
  rt->texture_desc.BindFlags = D3D11_BIND_RENDER_TARGET |
                               ((flags & RT_SRV) ? D3D11_BIND_SHADER_RESOURCE : 0u) |
                               ((flags & RT_UAV) ? D3D11_BIND_UNORDERED_ACCESS : 0u);
  rt->texture_desc.CPUAccessFlags = 0;
  rt->texture_desc.MiscFlags = (flags & RT_MIPS) ? D3D11_RESOURCE_MISC_GENERATE_MIPS : 0u;
  throw_if_failed(device_->CreateTexture2D(&rt->texture_desc, nullptr, &rt->texture),
                  "device_->CreateTexture2D(&rt->texture_desc, NULL, &rt->texture)");

  rt->rtv_desc.Format = rt->texture_desc.Format;
  rt->rtv_desc.ViewDimension = D3D11_RTV_DIMENSION_TEXTURE2D;
  rt->rtv_desc.Texture2D.MipSlice = 0;
  throw_if_failed(device_->CreateRenderTargetView(rt->texture, &rt->rtv_desc, &rt->rtv),
                  "device_->CreateRenderTargetView(rt->texture, &rt->rtv_desc, &rt->rtv)");

  if (flags & RT_SRV) {
    rt->srv_desc.Format = rt->texture_desc.Format;
    rt->srv_desc.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2D;
    rt->srv_desc.Texture2D = {0, static_cast<UINT>(-1)};
    throw_if_failed(device_->CreateShaderResourceView(rt->texture, &rt->srv_desc, &rt->srv),
                    "device_->CreateShaderResourceView(rt->texture, &rt->srv_desc, &rt->srv)");
  }
  if (flags & RT_UAV) {
    rt->uav_desc.Format = format;
    rt->uav_desc.ViewDimension = D3D11_UAV_DIMENSION_TEXTURE2D;
    rt->uav_desc.Texture2D.MipSlice = 0;
    throw_if_failed(device_->CreateUnorderedAccessView(rt->texture, &rt->uav_desc, &rt->uav),
                    "device_->CreateUnorderedAccessView(rt->texture, &rt->uav_desc, &rt->uav)");
  }
  if (flags & RT_DEPTH) {
    rt->ds_texture_desc.Width = static_cast<UINT>(width);
    rt->ds_texture_desc.Height = static_cast<UINT>(height);
    rt->ds_texture_desc.MipLevels = 1;
    rt->ds_texture_desc.ArraySize = 1;
    rt->ds_texture_desc.Format = DXGI_FORMAT_R32_TYPELESS;
    rt->ds_texture_desc.SampleDesc = {1, 0};
    rt->ds_texture_desc.Usage = D3D11_USAGE_DEFAULT;
    rt->ds_texture_desc.BindFlags = D3D11_BIND_DEPTH_STENCIL | D3D11_BIND_SHADER_RESOURCE;
    throw_if_failed(device_->CreateTexture2D(&rt->ds_texture_desc, nullptr, &rt->ds_texture),
                    "device_->CreateTexture2D(&rt->ds_texture_desc, NULL, &rt->ds_texture)");

    rt->ds_dsv_desc.Format = DXGI_FORMAT_D32_FLOAT;
    rt->ds_dsv_desc.ViewDimension = D3D11_DSV_DIMENSION_TEXTURE2D;
    rt->ds_dsv_desc.Flags = 0;
    rt->ds_dsv_desc.Texture2D.MipSlice = 0;
    throw_if_failed(device_->CreateDepthStencilView(rt->ds_texture, &rt->ds_dsv_desc, &rt->ds_dsv),
                    "device_->CreateDepthStencilView(rt->ds_texture, &rt->ds_dsv_desc, &rt->ds_dsv)");

    rt->ds_srv_desc.Format = DXGI_FORMAT_R32_FLOAT;
    rt->ds_srv_desc.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2D;
    rt->ds_srv_desc.Texture2D = {0, 1};
    throw_if_failed(device_->CreateShaderResourceView(rt->ds_texture, &rt->ds_srv_desc, &rt->ds_srv),
                    "device_->CreateShaderResourceView(rt->ds_texture, &rt->ds_srv_desc, &rt->ds_srv)");
  }

  ++S(gsys)->get_frame_counters()->created;
  std::shared_ptr<render_target_t> target = std::move(rt);
  if (flags & RT_TEMPORARY) temp_targets_.push_back(target);
  return target;
}

std::unique_ptr<render_target_t> graphics_resource_impl_t::create_buffer(int count, int stride,
                                                                         uint32_t flags) {
  const std::optional<int> size = buffer_bytes(count, stride, "GPU buffer");
  if (!size) return nullptr;
  auto target = std::make_unique<render_target_t>();
  target->count = count;
  target->stride = stride;
  target->flags = flags;
  target->last_frame = frame_counter_;

  D3D11_BUFFER_DESC desc{};
  desc.ByteWidth = static_cast<UINT>(*size);
  desc.Usage = D3D11_USAGE_DEFAULT;
  desc.BindFlags = ((flags & BUF_UAV) ? D3D11_BIND_UNORDERED_ACCESS : 0u) |
                   ((flags & BUF_SRV) ? D3D11_BIND_SHADER_RESOURCE : 0u);
  desc.MiscFlags = ((flags & BUF_INDIRECT_ARGS) ? D3D11_RESOURCE_MISC_DRAWINDIRECT_ARGS : 0u) |
                   ((flags & BUF_SRV) ? D3D11_RESOURCE_MISC_BUFFER_STRUCTURED : 0u);
  desc.StructureByteStride = static_cast<UINT>(stride);
  static constexpr uint32_t draw_args[] = {0, 1, 0, 0};
  const D3D11_SUBRESOURCE_DATA initial{draw_args, 0, 0};
  const bool indirect = (flags & BUF_INDIRECT_ARGS) != 0;
  // Indirect arguments are exactly the four values; any other size would read past them.
  if (indirect && desc.ByteWidth != sizeof(draw_args)) return nullptr;
  if (FAILED(device_->CreateBuffer(&desc, indirect ? &initial : nullptr, &target->buffer))) return nullptr;

  if (flags & BUF_UAV) {
    target->uav_desc.Format = indirect ? DXGI_FORMAT_R32_UINT : DXGI_FORMAT_UNKNOWN;
    target->uav_desc.ViewDimension = D3D11_UAV_DIMENSION_BUFFER;
    target->uav_desc.Buffer = {0, static_cast<UINT>(count),
                               ((flags & BUF_APPEND) ? D3D11_BUFFER_UAV_FLAG_APPEND : 0u) |
                                   ((flags & BUF_COUNTER) ? D3D11_BUFFER_UAV_FLAG_COUNTER : 0u)};
    if (FAILED(device_->CreateUnorderedAccessView(target->buffer, &target->uav_desc, &target->uav)))
      return nullptr;
  }
  if (flags & BUF_SRV) {
    target->srv_desc.Format = DXGI_FORMAT_UNKNOWN;
    target->srv_desc.ViewDimension = D3D11_SRV_DIMENSION_BUFFER;
    target->srv_desc.Buffer.FirstElement = 0;
    target->srv_desc.Buffer.NumElements = static_cast<UINT>(count);
    if (FAILED(device_->CreateShaderResourceView(target->buffer, &target->srv_desc, &target->srv)))
      return nullptr;
  }
  if (flags & BUF_COUNT_BUFFER) target->count_buffer = create_constant_buffer(16, false, nullptr);
  return target;
}

std::shared_ptr<rasterizer_state_t> graphics_resource_impl_t::create_rasterizer_state(
    const D3D11_RASTERIZER_DESC& desc) {
  return states_.create_rasterizer_state(device_, desc);
}
std::shared_ptr<blend_state_t> graphics_resource_impl_t::create_blend_state(const D3D11_BLEND_DESC& desc) {
  return states_.create_blend_state(device_, desc);
}
std::shared_ptr<depth_stencil_state_t> graphics_resource_impl_t::create_depth_stencil_state(
    const D3D11_DEPTH_STENCIL_DESC& desc) {
  return states_.create_depth_stencil_state(device_, desc);
}
std::shared_ptr<sampler_state_t> graphics_resource_impl_t::create_sampler_state(
    const D3D11_SAMPLER_DESC& desc) {
  return states_.create_sampler_state(device_, desc);
}
std::shared_ptr<rasterizer_state_t> graphics_resource_impl_t::get_rasterizer_state(int id) {
  return states_.get_rasterizer_state(id);
}
std::shared_ptr<blend_state_t> graphics_resource_impl_t::get_blend_state(int id) {
  return states_.get_blend_state(id);
}
std::shared_ptr<depth_stencil_state_t> graphics_resource_impl_t::get_depth_stencil_state(int id) {
  return states_.get_depth_stencil_state(id);
}
std::shared_ptr<sampler_state_t> graphics_resource_impl_t::get_sampler_state(int id) {
  return states_.get_sampler_state(id);
}

tl::expected<graphics_resources_t*, std::string> create_graphics_resources() {
  return new graphics_resource_impl_t(S(gsys)->get_device(), S(gsys)->get_context());
}
