// The DDS reader: header checks and formats without a device; then files written by ImageMagick
// and by the test writer, created on the device and read back texel by texel through shaders.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/dds_file_writer.h"
#include "media/dds_texture_reader.h"
#include "common/texture_draw_fixture.h"

namespace {

using namespace dds_test;

const HRESULT invalid_data = HRESULT(0x8007000Du);
const HRESULT not_supported = HRESULT(0x80070032u);
const HRESULT end_of_data = HRESULT(0x80070026u);

HRESULT read_header(const std::vector<uint8_t>& bytes, dds_layout_t& layout) {
  return dds_read_header(bytes.data(), bytes.size(), layout);
}
HRESULT read_header(const std::vector<uint8_t>& bytes) {
  dds_layout_t layout;
  return read_header(bytes, layout);
}

dds_header_t dx10_header(uint32_t format, uint32_t dimension, uint32_t width, uint32_t height) {
  dds_header_t h;
  h.dx10 = true, h.dxgi_format = format, h.dimension = dimension, h.width = width, h.height = height;
  return h;
}

TEST(DdsHeaderTest, MalformedHeadersFail) {
  std::vector<uint8_t> good = dds_file(dds_header_t{});
  EXPECT_EQ(read_header(std::vector<uint8_t>(good.begin(), good.begin() + 127)), E_FAIL);
  dds_header_t bad_size;
  bad_size.header_size = 100;
  EXPECT_EQ(read_header(dds_file(bad_size)), E_FAIL);
  dds_header_t bad_magic;
  bad_magic.magic = fourcc("DDS!");
  EXPECT_EQ(read_header(dds_file(bad_magic)), E_FAIL);
  dds_header_t bad_pf;
  bad_pf.pf_size = 24;
  EXPECT_EQ(read_header(dds_file(bad_pf)), E_FAIL);
  // A DX10 file cut inside its extension header.
  std::vector<uint8_t> dx10 = dds_file(dx10_header(28, 3, 1, 1));
  EXPECT_EQ(read_header(std::vector<uint8_t>(dx10.begin(), dx10.begin() + 147)), E_FAIL);
  dds_layout_t layout;
  EXPECT_EQ(dds_read_header(nullptr, 200, layout), E_INVALIDARG);
}

TEST(DdsHeaderTest, UnsupportedLayoutsAreRefused) {
  struct case_t {
    const char* what;
    dds_header_t header;
    HRESULT expected;
  };
  std::vector<case_t> cases;
  {
    dds_header_t h;
    h.caps2 = caps2_cube_all_faces & ~0x2000u;
    cases.push_back({"cube missing a face", h, not_supported});
  }
  {
    dds_header_t h = dx10_header(28, 3, 4, 4);
    h.array_size = 0;
    cases.push_back({"DX10 array size 0", h, invalid_data});
  }
  cases.push_back({"DX10 P8", dx10_header(113, 3, 4, 4), not_supported});
  cases.push_back({"DX10 AI44", dx10_header(111, 3, 4, 4), not_supported});
  cases.push_back({"DX10 unknown format", dx10_header(200, 3, 4, 4), not_supported});
  cases.push_back({"DX10 1D with a height", dx10_header(28, 2, 4, 2), invalid_data});
  cases.push_back({"DX10 3D without the volume flag", dx10_header(28, 4, 4, 4), invalid_data});
  {
    dds_header_t h = dx10_header(28, 4, 4, 4);
    h.flags |= flag_volume, h.depth = 4, h.array_size = 2;
    cases.push_back({"DX10 3D array", h, not_supported});
  }
  cases.push_back({"DX10 buffer dimension", dx10_header(28, 1, 4, 4), not_supported});
  {
    dds_header_t h = dx10_header(28, 3, 4, 4);
    h.misc_flags = 0x4, h.array_size = 342;  // 2052 faces
    cases.push_back({"DX10 cube array over 2048 faces", h, not_supported});
  }
  {
    dds_header_t h = dx10_header(28, 3, 4, 4);
    h.misc_flags = 0x4, h.array_size = 0x40000000;  // six times this wraps 32 bits
    cases.push_back({"DX10 cube count that wraps", h, not_supported});
  }
  {
    dds_header_t h;
    h.flags |= flag_volume, h.width = 4096, h.height = 16, h.depth = 16;
    cases.push_back({"legacy volume 4096 wide", h, not_supported});
  }
  {
    dds_header_t h;
    h.width = h.height = 1 << 15, h.mip_count = 16;
    cases.push_back({"mip count 16", h, not_supported});
  }
  {
    dds_header_t h;
    h.width = 16385;
    cases.push_back({"2D over 16384 wide", h, not_supported});
  }
  {
    dds_header_t h = dx10_header(28, 2, 16385, 1);
    cases.push_back({"1D over 16384 wide", h, not_supported});
  }
  {
    dds_header_t h = dx10_header(28, 3, 4, 4);
    h.array_size = 2049;
    cases.push_back({"2D array of 2049", h, not_supported});
  }
  {
    dds_header_t h;
    h.pf_bits = 24, h.a_mask = 0;
    cases.push_back({"24-bit RGB", h, not_supported});
  }
  {
    dds_header_t h;
    h.pf_flags = pf_fourcc, h.pf_fourcc_code = fourcc("ETC1");
    cases.push_back({"unknown four-character code", h, not_supported});
  }
  for (const case_t& c : cases) EXPECT_EQ(read_header(dds_file(c.header)), c.expected) << c.what;
}

TEST(DdsHeaderTest, LegacyPixelFormatsMapToDxgiFormats) {
  struct case_t {
    uint32_t flags, bits, r, g, b, a, code;
    DXGI_FORMAT expected;
  };
  const case_t cases[] = {
      {pf_rgb, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000, 0, DXGI_FORMAT_R8G8B8A8_UNORM},
      {pf_rgb | pf_alpha, 32, 0xFFFF, 0xFFFF0000, 0, 0, 0, DXGI_FORMAT_R16G16_UNORM},
      {pf_rgb | pf_alpha, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, 0, DXGI_FORMAT_B8G8R8A8_UNORM},
      {pf_rgb, 32, 0xFF0000, 0xFF00, 0xFF, 0, 0, DXGI_FORMAT_B8G8R8X8_UNORM},
      {pf_rgb, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000, 0, DXGI_FORMAT_R10G10B10A2_UNORM},
      {pf_rgb, 32, 0xFFFFFFFF, 0, 0, 0, 0, DXGI_FORMAT_R32_FLOAT},
      {pf_rgb, 16, 0x7C00, 0x3E0, 0x1F, 0x8000, 0, DXGI_FORMAT_B5G5R5A1_UNORM},
      {pf_rgb, 16, 0xF800, 0x7E0, 0x1F, 0, 0, DXGI_FORMAT_B5G6R5_UNORM},
      {pf_rgb, 16, 0xF00, 0xF0, 0xF, 0xF000, 0, DXGI_FORMAT_B4G4R4A4_UNORM},
      {pf_luminance, 8, 0xFF, 0, 0, 0, 0, DXGI_FORMAT_R8_UNORM},
      {pf_luminance, 16, 0xFFFF, 0, 0, 0, 0, DXGI_FORMAT_R16_UNORM},
      {pf_luminance | pf_alpha, 16, 0xFF, 0, 0, 0xFF00, 0, DXGI_FORMAT_R8G8_UNORM},
      {pf_luminance, 8, 0xFF, 0, 0, 0xFF00, 0, DXGI_FORMAT_R8G8_UNORM},
      {pf_alpha, 8, 0, 0, 0, 0xFF, 0, DXGI_FORMAT_A8_UNORM},
      {pf_bump, 16, 0xFF, 0xFF00, 0, 0, 0, DXGI_FORMAT_R8G8_SNORM},
      {pf_bump, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000, 0, DXGI_FORMAT_R8G8B8A8_SNORM},
      {pf_bump, 32, 0xFFFF, 0xFFFF0000, 0, 0, 0, DXGI_FORMAT_R16G16_SNORM},
      {pf_fourcc, 0, 0, 0, 0, 0, fourcc("DXT1"), DXGI_FORMAT_BC1_UNORM},
      {pf_fourcc, 0, 0, 0, 0, 0, fourcc("DXT2"), DXGI_FORMAT_BC2_UNORM},
      {pf_fourcc, 0, 0, 0, 0, 0, fourcc("DXT3"), DXGI_FORMAT_BC2_UNORM},
      {pf_fourcc, 0, 0, 0, 0, 0, fourcc("DXT4"), DXGI_FORMAT_BC3_UNORM},
      {pf_fourcc, 0, 0, 0, 0, 0, fourcc("DXT5"), DXGI_FORMAT_BC3_UNORM},
      {pf_fourcc, 0, 0, 0, 0, 0, fourcc("ATI1"), DXGI_FORMAT_BC4_UNORM},
      {pf_fourcc, 0, 0, 0, 0, 0, fourcc("BC4U"), DXGI_FORMAT_BC4_UNORM},
      {pf_fourcc, 0, 0, 0, 0, 0, fourcc("BC4S"), DXGI_FORMAT_BC4_SNORM},
      {pf_fourcc, 0, 0, 0, 0, 0, fourcc("ATI2"), DXGI_FORMAT_BC5_UNORM},
      {pf_fourcc, 0, 0, 0, 0, 0, fourcc("BC5U"), DXGI_FORMAT_BC5_UNORM},
      {pf_fourcc, 0, 0, 0, 0, 0, fourcc("BC5S"), DXGI_FORMAT_BC5_SNORM},
      {pf_fourcc, 0, 0, 0, 0, 0, fourcc("RGBG"), DXGI_FORMAT_R8G8_B8G8_UNORM},
      {pf_fourcc, 0, 0, 0, 0, 0, fourcc("GRGB"), DXGI_FORMAT_G8R8_G8B8_UNORM},
      {pf_fourcc, 0, 0, 0, 0, 0, fourcc("YUY2"), DXGI_FORMAT_YUY2},
      {pf_fourcc, 0, 0, 0, 0, 0, 36, DXGI_FORMAT_R16G16B16A16_UNORM},
      {pf_fourcc, 0, 0, 0, 0, 0, 110, DXGI_FORMAT_R16G16B16A16_SNORM},
      {pf_fourcc, 0, 0, 0, 0, 0, 111, DXGI_FORMAT_R16_FLOAT},
      {pf_fourcc, 0, 0, 0, 0, 0, 112, DXGI_FORMAT_R16G16_FLOAT},
      {pf_fourcc, 0, 0, 0, 0, 0, 113, DXGI_FORMAT_R16G16B16A16_FLOAT},
      {pf_fourcc, 0, 0, 0, 0, 0, 114, DXGI_FORMAT_R32_FLOAT},
      {pf_fourcc, 0, 0, 0, 0, 0, 115, DXGI_FORMAT_R32G32_FLOAT},
      {pf_fourcc, 0, 0, 0, 0, 0, 116, DXGI_FORMAT_R32G32B32A32_FLOAT},
      // The alpha flag stops the search before bump formats and codes.
      {pf_alpha | pf_fourcc, 0, 0, 0, 0, 0, fourcc("DXT1"), DXGI_FORMAT_UNKNOWN},
      {pf_alpha, 16, 0, 0, 0, 0xFFFF, 0, DXGI_FORMAT_UNKNOWN},
  };
  for (const case_t& c : cases) {
    dds_header_t h;
    h.pf_flags = c.flags, h.pf_bits = c.bits, h.pf_fourcc_code = c.code;
    h.r_mask = c.r, h.g_mask = c.g, h.b_mask = c.b, h.a_mask = c.a;
    dds_layout_t layout;
    const HRESULT hr = read_header(dds_file(h), layout);
    if (c.expected == DXGI_FORMAT_UNKNOWN) {
      EXPECT_EQ(hr, not_supported) << c.flags << " " << c.code;
    } else {
      EXPECT_EQ(hr, S_OK) << dxgi_format_info(c.expected).name;
      EXPECT_EQ(layout.format, c.expected) << dxgi_format_info(c.expected).name;
    }
  }
}

TEST(DdsHeaderTest, SurfaceSizesFollowTheFormat) {
  struct case_t {
    DXGI_FORMAT format;
    uint32_t w, h;
    uint64_t row, level;
  };
  const case_t cases[] = {
      {DXGI_FORMAT_BC1_UNORM, 256, 256, 512, 32768}, {DXGI_FORMAT_BC1_UNORM, 1, 1, 8, 8},
      {DXGI_FORMAT_BC1_UNORM, 0, 4, 0, 0},           {DXGI_FORMAT_BC4_SNORM, 6, 5, 16, 32},
      {DXGI_FORMAT_BC3_UNORM, 2, 2, 16, 16},         {DXGI_FORMAT_BC7_UNORM, 8, 0, 32, 0},
      {DXGI_FORMAT_YUY2, 3, 2, 8, 16},               {DXGI_FORMAT_R8G8_B8G8_UNORM, 4, 1, 8, 8},
      {DXGI_FORMAT_NV12, 4, 4, 4, 24},               {DXGI_FORMAT_P010, 4, 4, 8, 48},
      {DXGI_FORMAT_Y210, 3, 1, 16, 16},              {DXGI_FORMAT_NV11, 5, 2, 8, 32},
      {DXGI_FORMAT_R8G8B8A8_UNORM, 3, 2, 12, 24},    {DXGI_FORMAT_R1_UNORM, 9, 2, 2, 4},
      {DXGI_FORMAT_R32G32B32_FLOAT, 2, 2, 24, 48},   {DXGI_FORMAT_R16_FLOAT, 5, 1, 10, 10},
  };
  for (const case_t& c : cases) {
    uint64_t row = 0, level = 0;
    EXPECT_EQ(dds_surface_size(c.format, c.w, c.h, row, level), S_OK) << c.format;
    EXPECT_EQ(row, c.row) << c.format << " " << c.w << "x" << c.h;
    EXPECT_EQ(level, c.level) << c.format << " " << c.w << "x" << c.h;
  }
  uint64_t row = 0, level = 0;
  EXPECT_EQ(dds_surface_size(DXGI_FORMAT_UNKNOWN, 4, 4, row, level), E_INVALIDARG);
}

TEST(DdsHeaderTest, Dxt1MipChainTakesEveryLevelInOrder) {
  dds_header_t h;
  h.pf_flags = pf_fourcc, h.pf_fourcc_code = fourcc("DXT1"), h.width = h.height = 256, h.mip_count = 9;
  const size_t total = 32768 + 8192 + 2048 + 512 + 128 + 32 + 8 + 8 + 8;
  std::vector<uint8_t> file = dds_file(h, std::vector<uint8_t>(total, 0));
  dds_layout_t layout;
  ASSERT_EQ(read_header(file, layout), S_OK);
  EXPECT_EQ(layout.dimension, D3D11_RESOURCE_DIMENSION_TEXTURE2D);
  EXPECT_EQ(layout.format, DXGI_FORMAT_BC1_UNORM);
  dds_init_data_t init;
  ASSERT_EQ(dds_fill_init_data(layout, 0, init), S_OK);
  ASSERT_EQ(init.entries.size(), 9u);
  EXPECT_EQ(init.entries[0].pSysMem, file.data() + 128);
  EXPECT_EQ(init.entries[0].SysMemPitch, 512u);
  EXPECT_EQ(init.entries[8].SysMemSlicePitch, 8u);
  EXPECT_EQ(init.entries[8].pSysMem, file.data() + 128 + total - 8);
  EXPECT_EQ(init.skipped_levels, 0u);

  // One byte short of the last level.
  file.pop_back();
  ASSERT_EQ(read_header(file, layout), S_OK);
  EXPECT_EQ(dds_fill_init_data(layout, 0, init), end_of_data);
}

TEST(DdsHeaderTest, NoEntryReachesPastTheFile) {
  // A volume of depth 0 would advance by nothing, yet its entry covers a whole 2 × 2 level.
  dds_header_t h;
  h.flags |= flag_volume, h.width = h.height = 2, h.depth = 0;
  dds_layout_t layout;
  ASSERT_EQ(read_header(dds_file(h, {1, 2, 3, 4}), layout), S_OK);
  dds_init_data_t init;
  EXPECT_EQ(dds_fill_init_data(layout, 0, init), end_of_data);
  ASSERT_EQ(read_header(dds_file(h, std::vector<uint8_t>(16, 0)), layout), S_OK);
  EXPECT_EQ(dds_fill_init_data(layout, 0, init), S_OK);
}

TEST(DdsHeaderTest, SizeLimitDropsTheLargerLevelsOfEverySlice) {
  dds_header_t h = dx10_header(28, 3, 64, 32);
  h.mip_count = 4, h.array_size = 2;
  const std::vector<uint8_t> file = dds_file(h, tagged_rgba8(2, 4, 64, 32, 1));
  dds_layout_t layout;
  ASSERT_EQ(read_header(file, layout), S_OK);
  dds_init_data_t init;
  ASSERT_EQ(dds_fill_init_data(layout, 16, init), S_OK);
  EXPECT_EQ(init.skipped_levels, 2u);
  EXPECT_EQ(init.width, 16u);
  EXPECT_EQ(init.height, 8u);
  ASSERT_EQ(init.entries.size(), 4u);
  // Slice 1 starts after all four levels of slice 0.
  const size_t slice_bytes = (64 * 32 + 32 * 16 + 16 * 8 + 8 * 4) * 4;
  EXPECT_EQ(init.entries[2].pSysMem, file.data() + 148 + slice_bytes + (64 * 32 + 32 * 16) * 4);
  // A limit below every level leaves nothing to create.
  EXPECT_EQ(dds_fill_init_data(layout, 4, init), E_FAIL);
}

TEST(DdsHeaderTest, ArgumentsAreChecked) {
  const std::vector<uint8_t> file = dds_file(dds_header_t{}, {1, 2, 3, 4});
  ID3D11Resource* texture = reinterpret_cast<ID3D11Resource*>(0x1);
  ID3D11ShaderResourceView* view = reinterpret_cast<ID3D11ShaderResourceView*>(0x1);
  EXPECT_EQ(load_dds_texture(nullptr, file.data(), file.size(), &texture, &view), E_INVALIDARG);
  EXPECT_EQ(texture, nullptr);
  EXPECT_EQ(view, nullptr);
}

// Files on the device, read back through a shader that fetches the texels named by its probes.
class DdsTextureTest : public texture_test::texture_draw_fixture_t {
 protected:
  static void SetUpTestSuite() {
    dir = ::testing::TempDir() + "dds_reader_" + std::to_string(getpid()) + "/";
    ASSERT_EQ(std::system(("mkdir -p " + dir).c_str()), 0);
    // A 32 × 32 picture of four 16 × 16 squares: red, green / blue, white.
    const std::string quadrants =
        "convert \\( \\( -size 16x16 xc:red xc:lime +append \\) \\( -size 16x16 xc:blue xc:white +append \\)"
        " -append \\) -alpha on ";
    for (const char* compression : {"dxt1", "dxt5", "none"})
      ASSERT_EQ(std::system((quadrants + "-define dds:compression=" + compression + " -define dds:mipmaps=5 " +
                             dir + compression + ".dds")
                                .c_str()),
                0)
          << "ImageMagick's convert is needed";
    ASSERT_EQ(std::system((quadrants + "-alpha off -define dds:compression=none " + dir + "rgb24.dds").c_str()), 0);
  }

  static std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
  }

  struct loaded_t {
    HRESULT hr = E_FAIL;
    com_ptr_t<ID3D11Resource> texture;
    com_ptr_t<ID3D11ShaderResourceView> view;
    D3D11_SHADER_RESOURCE_VIEW_DESC view_desc{};
  };
  loaded_t load(const std::vector<uint8_t>& file) {
    loaded_t result;
    result.hr = load_dds_texture(device, file.data(), file.size(), &result.texture, &result.view);
    if (result.view) result.view->GetDesc(&result.view_desc);
    return result;
  }

  // One RGBA8 texel per probe (x, y, z or slice, level); `fetch` is HLSL that reads `tex` at `p`.
  std::vector<uint32_t> probe(ID3D11ShaderResourceView* view, const std::string& texture_type,
                              const std::string& fetch, const std::vector<std::array<int32_t, 4>>& probes) {
    const std::string source = "cbuffer probes : register(b0) { int4 probe[16]; };\n" + texture_type +
                               " tex : register(t0);\nSamplerState point_clamp : register(s0);\n"
                               "float4 main(float4 pos : SV_Position) : SV_Target {\n"
                               "  int4 p = probe[int(pos.x)];\n  return " +
                               fetch + ";\n}\n";
    std::vector<std::array<int32_t, 4>> padded = probes;
    padded.resize(16);
    auto constants = constant_buffer(padded.data(), UINT(padded.size() * 16));
    return draw_texture(source, view, UINT(probes.size()), 1, constants);
  }

  static std::string dir;
};
std::string DdsTextureTest::dir;

uint8_t channel(uint32_t texel, int index) { return uint8_t(texel >> (index * 8)); }

void expect_near(uint32_t texel, uint32_t expected, int tolerance, const std::string& what) {
  for (int c = 0; c < 4; ++c)
    EXPECT_NEAR(channel(texel, c), channel(expected, c), tolerance) << what << " channel " << c;
}

TEST_F(DdsTextureTest, ImageMagickFilesLoadWithEveryMipLevel) {
  using d3d11_test::rgba;
  struct case_t {
    const char* file;
    DXGI_FORMAT format;
    int tolerance;
  };
  for (const case_t& c : {case_t{"dxt1.dds", DXGI_FORMAT_BC1_UNORM, 8}, case_t{"dxt5.dds", DXGI_FORMAT_BC3_UNORM, 8},
                          case_t{"none.dds", DXGI_FORMAT_B8G8R8A8_UNORM, 0}}) {
    SCOPED_TRACE(c.file);
    loaded_t loaded = load(read_file(dir + c.file));
    ASSERT_EQ(loaded.hr, S_OK);
    com_ptr_t<ID3D11Texture2D> texture;
    ASSERT_EQ(loaded.texture->QueryInterface(__uuidof(ID3D11Texture2D), reinterpret_cast<void**>(&texture)), S_OK);
    D3D11_TEXTURE2D_DESC desc{};
    texture->GetDesc(&desc);
    EXPECT_EQ(desc.Width, 32u);
    EXPECT_EQ(desc.Height, 32u);
    EXPECT_EQ(desc.MipLevels, 6u);
    EXPECT_EQ(desc.ArraySize, 1u);
    EXPECT_EQ(desc.Format, c.format);
    EXPECT_EQ(desc.Usage, D3D11_USAGE_DEFAULT);
    EXPECT_EQ(desc.BindFlags, UINT(D3D11_BIND_SHADER_RESOURCE));
    EXPECT_EQ(loaded.view_desc.ViewDimension, D3D11_SRV_DIMENSION_TEXTURE2D);
    EXPECT_EQ(loaded.view_desc.Texture2D.MipLevels, 6u);

    // The quadrants at their centres in the three largest levels (the first row is the top),
    // the average of all four in the 1 × 1 level.
    std::vector<std::array<int32_t, 4>> probes;
    std::vector<uint32_t> expected;
    for (int level = 0; level < 3; ++level) {
      const int quarter = 8 >> level, three_quarters = 24 >> level;
      probes.insert(probes.end(), {{quarter, quarter, 0, level},
                                   {three_quarters, quarter, 0, level},
                                   {quarter, three_quarters, 0, level},
                                   {three_quarters, three_quarters, 0, level}});
      expected.insert(expected.end(), {rgba(255, 0, 0, 255), rgba(0, 255, 0, 255), rgba(0, 0, 255, 255),
                                       rgba(255, 255, 255, 255)});
    }
    probes.push_back({0, 0, 0, 5});
    expected.push_back(rgba(128, 128, 128, 255));
    const auto texels = probe(loaded.view, "Texture2D<float4>", "tex.Load(int3(p.xy, p.w))", probes);
    ASSERT_EQ(texels.size(), expected.size());
    for (size_t i = 0; i < texels.size(); ++i)
      expect_near(texels[i], expected[i], i + 1 == texels.size() ? c.tolerance + 3 : c.tolerance,
                  "probe " + std::to_string(i));
  }
}

TEST_F(DdsTextureTest, ImageMagickRgbWithoutAlphaIsNotSupported) {
  loaded_t loaded = load(read_file(dir + "rgb24.dds"));
  EXPECT_EQ(loaded.hr, not_supported);
  EXPECT_EQ(loaded.texture, nullptr);
  EXPECT_EQ(loaded.view, nullptr);
}

TEST_F(DdsTextureTest, Dx10ArraysOneDimensionalAndVolumeTexturesLoad) {
  using dds_test::tagged_texel;
  struct case_t {
    const char* what;
    dds_header_t header;
    uint32_t slices, mips, w, h, d;
    D3D11_SRV_DIMENSION view_dimension;
    const char* texture_type;
    const char* fetch;
  };
  auto volume = [](dds_header_t h, uint32_t depth) {
    h.flags |= flag_volume, h.depth = depth;
    return h;
  };
  dds_header_t array_2d = dx10_header(28, 3, 8, 4);
  array_2d.mip_count = 3, array_2d.array_size = 3;
  dds_header_t one_d = dx10_header(28, 2, 8, 1);
  one_d.mip_count = 4;
  dds_header_t one_d_array = one_d;
  one_d_array.array_size = 2, one_d_array.flags &= ~flag_height, one_d_array.height = 0;
  dds_header_t legacy_volume;
  legacy_volume.width = legacy_volume.height = 4, legacy_volume.mip_count = 3;
  dds_header_t dx10_volume = dx10_header(28, 4, 4, 2);
  const case_t cases[] = {
      {"2D array", array_2d, 3, 3, 8, 4, 1, D3D11_SRV_DIMENSION_TEXTURE2DARRAY, "Texture2DArray<float4>",
       "tex.Load(int4(p.xyz, p.w))"},
      {"1D", one_d, 1, 4, 8, 1, 1, D3D11_SRV_DIMENSION_TEXTURE1D, "Texture1D<float4>", "tex.Load(int2(p.x, p.w))"},
      {"1D array", one_d_array, 2, 4, 8, 1, 1, D3D11_SRV_DIMENSION_TEXTURE1DARRAY, "Texture1DArray<float4>",
       "tex.Load(int3(p.x, p.z, p.w))"},
      {"legacy volume", volume(legacy_volume, 4), 1, 3, 4, 4, 4, D3D11_SRV_DIMENSION_TEXTURE3D,
       "Texture3D<float4>", "tex.Load(int4(p.xyz, p.w))"},
      {"DX10 volume", volume(dx10_volume, 3), 1, 1, 4, 2, 3, D3D11_SRV_DIMENSION_TEXTURE3D, "Texture3D<float4>",
       "tex.Load(int4(p.xyz, p.w))"},
  };
  for (const case_t& c : cases) {
    SCOPED_TRACE(c.what);
    loaded_t loaded = load(dds_file(c.header, tagged_rgba8(c.slices, c.mips, c.w, c.h, c.d)));
    ASSERT_EQ(loaded.hr, S_OK);
    EXPECT_EQ(loaded.view_desc.ViewDimension, c.view_dimension);
    EXPECT_EQ(loaded.view_desc.Format, DXGI_FORMAT_R8G8B8A8_UNORM);
    EXPECT_EQ(loaded.view_desc.Texture2DArray.MipLevels, c.mips);
    const bool array = c.view_dimension == D3D11_SRV_DIMENSION_TEXTURE2DARRAY ||
                       c.view_dimension == D3D11_SRV_DIMENSION_TEXTURE1DARRAY;
    if (array) {
      EXPECT_EQ(loaded.view_desc.Texture2DArray.ArraySize, c.slices);
    }
    // The last texel of every level of every slice (and of every depth slice of a volume).
    std::vector<std::array<int32_t, 4>> probes;
    std::vector<uint32_t> expected;
    for (uint32_t s = 0; s < c.slices; ++s)
      for (uint32_t level = 0; level < c.mips; ++level) {
        const uint32_t lw = std::max(1u, c.w >> level), lh = std::max(1u, c.h >> level),
                       ld = std::max(1u, c.d >> level);
        for (uint32_t z = 0; z < ld; ++z) {
          probes.push_back({int32_t(lw - 1), int32_t(lh - 1), int32_t(array ? s : z), int32_t(level)});
          expected.push_back(tagged_texel(s, level, z, lw - 1, lh - 1));
        }
      }
    ASSERT_LE(probes.size(), 16u);
    const auto texels = probe(loaded.view, c.texture_type, c.fetch, probes);
    EXPECT_EQ(texels, expected);
  }
}

TEST_F(DdsTextureTest, CubeMapsAndCubeArraysLoadEveryFace) {
  using dds_test::tagged_texel;
  dds_header_t legacy_cube;
  legacy_cube.width = legacy_cube.height = 2, legacy_cube.mip_count = 2, legacy_cube.caps2 = caps2_cube_all_faces;
  dds_header_t cube_array = dx10_header(28, 3, 2, 2);
  cube_array.misc_flags = 0x4, cube_array.array_size = 2;
  // Face order +X, −X, +Y, −Y, +Z, −Z; a face centre seen along its axis.
  const int32_t axes[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};

  for (const bool array : {false, true}) {
    SCOPED_TRACE(array ? "cube array" : "legacy cube");
    const uint32_t cubes = array ? 2 : 1, mips = array ? 1 : 2;
    loaded_t loaded = load(dds_file(array ? cube_array : legacy_cube, tagged_rgba8(6 * cubes, mips, 2, 2, 1)));
    ASSERT_EQ(loaded.hr, S_OK);
    com_ptr_t<ID3D11Texture2D> texture;
    ASSERT_EQ(loaded.texture->QueryInterface(__uuidof(ID3D11Texture2D), reinterpret_cast<void**>(&texture)), S_OK);
    D3D11_TEXTURE2D_DESC desc{};
    texture->GetDesc(&desc);
    EXPECT_EQ(desc.ArraySize, 6 * cubes);
    EXPECT_EQ(desc.MiscFlags, UINT(D3D11_RESOURCE_MISC_TEXTURECUBE));
    EXPECT_EQ(loaded.view_desc.ViewDimension,
              array ? D3D11_SRV_DIMENSION_TEXTURECUBEARRAY : D3D11_SRV_DIMENSION_TEXTURECUBE);
    if (array) {
      EXPECT_EQ(loaded.view_desc.TextureCubeArray.NumCubes, 2u);
    }

    std::vector<std::array<int32_t, 4>> probes;
    std::vector<uint32_t> expected_red;
    for (uint32_t cube = 0; cube < cubes; ++cube)
      for (uint32_t level = 0; level < mips; ++level)
        for (uint32_t face = 0; face < 6; ++face) {
          probes.push_back({axes[face][0], axes[face][1], axes[face][2], int32_t(level * 16 + cube)});
          expected_red.push_back(tagged_texel(cube * 6 + face, level, 0, 0, 0) & 0xFF);
        }
    const auto texels = array ? probe(loaded.view, "TextureCubeArray<float4>",
                                      "tex.SampleLevel(point_clamp, float4(p.xyz, p.w % 16), p.w / 16)", probes)
                              : probe(loaded.view, "TextureCube<float4>",
                                      "tex.SampleLevel(point_clamp, float3(p.xyz), p.w / 16)", probes);
    ASSERT_EQ(texels.size(), expected_red.size());
    for (size_t i = 0; i < texels.size(); ++i) EXPECT_EQ(texels[i] & 0xFF, expected_red[i]) << "probe " << i;
  }
}

TEST_F(DdsTextureTest, EitherOutputMayBeLeftOut) {
  const std::vector<uint8_t> file = dds_file(dx10_header(41, 3, 2, 2), std::vector<uint8_t>(16, 0));
  com_ptr_t<ID3D11Resource> texture;
  EXPECT_EQ(load_dds_texture(device, file.data(), file.size(), &texture, nullptr), S_OK);
  EXPECT_NE(texture, nullptr);
  com_ptr_t<ID3D11ShaderResourceView> view;
  EXPECT_EQ(load_dds_texture(device, file.data(), file.size(), nullptr, &view), S_OK);
  ASSERT_NE(view, nullptr);
  D3D11_SHADER_RESOURCE_VIEW_DESC desc{};
  view->GetDesc(&desc);
  EXPECT_EQ(desc.Format, DXGI_FORMAT_R32_FLOAT);
  EXPECT_EQ(load_dds_texture(device, file.data(), file.size(), nullptr, nullptr), E_INVALIDARG);
}

}  // namespace
