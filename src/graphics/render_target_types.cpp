#include "graphics/render_target_types.h"

#include <array>
#include <string_view>
#include <utility>

int render_target_type_from_name(const std::string& name) {
  static constexpr std::array<std::pair<std::string_view, int>, 6> types = {{
      {"hdr16", RT_TYPE_HDR16},
      {"hdr32", RT_TYPE_HDR32},
      {"ldr", RT_TYPE_LDR},
      {"bloom", RT_TYPE_BLOOM},
      {"depth", RT_TYPE_DEPTH},
      {"occlusion", RT_TYPE_OCCLUSION},
  }};
  for (const auto& [type_name, type] : types)
    if (name == type_name) return type;
  return RT_TYPE_NONE;
}

int dxgi_format_bits(uint32_t format) {
  if (format < 1 || format > 115) return 0;
  if (format <= 4) return 128;
  if (format <= 8) return 96;
  if (format <= 22 || format == 102 || format == 108 || format == 109) return 64;
  if ((format >= 48 && format <= 59) || format == 85 || format == 86 || format == 114 || format == 115)
    return 16;
  if ((format >= 60 && format <= 65) || (format >= 73 && format <= 78) || (format >= 82 && format <= 84) ||
      (format >= 94 && format <= 99) || (format >= 111 && format <= 113))
    return 8;
  if (format == 66) return 1;
  if ((format >= 70 && format <= 72) || (format >= 79 && format <= 81)) return 4;
  if (format == 103 || format == 106 || format == 110) return 12;
  if (format == 104 || format == 105) return 24;
  return 32;
}
