#pragma once
// Direct3D 11 as the player calls it: constants, descriptions (64-bit Windows layouts) and the
// interfaces of the device, the immediate context and every object they make. The objects live
// over OpenGL 4.5 core (see device.h); the bytecode handed to Create*Shader is SPIR-V.

#include <cstdint>

#include "platform/dxgi/com.h"
#include "platform/dxgi/formats.h"
#include "platform/dxgi/sample_desc.h"

struct IDXGIAdapter;

using FLOAT = float;
using INT = int32_t;
using UINT8 = uint8_t;

enum D3D_FEATURE_LEVEL : uint32_t {
  D3D_FEATURE_LEVEL_10_0 = 0xa000,
  D3D_FEATURE_LEVEL_10_1 = 0xa100,
  D3D_FEATURE_LEVEL_11_0 = 0xb000,
};
enum D3D_DRIVER_TYPE : uint32_t { D3D_DRIVER_TYPE_UNKNOWN = 0, D3D_DRIVER_TYPE_HARDWARE = 1 };
constexpr UINT D3D11_SDK_VERSION = 7;
constexpr UINT D3D11_CREATE_DEVICE_DEBUG = 0x2;

enum D3D11_USAGE : uint32_t {
  D3D11_USAGE_DEFAULT = 0,
  D3D11_USAGE_IMMUTABLE = 1,
  D3D11_USAGE_DYNAMIC = 2,
  D3D11_USAGE_STAGING = 3,
};
enum D3D11_BIND_FLAG : uint32_t {
  D3D11_BIND_VERTEX_BUFFER = 0x1,
  D3D11_BIND_INDEX_BUFFER = 0x2,
  D3D11_BIND_CONSTANT_BUFFER = 0x4,
  D3D11_BIND_SHADER_RESOURCE = 0x8,
  D3D11_BIND_STREAM_OUTPUT = 0x10,
  D3D11_BIND_RENDER_TARGET = 0x20,
  D3D11_BIND_DEPTH_STENCIL = 0x40,
  D3D11_BIND_UNORDERED_ACCESS = 0x80,
};
enum D3D11_CPU_ACCESS_FLAG : uint32_t { D3D11_CPU_ACCESS_WRITE = 0x10000, D3D11_CPU_ACCESS_READ = 0x20000 };
enum D3D11_RESOURCE_MISC_FLAG : uint32_t {
  D3D11_RESOURCE_MISC_GENERATE_MIPS = 0x1,
  D3D11_RESOURCE_MISC_TEXTURECUBE = 0x4,
  D3D11_RESOURCE_MISC_DRAWINDIRECT_ARGS = 0x10,
  D3D11_RESOURCE_MISC_BUFFER_ALLOW_RAW_VIEWS = 0x20,
  D3D11_RESOURCE_MISC_BUFFER_STRUCTURED = 0x40,
};
enum D3D11_MAP : uint32_t {
  D3D11_MAP_READ = 1,
  D3D11_MAP_WRITE = 2,
  D3D11_MAP_READ_WRITE = 3,
  D3D11_MAP_WRITE_DISCARD = 4,
  D3D11_MAP_WRITE_NO_OVERWRITE = 5,
};
enum D3D11_CLEAR_FLAG : uint32_t { D3D11_CLEAR_DEPTH = 0x1, D3D11_CLEAR_STENCIL = 0x2 };
enum D3D11_BUFFER_UAV_FLAG : uint32_t {
  D3D11_BUFFER_UAV_FLAG_RAW = 0x1,
  D3D11_BUFFER_UAV_FLAG_APPEND = 0x2,
  D3D11_BUFFER_UAV_FLAG_COUNTER = 0x4,
};
enum D3D11_RESOURCE_DIMENSION : uint32_t {
  D3D11_RESOURCE_DIMENSION_UNKNOWN = 0,
  D3D11_RESOURCE_DIMENSION_BUFFER = 1,
  D3D11_RESOURCE_DIMENSION_TEXTURE1D = 2,
  D3D11_RESOURCE_DIMENSION_TEXTURE2D = 3,
  D3D11_RESOURCE_DIMENSION_TEXTURE3D = 4,
};
enum D3D11_SRV_DIMENSION : uint32_t {
  D3D11_SRV_DIMENSION_UNKNOWN = 0,
  D3D11_SRV_DIMENSION_BUFFER = 1,
  D3D11_SRV_DIMENSION_TEXTURE1D = 2,
  D3D11_SRV_DIMENSION_TEXTURE1DARRAY = 3,
  D3D11_SRV_DIMENSION_TEXTURE2D = 4,
  D3D11_SRV_DIMENSION_TEXTURE2DARRAY = 5,
  D3D11_SRV_DIMENSION_TEXTURE2DMS = 6,
  D3D11_SRV_DIMENSION_TEXTURE2DMSARRAY = 7,
  D3D11_SRV_DIMENSION_TEXTURE3D = 8,
  D3D11_SRV_DIMENSION_TEXTURECUBE = 9,
  D3D11_SRV_DIMENSION_TEXTURECUBEARRAY = 10,
};
enum D3D11_RTV_DIMENSION : uint32_t {
  D3D11_RTV_DIMENSION_UNKNOWN = 0,
  D3D11_RTV_DIMENSION_BUFFER = 1,
  D3D11_RTV_DIMENSION_TEXTURE1D = 2,
  D3D11_RTV_DIMENSION_TEXTURE1DARRAY = 3,
  D3D11_RTV_DIMENSION_TEXTURE2D = 4,
  D3D11_RTV_DIMENSION_TEXTURE2DARRAY = 5,
  D3D11_RTV_DIMENSION_TEXTURE3D = 8,
};
enum D3D11_DSV_DIMENSION : uint32_t {
  D3D11_DSV_DIMENSION_UNKNOWN = 0,
  D3D11_DSV_DIMENSION_TEXTURE1D = 1,
  D3D11_DSV_DIMENSION_TEXTURE1DARRAY = 2,
  D3D11_DSV_DIMENSION_TEXTURE2D = 3,
  D3D11_DSV_DIMENSION_TEXTURE2DARRAY = 4,
};
enum D3D11_UAV_DIMENSION : uint32_t {
  D3D11_UAV_DIMENSION_UNKNOWN = 0,
  D3D11_UAV_DIMENSION_BUFFER = 1,
  D3D11_UAV_DIMENSION_TEXTURE1D = 2,
  D3D11_UAV_DIMENSION_TEXTURE1DARRAY = 3,
  D3D11_UAV_DIMENSION_TEXTURE2D = 4,
  D3D11_UAV_DIMENSION_TEXTURE2DARRAY = 5,
  D3D11_UAV_DIMENSION_TEXTURE3D = 8,
};
enum D3D11_FILL_MODE : uint32_t { D3D11_FILL_WIREFRAME = 2, D3D11_FILL_SOLID = 3 };
enum D3D11_CULL_MODE : uint32_t { D3D11_CULL_NONE = 1, D3D11_CULL_FRONT = 2, D3D11_CULL_BACK = 3 };
enum D3D11_BLEND : uint32_t {
  D3D11_BLEND_ZERO = 1,
  D3D11_BLEND_ONE = 2,
  D3D11_BLEND_SRC_COLOR = 3,
  D3D11_BLEND_INV_SRC_COLOR = 4,
  D3D11_BLEND_SRC_ALPHA = 5,
  D3D11_BLEND_INV_SRC_ALPHA = 6,
  D3D11_BLEND_DEST_ALPHA = 7,
  D3D11_BLEND_INV_DEST_ALPHA = 8,
  D3D11_BLEND_DEST_COLOR = 9,
  D3D11_BLEND_INV_DEST_COLOR = 10,
  D3D11_BLEND_SRC_ALPHA_SAT = 11,
  D3D11_BLEND_BLEND_FACTOR = 14,
  D3D11_BLEND_INV_BLEND_FACTOR = 15,
};
enum D3D11_BLEND_OP : uint32_t {
  D3D11_BLEND_OP_ADD = 1,
  D3D11_BLEND_OP_SUBTRACT = 2,
  D3D11_BLEND_OP_REV_SUBTRACT = 3,
  D3D11_BLEND_OP_MIN = 4,
  D3D11_BLEND_OP_MAX = 5,
};
enum D3D11_COLOR_WRITE_ENABLE : uint32_t { D3D11_COLOR_WRITE_ENABLE_ALL = 0xF };
enum D3D11_COMPARISON_FUNC : uint32_t {
  D3D11_COMPARISON_NEVER = 1,
  D3D11_COMPARISON_LESS = 2,
  D3D11_COMPARISON_EQUAL = 3,
  D3D11_COMPARISON_LESS_EQUAL = 4,
  D3D11_COMPARISON_GREATER = 5,
  D3D11_COMPARISON_NOT_EQUAL = 6,
  D3D11_COMPARISON_GREATER_EQUAL = 7,
  D3D11_COMPARISON_ALWAYS = 8,
};
enum D3D11_DEPTH_WRITE_MASK : uint32_t { D3D11_DEPTH_WRITE_MASK_ZERO = 0, D3D11_DEPTH_WRITE_MASK_ALL = 1 };
enum D3D11_STENCIL_OP : uint32_t {
  D3D11_STENCIL_OP_KEEP = 1,
  D3D11_STENCIL_OP_ZERO = 2,
  D3D11_STENCIL_OP_REPLACE = 3,
  D3D11_STENCIL_OP_INCR_SAT = 4,
  D3D11_STENCIL_OP_DECR_SAT = 5,
  D3D11_STENCIL_OP_INVERT = 6,
  D3D11_STENCIL_OP_INCR = 7,
  D3D11_STENCIL_OP_DECR = 8,
};
enum D3D11_FILTER : uint32_t {
  D3D11_FILTER_MIN_MAG_MIP_POINT = 0,
  D3D11_FILTER_MIN_MAG_POINT_MIP_LINEAR = 0x1,
  D3D11_FILTER_MIN_POINT_MAG_LINEAR_MIP_POINT = 0x4,
  D3D11_FILTER_MIN_POINT_MAG_MIP_LINEAR = 0x5,
  D3D11_FILTER_MIN_LINEAR_MAG_MIP_POINT = 0x10,
  D3D11_FILTER_MIN_LINEAR_MAG_POINT_MIP_LINEAR = 0x11,
  D3D11_FILTER_MIN_MAG_LINEAR_MIP_POINT = 0x14,
  D3D11_FILTER_MIN_MAG_MIP_LINEAR = 0x15,
  D3D11_FILTER_ANISOTROPIC = 0x55,
};
enum D3D11_TEXTURE_ADDRESS_MODE : uint32_t {
  D3D11_TEXTURE_ADDRESS_WRAP = 1,
  D3D11_TEXTURE_ADDRESS_MIRROR = 2,
  D3D11_TEXTURE_ADDRESS_CLAMP = 3,
  D3D11_TEXTURE_ADDRESS_BORDER = 4,
  D3D11_TEXTURE_ADDRESS_MIRROR_ONCE = 5,
};
enum D3D11_PRIMITIVE_TOPOLOGY : uint32_t {
  D3D11_PRIMITIVE_TOPOLOGY_UNDEFINED = 0,
  D3D11_PRIMITIVE_TOPOLOGY_POINTLIST = 1,
  D3D11_PRIMITIVE_TOPOLOGY_LINELIST = 2,
  D3D11_PRIMITIVE_TOPOLOGY_LINESTRIP = 3,
  D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST = 4,
  D3D11_PRIMITIVE_TOPOLOGY_TRIANGLESTRIP = 5,
};
enum D3D11_INPUT_CLASSIFICATION : uint32_t {
  D3D11_INPUT_PER_VERTEX_DATA = 0,
  D3D11_INPUT_PER_INSTANCE_DATA = 1,
};
constexpr UINT D3D11_APPEND_ALIGNED_ELEMENT = 0xffffffffu;
constexpr UINT D3D11_KEEP_UNORDERED_ACCESS_VIEWS = 0xffffffffu;
constexpr UINT D3D11_SIMULTANEOUS_RENDER_TARGET_COUNT = 8;
constexpr UINT D3D11_COMMONSHADER_CONSTANT_BUFFER_API_SLOT_COUNT = 14;
constexpr UINT D3D11_COMMONSHADER_INPUT_RESOURCE_SLOT_COUNT = 128;
constexpr UINT D3D11_COMMONSHADER_SAMPLER_SLOT_COUNT = 16;
constexpr UINT D3D11_1_UAV_SLOT_COUNT = 8;  // the UAV slots this layer provides (u0 to u7)
constexpr UINT D3D11_IA_VERTEX_INPUT_RESOURCE_SLOT_COUNT = 16;
constexpr UINT D3D11_VIEWPORT_AND_SCISSORRECT_OBJECT_COUNT_PER_PIPELINE = 16;

struct D3D11_BUFFER_DESC {
  UINT ByteWidth = 0;
  D3D11_USAGE Usage = D3D11_USAGE_DEFAULT;
  UINT BindFlags = 0;
  UINT CPUAccessFlags = 0;
  UINT MiscFlags = 0;
  UINT StructureByteStride = 0;
};
struct D3D11_TEXTURE1D_DESC {
  UINT Width = 0;
  UINT MipLevels = 0;
  UINT ArraySize = 0;
  DXGI_FORMAT Format = DXGI_FORMAT_UNKNOWN;
  D3D11_USAGE Usage = D3D11_USAGE_DEFAULT;
  UINT BindFlags = 0;
  UINT CPUAccessFlags = 0;
  UINT MiscFlags = 0;
};
struct D3D11_TEXTURE2D_DESC {
  UINT Width = 0;
  UINT Height = 0;
  UINT MipLevels = 0;
  UINT ArraySize = 0;
  DXGI_FORMAT Format = DXGI_FORMAT_UNKNOWN;
  DXGI_SAMPLE_DESC SampleDesc;
  D3D11_USAGE Usage = D3D11_USAGE_DEFAULT;
  UINT BindFlags = 0;
  UINT CPUAccessFlags = 0;
  UINT MiscFlags = 0;
};
struct D3D11_TEXTURE3D_DESC {
  UINT Width = 0;
  UINT Height = 0;
  UINT Depth = 0;
  UINT MipLevels = 0;
  DXGI_FORMAT Format = DXGI_FORMAT_UNKNOWN;
  D3D11_USAGE Usage = D3D11_USAGE_DEFAULT;
  UINT BindFlags = 0;
  UINT CPUAccessFlags = 0;
  UINT MiscFlags = 0;
};
struct D3D11_SUBRESOURCE_DATA {
  const void* pSysMem = nullptr;
  UINT SysMemPitch = 0;
  UINT SysMemSlicePitch = 0;
};
struct D3D11_MAPPED_SUBRESOURCE {
  void* pData = nullptr;
  UINT RowPitch = 0;
  UINT DepthPitch = 0;
};
struct D3D11_BOX {
  UINT left = 0, top = 0, front = 0, right = 0, bottom = 0, back = 0;
};

struct D3D11_BUFFER_SRV {
  union {
    UINT FirstElement;
    UINT ElementOffset;
  };
  union {
    UINT NumElements;
    UINT ElementWidth;
  };
};
struct D3D11_TEX1D_SRV {
  UINT MostDetailedMip, MipLevels;
};
struct D3D11_TEX1D_ARRAY_SRV {
  UINT MostDetailedMip, MipLevels, FirstArraySlice, ArraySize;
};
struct D3D11_TEX2D_SRV {
  UINT MostDetailedMip, MipLevels;
};
struct D3D11_TEX2D_ARRAY_SRV {
  UINT MostDetailedMip, MipLevels, FirstArraySlice, ArraySize;
};
struct D3D11_TEX3D_SRV {
  UINT MostDetailedMip, MipLevels;
};
struct D3D11_TEXCUBE_SRV {
  UINT MostDetailedMip, MipLevels;
};
struct D3D11_TEXCUBE_ARRAY_SRV {
  UINT MostDetailedMip, MipLevels, First2DArrayFace, NumCubes;
};
struct D3D11_SHADER_RESOURCE_VIEW_DESC {
  DXGI_FORMAT Format;
  D3D11_SRV_DIMENSION ViewDimension;
  union {
    D3D11_BUFFER_SRV Buffer;
    D3D11_TEX1D_SRV Texture1D;
    D3D11_TEX1D_ARRAY_SRV Texture1DArray;
    D3D11_TEX2D_SRV Texture2D;
    D3D11_TEX2D_ARRAY_SRV Texture2DArray;
    D3D11_TEX3D_SRV Texture3D;
    D3D11_TEXCUBE_SRV TextureCube;
    D3D11_TEXCUBE_ARRAY_SRV TextureCubeArray;
    UINT raw_[4];  // keeps the union 16 bytes wide, as on Windows
  };
};

struct D3D11_BUFFER_RTV {
  UINT FirstElement, NumElements;
};
struct D3D11_TEX1D_RTV {
  UINT MipSlice;
};
struct D3D11_TEX1D_ARRAY_RTV {
  UINT MipSlice, FirstArraySlice, ArraySize;
};
struct D3D11_TEX2D_RTV {
  UINT MipSlice;
};
struct D3D11_TEX2D_ARRAY_RTV {
  UINT MipSlice, FirstArraySlice, ArraySize;
};
struct D3D11_TEX3D_RTV {
  UINT MipSlice, FirstWSlice, WSize;
};
struct D3D11_RENDER_TARGET_VIEW_DESC {
  DXGI_FORMAT Format;
  D3D11_RTV_DIMENSION ViewDimension;
  union {
    D3D11_BUFFER_RTV Buffer;
    D3D11_TEX1D_RTV Texture1D;
    D3D11_TEX1D_ARRAY_RTV Texture1DArray;
    D3D11_TEX2D_RTV Texture2D;
    D3D11_TEX2D_ARRAY_RTV Texture2DArray;
    D3D11_TEX3D_RTV Texture3D;
    UINT raw_[3];
  };
};

struct D3D11_TEX1D_DSV {
  UINT MipSlice;
};
struct D3D11_TEX1D_ARRAY_DSV {
  UINT MipSlice, FirstArraySlice, ArraySize;
};
struct D3D11_TEX2D_DSV {
  UINT MipSlice;
};
struct D3D11_TEX2D_ARRAY_DSV {
  UINT MipSlice, FirstArraySlice, ArraySize;
};
struct D3D11_DEPTH_STENCIL_VIEW_DESC {
  DXGI_FORMAT Format;
  D3D11_DSV_DIMENSION ViewDimension;
  UINT Flags;
  union {
    D3D11_TEX1D_DSV Texture1D;
    D3D11_TEX1D_ARRAY_DSV Texture1DArray;
    D3D11_TEX2D_DSV Texture2D;
    D3D11_TEX2D_ARRAY_DSV Texture2DArray;
    UINT raw_[3];
  };
};

struct D3D11_BUFFER_UAV {
  UINT FirstElement, NumElements, Flags;
};
struct D3D11_TEX1D_UAV {
  UINT MipSlice;
};
struct D3D11_TEX1D_ARRAY_UAV {
  UINT MipSlice, FirstArraySlice, ArraySize;
};
struct D3D11_TEX2D_UAV {
  UINT MipSlice;
};
struct D3D11_TEX2D_ARRAY_UAV {
  UINT MipSlice, FirstArraySlice, ArraySize;
};
struct D3D11_TEX3D_UAV {
  UINT MipSlice, FirstWSlice, WSize;
};
struct D3D11_UNORDERED_ACCESS_VIEW_DESC {
  DXGI_FORMAT Format;
  D3D11_UAV_DIMENSION ViewDimension;
  union {
    D3D11_BUFFER_UAV Buffer;
    D3D11_TEX1D_UAV Texture1D;
    D3D11_TEX1D_ARRAY_UAV Texture1DArray;
    D3D11_TEX2D_UAV Texture2D;
    D3D11_TEX2D_ARRAY_UAV Texture2DArray;
    D3D11_TEX3D_UAV Texture3D;
    UINT raw_[3];
  };
};

struct D3D11_RASTERIZER_DESC {
  D3D11_FILL_MODE FillMode;
  D3D11_CULL_MODE CullMode;
  BOOL FrontCounterClockwise;
  INT DepthBias;
  FLOAT DepthBiasClamp;
  FLOAT SlopeScaledDepthBias;
  BOOL DepthClipEnable;
  BOOL ScissorEnable;
  BOOL MultisampleEnable;
  BOOL AntialiasedLineEnable;
};
struct D3D11_RENDER_TARGET_BLEND_DESC {
  BOOL BlendEnable;
  D3D11_BLEND SrcBlend;
  D3D11_BLEND DestBlend;
  D3D11_BLEND_OP BlendOp;
  D3D11_BLEND SrcBlendAlpha;
  D3D11_BLEND DestBlendAlpha;
  D3D11_BLEND_OP BlendOpAlpha;
  UINT8 RenderTargetWriteMask;
};
struct D3D11_BLEND_DESC {
  BOOL AlphaToCoverageEnable;
  BOOL IndependentBlendEnable;
  D3D11_RENDER_TARGET_BLEND_DESC RenderTarget[8];
};
struct D3D11_DEPTH_STENCILOP_DESC {
  D3D11_STENCIL_OP StencilFailOp;
  D3D11_STENCIL_OP StencilDepthFailOp;
  D3D11_STENCIL_OP StencilPassOp;
  D3D11_COMPARISON_FUNC StencilFunc;
};
struct D3D11_DEPTH_STENCIL_DESC {
  BOOL DepthEnable;
  D3D11_DEPTH_WRITE_MASK DepthWriteMask;
  D3D11_COMPARISON_FUNC DepthFunc;
  BOOL StencilEnable;
  UINT8 StencilReadMask;
  UINT8 StencilWriteMask;
  D3D11_DEPTH_STENCILOP_DESC FrontFace;
  D3D11_DEPTH_STENCILOP_DESC BackFace;
};
struct D3D11_SAMPLER_DESC {
  D3D11_FILTER Filter;
  D3D11_TEXTURE_ADDRESS_MODE AddressU;
  D3D11_TEXTURE_ADDRESS_MODE AddressV;
  D3D11_TEXTURE_ADDRESS_MODE AddressW;
  FLOAT MipLODBias;
  UINT MaxAnisotropy;
  D3D11_COMPARISON_FUNC ComparisonFunc;
  FLOAT BorderColor[4];
  FLOAT MinLOD;
  FLOAT MaxLOD;
};
struct D3D11_INPUT_ELEMENT_DESC {
  const char* SemanticName;
  UINT SemanticIndex;
  DXGI_FORMAT Format;
  UINT InputSlot;
  UINT AlignedByteOffset;
  D3D11_INPUT_CLASSIFICATION InputSlotClass;
  UINT InstanceDataStepRate;
};
struct D3D11_VIEWPORT {
  FLOAT TopLeftX, TopLeftY, Width, Height, MinDepth, MaxDepth;
};
struct D3D11_RECT {
  int32_t left, top, right, bottom;
};

// The D3D default descriptions (CD3D11_*_DESC(D3D11_DEFAULT)).
struct CD3D11_DEFAULT {};
constexpr CD3D11_DEFAULT D3D11_DEFAULT{};
struct CD3D11_RASTERIZER_DESC : D3D11_RASTERIZER_DESC {
  CD3D11_RASTERIZER_DESC() = default;
  explicit CD3D11_RASTERIZER_DESC(CD3D11_DEFAULT);
};
struct CD3D11_BLEND_DESC : D3D11_BLEND_DESC {
  CD3D11_BLEND_DESC() = default;
  explicit CD3D11_BLEND_DESC(CD3D11_DEFAULT);
};
struct CD3D11_DEPTH_STENCIL_DESC : D3D11_DEPTH_STENCIL_DESC {
  CD3D11_DEPTH_STENCIL_DESC() = default;
  explicit CD3D11_DEPTH_STENCIL_DESC(CD3D11_DEFAULT);
};
struct CD3D11_SAMPLER_DESC : D3D11_SAMPLER_DESC {
  CD3D11_SAMPLER_DESC() = default;
  explicit CD3D11_SAMPLER_DESC(CD3D11_DEFAULT);
};

// Interfaces. Ids are this layer's own.
struct ID3D11Device;
struct ID3D11ClassLinkage;
struct ID3D11ClassInstance;

struct ID3D11DeviceChild : IUnknown {
  static constexpr IID iid = make_iid(0x1100, 1);
  using base_interface_t = IUnknown;
  virtual void GetDevice(ID3D11Device** device) = 0;
};
struct ID3D11Resource : ID3D11DeviceChild {
  static constexpr IID iid = make_iid(0x1100, 2);
  using base_interface_t = ID3D11DeviceChild;
  virtual void GetType(D3D11_RESOURCE_DIMENSION* dimension) = 0;
};
struct ID3D11Buffer : ID3D11Resource {
  static constexpr IID iid = make_iid(0x1100, 3);
  using base_interface_t = ID3D11Resource;
  virtual void GetDesc(D3D11_BUFFER_DESC* desc) = 0;
};
struct ID3D11Texture1D : ID3D11Resource {
  static constexpr IID iid = make_iid(0x1100, 4);
  using base_interface_t = ID3D11Resource;
  virtual void GetDesc(D3D11_TEXTURE1D_DESC* desc) = 0;
};
struct ID3D11Texture2D : ID3D11Resource {
  static constexpr IID iid = make_iid(0x1100, 5);
  using base_interface_t = ID3D11Resource;
  virtual void GetDesc(D3D11_TEXTURE2D_DESC* desc) = 0;
};
struct ID3D11Texture3D : ID3D11Resource {
  static constexpr IID iid = make_iid(0x1100, 6);
  using base_interface_t = ID3D11Resource;
  virtual void GetDesc(D3D11_TEXTURE3D_DESC* desc) = 0;
};
struct ID3D11View : ID3D11DeviceChild {
  static constexpr IID iid = make_iid(0x1100, 7);
  using base_interface_t = ID3D11DeviceChild;
  // AddRef'd, as on Windows.
  virtual void GetResource(ID3D11Resource** resource) = 0;
};
struct ID3D11ShaderResourceView : ID3D11View {
  static constexpr IID iid = make_iid(0x1100, 8);
  using base_interface_t = ID3D11View;
  virtual void GetDesc(D3D11_SHADER_RESOURCE_VIEW_DESC* desc) = 0;
};
struct ID3D11RenderTargetView : ID3D11View {
  static constexpr IID iid = make_iid(0x1100, 9);
  using base_interface_t = ID3D11View;
  virtual void GetDesc(D3D11_RENDER_TARGET_VIEW_DESC* desc) = 0;
};
struct ID3D11DepthStencilView : ID3D11View {
  static constexpr IID iid = make_iid(0x1100, 10);
  using base_interface_t = ID3D11View;
  virtual void GetDesc(D3D11_DEPTH_STENCIL_VIEW_DESC* desc) = 0;
};
struct ID3D11UnorderedAccessView : ID3D11View {
  static constexpr IID iid = make_iid(0x1100, 11);
  using base_interface_t = ID3D11View;
  virtual void GetDesc(D3D11_UNORDERED_ACCESS_VIEW_DESC* desc) = 0;
};
struct ID3D11RasterizerState : ID3D11DeviceChild {
  static constexpr IID iid = make_iid(0x1100, 12);
  using base_interface_t = ID3D11DeviceChild;
  virtual void GetDesc(D3D11_RASTERIZER_DESC* desc) = 0;
};
struct ID3D11BlendState : ID3D11DeviceChild {
  static constexpr IID iid = make_iid(0x1100, 13);
  using base_interface_t = ID3D11DeviceChild;
  virtual void GetDesc(D3D11_BLEND_DESC* desc) = 0;
};
struct ID3D11DepthStencilState : ID3D11DeviceChild {
  static constexpr IID iid = make_iid(0x1100, 14);
  using base_interface_t = ID3D11DeviceChild;
  virtual void GetDesc(D3D11_DEPTH_STENCIL_DESC* desc) = 0;
};
struct ID3D11SamplerState : ID3D11DeviceChild {
  static constexpr IID iid = make_iid(0x1100, 15);
  using base_interface_t = ID3D11DeviceChild;
  virtual void GetDesc(D3D11_SAMPLER_DESC* desc) = 0;
};
struct ID3D11VertexShader : ID3D11DeviceChild {
  static constexpr IID iid = make_iid(0x1100, 16);
  using base_interface_t = ID3D11DeviceChild;
};
struct ID3D11GeometryShader : ID3D11DeviceChild {
  static constexpr IID iid = make_iid(0x1100, 17);
  using base_interface_t = ID3D11DeviceChild;
};
struct ID3D11PixelShader : ID3D11DeviceChild {
  static constexpr IID iid = make_iid(0x1100, 18);
  using base_interface_t = ID3D11DeviceChild;
};
struct ID3D11ComputeShader : ID3D11DeviceChild {
  static constexpr IID iid = make_iid(0x1100, 19);
  using base_interface_t = ID3D11DeviceChild;
};
struct ID3D11InputLayout : ID3D11DeviceChild {
  static constexpr IID iid = make_iid(0x1100, 20);
  using base_interface_t = ID3D11DeviceChild;
};

struct ID3D11DeviceContext : ID3D11DeviceChild {
  static constexpr IID iid = make_iid(0x1100, 21);
  using base_interface_t = ID3D11DeviceChild;

  virtual void IASetInputLayout(ID3D11InputLayout* layout) = 0;
  virtual void IASetVertexBuffers(UINT start, UINT count, ID3D11Buffer* const* buffers, const UINT* strides,
                                  const UINT* offsets) = 0;
  virtual void IASetIndexBuffer(ID3D11Buffer* buffer, DXGI_FORMAT format, UINT offset) = 0;
  virtual void IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY topology) = 0;

  virtual void VSSetShader(ID3D11VertexShader* shader, ID3D11ClassInstance* const* instances, UINT count) = 0;
  virtual void GSSetShader(ID3D11GeometryShader* shader, ID3D11ClassInstance* const* instances,
                           UINT count) = 0;
  virtual void PSSetShader(ID3D11PixelShader* shader, ID3D11ClassInstance* const* instances, UINT count) = 0;
  virtual void CSSetShader(ID3D11ComputeShader* shader, ID3D11ClassInstance* const* instances,
                           UINT count) = 0;

  virtual void VSSetConstantBuffers(UINT start, UINT count, ID3D11Buffer* const* buffers) = 0;
  virtual void GSSetConstantBuffers(UINT start, UINT count, ID3D11Buffer* const* buffers) = 0;
  virtual void PSSetConstantBuffers(UINT start, UINT count, ID3D11Buffer* const* buffers) = 0;
  virtual void CSSetConstantBuffers(UINT start, UINT count, ID3D11Buffer* const* buffers) = 0;
  virtual void VSSetShaderResources(UINT start, UINT count, ID3D11ShaderResourceView* const* views) = 0;
  virtual void GSSetShaderResources(UINT start, UINT count, ID3D11ShaderResourceView* const* views) = 0;
  virtual void PSSetShaderResources(UINT start, UINT count, ID3D11ShaderResourceView* const* views) = 0;
  virtual void CSSetShaderResources(UINT start, UINT count, ID3D11ShaderResourceView* const* views) = 0;
  virtual void VSSetSamplers(UINT start, UINT count, ID3D11SamplerState* const* samplers) = 0;
  virtual void GSSetSamplers(UINT start, UINT count, ID3D11SamplerState* const* samplers) = 0;
  virtual void PSSetSamplers(UINT start, UINT count, ID3D11SamplerState* const* samplers) = 0;
  virtual void CSSetSamplers(UINT start, UINT count, ID3D11SamplerState* const* samplers) = 0;
  virtual void CSSetUnorderedAccessViews(UINT start, UINT count, ID3D11UnorderedAccessView* const* views,
                                         const UINT* initial_counts) = 0;

  virtual void RSSetState(ID3D11RasterizerState* state) = 0;
  virtual void RSSetViewports(UINT count, const D3D11_VIEWPORT* viewports) = 0;
  virtual void RSSetScissorRects(UINT count, const D3D11_RECT* rects) = 0;
  virtual void OMSetBlendState(ID3D11BlendState* state, const FLOAT blend_factor[4], UINT sample_mask) = 0;
  virtual void OMSetDepthStencilState(ID3D11DepthStencilState* state, UINT stencil_ref) = 0;
  virtual void OMSetRenderTargets(UINT count, ID3D11RenderTargetView* const* views,
                                  ID3D11DepthStencilView* depth) = 0;
  virtual void OMSetRenderTargetsAndUnorderedAccessViews(UINT rtv_count, ID3D11RenderTargetView* const* views,
                                                         ID3D11DepthStencilView* depth, UINT uav_start,
                                                         UINT uav_count,
                                                         ID3D11UnorderedAccessView* const* uavs,
                                                         const UINT* initial_counts) = 0;

  virtual void ClearRenderTargetView(ID3D11RenderTargetView* view, const FLOAT color[4]) = 0;
  virtual void ClearDepthStencilView(ID3D11DepthStencilView* view, UINT flags, FLOAT depth,
                                     UINT8 stencil) = 0;
  virtual void ClearUnorderedAccessViewUint(ID3D11UnorderedAccessView* view, const UINT values[4]) = 0;
  virtual void ClearUnorderedAccessViewFloat(ID3D11UnorderedAccessView* view, const FLOAT values[4]) = 0;

  virtual void Draw(UINT vertex_count, UINT start_vertex) = 0;
  virtual void DrawIndexed(UINT index_count, UINT start_index, INT base_vertex) = 0;
  virtual void DrawInstanced(UINT vertex_count, UINT instance_count, UINT start_vertex,
                             UINT start_instance) = 0;
  virtual void DrawIndexedInstanced(UINT index_count, UINT instance_count, UINT start_index, INT base_vertex,
                                    UINT start_instance) = 0;
  virtual void DrawInstancedIndirect(ID3D11Buffer* args, UINT offset) = 0;
  virtual void DrawIndexedInstancedIndirect(ID3D11Buffer* args, UINT offset) = 0;
  virtual void Dispatch(UINT x, UINT y, UINT z) = 0;

  virtual HRESULT Map(ID3D11Resource* resource, UINT subresource, D3D11_MAP type, UINT flags,
                      D3D11_MAPPED_SUBRESOURCE* mapped) = 0;
  virtual void Unmap(ID3D11Resource* resource, UINT subresource) = 0;
  virtual void UpdateSubresource(ID3D11Resource* resource, UINT subresource, const D3D11_BOX* box,
                                 const void* data, UINT row_pitch, UINT depth_pitch) = 0;
  virtual void CopyResource(ID3D11Resource* dst, ID3D11Resource* src) = 0;
  virtual void CopySubresourceRegion(ID3D11Resource* dst, UINT dst_subresource, UINT x, UINT y, UINT z,
                                     ID3D11Resource* src, UINT src_subresource, const D3D11_BOX* box) = 0;
  virtual void CopyStructureCount(ID3D11Buffer* dst, UINT offset, ID3D11UnorderedAccessView* view) = 0;
  virtual void GenerateMips(ID3D11ShaderResourceView* view) = 0;
  virtual void ClearState() = 0;
  virtual void Flush() = 0;
};

struct ID3D11Device : IUnknown {
  static constexpr IID iid = make_iid(0x1100, 22);
  using base_interface_t = IUnknown;

  virtual HRESULT CreateBuffer(const D3D11_BUFFER_DESC* desc, const D3D11_SUBRESOURCE_DATA* data,
                               ID3D11Buffer** buffer) = 0;
  virtual HRESULT CreateTexture1D(const D3D11_TEXTURE1D_DESC* desc, const D3D11_SUBRESOURCE_DATA* data,
                                  ID3D11Texture1D** texture) = 0;
  virtual HRESULT CreateTexture2D(const D3D11_TEXTURE2D_DESC* desc, const D3D11_SUBRESOURCE_DATA* data,
                                  ID3D11Texture2D** texture) = 0;
  virtual HRESULT CreateTexture3D(const D3D11_TEXTURE3D_DESC* desc, const D3D11_SUBRESOURCE_DATA* data,
                                  ID3D11Texture3D** texture) = 0;
  virtual HRESULT CreateShaderResourceView(ID3D11Resource* resource,
                                           const D3D11_SHADER_RESOURCE_VIEW_DESC* desc,
                                           ID3D11ShaderResourceView** view) = 0;
  virtual HRESULT CreateRenderTargetView(ID3D11Resource* resource, const D3D11_RENDER_TARGET_VIEW_DESC* desc,
                                         ID3D11RenderTargetView** view) = 0;
  virtual HRESULT CreateDepthStencilView(ID3D11Resource* resource, const D3D11_DEPTH_STENCIL_VIEW_DESC* desc,
                                         ID3D11DepthStencilView** view) = 0;
  virtual HRESULT CreateUnorderedAccessView(ID3D11Resource* resource,
                                            const D3D11_UNORDERED_ACCESS_VIEW_DESC* desc,
                                            ID3D11UnorderedAccessView** view) = 0;
  virtual HRESULT CreateRasterizerState(const D3D11_RASTERIZER_DESC* desc, ID3D11RasterizerState** state) = 0;
  virtual HRESULT CreateBlendState(const D3D11_BLEND_DESC* desc, ID3D11BlendState** state) = 0;
  virtual HRESULT CreateDepthStencilState(const D3D11_DEPTH_STENCIL_DESC* desc,
                                          ID3D11DepthStencilState** state) = 0;
  virtual HRESULT CreateSamplerState(const D3D11_SAMPLER_DESC* desc, ID3D11SamplerState** state) = 0;
  virtual HRESULT CreateVertexShader(const void* code, SIZE_T size, ID3D11ClassLinkage* linkage,
                                     ID3D11VertexShader** shader) = 0;
  virtual HRESULT CreateGeometryShader(const void* code, SIZE_T size, ID3D11ClassLinkage* linkage,
                                       ID3D11GeometryShader** shader) = 0;
  virtual HRESULT CreatePixelShader(const void* code, SIZE_T size, ID3D11ClassLinkage* linkage,
                                    ID3D11PixelShader** shader) = 0;
  virtual HRESULT CreateComputeShader(const void* code, SIZE_T size, ID3D11ClassLinkage* linkage,
                                      ID3D11ComputeShader** shader) = 0;
  virtual HRESULT CreateInputLayout(const D3D11_INPUT_ELEMENT_DESC* elements, UINT count, const void* code,
                                    SIZE_T size, ID3D11InputLayout** layout) = 0;
  virtual void GetImmediateContext(ID3D11DeviceContext** context) = 0;
  virtual D3D_FEATURE_LEVEL GetFeatureLevel() = 0;
};

// Makes the device and its immediate context on a GL 4.5 core context (gl_context.h). The
// feature-level list may be null (the default list, which is 11.0 here); levels above 11.0 are
// not offered. `software` (an HMODULE) must be null.
HRESULT D3D11CreateDevice(IDXGIAdapter* adapter, D3D_DRIVER_TYPE driver_type, void* software, UINT flags,
                          const D3D_FEATURE_LEVEL* feature_levels, UINT level_count, UINT sdk_version,
                          ID3D11Device** device, D3D_FEATURE_LEVEL* feature_level,
                          ID3D11DeviceContext** context);
