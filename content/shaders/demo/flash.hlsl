// A flash of light over the whole frame, letterbox bars included, laid over the picture on a cut
// and decaying with its strength.
cbuffer Flash : register(b0) {
  float4 flashColor;
  float strength;
};

float4 PsFlash(float4 position : SV_Position) : SV_Target {
  return float4(flashColor.rgb * strength, 1.0);
}
