// The particle records the GPU particle block keeps in its two particle buffers. Structured
// elements are whole multiples of 16 bytes, each float3 followed by a scalar, so the layout the
// shaders index with is the one every compiler and GL agree on.

// What the billboards are drawn from (32 bytes).
struct render_particle_t {
  float3 position;
  float size;
  float4 color;
};

// What the simulation needs (48 bytes); a lifetime at or below 0 marks a dead particle.
struct sim_particle_t {
  float3 origin;
  float birth;
  float3 velocity;
  float lifetime;
  float4 color;
};
