// Tiles that turn over one after another along the diagonal: the front of each tile shows the
// scene before, its back the scene after.

cbuffer cbMain : register(b0) {
  int2 g_num_tiles;
  float g_pad0;
  float g_pad1;
};

cbuffer Frame : register(b1) {
  float4 time;  // global time, local time, delta time, block length
};

Texture2D fromTexture : register(t0);
Texture2D toTexture : register(t1);
SamplerState linearClampSampler : register(s0);

static const float PI = 3.14159265;

struct VsIn {
  float4 position : POSITION;
  float4 tile : TEXCOORD0;  // centre x, centre y
  float2 cell : TEXCOORD1;  // column, row
};

struct VsOut {
  float4 position : SV_Position;
  float2 uv : TEXCOORD0;
  float side : TEXCOORD1;   // 0 front, 1 back
  float shade : TEXCOORD2;
};

VsOut VsMain(VsIn v) {
  float2 n = float2(max(g_num_tiles, int2(1, 1)));
  float progress = saturate(time.y / max(time.w, 0.001));
  // Each tile turns within half of the transition; the diagonal sets when.
  float delay = 0.5 * (v.cell.x / n.x + v.cell.y / n.y);
  float turn = saturate((progress - 0.5 * delay) * 2.0);
  float c = cos(turn * PI);
  float x = v.tile.x + (v.position.x - v.tile.x) * c;
  // The back would show mirrored: it reads the image from the other edge of the tile.
  float source_x = c < 0.0 ? 2.0 * v.tile.x - v.position.x : v.position.x;
  VsOut o;
  o.position = float4(x, v.position.y, v.position.z, v.position.w);
  o.uv = float2(source_x * 0.5 + 0.5, 0.5 - v.position.y * 0.5);
  o.side = c < 0.0 ? 1.0 : 0.0;
  o.shade = 0.35 + 0.65 * abs(c);
  return o;
}

float4 PsMain(VsOut i) : SV_Target {
  float3 before = fromTexture.SampleLevel(linearClampSampler, i.uv, 0).rgb;
  float3 after = toTexture.SampleLevel(linearClampSampler, i.uv, 0).rgb;
  return float4((i.side > 0.5 ? after : before) * i.shade, 1.0);
}
