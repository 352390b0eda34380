#include <gtest/gtest.h>

#include "shaders/render_pass_desc.h"

TEST(RenderPassNames, PresetTopologyAndLayoutNames) {
  struct case_t {
    int (*parse)(const std::string&);
    const char* name;
    int id;
  };
  const case_t cases[] = {
      {parse_rasterizer_state_name, "default", 1},       {parse_rasterizer_state_name, "CullNone", 2},
      {parse_rasterizer_state_name, "cullfrontface", 3}, {parse_rasterizer_state_name, "WireFrame", 4},
      {parse_rasterizer_state_name, "cullback", 0},      {parse_rasterizer_state_name, "", 0},
      {parse_blend_state_name, "Default", 1},            {parse_blend_state_name, "srcalpha", 2},
      {parse_blend_state_name, "ignorealpha", 3},        {parse_blend_state_name, "OneOne", 4},
      {parse_blend_state_name, "colorwritesoff", 5},     {parse_blend_state_name, "premultiplied", 6},
      {parse_blend_state_name, "weightedblend", 7},      {parse_blend_state_name, "WeightedBlendResolve", 8},
      {parse_blend_state_name, "additive", 0},           {parse_depth_stencil_state_name, "default", 1},
      {parse_depth_stencil_state_name, "Disabled", 2},   {parse_depth_stencil_state_name, "writedisabled", 3},
      {parse_depth_stencil_state_name, "DEPTHEQUAL", 4}, {parse_depth_stencil_state_name, "less", 0},
      {parse_topology_name, "pointlist", 1},             {parse_topology_name, "LineList", 2},
      {parse_topology_name, "linestrip", 3},             {parse_topology_name, "trianglelist", 4},
      {parse_topology_name, "TriangleStrip", 5},         {parse_topology_name, "quads", 4},
      {parse_topology_name, "", 4},
  };
  for (const case_t& c : cases) EXPECT_EQ(c.parse(c.name), c.id) << c.name;

  const char* tokens[] = {"VF_POS",  "VF_POS_XYZW", "VF_SV_POS_XYZW", "VF_POS_XY", "VF_NORMAL",
                          "VF_TANGENT", "VF_BINORMAL", "VF_TEX1",  "VF_TEX2",   "VF_TEX3",
                          "VF_TEX4", "VF_COLOR",    "VF_COLOR_U32"};
  for (uint32_t i = 0; i < std::size(tokens); ++i) EXPECT_EQ(parse_vertex_format_name(tokens[i]), i + 1) << tokens[i];
  EXPECT_EQ(parse_vertex_format_name("vf_pos"), 0u);
  EXPECT_EQ(parse_vertex_format_name("VF_FOO"), 0u);
}
