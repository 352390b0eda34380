// The scenes' finishing pass over the layer below: lens split, bloom-ish glow, vignette, grain and
// letterbox bars, brightened on the beat.
#include "common.hlsli"

Texture2D sceneTexture : register(t0);
SamplerState linearClampSampler : register(s0);

cbuffer Grade : register(b1) {
  float4 lift;       // added to the shadows
  float4 gain;       // multiplies the image
  float aberration;
  float vignette;
  float grain;
  float letterbox;
};

float3 scene_at(float2 uv) { return sceneTexture.Sample(linearClampSampler, uv).rgb; }

float4 PsGrade(float4 position : SV_Position) : SV_Target {
  float2 uv = screen_uv(position);
  float2 from_centre = uv - 0.5;
  float split = aberration * (0.004 + 0.01 * kick) * length(from_centre);
  float2 direction = normalize(from_centre + 1e-5);
  float3 color;
  color.r = scene_at(uv + direction * split).r;
  color.g = scene_at(uv).g;
  color.b = scene_at(uv - direction * split).b;

  // A cheap glow: a ring of taps, of which only the bright part is kept.
  float3 glow = 0.0;
  float2 texel = 1.0 / max(resolution, float2(1.0, 1.0));
  for (int i = 0; i < 8; ++i) {
    float a = float(i) * (PI / 4.0);
    float3 tap = scene_at(uv + float2(cos(a), sin(a)) * texel * 12.0);
    glow += max(tap - 0.6, 0.0);
  }
  color += glow * (0.15 + 0.3 * kick);

  color = color * gain.rgb + lift.rgb * (1.0 - color);
  // Every section of the music gets its own slight cast.
  float3 cast = palette(section * 0.23, float3(0.5, 0.5, 0.5), float3(0.5, 0.5, 0.5), float3(1.0, 1.0, 1.0),
                        float3(0.0, 0.33, 0.67));
  color *= lerp(float3(1.0, 1.0, 1.0), cast * 1.5, 0.12);
  color *= 1.0 - vignette * dot(from_centre, from_centre) * 2.0;
  float noise = hash21(position.xy + frac(time.x * 13.0) * 100.0) - 0.5;
  color += noise * grain;
  float bar = step(abs(from_centre.y), 0.5 - letterbox);
  return float4(saturate(color) * bar, 1.0);
}
