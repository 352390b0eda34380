#pragma once
// The Direct3D 11 shader reflection records in their 64-bit Windows layouts. Cached reflection
// blobs hold these records byte for byte, so the field offsets below are part of the blob format.

#include <cstddef>
#include <cstdint>

#include "platform/d3d11/d3d11.h"

enum D3D_SHADER_INPUT_TYPE : uint32_t {
  D3D_SIT_CBUFFER = 0,
  D3D_SIT_TBUFFER = 1,
  D3D_SIT_TEXTURE = 2,
  D3D_SIT_SAMPLER = 3,
  D3D_SIT_UAV_RWTYPED = 4,
  D3D_SIT_STRUCTURED = 5,
  D3D_SIT_UAV_RWSTRUCTURED = 6,
  D3D_SIT_BYTEADDRESS = 7,
  D3D_SIT_UAV_RWBYTEADDRESS = 8,
  D3D_SIT_UAV_APPEND_STRUCTURED = 9,
  D3D_SIT_UAV_CONSUME_STRUCTURED = 10,
  D3D_SIT_UAV_RWSTRUCTURED_WITH_COUNTER = 11,
};

enum D3D_SHADER_VARIABLE_CLASS : uint32_t {
  D3D_SVC_SCALAR = 0,
  D3D_SVC_VECTOR = 1,
  D3D_SVC_MATRIX_ROWS = 2,
  D3D_SVC_MATRIX_COLUMNS = 3,
  D3D_SVC_OBJECT = 4,
  D3D_SVC_STRUCT = 5,
};

enum D3D_SHADER_VARIABLE_TYPE : uint32_t {
  D3D_SVT_VOID = 0,
  D3D_SVT_BOOL = 1,
  D3D_SVT_INT = 2,
  D3D_SVT_FLOAT = 3,
  D3D_SVT_UINT = 19,
};

enum D3D_CBUFFER_TYPE : uint32_t {
  D3D_CT_CBUFFER = 0,
  D3D_CT_TBUFFER = 1,
  D3D_CT_INTERFACE_POINTERS = 2,
  D3D_CT_RESOURCE_BIND_INFO = 3,
};

constexpr UINT D3D_SVF_USED = 2;

struct D3D11_SHADER_DESC {
  UINT Version;
  const char* Creator;
  UINT Flags;
  UINT ConstantBuffers;
  UINT BoundResources;
  UINT InputParameters;
  UINT OutputParameters;
  UINT InstructionCount;
  UINT TempRegisterCount;
  UINT TempArrayCount;
  UINT DefCount;
  UINT DclCount;
  UINT TextureNormalInstructions;
  UINT TextureLoadInstructions;
  UINT TextureCompInstructions;
  UINT TextureBiasInstructions;
  UINT TextureGradientInstructions;
  UINT FloatInstructionCount;
  UINT IntInstructionCount;
  UINT UintInstructionCount;
  UINT StaticFlowControlCount;
  UINT DynamicFlowControlCount;
  UINT MacroInstructionCount;
  UINT ArrayInstructionCount;
  UINT CutInstructionCount;
  UINT EmitInstructionCount;
  UINT GSOutputTopology;
  UINT GSMaxOutputVertexCount;
  UINT InputPrimitive;
  UINT PatchConstantParameters;
  UINT cGSInstanceCount;
  UINT cControlPoints;
  UINT HSOutputPrimitive;
  UINT HSPartitioning;
  UINT TessellatorDomain;
  UINT cBarrierInstructions;
  UINT cInterlockedInstructions;
  UINT cTextureStoreInstructions;
};
static_assert(sizeof(D3D11_SHADER_DESC) == 160);
static_assert(offsetof(D3D11_SHADER_DESC, Creator) == 8);
static_assert(offsetof(D3D11_SHADER_DESC, Flags) == 16);
static_assert(offsetof(D3D11_SHADER_DESC, OutputParameters) == 32);
static_assert(offsetof(D3D11_SHADER_DESC, cTextureStoreInstructions) == 156);

struct D3D11_SIGNATURE_PARAMETER_DESC {
  const char* SemanticName;
  UINT SemanticIndex;
  UINT Register;
  UINT SystemValueType;
  UINT ComponentType;
  BYTE Mask;
  BYTE ReadWriteMask;
  UINT Stream;
  UINT MinPrecision;
};
static_assert(sizeof(D3D11_SIGNATURE_PARAMETER_DESC) == 40);
static_assert(offsetof(D3D11_SIGNATURE_PARAMETER_DESC, Mask) == 24);
static_assert(offsetof(D3D11_SIGNATURE_PARAMETER_DESC, Stream) == 28);
static_assert(offsetof(D3D11_SIGNATURE_PARAMETER_DESC, MinPrecision) == 32);

struct D3D11_SHADER_INPUT_BIND_DESC {
  const char* Name;
  D3D_SHADER_INPUT_TYPE Type;
  UINT BindPoint;
  UINT BindCount;
  UINT uFlags;
  UINT ReturnType;
  UINT Dimension;
  UINT NumSamples;
};
static_assert(sizeof(D3D11_SHADER_INPUT_BIND_DESC) == 40);
static_assert(offsetof(D3D11_SHADER_INPUT_BIND_DESC, NumSamples) == 32);

struct D3D11_SHADER_BUFFER_DESC {
  const char* Name;
  D3D_CBUFFER_TYPE Type;
  UINT Variables;
  UINT Size;
  UINT uFlags;
};
static_assert(sizeof(D3D11_SHADER_BUFFER_DESC) == 24);

struct D3D11_SHADER_VARIABLE_DESC {
  const char* Name;
  UINT StartOffset;
  UINT Size;
  UINT uFlags;
  void* DefaultValue;
  UINT StartTexture;
  UINT TextureSize;
  UINT StartSampler;
  UINT SamplerSize;
};
static_assert(sizeof(D3D11_SHADER_VARIABLE_DESC) == 48);
static_assert(offsetof(D3D11_SHADER_VARIABLE_DESC, DefaultValue) == 24);
static_assert(offsetof(D3D11_SHADER_VARIABLE_DESC, SamplerSize) == 44);

struct D3D11_SHADER_TYPE_DESC {
  D3D_SHADER_VARIABLE_CLASS Class;
  D3D_SHADER_VARIABLE_TYPE Type;
  UINT Rows;
  UINT Columns;
  UINT Elements;
  UINT Members;
  UINT Offset;
  const char* Name;
};
static_assert(sizeof(D3D11_SHADER_TYPE_DESC) == 40);
static_assert(offsetof(D3D11_SHADER_TYPE_DESC, Name) == 32);
