// Depth of field: the circle of confusion of each pixel from the depth image of the layer below
// (its red channel is the distance from the camera), and the blur that grows with it.

Texture2D sourceTexture : register(t0);
Texture2D depthTexture : register(t1);
Texture2D cocTexture : register(t2);
SamplerState linearClampSampler : register(s0);

cbuffer Focus : register(b0) {
  float focalDistance;
  float focalRange;
  float maxBlurLevel;
  float focusPad0;
};

struct quad_pixel_t {
  float4 position : SV_Position;
  float2 uv : TEXCOORD0;
};

// 0 on the focal plane, 1 at focalRange from it and beyond.
float PsCalcCoc(quad_pixel_t p) : SV_Target {
  const float depth = depthTexture.Load(int3(p.position.xy, 0)).r;
  return saturate(abs(depth - focalDistance) / max(focalRange, 1e-4));
}

// Reads the source from a coarser mip the further the pixel is out of focus, over a small ring.
float4 PsDofBlur(quad_pixel_t p) : SV_Target {
  const float coc = cocTexture.Load(int3(p.position.xy, 0)).r;
  const float level = coc * maxBlurLevel;
  uint w = 0, h = 0;
  sourceTexture.GetDimensions(w, h);
  const float2 step = coc * 2.0 / float2(w, h);
  float4 sum = sourceTexture.SampleLevel(linearClampSampler, p.uv, level) * 2.0;
  sum += sourceTexture.SampleLevel(linearClampSampler, p.uv + float2(step.x, 0.0), level);
  sum += sourceTexture.SampleLevel(linearClampSampler, p.uv - float2(step.x, 0.0), level);
  sum += sourceTexture.SampleLevel(linearClampSampler, p.uv + float2(0.0, step.y), level);
  sum += sourceTexture.SampleLevel(linearClampSampler, p.uv - float2(0.0, step.y), level);
  return sum / 6.0;
}
