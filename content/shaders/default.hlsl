// The shader manager's built-in full-screen shaders: the full-screen triangle, the copies used by
// blit (optionally weighted by the tint's alpha) and the two-input blend modes used by blend.
// blit binds its source at t0 with a linear clamped sampler at s3; blend binds no sampler and reads
// texels, so the inputs may differ in size from the target.

Texture2D firstTexture : register(t0);
Texture2D secondTexture : register(t1);
SamplerState linearClampSampler : register(s3);

// blit: the tint; blend: the parameter.
cbuffer Constants : register(b0) {
  float4 parameter;
};

struct quad_t {
  float4 position : SV_Position;
  float2 uv : TEXCOORD0;
};

// One triangle that covers the screen: vertices 0, 1, 2 at uv (0, 0), (2, 0), (0, 2).
quad_t VsQuad(uint id : SV_VertexID) {
  quad_t quad;
  quad.uv = float2((id << 1) & 2, id & 2);
  quad.position = float4(quad.uv * float2(2.0, -2.0) + float2(-1.0, 1.0), 0.0, 1.0);
  return quad;
}

float4 texel(Texture2D source, float2 uv) {
  uint width, height;
  source.GetDimensions(width, height);
  int2 size = int2(width, height);
  int2 position = clamp(int2(uv * float2(size)), int2(0, 0), max(size - 1, int2(0, 0)));
  return source.Load(int3(position, 0));
}

float4 PsCopy(quad_t quad) : SV_Target { return firstTexture.Sample(linearClampSampler, quad.uv); }

// Weighted towards black by the tint's alpha: the fades.
float4 PsCopyAlpha(quad_t quad) : SV_Target {
  float4 color = firstTexture.Sample(linearClampSampler, quad.uv);
  return float4(lerp(parameter.rgb, color.rgb, parameter.a), color.a);
}

float4 PsLerp(quad_t quad) : SV_Target {
  return lerp(texel(firstTexture, quad.uv), texel(secondTexture, quad.uv), parameter.x);
}

float4 PsAdd(quad_t quad) : SV_Target {
  return texel(firstTexture, quad.uv) * parameter + texel(secondTexture, quad.uv);
}

float4 PsMultiply(quad_t quad) : SV_Target {
  return texel(firstTexture, quad.uv) * texel(secondTexture, quad.uv) * parameter;
}

float4 PsScreen(quad_t quad) : SV_Target {
  float4 a = saturate(texel(firstTexture, quad.uv) * parameter);
  float4 b = saturate(texel(secondTexture, quad.uv));
  return 1.0 - (1.0 - a) * (1.0 - b);
}

float4 PsDarken(quad_t quad) : SV_Target {
  return min(texel(firstTexture, quad.uv) * parameter, texel(secondTexture, quad.uv));
}

float4 PsLighten(quad_t quad) : SV_Target {
  return max(texel(firstTexture, quad.uv) * parameter, texel(secondTexture, quad.uv));
}

float4 PsDifference(quad_t quad) : SV_Target {
  return abs(texel(firstTexture, quad.uv) * parameter - texel(secondTexture, quad.uv));
}

float4 PsNegation(quad_t quad) : SV_Target {
  return 1.0 - abs(1.0 - texel(firstTexture, quad.uv) * parameter - texel(secondTexture, quad.uv));
}
