#pragma once
// DXGI as the player calls it: the factory, adapters, outputs with their display modes, and the
// swap chain that presents a device's back buffer to a window. Adapters come from the GL
// renderer (or from a list a test injects, see adapter_list.h); outputs and modes from SDL's
// displays, or one synthetic output when there is no display.

#include "platform/dxgi/com.h"
#include "platform/dxgi/formats.h"
#include "platform/dxgi/sample_desc.h"
#include "platform/win32/types.h"
#include "platform/win32/window.h"

struct IDXGIAdapter;
struct HMONITOR__;
using HMONITOR = HMONITOR__*;

struct DXGI_RATIONAL {
  UINT Numerator = 0;
  UINT Denominator = 0;
};

enum DXGI_MODE_SCANLINE_ORDER : uint32_t {
  DXGI_MODE_SCANLINE_ORDER_UNSPECIFIED = 0,
  DXGI_MODE_SCANLINE_ORDER_PROGRESSIVE = 1,
};
enum DXGI_MODE_SCALING : uint32_t {
  DXGI_MODE_SCALING_UNSPECIFIED = 0,
  DXGI_MODE_SCALING_CENTERED = 1,
  DXGI_MODE_SCALING_STRETCHED = 2,
};
enum DXGI_MODE_ROTATION : uint32_t {
  DXGI_MODE_ROTATION_UNSPECIFIED = 0,
  DXGI_MODE_ROTATION_IDENTITY = 1,
};
enum DXGI_SWAP_EFFECT : uint32_t {
  DXGI_SWAP_EFFECT_DISCARD = 0,
  DXGI_SWAP_EFFECT_SEQUENTIAL = 1,
};

using DXGI_USAGE = UINT;
constexpr DXGI_USAGE DXGI_USAGE_SHADER_INPUT = 0x10;
constexpr DXGI_USAGE DXGI_USAGE_RENDER_TARGET_OUTPUT = 0x20;

constexpr UINT DXGI_SWAP_CHAIN_FLAG_ALLOW_MODE_SWITCH = 2;

struct DXGI_MODE_DESC {
  UINT Width = 0;
  UINT Height = 0;
  DXGI_RATIONAL RefreshRate;
  DXGI_FORMAT Format = DXGI_FORMAT_UNKNOWN;
  DXGI_MODE_SCANLINE_ORDER ScanlineOrdering = DXGI_MODE_SCANLINE_ORDER_UNSPECIFIED;
  DXGI_MODE_SCALING Scaling = DXGI_MODE_SCALING_UNSPECIFIED;
};

struct DXGI_SWAP_CHAIN_DESC {
  DXGI_MODE_DESC BufferDesc;
  DXGI_SAMPLE_DESC SampleDesc;
  DXGI_USAGE BufferUsage = 0;
  UINT BufferCount = 0;
  HWND OutputWindow = nullptr;
  BOOL Windowed = FALSE;
  DXGI_SWAP_EFFECT SwapEffect = DXGI_SWAP_EFFECT_DISCARD;
  UINT Flags = 0;
};

struct LUID {
  DWORD LowPart = 0;
  LONG HighPart = 0;
};

struct DXGI_ADAPTER_DESC {
  WCHAR Description[128] = {};
  UINT VendorId = 0;
  UINT DeviceId = 0;
  UINT SubSysId = 0;
  UINT Revision = 0;
  SIZE_T DedicatedVideoMemory = 0;
  SIZE_T DedicatedSystemMemory = 0;
  SIZE_T SharedSystemMemory = 0;
  LUID AdapterLuid;
};

struct DXGI_OUTPUT_DESC {
  WCHAR DeviceName[32] = {};
  RECT DesktopCoordinates;
  BOOL AttachedToDesktop = FALSE;
  DXGI_MODE_ROTATION Rotation = DXGI_MODE_ROTATION_UNSPECIFIED;
  HMONITOR Monitor = nullptr;
};

// PCI vendor ids the adapter selection looks at.
constexpr UINT dxgi_vendor_nvidia = 0x10DE;
constexpr UINT dxgi_vendor_amd = 0x1002;
constexpr UINT dxgi_vendor_intel = 0x8086;
constexpr UINT dxgi_vendor_software = 0x1414;

struct IDXGIObject : IUnknown {
  static constexpr IID iid = make_iid(0x0D00, 1);
  using base_interface_t = IUnknown;
  // The object's parent (adapter → factory, output → adapter, swap chain → factory), AddRef'd.
  virtual HRESULT GetParent(REFIID riid, void** parent) = 0;
};

struct IDXGIOutput : IDXGIObject {
  static constexpr IID iid = make_iid(0x0D00, 2);
  using base_interface_t = IDXGIObject;
  virtual HRESULT GetDesc(DXGI_OUTPUT_DESC* desc) = 0;
  // Count-then-fill: with `desc` null only *count is set. A buffer smaller than the list gets
  // the first *count modes and DXGI_ERROR_MORE_DATA. SDL's modes come in ascending width, height
  // and refresh order (injected lists as given); only 32-bit RGBA/BGRA formats have modes.
  virtual HRESULT GetDisplayModeList(DXGI_FORMAT format, UINT flags, UINT* count, DXGI_MODE_DESC* desc) = 0;
};

struct IDXGIAdapter : IDXGIObject {
  static constexpr IID iid = make_iid(0x0D00, 3);
  using base_interface_t = IDXGIObject;
  // DXGI_ERROR_NOT_FOUND past the last output.
  virtual HRESULT EnumOutputs(UINT index, IDXGIOutput** output) = 0;
  virtual HRESULT GetDesc(DXGI_ADAPTER_DESC* desc) = 0;
};

struct IDXGIDevice : IDXGIObject {
  static constexpr IID iid = make_iid(0x0D00, 4);
  using base_interface_t = IDXGIObject;
  virtual HRESULT GetAdapter(IDXGIAdapter** adapter) = 0;
};

struct IDXGIDeviceSubObject : IDXGIObject {
  static constexpr IID iid = make_iid(0x0D00, 5);
  using base_interface_t = IDXGIObject;
  virtual HRESULT GetDevice(REFIID riid, void** device) = 0;
};

struct IDXGISwapChain : IDXGIDeviceSubObject {
  static constexpr IID iid = make_iid(0x0D00, 6);
  using base_interface_t = IDXGIDeviceSubObject;
  // Copies the back buffer to the window (vertical sync when sync_interval > 0) and swaps.
  virtual HRESULT Present(UINT sync_interval, UINT flags) = 0;
  // Only buffer 0 is accessible, as with DXGI_SWAP_EFFECT_DISCARD.
  virtual HRESULT GetBuffer(UINT buffer, REFIID riid, void** surface) = 0;
  virtual HRESULT SetFullscreenState(BOOL fullscreen, IDXGIOutput* target) = 0;
  virtual HRESULT GetFullscreenState(BOOL* fullscreen, IDXGIOutput** target) = 0;
  virtual HRESULT GetDesc(DXGI_SWAP_CHAIN_DESC* desc) = 0;
  // Zero width or height takes the window's client size, zero count or UNKNOWN format keeps the
  // current one. Fails with DXGI_ERROR_INVALID_CALL while the back buffer is still referenced.
  virtual HRESULT ResizeBuffers(UINT count, UINT width, UINT height, DXGI_FORMAT format, UINT flags) = 0;
};

struct IDXGIFactory : IDXGIObject {
  static constexpr IID iid = make_iid(0x0D00, 7);
  using base_interface_t = IDXGIObject;
  // DXGI_ERROR_NOT_FOUND past the last adapter.
  virtual HRESULT EnumAdapters(UINT index, IDXGIAdapter** adapter) = 0;
  // `device` is an ID3D11Device made by D3D11CreateDevice; the window must be an OpenGL-capable
  // SDL window (the factory asks win32 for that when it is made).
  virtual HRESULT CreateSwapChain(IUnknown* device, DXGI_SWAP_CHAIN_DESC* desc,
                                  IDXGISwapChain** swap_chain) = 0;
};

// Makes a factory for IDXGIFactory (or IDXGIObject, IUnknown). Also prepares the platform for
// windows that can be presented to: new windows get OpenGL, devices made later use an SDL GL
// context when SDL has a display (else headless EGL), and devices answer IDXGIDevice.
HRESULT CreateDXGIFactory(REFIID riid, void** factory);
