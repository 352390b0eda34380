// Exercises every kind of record of the reflection blob.
#include "reflection_common.hlsli"

cbuffer Material : register(b2) {
  float4 base_color;
  float2 uv_scale;
  float roughness;
  float _pad0;
  float4x4 uv_transform;
  bool3 flags;
  float unused_value;
};

Texture2D albedo : register(t0);
Texture2D<float> depth : register(t1);
StructuredBuffer<particle_t> particles : register(t2);
SamplerState LinearWrapSampler : register(s0);
SamplerState PointClampSampler : register(s3);
AppendStructuredBuffer<particle_t> spawned : register(u2);

struct vs_out_t {
  float4 position : SV_Position;
  float2 uv : TEXCOORD0;
  float4 color : COLOR;
};

struct ps_out_t {
  float4 color : SV_Target0;
  float4 glow : SV_Target1;
};

vs_out_t VsReflect(float3 position : POSITION, float2 uv : TEXCOORD0, float4 color : COLOR) {
  vs_out_t o;
  o.position = mul(float4(position, 1), view_projection);
  o.uv = uv;
  o.color = color;
  return o;
}

ps_out_t PsReflect(vs_out_t i) {
  ps_out_t o;
  particle_t p = particles[(uint)time];
  float2 uv = mul(float4(i.uv * uv_scale, 0, 1), uv_transform).xy;
  o.color = albedo.Sample(LinearWrapSampler, uv) * base_color * roughness + i.color + (flags.y ? 1 : 0);
  o.glow = depth.Sample(PointClampSampler, i.uv).xxxx + float4(p.position, p.life);
  if (p.life > 0.5) spawned.Append(p);
  return o;
}

RWStructuredBuffer<particle_t> alive : register(u0);
[numthreads(64, 1, 1)]
void CsReflect(uint3 id : SV_DispatchThreadID) {
  uint n = alive.IncrementCounter();
  alive[n] = particles[id.x];
}
