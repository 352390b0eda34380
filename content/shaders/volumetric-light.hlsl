// Volumetric light: a sky gradient with the sun, the sun's light scattered towards the viewer along
// the rays the scene leaves open, and the combination of sky, light, occlusion and scene.
// The sun's position is in the camera's space (x right, y up, z forward), so it keeps its place on
// screen while the camera moves.
#include "post_common.hlsli"

Texture2D skyTexture : register(t0);
Texture2D occlusionTexture : register(t1);
Texture2D lightTexture : register(t2);
Texture2D foregroundTexture : register(t3);
SamplerState linearClampSampler : register(s0);

cbuffer cbMain : register(b0) {
  float4 g_skycolor1;  // at the horizon
  float4 g_skycolor2;  // at the top
  float3 g_sunpos3;
  float sunSize;
  float4 shaftColor;
  float density;  // how far towards the sun the samples reach, 0 to 1
  float decay;    // weight lost per sample
  float weight;
  float exposure;
};

cbuffer Camera : register(b1) {
  float4x4 proj;
};

static const int shaft_samples = 24;

// The sun on screen (uv) and whether it lies ahead of the camera.
float3 sun_on_screen() {
  float4 clip = mul(float4(g_sunpos3, 1.0), proj);
  float ahead = clip.w > 1e-3 ? 1.0 : 0.0;
  float2 ndc = clip.xy / max(abs(clip.w), 1e-3);
  return float3(ndc.x * 0.5 + 0.5, 0.5 - ndc.y * 0.5, ahead);
}

// 1 where the scene covers the sky. A texel the scene never wrote counts as covered: then the
// scene shows unchanged and lets no light through.
float occlusion_at(float2 uv) {
  float4 c = occlusionTexture.SampleLevel(linearClampSampler, uv, 0);
  return written(c) ? saturate(c.r) : 1.0;
}

float occlusion_texel(float4 position) {
  float4 c = texel_at(occlusionTexture, int2(position.xy));
  return written(c) ? saturate(c.r) : 1.0;
}

float4 PsSkybox(quad_t quad) : SV_Target {
  float height = saturate(1.0 - quad.uv.y);
  float3 sky = lerp(g_skycolor1.rgb, g_skycolor2.rgb, smoothstep(0.0, 0.9, height));
  float3 sun = sun_on_screen();
  float2 d = (quad.uv - sun.xy) * float2(1.7778, 1.0);
  float disc = smoothstep(sunSize, sunSize * 0.8, length(d));
  float halo = exp(-length(d) * 12.0) * 0.35;
  return float4(sky + (disc + halo) * sun.z * shaftColor.rgb, 1.0);
}

// Samples from the pixel towards the sun: each open one adds the sun's light, fainter with every
// step.
float4 PsSun(quad_t quad) : SV_Target {
  float3 sun = sun_on_screen();
  float2 delta = (sun.xy - quad.uv) * (density / float(shaft_samples));
  float2 uv = quad.uv;
  float falloff = 1.0;
  float sum = 0.0;
  for (int i = 0; i < shaft_samples; ++i) {
    float2 d = (uv - sun.xy) * float2(1.7778, 1.0);
    sum += (1.0 - occlusion_at(uv)) * exp(-length(d) * 6.0) * falloff * weight;
    falloff *= decay;
    uv += delta;
  }
  return float4(shaftColor.rgb * sum * exposure * sun.z, 0.0);
}

// The sky where the scene leaves it open, the scene where it covers it, and the light over both.
float4 PsCombine(quad_t quad) : SV_Target {
  float3 sky = texel_at(skyTexture, int2(quad.position.xy)).rgb;
  float3 light = lightTexture.SampleLevel(linearClampSampler, quad.uv, 0).rgb;
  float4 scene = texel_at(foregroundTexture, int2(quad.position.xy));
  float covered = occlusion_texel(quad.position);
  float ahead = g_sunpos3.z > 0.0 ? 1.0 : 0.0;
  return float4(lerp(sky, scene.rgb, covered) + light * ahead, 1.0);
}
