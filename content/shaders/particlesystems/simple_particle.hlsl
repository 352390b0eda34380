// The CPU particles: each live particle arrives as one point, grows into a camera-facing quad in
// the geometry shader and is drawn as a soft disc, added over what is below.

// Members are grouped in 16-byte rows so that HLSL and GL packing agree.
cbuffer Frame : register(b0) {
  float4x4 view;
  float4x4 proj;
};

cbuffer Sprite : register(b1) {
  float sizeScale;   // world size of a particle of size 1
  float softness;    // 0 a hard disc, 1 a glow that fades from the centre
  float brightness;
  float pad0;
};

struct particle_t {
  float3 position : POSITION;
  float2 sizeLife : TEXCOORD0;  // size, life left / life total
  float4 colour : COLOR0;
};

struct sprite_centre_t {
  float4 viewPosition : TEXCOORD1;
  float2 sizeLife : TEXCOORD0;
  float4 colour : COLOR0;
};

struct sprite_t {
  float4 position : SV_Position;
  float2 uv : TEXCOORD0;
  float4 colour : COLOR0;
};

sprite_centre_t VsParticle(particle_t particle) {
  sprite_centre_t centre;
  centre.viewPosition = mul(float4(particle.position, 1.0), view);
  centre.sizeLife = particle.sizeLife;
  centre.colour = particle.colour;
  return centre;
}

// Corners in view space, so the quad always faces the camera.
[maxvertexcount(4)]
void GsParticle(point sprite_centre_t input[1], inout TriangleStream<sprite_t> stream) {
  const float2 corners[4] = {float2(-1.0, 1.0), float2(1.0, 1.0), float2(-1.0, -1.0), float2(1.0, -1.0)};
  float halfSize = 0.5 * input[0].sizeLife.x * sizeScale;
  for (int i = 0; i < 4; ++i) {
    sprite_t corner;
    float4 p = input[0].viewPosition + float4(corners[i] * halfSize, 0.0, 0.0);
    corner.position = mul(p, proj);
    corner.uv = corners[i];
    corner.colour = input[0].colour;
    stream.Append(corner);
  }
}

float4 PsParticle(sprite_t sprite) : SV_Target {
  float r = length(sprite.uv);
  float disc = saturate((1.0 - r) / max(softness, 0.01));
  float glow = disc * disc;
  return float4(sprite.colour.rgb * glow * brightness, sprite.colour.a * glow);
}
