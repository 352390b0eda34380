// The signed-distance-field letters: quads placed in front of a fixed camera, their edge found
// from the median of the atlas's three distance channels and smoothed over one screen pixel.

Texture2D fontAtlas : register(t0);
SamplerState linearClampSampler : register(s0);

// Members are grouped in 16-byte rows so that HLSL and GL packing agree.
cbuffer Frame : register(b0) {
  float2 resolution;  // of the output target
  float pad0;
  float pad1;
};

cbuffer Text : register(b1) {
  float4 textColor;
  float cameraDistance;  // the camera looks along +z from z = -cameraDistance; waiting letters are behind it
  float fovY;
  float glow;            // a soft halo around the letters, 0 for none
  float pad2;
};

struct letter_vertex_t {
  float3 position : POSITION;
  float3 uv : TEXCOORD0;  // u, v and an unused third value
};

struct letter_t {
  float4 position : SV_Position;
  float2 uv : TEXCOORD0;
};

letter_t VsText(letter_vertex_t vertex) {
  letter_t letter;
  float aspect = max(resolution.x, 1.0) / max(resolution.y, 1.0);
  float f = 1.0 / tan(0.5 * clamp(fovY, 0.1, 2.5));
  float depth = vertex.position.z + cameraDistance;
  // Letters still closer than this have not come into view yet: they fly in at four times their size.
  const float nearPlane = 4.0;
  const float farPlane = 500.0;
  float zScale = farPlane / (farPlane - nearPlane);
  letter.position = float4(vertex.position.x * f / aspect, vertex.position.y * f, depth * zScale - nearPlane * zScale,
                           depth);
  letter.uv = vertex.uv.xy;
  return letter;
}

float median(float3 c) { return max(min(c.r, c.g), min(max(c.r, c.g), c.b)); }

float4 PsText(letter_t letter) : SV_Target {
  float3 field = fontAtlas.Sample(linearClampSampler, letter.uv).rgb;
  float d = median(field) - 0.5;
  float w = max(fwidth(d), 1e-4);
  float edge = saturate(d / w + 0.5);
  float halo = glow * saturate(1.0 + d * 3.0) * (1.0 - edge);
  float alpha = saturate(edge + halo * 0.5);
  return float4(textColor.rgb * (edge + halo) / max(alpha, 1e-4), textColor.a * alpha);
}
