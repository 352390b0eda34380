// Anamorphic streaks: bright parts squeezed across the streak direction, shrunk along it level by
// level, grown back with each level mixed in, and added over the image.
#include "post_common.hlsli"

Texture2D coarseTexture : register(t0);  // the running result, or the image a pass reads
Texture2D levelTexture : register(t1);   // upsample: the level of the target's size; combine: the image
SamplerState linearClampSampler : register(s0);

cbuffer cbMain : register(b0) {
  float g_horizontal;  // 1: streaks along x, 0: along y
  float threshold;
  float attenuation;  // share of the coarser levels in each grown level
  float strength;
  float4 tint;
};

float2 streak_axis() { return g_horizontal > 0.5 ? float2(1.0, 0.0) : float2(0.0, 1.0); }

// Two taps along the streak, so a bright texel starts its streak already spread along it.
float4 PsPreFilter(quad_t quad) : SV_Target {
  float2 step = streak_axis() * texel_size(coarseTexture) * 0.5;
  float3 c = written_or(coarseTexture.SampleLevel(linearClampSampler, quad.uv - step, 0), 0.0).rgb * 0.5;
  c += written_or(coarseTexture.SampleLevel(linearClampSampler, quad.uv + step, 0), 0.0).rgb * 0.5;
  float brightness = max(c.r, max(c.g, c.b));
  return float4(c * (max(brightness - threshold, 0.0) / max(brightness, 1e-4)), 0.0);
}

// Four bilinear taps along the axis: each output texel averages the eight source texels it covers
// and their neighbours, so the streak grows smoothly.
float4 PsDownsample(quad_t quad) : SV_Target {
  float2 step = streak_axis() * texel_size(coarseTexture);
  float3 sum = 0.0;
  sum += coarseTexture.SampleLevel(linearClampSampler, quad.uv - 1.5 * step, 0).rgb * 0.2;
  sum += coarseTexture.SampleLevel(linearClampSampler, quad.uv - 0.5 * step, 0).rgb * 0.3;
  sum += coarseTexture.SampleLevel(linearClampSampler, quad.uv + 0.5 * step, 0).rgb * 0.3;
  sum += coarseTexture.SampleLevel(linearClampSampler, quad.uv + 1.5 * step, 0).rgb * 0.2;
  return float4(sum, 0.0);
}

float4 PsUpsample(quad_t quad) : SV_Target {
  float3 coarse = coarseTexture.SampleLevel(linearClampSampler, quad.uv, 0).rgb;
  float3 level = levelTexture.SampleLevel(linearClampSampler, quad.uv, 0).rgb;
  return float4(lerp(level, coarse, attenuation), 0.0);
}

float4 PsCombine(quad_t quad) : SV_Target {
  float3 streak = coarseTexture.SampleLevel(linearClampSampler, quad.uv, 0).rgb;
  float4 image = texel_at(levelTexture, int2(quad.position.xy));
  return float4(image.rgb + streak * strength * tint.rgb, image.a);
}
