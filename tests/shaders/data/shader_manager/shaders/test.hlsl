// Stages the shader manager tests load besides the built-in ones.

cbuffer Params : register(b0) {
  float4 tint;
  float speed;
  float _pad0;
  float _pad1;
  float _pad2;
};

Texture2D source : register(t0);
SamplerState LinearWrapSampler : register(s0);
SamplerState sPoint : register(s1);
SamplerState anisoSampler : register(s2);

struct quad_t {
  float4 position : SV_Position;
  float2 uv : TEXCOORD0;
};

float4 PsTest(quad_t quad) : SV_Target { return tint * speed; }

float4 PsSampled(quad_t quad) : SV_Target {
  return source.Sample(LinearWrapSampler, quad.uv) * 0.5 + source.Sample(sPoint, quad.uv) * 0.25 +
         source.Sample(anisoSampler, quad.uv) * 0.25;
}

// The input texel, halved, plus the tint scaled by the speed.
float4 PsTinted(quad_t quad) : SV_Target {
  return source.Load(int3(quad.position.xy, 0)) * 0.5 + tint * speed;
}

float4 VsLayout(float3 position : POSITION, float weight : TEXCOORD0) : SV_Position {
  return float4(position * weight, 1.0);
}

RWStructuredBuffer<float> results : register(u0);

[numthreads(1, 1, 1)] void CsMain(uint3 id : SV_DispatchThreadID) { results[id.x] = speed; }
