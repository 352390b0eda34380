// glTF meshes lit by one sun and a little ambient light, seen through the block's camera. The
// second output gets the distance from the camera and full occlusion for the blocks that read them.

// One buffer for both stages: the vertex shader reads the matrices, the pixel shader the camera.
cbuffer cbMain : register(b0) {
  float4x4 objWorld;
  float4x4 viewProj;
  float3 cameraPos;
  float g_pad0;
};

static const float3 SUN = float3(0.4, 0.8, -0.45);
static const float3 ALBEDO = float3(0.85, 0.6, 0.35);
static const float AMBIENT = 0.12;
static const float SPECULAR = 0.35;
static const float SHININESS = 24.0;

struct VsOut {
  float4 position : SV_Position;
  float3 world : TEXCOORD0;
  float3 normal : NORMAL;
  float3 uvw : TEXCOORD1;  // texture coordinates, and 1 when the mesh has them
};

VsOut shade_vertex(float3 position, float3 normal, float3 uvw) {
  VsOut o;
  float4 world = mul(float4(position, 1.0), objWorld);
  o.position = mul(world, viewProj);
  o.world = world.xyz;
  o.normal = mul(float4(normal, 0.0), objWorld).xyz;
  o.uvw = uvw;
  return o;
}

VsOut VsMeshPN(float3 position : POSITION, float3 normal : NORMAL) {
  return shade_vertex(position, normal, float3(0.0, 0.0, 0.0));
}

VsOut VsMeshPNT(float3 position : POSITION, float3 normal : NORMAL, float2 uv : TEXCOORD0) {
  return shade_vertex(position, normal, float3(uv, 1.0));
}

struct PsOut {
  float4 colour : SV_Target0;
  float4 depth : SV_Target1;  // distance from the camera, occlusion
};

PsOut PsMesh(VsOut i) {
  float3 n = normalize(i.normal);
  float3 l = normalize(SUN);
  float3 v = normalize(cameraPos - i.world);
  float3 h = normalize(l + v);
  float diffuse = saturate(dot(n, l));
  float specular = SPECULAR * pow(saturate(dot(n, h)), SHININESS);
  float2 cell = floor(i.uvw.xy * 8.0);
  float checker = fmod(abs(cell.x + cell.y), 2.0);
  float3 albedo = ALBEDO * lerp(1.0, 0.75 + 0.25 * checker, i.uvw.z);
  PsOut o;
  o.colour = float4(albedo * (AMBIENT + (1.0 - AMBIENT) * diffuse) + specular, 1.0);
  o.depth = float4(length(i.world - cameraPos), 1.0, 0.0, 1.0);
  return o;
}
