// Shared by the demo's scenes: the frame constants, camera rays, noise and palettes.
#ifndef DEMO_COMMON_HLSLI
#define DEMO_COMMON_HLSLI

// Members are grouped in 16-byte rows so that HLSL and GL packing agree.
cbuffer Frame : register(b0) {
  float4 time;        // global time, local time, delta time, block length
  float3 camPos;
  float camFov;
  float3 camDir;
  float kick;         // sync: 1 on every kick drum, decaying
  float3 camUp;
  float snare;        // sync: 1 on every snare hit, decaying
  float2 resolution;  // of the output target
  float intensity;    // sync: the music's energy per section
  float section;      // sync: the section number, as an engine variable
};

static const float PI = 3.14159265;

float2 screen_uv(float4 position) { return position.xy / max(resolution, float2(1.0, 1.0)); }

// Centred coordinates, y up, x scaled by the aspect ratio.
float2 centred(float2 uv) { return (uv * 2.0 - 1.0) * float2(max(resolution.x, 1.0) / max(resolution.y, 1.0), -1.0); }

// The view ray of a pixel for the active camera (left-handed: x right, y up, z forward).
float3 camera_ray(float2 uv) {
  float2 p = centred(uv);
  float3 forward = normalize(camDir);
  float3 right = normalize(cross(camUp, forward));
  float3 up = cross(forward, right);
  float h = tan(clamp(camFov, 0.1, 2.5) * 0.5);
  return normalize(forward + (p.x * right + p.y * up) * h);
}

float hash11(float p) {
  p = frac(p * 0.1031);
  p *= p + 33.33;
  p *= p + p;
  return frac(p);
}

float hash21(float2 p) {
  float3 p3 = frac(float3(p.xyx) * 0.1031);
  p3 += dot(p3, p3.yzx + 33.33);
  return frac((p3.x + p3.y) * p3.z);
}

float3 hash33(float3 p) {
  p = frac(p * float3(0.1031, 0.1030, 0.0973));
  p += dot(p, p.yxz + 33.33);
  return frac((p.xxy + p.yxx) * p.zyx);
}

float value_noise(float3 p) {
  float3 i = floor(p);
  float3 f = frac(p);
  f = f * f * (3.0 - 2.0 * f);
  float n000 = hash21(i.xy + i.z * 57.0);
  float n100 = hash21(i.xy + float2(1, 0) + i.z * 57.0);
  float n010 = hash21(i.xy + float2(0, 1) + i.z * 57.0);
  float n110 = hash21(i.xy + float2(1, 1) + i.z * 57.0);
  float n001 = hash21(i.xy + (i.z + 1.0) * 57.0);
  float n101 = hash21(i.xy + float2(1, 0) + (i.z + 1.0) * 57.0);
  float n011 = hash21(i.xy + float2(0, 1) + (i.z + 1.0) * 57.0);
  float n111 = hash21(i.xy + float2(1, 1) + (i.z + 1.0) * 57.0);
  float a = lerp(lerp(n000, n100, f.x), lerp(n010, n110, f.x), f.y);
  float b = lerp(lerp(n001, n101, f.x), lerp(n011, n111, f.x), f.y);
  return lerp(a, b, f.z);
}

float fbm(float3 p) {
  float sum = 0.0;
  float amplitude = 0.5;
  for (int i = 0; i < 5; ++i) {
    sum += amplitude * value_noise(p);
    p = p * 2.03 + float3(1.7, 9.2, 3.1);
    amplitude *= 0.5;
  }
  return sum;
}

// Cosine palette: a + b cos(2 pi (c t + d)).
float3 palette(float t, float3 a, float3 b, float3 c, float3 d) { return a + b * cos(2.0 * PI * (c * t + d)); }

float2x2 rotation(float angle) {
  float c = cos(angle), s = sin(angle);
  return float2x2(c, -s, s, c);
}

float smooth_min(float a, float b, float k) {
  float h = saturate(0.5 + 0.5 * (b - a) / k);
  return lerp(b, a, h) - k * h * (1.0 - h);
}

// Tone curve for the scenes' HDR values, before the post effects' gamma.
float3 filmic(float3 c) { return c / (1.0 + c); }

#endif
