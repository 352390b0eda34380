// Shared by the post effects: the full-screen triangle's output and the guard against the values
// an unwritten second output holds.
#ifndef POST_COMMON_HLSLI
#define POST_COMMON_HLSLI

struct quad_t {
  float4 position : SV_Position;
  float2 uv : TEXCOORD0;
};

// The engine clears a block's second output to the largest float, which a half-float target
// stores as infinity: a texel that is not finite and moderate was never written.
bool written(float4 c) { return all(abs(c) < 60000.0); }

float4 written_or(float4 c, float4 fallback) { return written(c) ? c : fallback; }

float2 texel_size(Texture2D source) {
  uint width, height;
  source.GetDimensions(width, height);
  return 1.0 / float2(max(width, 1u), max(height, 1u));
}

// A texel by integer position, clamped to the texture.
float4 texel_at(Texture2D source, int2 position) {
  uint width, height;
  source.GetDimensions(width, height);
  int2 last = max(int2(width, height) - 1, int2(0, 0));
  return source.Load(int3(clamp(position, int2(0, 0), last), 0));
}

float luma(float3 c) { return dot(c, float3(0.2126, 0.7152, 0.0722)); }

#endif
