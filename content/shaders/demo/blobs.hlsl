// Molten metaballs over a mirrored floor, raymarched; the balls swell on every kick.
#include "common.hlsli"

cbuffer Params : register(b1) {
  float4 blobColor;
  float4 floorColor;
  float blobSize;
  float blend;
  float orbit;
  float gloss;
};

float blob_field(float3 p) {
  float d = 1e9;
  for (int i = 0; i < 6; ++i) {
    float fi = float(i);
    float a = time.x * (0.4 + 0.13 * fi) * orbit + fi * 1.7;
    float3 centre = float3(sin(a) * 2.2, 1.4 + sin(a * 1.3 + fi) * 0.9, cos(a * 0.8) * 2.2);
    float r = blobSize * (0.6 + 0.25 * hash11(fi * 7.3)) * (1.0 + 0.35 * kick);
    d = smooth_min(d, length(p - centre) - r, blend);
  }
  return d;
}

float scene_distance(float3 p, out int material) {
  float blobs = blob_field(p);
  float ground = p.y + 0.2;
  material = blobs < ground ? 1 : 0;
  return min(blobs, ground);
}

float3 scene_normal(float3 p) {
  const float e = 0.005;
  int m;
  float d = scene_distance(p, m);
  return normalize(float3(scene_distance(p + float3(e, 0, 0), m) - d, scene_distance(p + float3(0, e, 0), m) - d,
                          scene_distance(p + float3(0, 0, e), m) - d));
}

float march(float3 ro, float3 rd, out int material) {
  float t = 0.0;
  material = -1;
  for (int i = 0; i < 64; ++i) {
    int m;
    float d = scene_distance(ro + rd * t, m);
    if (d < 0.001 * t) {
      material = m;
      return t;
    }
    t += d;
    if (t > 40.0) break;
  }
  return t;
}

float3 sky(float3 rd) {
  float3 base = lerp(float3(0.05, 0.02, 0.08), float3(0.4, 0.2, 0.5), saturate(rd.y * 0.5 + 0.5));
  return base + float3(1.0, 0.6, 0.3) * pow(saturate(dot(rd, normalize(float3(0.4, 0.5, 0.6)))), 32.0);
}

float3 shade(float3 ro, float3 rd, float t, int material) {
  if (material < 0) return sky(rd);
  float3 p = ro + rd * t;
  float3 n = scene_normal(p);
  float3 light = normalize(float3(0.4, 0.8, -0.3));
  float diffuse = saturate(dot(n, light));
  float rim = pow(1.0 - saturate(dot(n, -rd)), 3.0);
  if (material == 1) {
    float3 reflected = sky(reflect(rd, n));
    return blobColor.rgb * (0.1 + diffuse) + reflected * gloss + rim * blobColor.rgb * (1.0 + 2.0 * snare);
  }
  float checker = fmod(floor(p.x) + floor(p.z) + 100.0, 2.0);
  float3 ground = floorColor.rgb * (0.4 + 0.6 * checker) * (0.2 + diffuse);
  return lerp(ground, sky(rd), saturate(t / 40.0));
}

// The second output says how much of the sky the scene covers: the blobs fully, the floor less and
// less towards the horizon, the sky not at all.
struct blobs_out_t {
  float4 color : SV_Target0;
  float4 occlusion : SV_Target1;
};

blobs_out_t PsBlobs(float4 position : SV_Position) {
  float2 uv = screen_uv(position);
  float3 ro = camPos;
  float3 rd = camera_ray(uv);
  int material;
  float t = march(ro, rd, material);
  float3 color = shade(ro, rd, t, material);
  // The floor mirrors the sky, and darkens under the blobs by their distance.
  if (material == 0) {
    float3 p = ro + rd * t;
    float3 rd2 = reflect(rd, float3(0, 1, 0));
    float shadow = saturate(blob_field(p + float3(0, 0.8, 0)) * 0.8);
    color = lerp(color, sky(rd2), 0.35 * gloss) * (0.4 + 0.6 * shadow);
  }
  blobs_out_t result;
  result.color = float4(filmic(color * (0.9 + 0.4 * intensity)), 1.0);
  float covered = material == 1 ? 1.0 : material == 0 ? 1.0 - saturate(t / 40.0) : 0.0;
  result.occlusion = float4(covered, covered, covered, 1.0);
  return result;
}
