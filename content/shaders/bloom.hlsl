// Bloom: the bright or emissive parts of an image, halved level by level with a 13-tap filter and
// grown back with a tent filter whose result the pass adds to what the target holds.
#include "post_common.hlsli"

Texture2D sourceTexture : register(t0);
SamplerState linearClampSampler : register(s0);

cbuffer cbMain : register(b0) {
  float threshold;  // brightness where the bloom starts
  float knee;       // width of the soft start below the threshold
  float scatter;    // weight of each level when grown back
  float radius;     // tent radius in source texels
};

// The 2x2 texels a level-0 pixel covers, each checked on its own so that an unwritten texel adds
// nothing instead of spreading.
float4 gather_2x2(float4 position) {
  int2 base = int2(position.xy) * 2;
  float4 sum = 0.0;
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) sum += written_or(texel_at(sourceTexture, base + int2(x, y)), 0.0);
  return sum * 0.25;
}

// The threshold with a quadratic knee, applied to the brightest channel.
float4 PsPreFilter(quad_t quad) : SV_Target {
  float3 c = max(gather_2x2(quad.position).rgb, 0.0);
  float brightness = max(c.r, max(c.g, c.b));
  float soft = clamp(brightness - threshold + knee, 0.0, 2.0 * knee);
  soft = soft * soft / (4.0 * knee + 1e-4);
  float contribution = max(soft, brightness - threshold) / max(brightness, 1e-4);
  return float4(c * contribution, 0.0);
}

// Emissive light as the scene wrote it into its second output.
float4 PsBloomTexture(quad_t quad) : SV_Target {
  return float4(max(gather_2x2(quad.position).rgb, 0.0), 0.0);
}

float3 tap(float2 uv, float2 offset, float2 texel) {
  return sourceTexture.SampleLevel(linearClampSampler, uv + offset * texel, 0).rgb;
}

// Thirteen bilinear taps: four overlapping 2x2 boxes and a centre box, against the flicker of a
// plain 2x2 average.
float4 PsDownsample13(quad_t quad) : SV_Target {
  float2 t = texel_size(sourceTexture);
  float2 uv = quad.uv;
  float3 a = tap(uv, float2(-2, -2), t), b = tap(uv, float2(0, -2), t), c = tap(uv, float2(2, -2), t);
  float3 d = tap(uv, float2(-1, -1), t), e = tap(uv, float2(1, -1), t);
  float3 f = tap(uv, float2(-2, 0), t), g = tap(uv, float2(0, 0), t), h = tap(uv, float2(2, 0), t);
  float3 i = tap(uv, float2(-1, 1), t), j = tap(uv, float2(1, 1), t);
  float3 k = tap(uv, float2(-2, 2), t), l = tap(uv, float2(0, 2), t), m = tap(uv, float2(2, 2), t);
  float3 sum = (d + e + i + j) * 0.125;
  sum += (a + b + f + g) * 0.03125 + (b + c + g + h) * 0.03125;
  sum += (f + g + k + l) * 0.03125 + (g + h + l + m) * 0.03125;
  return float4(sum, 0.0);
}

// A 3x3 tent; alpha 0, so the additive blend leaves the image's alpha alone.
float4 PsUpsampleTent(quad_t quad) : SV_Target {
  float2 t = texel_size(sourceTexture) * radius;
  float2 uv = quad.uv;
  float3 sum = tap(uv, float2(0, 0), t) * 4.0;
  sum += (tap(uv, float2(-1, 0), t) + tap(uv, float2(1, 0), t) + tap(uv, float2(0, -1), t) +
          tap(uv, float2(0, 1), t)) * 2.0;
  sum += tap(uv, float2(-1, -1), t) + tap(uv, float2(1, -1), t) + tap(uv, float2(-1, 1), t) +
         tap(uv, float2(1, 1), t);
  return float4(sum * (scatter / 16.0), 0.0);
}
