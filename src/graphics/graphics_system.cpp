#include "graphics/graphics_system.h"

#include <fmt/printf.h>

#include <vector>

#include "graphics/graphics_runtime.h"
#include "graphics/settings_dialog.h"
#include "support/systems.h"
#include "support/log.h"
#include "support/strings.h"

namespace {

constexpr DWORD overlapped_window_style = WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
static_assert(overlapped_window_style == 0x16CF0000);

std::string failed_with(const char* call, HRESULT hr) {
  return fmt::sprintf("%s failed with error: %s (%x)", call, hresult_message(hr), hr);
}

bool is_preferred_vendor(UINT vendor) { return vendor == dxgi_vendor_nvidia || vendor == dxgi_vendor_amd; }

}  // namespace

tl::expected<void, std::string> graphics_system_impl_t::create_device() {
  com_ptr_t<IDXGIFactory> factory;
  CreateDXGIFactory(__uuidof(IDXGIFactory), (void**)&factory.p);

  std::vector<com_ptr_t<IDXGIAdapter>> candidates;
  com_ptr_t<IDXGIAdapter> preferred;
  if (factory) {
    for (UINT i = 0;; ++i) {
      com_ptr_t<IDXGIAdapter> adapter;
      if (factory->EnumAdapters(i, &adapter) == DXGI_ERROR_NOT_FOUND) break;
      DXGI_ADAPTER_DESC desc;
      adapter->GetDesc(&desc);
      LOG_INF("Found adapter: %s", to_utf8(desc.Description).c_str());
      if (desc.VendorId != dxgi_vendor_software) candidates.push_back(adapter);
      if (is_preferred_vendor(desc.VendorId)) preferred = adapter;
    }
  }
  // With one hardware adapter the default one serves; only a choice makes a preference count.
  if (candidates.size() >= 2) {
    default_adapter_ = candidates.front();
    preferred_adapter_ = preferred;
  }

  const UINT flags = 0;
  HRESULT hr = D3D11CreateDevice(preferred_adapter_, preferred_adapter_ ? D3D_DRIVER_TYPE_UNKNOWN : D3D_DRIVER_TYPE_HARDWARE,
                                 nullptr, flags, nullptr, 0, D3D11_SDK_VERSION, &device_, &_featureLevel, &context_);
  if (FAILED(hr)) {
    return tl::unexpected(failed_with(
        "D3D11CreateDevice( preferred_adapter_, preferred_adapter_ ? D3D_DRIVER_TYPE_UNKNOWN : "
        "D3D_DRIVER_TYPE_HARDWARE, 0, flags, 0, 0, D3D11_SDK_VERSION, &device_, &_featureLevel, &context_)",
        hr));
  }
  if (_featureLevel < D3D_FEATURE_LEVEL_11_0)
    return tl::unexpected(fmt::sprintf("Feature level too low: %x. 11.0 required", static_cast<uint32_t>(_featureLevel)));

  if (preferred_adapter_) {
    hr = preferred_adapter_->GetParent(__uuidof(IDXGIFactory), (void**)&dxgi_factory_.p);
    if (FAILED(hr))
      return tl::unexpected(
          failed_with("preferred_adapter_->GetParent(__uuidof(IDXGIFactory), (void**)&dxgi_factory_.p)", hr));
    return {};
  }
  com_ptr_t<IDXGIDevice> dxgi_device;
  hr = device_->QueryInterface(__uuidof(IDXGIDevice), (void**)&dxgi_device.p);
  if (FAILED(hr))
    return tl::unexpected(
        failed_with("device_->QueryInterface(__uuidof(IDXGIDevice), (void**)&dxgi_device.p)", hr));
  // The device's own adapter replaces the one kept from the enumeration, which is released first.
  default_adapter_.Release();
  hr = dxgi_device->GetParent(__uuidof(IDXGIAdapter), (void**)&default_adapter_.p);
  if (FAILED(hr))
    return tl::unexpected(
        failed_with("dxgi_device->GetParent(__uuidof(IDXGIAdapter), (void**)&default_adapter_.p)", hr));
  hr = default_adapter_->GetParent(__uuidof(IDXGIFactory), (void**)&dxgi_factory_.p);
  if (FAILED(hr))
    return tl::unexpected(
        failed_with("default_adapter_->GetParent(__uuidof(IDXGIFactory), (void**)&dxgi_factory_.p)", hr));
  return {};
}

void graphics_system_impl_t::release_device_objects() {
  backbuffer.reset();
  swap_chain.Release();
  device_.Release();
  context_.Release();
  default_adapter_.Release();
  dxgi_factory_.Release();
  preferred_adapter_.Release();
}

void graphics_system_impl_t::shutdown() {
  if (g_systems && S(runtime)) S(runtime)->unset_render_targets(0, 8);
  ShowCursor(TRUE);
  release_device_objects();
}

void graphics_system_impl_t::reset_frame_counters() { frame_counters = {}; }

tl::expected<void, std::string> graphics_system_impl_t::create_window(int width, int height, int style_flags,
                                                                      HINSTANCE instance, WNDPROC procedure) {
  if (auto opened = open_window(width, height, style_flags, instance, procedure); !opened) return opened;
  return create_swap_chain(width, height, (style_flags & 1) != 0, DXGI_RATIONAL{60, 1});
}

tl::expected<void, std::string> graphics_system_impl_t::create_window_from_dialog(HINSTANCE instance,
                                                                                  WNDPROC procedure) {
  display_settings_t settings;
  settings.instance = instance;
  settings.adapter = default_adapter_;
  settings.factory = dxgi_factory_;
  INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(settings_dialog_id), nullptr, &settings_dialog_proc,
                                   reinterpret_cast<LPARAM>(&settings));
  if (result != 1) return tl::unexpected(std::string("Error in show dialog"));
  if (auto chosen = check_display_choice(settings); !chosen) return chosen;

  vsync = settings.vsync;
  if (auto opened = open_window(settings.width, settings.height, settings.windowed ? 1 : 0, instance, procedure);
      !opened)
    return opened;
  return create_swap_chain(settings.width, settings.height, settings.windowed, settings.refresh);
}

tl::expected<void, std::string> graphics_system_impl_t::open_window(int width, int height, int style_flags,
                                                                    HINSTANCE instance, WNDPROC procedure) {
  WNDCLASSEXA window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.style = CS_HREDRAW | CS_VREDRAW;
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  window_class.lpszClassName = "WindowClass";
  if (!RegisterClassExA(&window_class)) return tl::unexpected(std::string("Error in RegisterClassEx"));

  screen_width = GetSystemMetrics(SM_CXSCREEN);
  screen_height = GetSystemMetrics(SM_CYSCREEN);
  const DWORD style = (style_flags & 2) ? WS_POPUP : overlapped_window_style;
  hwnd = CreateWindowExA(0, "WindowClass", "pumblecrisp - velmora", style, CW_USEDEFAULT, CW_USEDEFAULT, width,
                         height, nullptr, nullptr, instance, nullptr);
  // Nothing is reported for a window that does not open; the swap chain then fails on its own.
  if (!hwnd) LOG_WRN("CreateWindowExA failed");

  if (style_flags & 1) {
    RECT window_rect, client_rect;
    GetWindowRect(hwnd, &window_rect);
    GetClientRect(hwnd, &client_rect);
    const int frame_width = (window_rect.right - window_rect.left) - (client_rect.right - client_rect.left);
    const int frame_height = (window_rect.bottom - window_rect.top) - (client_rect.bottom - client_rect.top);
    SetWindowPos(hwnd, nullptr, -1, -1, width + frame_width, height + frame_height,
                 SWP_NOOWNERZORDER | SWP_NOZORDER);
  }
  if (style_flags & 8) {
    SetWindowPos(hwnd, nullptr, (GetSystemMetrics(SM_CXFULLSCREEN) - width) / 2,
                 (GetSystemMetrics(SM_CYFULLSCREEN) - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  }
  window_width = width;
  window_height = height;
  windowed = (style_flags & 1) != 0;
  ShowWindow(hwnd, (style_flags & 16) ? SW_MAXIMIZE : SW_SHOW);
  ShowCursor(windowed ? TRUE : FALSE);
  return {};
}

tl::expected<void, std::string> graphics_system_impl_t::create_swap_chain(int width, int height, bool windowed_mode,
                                                                          DXGI_RATIONAL refresh) {
  swap_chain_desc = {};
  swap_chain_desc.BufferDesc.Width = static_cast<UINT>(width);
  swap_chain_desc.BufferDesc.Height = static_cast<UINT>(height);
  swap_chain_desc.BufferDesc.RefreshRate = refresh;
  swap_chain_desc.BufferDesc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
  swap_chain_desc.BufferDesc.ScanlineOrdering = DXGI_MODE_SCANLINE_ORDER_UNSPECIFIED;
  swap_chain_desc.BufferDesc.Scaling = DXGI_MODE_SCALING_UNSPECIFIED;
  swap_chain_desc.SampleDesc = {1, 0};
  swap_chain_desc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
  swap_chain_desc.BufferCount = 2;
  swap_chain_desc.OutputWindow = hwnd;
  swap_chain_desc.Windowed = windowed_mode ? TRUE : FALSE;
  swap_chain_desc.SwapEffect = DXGI_SWAP_EFFECT_DISCARD;
  swap_chain_desc.Flags = 0;
  dxgi_factory_->CreateSwapChain(device_, &swap_chain_desc, &swap_chain);
  return create_backbuffer(width, height);
}

tl::expected<void, std::string> graphics_system_impl_t::create_backbuffer(int width, int height) {
  com_ptr_t<ID3D11Texture2D> buffer;
  HRESULT hr = swap_chain ? swap_chain->GetBuffer(0, __uuidof(ID3D11Texture2D), (void**)&buffer.p)
                          : DXGI_ERROR_INVALID_CALL;
  if (FAILED(hr)) return tl::unexpected(hresult_message(hr));

  auto target = std::make_unique<render_target_t>();
  buffer->GetDesc(&target->texture_desc);
  device_->CreateRenderTargetView(buffer, nullptr, &target->rtv);
  target->rtv_desc.Format = target->texture_desc.Format;
  target->rtv_desc.ViewDimension = D3D11_RTV_DIMENSION_TEXTURE2D;
  target->rtv_desc.Texture2D.MipSlice = 0;
  target->viewport = {0.0f, 0.0f, static_cast<float>(width), static_cast<float>(height), 0.0f, 1.0f};
  // The view keeps the buffer alive; the record holds no reference of its own to it.
  buffer.Release();

  D3D11_TEXTURE2D_DESC& depth = target->ds_texture_desc;
  depth.Width = static_cast<UINT>(width);
  depth.Height = static_cast<UINT>(height);
  depth.MipLevels = 1;
  depth.ArraySize = 1;
  depth.Format = DXGI_FORMAT_D24_UNORM_S8_UINT;
  depth.SampleDesc = {1, 0};
  depth.Usage = D3D11_USAGE_DEFAULT;
  depth.BindFlags = D3D11_BIND_DEPTH_STENCIL;
  hr = device_->CreateTexture2D(&depth, nullptr, &target->ds_texture);
  if (FAILED(hr)) return tl::unexpected(hresult_message(hr));

  D3D11_DEPTH_STENCIL_VIEW_DESC& view = target->ds_dsv_desc;
  view.Format = DXGI_FORMAT_D24_UNORM_S8_UINT;
  view.ViewDimension = D3D11_DSV_DIMENSION_TEXTURE2D;
  view.Flags = 0;
  view.Texture2D.MipSlice = 0;
  hr = device_->CreateDepthStencilView(target->ds_texture, &view, &target->ds_dsv);
  if (FAILED(hr)) return tl::unexpected(hresult_message(hr));

  backbuffer = std::move(target);
  S(runtime)->set_render_target(backbuffer.get(), nullptr, false);
  return {};
}

void graphics_system_impl_t::resize(int width, int height) {
  if (!backbuffer) return;
  LOG_DBG("Resizing swap chain to %dx%d", width, height);
  S(runtime)->unset_render_targets(0, 1);
  backbuffer->texture.Release();
  backbuffer->rtv.Release();
  backbuffer->ds_texture.Release();
  backbuffer->ds_dsv.Release();
  swap_chain->ResizeBuffers(swap_chain_desc.BufferCount, static_cast<UINT>(width), static_cast<UINT>(height),
                            swap_chain_desc.BufferDesc.Format, swap_chain_desc.Flags);
  (void)create_backbuffer(width, height);
}

int2 graphics_system_impl_t::get_backbuffer_size() {
  if (!backbuffer) return {0, 0};
  return {static_cast<int>(backbuffer->viewport.Width), static_cast<int>(backbuffer->viewport.Height)};
}

float graphics_system_impl_t::get_aspect_ratio() {
  if (!backbuffer) return 0.0f;
  return backbuffer->viewport.Width / backbuffer->viewport.Height;
}

void graphics_system_impl_t::present() {
  if (swap_chain) swap_chain->Present(vsync ? 1 : 0, 0);
}
