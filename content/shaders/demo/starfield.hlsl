// Flight through a starfield with a nebula behind it; the camera comes from the block's scene.
#include "common.hlsli"

cbuffer Params : register(b1) {
  float4 nebulaColor;
  float starDensity;
  float warp;
  float twinkle;
  float nebulaAmount;
};

float3 nebula(float3 rd) {
  float n = fbm(rd * 2.5 + float3(0.0, 0.0, time.x * 0.02));
  float m = fbm(rd * 5.0 - float3(time.x * 0.01, 0.0, 0.0));
  float3 deep = palette(n + 0.3 * m, float3(0.2, 0.1, 0.3), float3(0.3, 0.2, 0.4), float3(1.0, 1.0, 1.0),
                        float3(0.0, 0.15, 0.3));
  return deep * nebulaColor.rgb * pow(saturate(n * 1.4 - 0.2), 2.0) * nebulaAmount;
}

// Stars sit one per cell of a 3D grid; every sample along the ray tests the cell it falls in.
float3 stars(float3 ro, float3 rd) {
  float3 sum = 0.0;
  const float cell = 4.0;
  for (int i = 0; i < 32; ++i) {
    float t = 1.0 + float(i) * 2.5;
    float3 p = ro + rd * t;
    float3 id = floor(p / cell);
    float3 r = hash33(id);
    if (r.x > starDensity) continue;
    float3 centre = (id + 0.2 + 0.6 * r) * cell;
    float3 to_star = centre - ro;
    float along = dot(to_star, rd);
    if (along < 0.0) continue;
    float d = length(to_star - rd * along);
    // Motion streaks grow with the warp factor.
    float size = 0.015 + 0.05 * warp * saturate(along / 60.0);
    float glow = size / (d * d * 40.0 + size);
    float fade = saturate(1.0 - along / 80.0);
    float flicker = 1.0 + twinkle * sin(time.x * 7.0 + r.y * 40.0);
    float3 tint = lerp(float3(0.6, 0.7, 1.0), float3(1.0, 0.8, 0.6), r.z);
    sum += tint * glow * fade * flicker;
  }
  return sum;
}

float4 PsStarfield(float4 position : SV_Position) : SV_Target {
  float2 uv = screen_uv(position);
  float3 rd = camera_ray(uv);
  float3 color = nebula(rd) + stars(camPos, rd) * (1.0 + 1.5 * kick);
  color += float3(0.4, 0.3, 0.8) * 0.08 * snare;
  return float4(filmic(color * (0.8 + 0.4 * intensity)), 1.0);
}
