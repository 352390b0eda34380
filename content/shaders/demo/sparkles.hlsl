// Drifting bokeh sparkles on black, added over the scene below; they burst on the snare.
#include "common.hlsli"

cbuffer Params : register(b1) {
  float4 sparkleColor;
  float count;
  float size;
  float drift;
  float burst;
};

float4 PsSparkles(float4 position : SV_Position) : SV_Target {
  float2 uv = screen_uv(position);
  float2 p = centred(uv);
  float3 color = 0.0;
  int n = int(clamp(count, 1.0, 64.0));
  for (int i = 0; i < 64; ++i) {
    if (i >= n) break;
    float fi = float(i);
    float2 seed = float2(hash11(fi * 3.1), hash11(fi * 7.7));
    float speed = 0.05 + 0.1 * seed.y;
    float2 centre = float2(seed.x * 4.0 - 2.0, frac(seed.y + time.x * speed * drift) * 2.4 - 1.2);
    centre.x += 0.1 * sin(time.x * 0.7 + fi);
    float radius = size * (0.4 + seed.x) * (1.0 + burst * snare);
    float d = length(p - centre);
    float disc = smoothstep(radius, radius * 0.6, d) * 0.5 + smoothstep(radius * 0.15, 0.0, d);
    float3 tint = lerp(sparkleColor.rgb, float3(1.0, 1.0, 1.0), seed.y * 0.5);
    color += tint * disc * (0.3 + 0.7 * seed.x);
  }
  return float4(color * (0.5 + 0.5 * intensity), 1.0);
}
