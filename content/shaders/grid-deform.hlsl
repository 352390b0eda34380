// The image below drawn through a grid whose vertices ripple out from the centre of the screen.

cbuffer cbMain : register(b0) {
  int2 g_num_tiles;
  float g_pad0;
  float g_pad1;
};

cbuffer Frame : register(b1) {
  float4 time;  // global time, local time, delta time, block length
};

cbuffer Params : register(b2) {
  float strength;
  float frequency;
  float speed;
  float g_pad2;
};

Texture2D sourceTexture : register(t0);
SamplerState pointClampSampler : register(s0);

struct VsIn {
  float4 position : POSITION;
  float2 uv : TEXCOORD0;
};

struct VsOut {
  float4 position : SV_Position;
  float2 uv : TEXCOORD0;
};

VsOut VsMain(VsIn v) {
  float2 p = v.position.xy;
  float r = length(p);
  float wave = sin(r * frequency - time.y * speed);
  // The edges stay put, so the image never pulls away from the frame.
  float edge = saturate(1.0 - max(abs(p.x), abs(p.y)));
  VsOut o;
  o.position = float4(p + (p / max(r, 0.001)) * wave * strength * edge, v.position.z, v.position.w);
  o.uv = v.uv;
  return o;
}

VsOut VsPassThrough(VsIn v) {
  VsOut o;
  o.position = v.position;
  o.uv = v.uv;
  return o;
}

float4 PsMain(VsOut i) : SV_Target {
  return sourceTexture.SampleLevel(pointClampSampler, i.uv, 0);
}
