#pragma once
// Test-only writer of a value tree as text of the project-file format, so that trees built by the
// savers can be read back by the real reader. Root children become entries; nested tables are inline.

#include <charconv>
#include <string>

#include <fmt/printf.h>

#include "text/serial_value.h"

namespace test_writer {

// Shortest text that reads back as the same float; always holds a '.' so that it reads as a float.
inline std::string float_text(float value) {
  char buffer[64];
  auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
  std::string text = error == std::errc() ? std::string(buffer, end) : std::string("0.0");
  if (text.find('.') == std::string::npos) text += ".0";
  return text;
}

inline std::string value_text(const serial::value_t& node) {
  using serial::value_kind_t;
  const serial::payload_t& p = node.payload;
  switch (node.kind) {
    case value_kind_t::bool_:
      return p.i[0] == 1 ? "true" : "false";
    case value_kind_t::int_:
      return fmt::sprintf("%d", p.i[0]);
    case value_kind_t::int2:
      return fmt::sprintf("int2(%d, %d)", p.i[0], p.i[1]);
    case value_kind_t::int3:
      return fmt::sprintf("int3(%d, %d, %d)", p.i[0], p.i[1], p.i[2]);
    case value_kind_t::int4:
      return fmt::sprintf("int4(%d, %d, %d, %d)", p.i[0], p.i[1], p.i[2], p.i[3]);
    case value_kind_t::float_:
      return float_text(p.f[0]);
    case value_kind_t::float2:
      return "float2(" + float_text(p.f[0]) + ", " + float_text(p.f[1]) + ")";
    case value_kind_t::float3:
      return "float3(" + float_text(p.f[0]) + ", " + float_text(p.f[1]) + ", " + float_text(p.f[2]) + ")";
    case value_kind_t::float4:
      return "float4(" + float_text(p.f[0]) + ", " + float_text(p.f[1]) + ", " + float_text(p.f[2]) + ", " +
             float_text(p.f[3]) + ")";
    case value_kind_t::color:
      return "color(" + float_text(p.f[0]) + ", " + float_text(p.f[1]) + ", " + float_text(p.f[2]) + ", " +
             float_text(p.f[3]) + ")";
    case value_kind_t::string:
      return "\"" + node.text + "\"";
    case value_kind_t::array: {
      std::string text = "[";
      for (const auto& item : node.items) text += value_text(*item) + ", ";
      return text + "]";
    }
    case value_kind_t::table: {
      std::string text = "{";
      for (const auto& [name, child] : node.children) text += name + " = " + value_text(*child) + ", ";
      return text + "}";
    }
    default:
      return "\"\"";
  }
}

// One entry per child of the root.
inline std::string document_text(const serial::value_t& root) {
  std::string text = "# written by the test writer\n";
  for (const auto& [name, child] : root.children) text += name + " = " + value_text(*child) + "\n";
  return text;
}

}  // namespace test_writer
