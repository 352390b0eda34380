// The L-system's cubes: each vertex is the cube's centre plus its rotated corner, lit by one sun,
// coloured from a palette of three and fading into the distance.

cbuffer cbMain : register(b0) {
  float4x4 g_viewProj;
  float3 g_camPos;
  float g_pad0;
};

static const float3 SUN = float3(-0.3, 0.85, -0.4);
static const float3 PALETTE[3] = {float3(0.95, 0.45, 0.2), float3(0.25, 0.6, 0.95), float3(0.9, 0.85, 0.75)};
static const float3 FOG = float3(0.02, 0.03, 0.06);

struct VsIn {
  float3 centre : POSITION;
  float3 normal : NORMAL;
  float3 corner : TEXCOORD0;   // unit direction from the centre to the corner
  float distance : TEXCOORD1;  // of the corner from the centre
  float colour : TEXCOORD2;    // palette index
};

struct VsOut {
  float4 position : SV_Position;
  float3 world : TEXCOORD0;
  float3 normal : NORMAL;
  float colour : TEXCOORD1;
};

VsOut VsLsystem(VsIn v) {
  VsOut o;
  float3 world = v.centre + v.corner * v.distance;
  o.position = mul(float4(world, 1.0), g_viewProj);
  o.world = world;
  o.normal = v.normal;
  o.colour = v.colour;
  return o;
}

struct PsOut {
  float4 colour : SV_Target0;
  float4 depth : SV_Target1;  // distance from the camera, occlusion
};

PsOut PsLsystem(VsOut i) {
  float3 n = normalize(i.normal);
  float diffuse = saturate(dot(n, normalize(SUN))) * 0.8 + 0.2;
  float3 albedo = PALETTE[clamp(int(i.colour + 0.5), 0, 2)];
  float distance = length(i.world - g_camPos);
  float fog = saturate(distance / 160.0);
  PsOut o;
  o.colour = float4(lerp(albedo * diffuse, FOG, fog * fog), 1.0);
  o.depth = float4(distance, 1.0, 0.0, 1.0);
  return o;
}
