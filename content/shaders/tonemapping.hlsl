// The four tonemapping operators: high-dynamic-range colour to display values. The chain they end
// is presented without the gamma pass, so each writes gamma-encoded colour itself.
#include "post_common.hlsli"

Texture2D hdrTexture : register(t0);
SamplerState linearClampSampler : register(s0);

cbuffer cbMain : register(b0) {
  float exposure;
  float whitePoint;  // the luminance that maps to white (Reinhard with white)
  float gamma;
  float pad0;
};

float4 exposed(quad_t quad) {
  float4 c = written_or(texel_at(hdrTexture, int2(quad.position.xy)), 0.0);
  return float4(max(c.rgb, 0.0) * exposure, c.a);
}

float4 encode(float3 linear_colour, float alpha) {
  return float4(pow(saturate(linear_colour), 1.0 / max(gamma, 0.1)), alpha);
}

float4 PsReinhard(quad_t quad) : SV_Target {
  float4 c = exposed(quad);
  return encode(c.rgb / (1.0 + c.rgb), c.a);
}

float4 PsReinhardLuma(quad_t quad) : SV_Target {
  float4 c = exposed(quad);
  float l = luma(c.rgb);
  return encode(c.rgb * (1.0 / (1.0 + l)), c.a);
}

float4 PsReinhardLumaWhite(quad_t quad) : SV_Target {
  float4 c = exposed(quad);
  float l = luma(c.rgb);
  float white2 = max(whitePoint * whitePoint, 1e-4);
  return encode(c.rgb * ((1.0 + l / white2) / (1.0 + l)), c.a);
}

// Jim Hejl and Richard Burgess-Dawson's fit, gamma included.
float4 PsFilmicHejl(quad_t quad) : SV_Target {
  float4 c = exposed(quad);
  float3 x = max(c.rgb - 0.004, 0.0);
  return float4((x * (6.2 * x + 0.5)) / (x * (6.2 * x + 1.7) + 0.06), c.a);
}
