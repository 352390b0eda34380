// A raymarched rock tunnel that winds along z, lit by rings of light that pulse with the snare.
#include "common.hlsli"

Texture2D rockTexture : register(t0);
SamplerState linearWrapSampler : register(s0);

cbuffer Params : register(b1) {
  float4 lightColor;
  float radius;
  float twist;
  float ribDepth;
  float speed;
};

float2 path(float z) { return float2(sin(z * 0.13) * 2.5, cos(z * 0.09) * 1.8); }

float tunnel_distance(float3 p) {
  float2 q = p.xy - path(p.z);
  float angle = atan2(q.y, q.x);
  float ribs = ribDepth * sin(p.z * 2.0 + angle * 3.0 + twist * p.z * 0.2);
  float bumps = 0.25 * value_noise(p * 1.5);
  return radius + ribs + bumps - length(q);
}

float3 tunnel_normal(float3 p) {
  const float e = 0.01;
  float d = tunnel_distance(p);
  return normalize(float3(tunnel_distance(p + float3(e, 0, 0)) - d, tunnel_distance(p + float3(0, e, 0)) - d,
                          tunnel_distance(p + float3(0, 0, e)) - d));
}

// The second output carries the rings' own light, for a bloom that glows only from them.
struct tunnel_out_t {
  float4 color : SV_Target0;
  float4 emissive : SV_Target1;
};

tunnel_out_t PsTunnel(float4 position : SV_Position) {
  float2 uv = screen_uv(position);
  float z = camPos.z + time.y * speed;
  float3 ro = float3(path(z) + camPos.xy, z);
  float3 ahead = float3(path(z + 3.0), z + 3.0);
  float3 forward = normalize(ahead - ro + camDir * 0.5);
  float3 right = normalize(cross(camUp, forward));
  float3 up = cross(forward, right);
  float2 p = centred(uv);
  float3 rd = normalize(forward + (p.x * right + p.y * up) * tan(camFov * 0.5));

  float t = 0.0;
  float d = 1.0;
  int steps = 0;
  for (int i = 0; i < 64; ++i) {
    d = tunnel_distance(ro + rd * t);
    if (d < 0.002 * t || t > 60.0) break;
    t += d * 0.7;
    steps = i;
  }
  float3 hit = ro + rd * t;
  float3 n = tunnel_normal(hit);
  float2 q = hit.xy - path(hit.z);
  float2 surface_uv = float2(atan2(q.y, q.x) / (2.0 * PI) * 3.0, hit.z * 0.25);
  float3 albedo = rockTexture.Sample(linearWrapSampler, surface_uv).rgb;
  albedo *= 0.6 + 0.4 * fbm(hit * 0.8);

  // Rings of light every four units along the tunnel.
  float ring = exp(-abs(frac(hit.z * 0.25 - time.x * 0.5) - 0.5) * 12.0);
  float3 light = lightColor.rgb * ring * (0.6 + 2.5 * snare);
  float diffuse = saturate(dot(n, -rd));
  float occlusion = 1.0 - float(steps) / 64.0;
  float3 color = albedo * (0.15 + diffuse * 0.9) * occlusion + light * albedo * 1.5;
  color += lightColor.rgb * ring * 0.2 * kick;
  float fog = exp(-t * 0.05);
  color = lerp(float3(0.02, 0.01, 0.04), color, fog);
  tunnel_out_t result;
  result.color = float4(filmic(color * (0.9 + 0.5 * intensity)), 1.0);
  result.emissive = float4((light * albedo + lightColor.rgb * ring * 0.3) * fog * 0.5, 1.0);
  return result;
}
