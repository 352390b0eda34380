// The billboards of the GPU particle block: one quad per entry of the alive list, four vertices
// each (the block's index buffer), facing the camera, drawn additively with the particle sprite.
#include "gpu_particles.hlsli"

StructuredBuffer<render_particle_t> g_Particles : register(t0);
StructuredBuffer<uint2> g_AliveIndices : register(t1);

cbuffer cbCamera : register(b0) {
  float4x4 view;
  float4x4 proj;
};

// The alive list's counter, copied there on the GPU before the draw.
cbuffer cbAliveCount : register(b3) {
  uint g_NumAliveParticles;
  uint alivePad0;
  uint alivePad1;
  uint alivePad2;
};

struct particle_vertex_t {
  float4 position : SV_Position;
  float2 uv : TEXCOORD0;
  float4 color : COLOR0;
};

particle_vertex_t VsParticle(uint vertex_id : SV_VertexID) {
  const uint quad = vertex_id / 4;
  const uint corner = vertex_id % 4;
  particle_vertex_t v = (particle_vertex_t)0;
  // Beyond the counted quads nothing is read: the vertex lands outside the clip volume.
  if (quad >= g_NumAliveParticles) {
    v.position = float4(0.0, 0.0, -2.0, 1.0);
    return v;
  }
  const render_particle_t p = g_Particles[g_AliveIndices[quad].x];
  const float2 offset = float2(corner == 1 || corner == 2 ? 1.0 : -1.0, corner >= 2 ? -1.0 : 1.0);
  float4 eye = mul(float4(p.position, 1.0), view);
  eye.xy += offset * p.size;
  v.position = mul(eye, proj);
  v.uv = float2(offset.x, -offset.y) * 0.5 + 0.5;
  v.color = p.color;
  return v;
}

Texture2D particleTexture : register(t0);
SamplerState linearClampSampler : register(s0);

float4 PsParticle(particle_vertex_t v) : SV_Target {
  const float sprite = particleTexture.Sample(linearClampSampler, v.uv).r;
  return float4(v.color.rgb * v.color.a * sprite, sprite * v.color.a);
}
