cbuffer Frame : register(b0) {
  float4x4 view_projection;
  float time;
  float _pad1;
  float _pad2;
  float _pad3;
};

struct particle_t {
  float3 position;
  float life;
};
