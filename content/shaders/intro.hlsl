// The intro: rings of light that open out of the dark on the beat, crossed by a slow scan line, as
// the stars of the first scene come up behind them.
#include "demo/common.hlsli"

cbuffer Params : register(b1) {
  float4 ringColor;
  float ringCount;
  float spread;    // how fast the rings open, per second
  float fadeOut;   // seconds of local time at which the intro has faded away
  float pad0;
};

float4 PsMain(float4 position : SV_Position) : SV_Target {
  float2 p = centred(screen_uv(position));
  float t = time.y;
  float r = length(p);
  float rings = 0.0;
  for (float i = 0.0; i < ringCount; i += 1.0) {
    float radius = frac(t * spread * 0.25 + i / max(ringCount, 1.0)) * 2.0;
    float width = 0.01 + 0.03 * radius;
    rings += exp(-abs(r - radius) / width) * (1.0 - radius * 0.5);
  }
  float scan = exp(-abs(p.y - sin(t * 0.7) * 0.6) * 40.0) * 0.5;
  float pulse = 0.6 + 0.8 * kick;
  float fade = saturate(1.0 - t / max(fadeOut, 0.1));
  float3 color = ringColor.rgb * (rings * pulse + scan) * fade * fade;
  return float4(color, 1.0);
}
