// Linear to display values with gamma 2.2, texel for texel (input and target have the same size).
Texture2D sourceTexture : register(t0);

float4 PsGamma(float4 position : SV_Position) : SV_Target {
  float4 color = sourceTexture.Load(int3(int2(position.xy), 0));
  return float4(pow(saturate(color.rgb), 1.0 / 2.2), color.a);
}
