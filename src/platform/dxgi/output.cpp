#include "platform/dxgi/output.h"

#include <algorithm>

namespace {

bool has_display_modes(DXGI_FORMAT format) {
  switch (format) {
    case DXGI_FORMAT_R8G8B8A8_UNORM:
    case DXGI_FORMAT_R8G8B8A8_UNORM_SRGB:
    case DXGI_FORMAT_B8G8R8A8_UNORM:
    case DXGI_FORMAT_B8G8R8A8_UNORM_SRGB:
      return true;
    default:
      return false;
  }
}

}  // namespace

dxgi_output_t::dxgi_output_t(IDXGIAdapter* adapter, dxgi_output_info_t info)
    : adapter_(adapter), info_(std::move(info)) {}

HRESULT dxgi_output_t::GetParent(REFIID riid, void** parent) {
  if (!parent) return DXGI_ERROR_INVALID_CALL;
  return adapter_->QueryInterface(riid, parent);
}

HRESULT dxgi_output_t::GetDesc(DXGI_OUTPUT_DESC* desc) {
  if (!desc) return E_INVALIDARG;
  *desc = DXGI_OUTPUT_DESC{};
  const size_t length = std::min(info_.device_name.size(), std::size(desc->DeviceName) - 1);
  std::copy_n(info_.device_name.begin(), length, desc->DeviceName);
  desc->DesktopCoordinates = info_.desktop;
  desc->AttachedToDesktop = info_.attached_to_desktop ? TRUE : FALSE;
  desc->Rotation = DXGI_MODE_ROTATION_IDENTITY;
  return S_OK;
}

HRESULT dxgi_output_t::GetDisplayModeList(DXGI_FORMAT format, UINT, UINT* count, DXGI_MODE_DESC* desc) {
  if (!count) return DXGI_ERROR_INVALID_CALL;
  const UINT available = has_display_modes(format) ? static_cast<UINT>(info_.modes.size()) : 0;
  if (!desc) {
    *count = available;
    return S_OK;
  }
  const UINT filled = std::min(*count, available);
  for (UINT i = 0; i < filled; ++i) {
    desc[i] = info_.modes[i];
    desc[i].Format = format;
    desc[i].ScanlineOrdering = DXGI_MODE_SCANLINE_ORDER_PROGRESSIVE;
    desc[i].Scaling = DXGI_MODE_SCALING_UNSPECIFIED;
  }
  *count = filled;
  return filled < available ? DXGI_ERROR_MORE_DATA : S_OK;
}
