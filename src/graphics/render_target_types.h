#pragma once
// Render-target type names of shader descriptions and metadata, and bits per pixel of DXGI
// formats. Pure; also called from shader compile tasks.

#include <cstdint>
#include <string>

enum render_target_type_t : int32_t {
  RT_TYPE_NONE = 0,
  RT_TYPE_HDR16 = 1,
  RT_TYPE_HDR32 = 2,
  RT_TYPE_LDR = 3,
  RT_TYPE_BLOOM = 4,
  RT_TYPE_DEPTH = 5,
  RT_TYPE_OCCLUSION = 6,
};

// "hdr16" 1, "hdr32" 2, "ldr" 3, "bloom" 4, "depth" 5, "occlusion" 6, compared exactly; else 0.
int render_target_type_from_name(const std::string& name);
// Bits per pixel (average bits per texel for block-compressed formats); 0 for unknown codes.
int dxgi_format_bits(uint32_t format);
