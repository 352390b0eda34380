// Domain-warped plasma behind a starry sky of rings: the closing scene.
#include "common.hlsli"

cbuffer Params : register(b1) {
  float4 colorPhase;
  float warpAmount;
  float zoom;
  float flow;
  float ringAmount;
};

float4 PsPlasma(float4 position : SV_Position) : SV_Target {
  float2 uv = screen_uv(position);
  float2 p = centred(uv) * zoom;
  float t = time.x * flow;
  // Two rounds of warping the coordinates by noise.
  float2 q = float2(fbm(float3(p, t * 0.2)), fbm(float3(p + 5.2, t * 0.2)));
  float2 r = float2(fbm(float3(p + 4.0 * q + float2(1.7, 9.2), t * 0.15)),
                    fbm(float3(p + 4.0 * q + float2(8.3, 2.8), t * 0.15)));
  float v = sin(p.x * 3.0 + t) + sin(p.y * 2.0 - t * 1.3) + sin((p.x + p.y) * 2.5 + t * 0.7) +
            sin(length(p + warpAmount * r) * 6.0 - t * 2.0);
  float3 color = palette(v * 0.125 + 0.5 + 0.2 * r.x, float3(0.5, 0.5, 0.5), float3(0.5, 0.5, 0.5),
                         float3(1.0, 1.0, 1.0), colorPhase.rgb);
  color *= 0.4 + 0.8 * fbm(float3(p * 2.0 + r, t * 0.3));
  // Rings that spread from the centre on every kick.
  float radius = length(centred(uv));
  float ring = exp(-abs(radius - frac(time.x * 0.5) * 2.0) * 20.0);
  color += float3(1.0, 0.9, 0.7) * ring * ringAmount * kick;
  return float4(filmic(color * (1.2 + 0.6 * intensity)), 1.0);
}
