// Fast approximate anti-aliasing on display values: finds the local edge from the luma of the
// neighbours, then blends along it, with a sub-pixel pass for single-pixel features.
Texture2D sourceTexture : register(t0);
SamplerState linearClampSampler : register(s0);

cbuffer FxaaParams : register(b0) {
  float4 rcpFrame;     // 1 / width, 1 / height of the source
  float subpixel;      // how much sub-pixel aliasing is removed
  float edgeThreshold;
  float edgeThresholdMin;
  float searchScale;
};

float luma(float3 rgb) { return dot(rgb, float3(0.299, 0.587, 0.114)); }

float3 source_at(float2 uv) { return sourceTexture.SampleLevel(linearClampSampler, uv, 0).rgb; }

float4 FxaaPS(float4 position : SV_Position) : SV_Target {
  float2 texel = rcpFrame.xy;
  float2 uv = position.xy * texel;
  float3 centre = source_at(uv);
  float lumaM = luma(centre);
  float lumaN = luma(source_at(uv + float2(0, -texel.y)));
  float lumaS = luma(source_at(uv + float2(0, texel.y)));
  float lumaW = luma(source_at(uv + float2(-texel.x, 0)));
  float lumaE = luma(source_at(uv + float2(texel.x, 0)));
  float lumaMin = min(lumaM, min(min(lumaN, lumaS), min(lumaW, lumaE)));
  float lumaMax = max(lumaM, max(max(lumaN, lumaS), max(lumaW, lumaE)));
  float range = lumaMax - lumaMin;
  if (range < max(edgeThresholdMin, lumaMax * edgeThreshold)) return float4(centre, 1.0);

  float lumaNW = luma(source_at(uv + float2(-texel.x, -texel.y)));
  float lumaNE = luma(source_at(uv + float2(texel.x, -texel.y)));
  float lumaSW = luma(source_at(uv + float2(-texel.x, texel.y)));
  float lumaSE = luma(source_at(uv + float2(texel.x, texel.y)));

  // Sub-pixel blend amount from the contrast of the centre with its neighbourhood average.
  float average = (2.0 * (lumaN + lumaS + lumaW + lumaE) + lumaNW + lumaNE + lumaSW + lumaSE) / 12.0;
  float blend = saturate(abs(average - lumaM) / range);
  blend = smoothstep(0.0, 1.0, blend);
  blend = blend * blend * subpixel;

  float horizontal = abs(lumaNW + lumaNE - 2.0 * lumaN) + 2.0 * abs(lumaW + lumaE - 2.0 * lumaM) +
                     abs(lumaSW + lumaSE - 2.0 * lumaS);
  float vertical = abs(lumaNW + lumaSW - 2.0 * lumaW) + 2.0 * abs(lumaN + lumaS - 2.0 * lumaM) +
                   abs(lumaNE + lumaSE - 2.0 * lumaE);
  bool is_horizontal = horizontal >= vertical;
  float step_length = is_horizontal ? texel.y : texel.x;
  float luma1 = is_horizontal ? lumaN : lumaW;
  float luma2 = is_horizontal ? lumaS : lumaE;
  float gradient1 = abs(luma1 - lumaM);
  float gradient2 = abs(luma2 - lumaM);
  float edge_luma = 0.5 * (lumaM + (gradient1 >= gradient2 ? luma1 : luma2));
  float gradient = 0.25 * max(gradient1, gradient2);
  // Step towards the side with the steeper gradient: up or left is negative.
  if (gradient1 >= gradient2) step_length = -step_length;

  // Walk along the edge in both directions until the luma leaves the edge's.
  float2 edge_uv = uv;
  if (is_horizontal) edge_uv.y += step_length * 0.5;
  else edge_uv.x += step_length * 0.5;
  float2 along = is_horizontal ? float2(texel.x, 0) : float2(0, texel.y);
  float2 uv_neg = edge_uv - along;
  float2 uv_pos = edge_uv + along;
  float end_neg = luma(source_at(uv_neg)) - edge_luma;
  float end_pos = luma(source_at(uv_pos)) - edge_luma;
  bool done_neg = abs(end_neg) >= gradient;
  bool done_pos = abs(end_pos) >= gradient;
  for (int i = 0; i < 10 && !(done_neg && done_pos); ++i) {
    float stride = i < 3 ? 1.0 : searchScale;
    if (!done_neg) {
      uv_neg -= along * stride;
      end_neg = luma(source_at(uv_neg)) - edge_luma;
      done_neg = abs(end_neg) >= gradient;
    }
    if (!done_pos) {
      uv_pos += along * stride;
      end_pos = luma(source_at(uv_pos)) - edge_luma;
      done_pos = abs(end_pos) >= gradient;
    }
  }
  float distance_neg = is_horizontal ? uv.x - uv_neg.x : uv.y - uv_neg.y;
  float distance_pos = is_horizontal ? uv_pos.x - uv.x : uv_pos.y - uv.y;
  bool nearer_neg = distance_neg < distance_pos;
  float nearest = min(distance_neg, distance_pos);
  float edge_length = distance_neg + distance_pos;
  // Only blend when the centre's side of the edge agrees with the nearer end.
  bool centre_below = lumaM - edge_luma < 0.0;
  bool good_span = ((nearer_neg ? end_neg : end_pos) < 0.0) != centre_below;
  float edge_blend = good_span ? 0.5 - nearest / max(edge_length, 1e-6) : 0.0;
  float offset = max(edge_blend, blend);

  float2 final_uv = uv;
  if (is_horizontal) final_uv.y += offset * step_length;
  else final_uv.x += offset * step_length;
  return float4(source_at(final_uv), 1.0);
}
