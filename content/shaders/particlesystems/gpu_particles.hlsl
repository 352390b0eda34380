// The compute passes of the GPU particle block: reset, emission and simulation. The block binds
// the buffers by register and feeds the particle count, the emission count and the dead-list
// count; the fountain's look is this file's.
#include "gpu_particles.hlsli"

RWStructuredBuffer<render_particle_t> g_ParticleBufferRender : register(u0);
RWStructuredBuffer<sim_particle_t> g_ParticleBufferSim : register(u1);

cbuffer cbPerFrame : register(b0) {
  int g_MaxNumParticles;
  int perFramePad0;
  int perFramePad1;
  int perFramePad2;
};

cbuffer cbEmitter : register(b1) {
  float4 emitTime;  // time, local time, delta time, block length
  float3 emitterPosition;
  int g_MaxParticlesThisFrame;
  float4 emitterColor;
  float3 emitterVelocity;
  float velocitySpread;
  float lifetime;
  float emitterRadius;
  float emitPad0;
  float emitPad1;
};

// The dead list's counter, copied there on the GPU before the emission.
cbuffer cbDeadListCount : register(b2) {
  uint g_NumDeadParticles;
  uint deadPad0;
  uint deadPad1;
  uint deadPad2;
};

cbuffer cbSimulation : register(b3) {
  float4 simTime;  // time, local time, delta time, block length
  float3 gravity;
  float swirl;
  float particleSize;
  float simPad0;
  float simPad1;
  float simPad2;
};

uint hash(uint x) {
  x ^= x >> 16;
  x *= 0x7feb352du;
  x ^= x >> 15;
  x *= 0x846ca68bu;
  x ^= x >> 16;
  return x;
}

float random01(inout uint seed) {
  seed = hash(seed);
  return float(seed & 0xffffffu) / 16777216.0;
}

// Every particle dead, every index on the dead list.
AppendStructuredBuffer<uint> g_DeadList : register(u2);

[numthreads(256, 1, 1)]
void CsReset(uint3 id : SV_DispatchThreadID) {
  if (id.x >= uint(g_MaxNumParticles)) return;
  g_ParticleBufferRender[id.x] = (render_particle_t)0;
  sim_particle_t dead = (sim_particle_t)0;
  dead.lifetime = -1.0;
  g_ParticleBufferSim[id.x] = dead;
  g_DeadList.Append(id.x);
}

ConsumeStructuredBuffer<uint> g_DeadListToAllocFrom : register(u2);

[numthreads(1024, 1, 1)]
void CsEmit(uint3 id : SV_DispatchThreadID) {
  if (id.x >= min(uint(max(g_MaxParticlesThisFrame, 0)), g_NumDeadParticles)) return;
  const uint index = g_DeadListToAllocFrom.Consume();
  // Which dead slot a thread gets varies from run to run; what it emits does not.
  uint seed = hash(id.x * 9781u + hash(asuint(emitTime.y)));
  const float3 r = float3(random01(seed), random01(seed), random01(seed)) * 2.0 - 1.0;
  const float angle = random01(seed) * 6.2831853;
  sim_particle_t p;
  p.origin = emitterPosition + float3(cos(angle), 0.0, sin(angle)) * emitterRadius * random01(seed);
  p.velocity = emitterVelocity + r * velocitySpread;
  // Births spread over the frame's interval: after a long step the fountain is already full.
  const float interval = clamp(emitTime.z, 0.0, lifetime);
  p.birth = emitTime.y - random01(seed) * interval;
  p.lifetime = lifetime * (0.75 + 0.5 * random01(seed));
  p.color = emitterColor * (0.6 + 0.4 * random01(seed));
  g_ParticleBufferSim[index] = p;
  render_particle_t drawn;
  drawn.position = p.origin;
  drawn.size = 0.0;
  drawn.color = p.color;
  g_ParticleBufferRender[index] = drawn;
}

// Alive particles move along their path and land on the alive list, which the draw arguments count;
// expired ones go back to the dead list.
AppendStructuredBuffer<uint> g_DeadListToAddTo : register(u2);
RWStructuredBuffer<uint2> g_AliveList : register(u3);
RWBuffer<uint> g_DrawArgs : register(u4);

[numthreads(256, 1, 1)]
void CsSimulate(uint3 id : SV_DispatchThreadID) {
  // The same constant from every thread; the block zeroes the index count before the dispatch.
  if (id.x == 0) {
    g_DrawArgs[1] = 1;
    g_DrawArgs[2] = 0;
    g_DrawArgs[3] = 0;
    g_DrawArgs[4] = 0;
  }
  uint count = 0, stride = 0;
  g_ParticleBufferSim.GetDimensions(count, stride);
  if (id.x >= count) return;
  sim_particle_t p = g_ParticleBufferSim[id.x];
  if (p.lifetime <= 0.0) return;
  const float age = max(simTime.y - p.birth, 0.0);
  if (age >= p.lifetime) {
    p.lifetime = -1.0;
    g_ParticleBufferSim[id.x] = p;
    g_ParticleBufferRender[id.x].size = 0.0;
    g_DeadListToAddTo.Append(id.x);
    return;
  }
  const float life = age / p.lifetime;
  float3 position = p.origin + p.velocity * age + 0.5 * gravity * age * age;
  const float turn = swirl * age;
  position.xz += float2(cos(turn + p.birth * 3.0), sin(turn + p.birth * 3.0)) * 0.15 * age;
  render_particle_t drawn;
  drawn.position = position;
  drawn.size = particleSize * lerp(1.0, 0.35, life);
  drawn.color = p.color * (1.0 - life);
  g_ParticleBufferRender[id.x] = drawn;
  const uint slot = g_AliveList.IncrementCounter();
  g_AliveList[slot] = uint2(id.x, asuint(position.z));
  InterlockedAdd(g_DrawArgs[0], 6u);
}
