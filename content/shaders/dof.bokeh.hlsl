// Bokeh of the depth-of-field block: bright pixels far from the focal plane become points on an
// append buffer (and leave the image), and each point is drawn as a sprite whose size is its
// circle of confusion. The point count never leaves the device: it feeds the sprite draw.

// 28 bytes, scalars only, so the element is as tight on GL as the block's buffer stride.
struct bokeh_point_t {
  float x;  // clip-space centre
  float y;
  float radius;  // in pixels
  float r;
  float g;
  float b;
  float a;
};

Texture2D sourceTexture : register(t0);
Texture2D depthTexture : register(t1);
Texture2D cocTexture : register(t2);

cbuffer Bokeh : register(b0) {
  float brightnessThreshold;
  float cocThreshold;
  float maxRadius;
  float bokehIntensity;
};

AppendStructuredBuffer<bokeh_point_t> bokehPoints : register(u1);

struct quad_pixel_t {
  float4 position : SV_Position;
  float2 uv : TEXCOORD0;
};

float4 PsBokehCollect(quad_pixel_t p) : SV_Target0 {
  const int3 texel = int3(p.position.xy, 0);
  const float4 colour = sourceTexture.Load(texel);
  const float coc = cocTexture.Load(texel).r;
  const float brightness = dot(colour.rgb, float3(0.2126, 0.7152, 0.0722));
  if (coc <= cocThreshold || brightness <= brightnessThreshold) return colour;
  uint w = 0, h = 0;
  sourceTexture.GetDimensions(w, h);
  bokeh_point_t spot;
  spot.x = p.position.x / float(w) * 2.0 - 1.0;
  spot.y = 1.0 - p.position.y / float(h) * 2.0;
  spot.radius = max(coc * maxRadius, 1.0);
  // The sprite spreads the pixel's light over its disc.
  const float area = 3.14159265 * spot.radius * spot.radius;
  spot.r = colour.r * bokehIntensity / area;
  spot.g = colour.g * bokehIntensity / area;
  spot.b = colour.b * bokehIntensity / area;
  spot.a = 1.0;
  bokehPoints.Append(spot);
  return float4(0.0, 0.0, 0.0, colour.a);
}

StructuredBuffer<bokeh_point_t> points : register(t0);

cbuffer Target : register(b1) {
  float2 targetSize;
  float targetPad0;
  float targetPad1;
};

struct bokeh_vertex_t {
  float4 position : SV_Position;
  float4 colour : COLOR0;
  float2 radius : TEXCOORD0;  // in clip units along x and y
};

struct bokeh_pixel_t {
  float4 position : SV_Position;
  float4 colour : COLOR0;
  float2 corner : TEXCOORD0;  // -1 to 1 across the sprite
};

bokeh_vertex_t VsBokeh(uint vertex_id : SV_VertexID) {
  const bokeh_point_t spot = points[vertex_id];
  bokeh_vertex_t v;
  v.position = float4(spot.x, spot.y, 0.0, 1.0);
  v.colour = float4(spot.r, spot.g, spot.b, spot.a);
  v.radius = spot.radius * 2.0 / max(targetSize, float2(1.0, 1.0));
  return v;
}

[maxvertexcount(4)]
void GsBokeh(point bokeh_vertex_t input[1], inout TriangleStream<bokeh_pixel_t> quad) {
  const float2 corners[4] = {float2(-1.0, 1.0), float2(1.0, 1.0), float2(-1.0, -1.0), float2(1.0, -1.0)};
  for (int i = 0; i < 4; ++i) {
    bokeh_pixel_t p;
    p.position = input[0].position + float4(corners[i] * input[0].radius, 0.0, 0.0);
    p.colour = input[0].colour;
    p.corner = corners[i];
    quad.Append(p);
  }
}

// A round aperture.
float4 PsBokeh(bokeh_pixel_t p) : SV_Target {
  const float r = length(p.corner);
  return p.colour * (r <= 1.0 ? 1.0 : 0.0);
}

// A hexagonal aperture.
float4 PsBokehNgon(bokeh_pixel_t p) : SV_Target {
  const float2 a = abs(p.corner);
  const float hex = max(a.x * 0.866025 + a.y * 0.5, a.y);
  return p.colour * (hex <= 1.0 ? 1.0 : 0.0);
}
