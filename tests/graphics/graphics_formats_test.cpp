// Vertex-format codes and input layouts, render-target type names and bits per pixel.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "graphics/input_layout.h"
#include "graphics/render_target_types.h"

namespace {

struct vertex_format_row_t {
  int code;
  const char* semantic;
  DXGI_FORMAT format;
  int bytes;
  int group;
};

const vertex_format_row_t vertex_format_rows[] = {
    {VF_POS, "POSITION", DXGI_FORMAT_R32G32B32_FLOAT, 12, 1},
    {VF_POS_XYZW, "POSITION", DXGI_FORMAT_R32G32B32A32_FLOAT, 16, 1},
    {VF_SV_POS_XYZW, "SV_POSITION", DXGI_FORMAT_R32G32B32A32_FLOAT, 16, 1},
    {VF_POS_XY, "POSITION", DXGI_FORMAT_R32G32_FLOAT, 8, 1},
    {VF_NORMAL, "NORMAL", DXGI_FORMAT_R32G32B32_FLOAT, 12, 5},
    {VF_TANGENT, "TANGENT", DXGI_FORMAT_R32G32B32_FLOAT, 12, 6},
    {VF_BINORMAL, "BINORMAL", DXGI_FORMAT_R32G32B32_FLOAT, 12, 7},
    {VF_TEX1, "TEXCOORD", DXGI_FORMAT_R32_FLOAT, 4, 8},
    {VF_TEX2, "TEXCOORD", DXGI_FORMAT_R32G32_FLOAT, 8, 8},
    {VF_TEX3, "TEXCOORD", DXGI_FORMAT_R32G32B32_FLOAT, 12, 8},
    {VF_TEX4, "TEXCOORD", DXGI_FORMAT_R32G32B32A32_FLOAT, 16, 8},
    {VF_COLOR, "COLOR", DXGI_FORMAT_R32G32B32A32_FLOAT, 16, 12},
    {VF_COLOR_U32, "COLOR", DXGI_FORMAT_R8G8B8A8_UNORM, 4, 12},
};

TEST(GraphicsFormatsTest, EveryVertexFormatCodeGivesItsOneElement) {
  for (const auto& row : vertex_format_rows) {
    SCOPED_TRACE(row.code);
    EXPECT_EQ(vertex_format_size(row.code), row.bytes);
    EXPECT_EQ(vertex_format_semantic(row.code), row.group);
    const auto elements = build_input_layout({row.code});
    ASSERT_EQ(elements.size(), 1u);
    EXPECT_STREQ(elements[0].SemanticName, row.semantic);
    EXPECT_EQ(elements[0].SemanticIndex, 0u);
    EXPECT_EQ(elements[0].Format, row.format);
    EXPECT_EQ(elements[0].InputSlot, 0u);
    EXPECT_EQ(elements[0].AlignedByteOffset, 0u);
    EXPECT_EQ(elements[0].InputSlotClass, D3D11_INPUT_PER_VERTEX_DATA);
    EXPECT_EQ(elements[0].InstanceDataStepRate, 0u);
  }
}

TEST(GraphicsFormatsTest, UnknownCodesHaveNoSizeSemanticOrElement) {
  for (int code : {0, 14, -1, 100}) {
    EXPECT_EQ(vertex_format_size(code), 0);
    EXPECT_EQ(vertex_format_semantic(code), 0);
    EXPECT_TRUE(build_input_layout({code}).empty());
  }
}

struct expected_element_t {
  const char* semantic;
  UINT index;
  UINT offset;
};

void expect_layout(const std::vector<int32_t>& codes, const std::vector<expected_element_t>& expected) {
  const auto elements = build_input_layout(codes);
  ASSERT_EQ(elements.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_STREQ(elements[i].SemanticName, expected[i].semantic);
    EXPECT_EQ(elements[i].SemanticIndex, expected[i].index);
    EXPECT_EQ(elements[i].AlignedByteOffset, expected[i].offset);
  }
}

TEST(GraphicsFormatsTest, OffsetsPackAndSemanticIndicesCountPerGroup) {
  expect_layout({VF_POS_XYZW, VF_TEX4, VF_TEX2},
                {{"POSITION", 0, 0}, {"TEXCOORD", 0, 16}, {"TEXCOORD", 1, 32}});
  // SV_POSITION counts together with POSITION.
  expect_layout({VF_POS, VF_SV_POS_XYZW}, {{"POSITION", 0, 0}, {"SV_POSITION", 1, 12}});
  expect_layout({VF_POS, VF_NORMAL, VF_TANGENT, VF_BINORMAL, VF_TEX1, VF_COLOR, VF_COLOR_U32, VF_TEX3},
                {{"POSITION", 0, 0},
                 {"NORMAL", 0, 12},
                 {"TANGENT", 0, 24},
                 {"BINORMAL", 0, 36},
                 {"TEXCOORD", 0, 48},
                 {"COLOR", 0, 52},
                 {"COLOR", 1, 68},
                 {"TEXCOORD", 1, 72}});
}

TEST(GraphicsFormatsTest, AnUnknownCodeInTheListMovesNothing) {
  expect_layout({VF_POS_XY, 42, VF_TEX2, 0}, {{"POSITION", 0, 0}, {"TEXCOORD", 0, 8}});
}

TEST(GraphicsFormatsTest, RenderTargetTypeNamesAreExact) {
  const std::pair<const char*, int> rows[] = {
      {"hdr16", 1}, {"hdr32", 2}, {"ldr", 3}, {"bloom", 4}, {"depth", 5},  {"occlusion", 6},
      {"HDR16", 0}, {"Ldr", 0},   {"", 0},    {"hdr", 0},   {"depth ", 0}, {"r16g16b16a16_float", 0},
  };
  for (const auto& [name, type] : rows) EXPECT_EQ(render_target_type_from_name(name), type) << name;
}

TEST(GraphicsFormatsTest, FormatBitsFollowTheTable) {
  const std::pair<uint32_t, int> rows[] = {
      {0, 0},    {116, 0},  {1000, 0}, {1, 128},  {4, 128},  {5, 96},   {8, 96},   {9, 64},
      {22, 64},  {102, 64}, {108, 64}, {109, 64}, {23, 32},  {28, 32},  {47, 32},  {48, 16},
      {59, 16},  {85, 16},  {86, 16},  {114, 16}, {115, 16}, {60, 8},   {65, 8},   {73, 8},
      {78, 8},   {82, 8},   {84, 8},   {94, 8},   {99, 8},   {111, 8},  {113, 8},  {66, 1},
      {70, 4},   {71, 4},   {72, 4},   {79, 4},   {81, 4},   {103, 12}, {106, 12}, {110, 12},
      {104, 24}, {105, 24}, {67, 32},  {87, 32},  {100, 32}, {101, 32}, {107, 32}, {93, 32},
  };
  for (const auto& [format, bits] : rows) EXPECT_EQ(dxgi_format_bits(format), bits) << format;
}

}  // namespace
