// A kaleidoscopic fractal structure lit by its own glow; the camera flies the block's scene path.
#include "common.hlsli"

cbuffer Params : register(b1) {
  float4 glowColor;
  float4 baseColor;
  float foldScale;
  float foldAngle;
  float glowAmount;
  float fogDensity;
};

float fractal_distance(float3 p, out float trap) {
  float scale = 1.0;
  trap = 1e9;
  float2x2 spin = rotation(foldAngle + 0.05 * sin(time.x * 0.3));
  for (int i = 0; i < 4; ++i) {
    p = abs(p) - float3(1.2, 0.9, 1.1);
    if (p.x < p.y) p.xy = p.yx;
    if (p.x < p.z) p.xz = p.zx;
    if (p.y < p.z) p.yz = p.zy;
    p.xy = mul(spin, p.xy);
    p = p * foldScale - float3(1.0, 1.0, 1.0) * (foldScale - 1.0);
    scale *= foldScale;
    trap = min(trap, dot(p, p));
  }
  return (length(p) - 1.5) / scale;
}

// The structure repeats every 12 units, centred on multiples of 12, so that the flight never leaves
// it; the planes between the copies (x, y or z = 6 + 12k) are open.
float scene_distance(float3 p, out float trap) {
  float3 q = fmod(p + 6006.0, 12.0) - 6.0;
  return fractal_distance(q, trap);
}

float3 fractal_normal(float3 p, float t) {
  const float e = 0.001 * t + 0.0005;
  float trap;
  float d = scene_distance(p, trap);
  return normalize(float3(scene_distance(p + float3(e, 0, 0), trap) - d, scene_distance(p + float3(0, e, 0), trap) - d,
                          scene_distance(p + float3(0, 0, e), trap) - d));
}

float4 PsFractal(float4 position : SV_Position) : SV_Target {
  float2 uv = screen_uv(position);
  float3 ro = camPos;
  float3 rd = camera_ray(uv);
  float t = 0.0;
  float glow = 0.0;
  float trap = 0.0;
  bool hit = false;
  int steps = 0;
  for (int i = 0; i < 72; ++i) {
    float d = scene_distance(ro + rd * t, trap);
    glow += exp(-d * 30.0) * 0.02;
    if (d < 0.002 * t) {
      hit = true;
      break;
    }
    t += d * 0.9;
    steps = i;
    if (t > 50.0) break;
  }
  float3 color = float3(0.0, 0.0, 0.0);
  if (hit) {
    float3 tint = palette(0.15 * log2(1.0 + trap) + 0.03 * t + time.x * 0.02, float3(0.5, 0.5, 0.5), float3(0.5, 0.5, 0.5),
                          float3(1.0, 1.0, 1.0), float3(0.0, 0.33, 0.67));
    float occlusion = 1.0 - float(steps) / 72.0;
    float3 n = fractal_normal(ro + rd * t, t);
    float light = 0.25 + 0.75 * saturate(dot(n, normalize(float3(0.3, 0.8, -0.5))));
    float rim = pow(1.0 - saturate(dot(n, -rd)), 2.0);
    color = baseColor.rgb * tint * occlusion * light * 1.6 + glowColor.rgb * rim * 0.4;
  }
  color += glowColor.rgb * glow * glowAmount * (1.0 + 2.0 * kick);
  color = lerp(float3(0.01, 0.01, 0.03), color, exp(-t * fogDensity));
  return float4(filmic(color * (0.9 + 0.5 * intensity)), 1.0);
}
