// The texture manager on a headless device: the default and procedural textures, textures from
// memory and raw data, image files written by ImageMagick drawn and read back, the per-path
// cache, failures and reloads of changed files.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/log_capture.h"
#include "common/texture_draw_fixture.h"
#include "engine/engine.h"
#include "files/filesystem.h"
#include "media/texture_manager.h"
#include "platform/dxgi/hresult.h"
#include "libs/enki/task_scheduler.h"
#include "libs/noise/fast_noise_simd.h"
#include "support/random.h"
#include "support/systems.h"

// The watcher's header brings the Win32 error codes, which clash with the DXGI ones in this file.
namespace fw2 {
void poll_at(uint32_t now);
}

namespace {

using d3d11_test::rgba;

class TextureManagerTest : public texture_test::texture_draw_fixture_t {
 protected:
  void SetUp() override {
    device_fixture_t::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    std::string pattern = (std::filesystem::temp_directory_path() / "texture_manager_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    base = pattern;
    std::filesystem::create_directories(base + "/textures");
    auto created_fs = create_filesystem_at(base + "/player");
    ASSERT_TRUE(created_fs.has_value());
    fs.reset(*created_fs);
    generator_before = global_pcg32();
    auto created = create_texture_manager(device, fs.get());
    ASSERT_TRUE(created.has_value()) << created.error();
    manager.reset(*created);
  }
  void TearDown() override {
    manager.reset();
    fs.reset();
    if (!base.empty()) std::filesystem::remove_all(base);
    texture_draw_fixture_t::TearDown();
  }

  // Runs ImageMagick's convert with `arguments` and the output file below the textures dir.
  std::string convert(const std::string& arguments, const std::string& name) {
    const std::string command = "convert " + arguments + " '" + base + "/textures/" + name + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return "/textures/" + name;
  }
  // An 8 × 8 picture: a red top half over a blue bottom half, or the colours given.
  std::string two_halves(const std::string& name, const char* top = "red", const char* bottom = "blue") {
    return convert(std::string("-size 8x4 xc:") + top + " -size 8x4 xc:" + bottom + " -append", name);
  }
  void write(const std::string& name, const std::string& bytes) {
    std::ofstream(base + "/textures/" + name, std::ios::binary) << bytes;
  }

  // Every byte of level 0 of a 2D texture, rows packed, through a staging copy.
  std::vector<uint8_t> read_bytes(ID3D11Texture2D* texture, uint32_t texel_bytes) {
    D3D11_TEXTURE2D_DESC desc{};
    texture->GetDesc(&desc);
    desc.Usage = D3D11_USAGE_STAGING, desc.BindFlags = 0, desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
    desc.MiscFlags = 0;
    com_ptr_t<ID3D11Texture2D> staging;
    EXPECT_EQ(device->CreateTexture2D(&desc, nullptr, &staging), S_OK);
    context->CopyResource(staging, texture);
    D3D11_MAPPED_SUBRESOURCE mapped{};
    EXPECT_EQ(context->Map(staging, 0, D3D11_MAP_READ, 0, &mapped), S_OK);
    const size_t row = size_t(desc.Width) * texel_bytes;
    std::vector<uint8_t> bytes(row * desc.Height);
    for (UINT y = 0; y < desc.Height; ++y)
      std::memcpy(bytes.data() + y * row, static_cast<uint8_t*>(mapped.pData) + size_t(y) * mapped.RowPitch, row);
    context->Unmap(staging, 0);
    return bytes;
  }
  template <class T>
  std::vector<T> read_as(ID3D11Texture2D* texture, uint32_t texel_bytes) {
    const std::vector<uint8_t> bytes = read_bytes(texture, texel_bytes);
    std::vector<T> values(bytes.size() / sizeof(T));
    std::memcpy(values.data(), bytes.data(), values.size() * sizeof(T));
    return values;
  }

  // Draws the texture's view over a w × h target with point sampling and reads the target back.
  std::vector<uint32_t> draw_textured(const texture_t& texture, UINT w, UINT h) {
    return draw_texture(R"(
Texture2D tex : register(t0);
SamplerState point_clamp : register(s0);
float4 main(float4 pos : SV_Position, float2 uv : TEXCOORD0) : SV_Target {
  return tex.Sample(point_clamp, uv);
})",
                        texture.srv, w, h);
  }

  // Lets the file watcher see the change on disk and pass it on after its quiet time.
  void let_watcher_report_changes() {
    static uint32_t now = 100000;
    now += 5000;
    fw2::poll_at(now);
    fw2::poll_at(now + 1001);
  }

  std::string base;
  std::unique_ptr<filesystem_t> fs;
  std::unique_ptr<texture_manager_t> manager;
  pcg32_t generator_before;
};

void expect_near(uint32_t texel, uint32_t expected, int tolerance, const std::string& what) {
  for (int c = 0; c < 4; ++c)
    EXPECT_NEAR(int(texel >> (c * 8) & 0xFF), int(expected >> (c * 8) & 0xFF), tolerance) << what << " channel " << c;
}

TEST_F(TextureManagerTest, DefaultTextureIsTransparentBlackLeftOpaqueWhiteRight) {
  texture_t* texture = manager->default_texture();
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(engine_context->texture_manager, manager.get());
  EXPECT_EQ(texture->desc.Format, DXGI_FORMAT_R8G8B8A8_UNORM);
  EXPECT_EQ(texture->desc.Usage, D3D11_USAGE_IMMUTABLE);
  EXPECT_EQ(read_rgba8(texture->texture_2d),
            (std::vector<uint32_t>{0, rgba(255, 255, 255, 255), 0, rgba(255, 255, 255, 255)}));
  EXPECT_EQ(draw_textured(*texture, 2, 2),
            (std::vector<uint32_t>{0, rgba(255, 255, 255, 255), 0, rgba(255, 255, 255, 255)}));
}

TEST_F(TextureManagerTest, ProceduralTexturesAreRegisteredByName) {
  texture_t* uniform = manager->find_texture("random");
  ASSERT_NE(uniform, nullptr);
  EXPECT_EQ(manager->find_texture("random-uniform"), uniform);
  texture_t* gauss = manager->find_texture("random-gauss");
  texture_t* perlin = manager->find_texture("perlin-noise");
  ASSERT_NE(gauss, nullptr);
  ASSERT_NE(perlin, nullptr);
  EXPECT_NE(gauss, uniform);
  EXPECT_EQ(manager->find_texture("fft"), nullptr);
  EXPECT_EQ(manager->find_texture("Random"), nullptr);

  std::vector<std::string> names = manager->list_texture_names();
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(names.front(), "fft");
  std::sort(names.begin() + 1, names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"fft", "perlin-noise", "random", "random-gauss", "random-uniform"}));

  for (texture_t* texture : {uniform, gauss, perlin}) {
    EXPECT_EQ(texture->desc.Width, 1024u);
    EXPECT_EQ(texture->desc.Height, 1024u);
    EXPECT_TRUE(texture->name.empty());
  }
  EXPECT_EQ(uniform->desc.Format, DXGI_FORMAT_R32G32B32A32_FLOAT);
  EXPECT_EQ(gauss->desc.Format, DXGI_FORMAT_R32G32B32A32_FLOAT);
  EXPECT_EQ(perlin->desc.Format, DXGI_FORMAT_R32_FLOAT);
}

// The two arrays draw from one generator in turn: element i first takes a Gaussian (two
// generator steps for a new pair, none for the pair's second value), then one uniform step.
TEST_F(TextureManagerTest, RandomTexturesInterleaveTheirDraws) {
  const std::vector<float> uniform = read_as<float>(manager->find_texture("random")->texture_2d, 16);
  const std::vector<float> gauss = read_as<float>(manager->find_texture("random-gauss")->texture_2d, 16);
  ASSERT_EQ(uniform.size(), size_t(1024) * 1024 * 4);

  // Whether the first Gaussian was a pair's second value depends on earlier draws of this thread.
  bool matched = false;
  for (const bool first_is_spare : {false, true}) {
    pcg32_t generator = generator_before;
    bool spare = first_is_spare;
    double spare_value = 0.0;
    bool all_equal = true;
    for (size_t i = 0; i < 64 && all_equal; ++i) {
      double expected_gauss = 0.0;
      if (spare) {
        expected_gauss = spare_value;
        spare = false;
      } else {
        const double u1 = generator.next() * (1.0 / 4294967295.0);
        const double u2 = generator.next() * (1.0 / 4294967295.0);
        const double rho = std::sqrt(-2.0 * std::log(u1)), theta = 2.0 * 3.14159265358979323846 * u2;
        expected_gauss = rho * std::cos(theta);
        spare_value = rho * std::sin(theta);
        spare = true;
      }
      const float expected_uniform = static_cast<float>(generator.next()) * 0x1p-32f;
      all_equal = uniform[i] == expected_uniform && (i == 0 && first_is_spare ? true : gauss[i] == float(expected_gauss));
    }
    matched = matched || all_equal;
  }
  EXPECT_TRUE(matched);

  double sum = 0.0, gauss_sum = 0.0, gauss_squares = 0.0;
  for (size_t i = 0; i < uniform.size(); i += 7) {
    ASSERT_GE(uniform[i], 0.0f);
    ASSERT_LE(uniform[i], 1.0f);
    sum += uniform[i], gauss_sum += gauss[i], gauss_squares += double(gauss[i]) * gauss[i];
  }
  const double n = double((uniform.size() + 6) / 7);
  EXPECT_NEAR(sum / n, 0.5, 0.01);
  EXPECT_NEAR(gauss_sum / n, 0.0, 0.01);
  EXPECT_NEAR(gauss_squares / n, 1.0, 0.02);
}

TEST_F(TextureManagerTest, PerlinNoiseRowsFollowX) {
  const std::vector<float> noise = read_as<float>(manager->find_texture("perlin-noise")->texture_2d, 4);
  std::unique_ptr<FastNoiseSIMD> reference(FastNoiseSIMD::NewFastNoiseSIMD());
  for (const auto& [row, column] : {std::pair{0, 0}, std::pair{5, 700}, std::pair{1023, 3}, std::pair{512, 1023}}) {
    float* value = reference->GetNoiseSet(row, column, 0, 1, 1, 1, 1.0f);
    EXPECT_FLOAT_EQ(noise[size_t(row) * 1024 + column], *value) << row << ", " << column;
    FastNoiseSIMD::FreeNoiseSet(value);
  }
  EXPECT_NE(noise[5 * 1024 + 700], noise[700 * 1024 + 5]);
}

// Made on the scheduler's threads, the procedural textures hold exactly the values drawn one by one
// on this thread, and the generator and this thread's Gaussian spare end where they would: with or
// without a spare Gaussian at the start, and when a zero draw makes the Gaussian draw again (a state
// below 2^27 gives 0; the generator is set to reach state 0 at the millionth pair).
TEST_F(TextureManagerTest, ProceduralTexturesMadeOnTheWorkersMatchTheOneByOneDraws) {
  for (const int start : {0, 1, 2}) {
    SCOPED_TRACE(start);
    if (thread_gaussian_spare().has != (start == 1)) random_gaussian(0.0, 1.0);
    if (start == 2) {
      pcg32_t zero_ahead;
      zero_ahead.state = 0;
      zero_ahead.advance(0 - uint64_t(4) * 1000000);
      global_pcg32().state = zero_ahead.state;
    }
    pcg32_t generator = global_pcg32();
    gaussian_spare_t spare = thread_gaussian_spare();
    const size_t count = size_t(1024) * 1024 * 4;
    std::vector<float> gauss(count), uniform(count);
    for (size_t i = 0; i < count; ++i) {
      gauss[i] = static_cast<float>(random_gaussian(generator, spare, 0.0, 1.0));
      uniform[i] = static_cast<float>(generator.next()) * 0x1p-32f;
    }
    std::unique_ptr<FastNoiseSIMD> noise(FastNoiseSIMD::NewFastNoiseSIMD());
    std::unique_ptr<float[], void (*)(float*)> noise_set(noise->GetNoiseSet(0, 0, 0, 1024, 1024, 1),
                                                         FastNoiseSIMD::FreeNoiseSet);

    enki::TaskScheduler scheduler;
    scheduler.Initialize(4);
    systems_t systems;
    systems.scheduler = &scheduler;
    systems_t* previous = g_systems;
    g_systems = &systems;
    auto created = create_texture_manager(device, fs.get());
    g_systems = previous;
    ASSERT_TRUE(created.has_value()) << created.error();
    std::unique_ptr<texture_manager_t> made(*created);

    EXPECT_EQ(global_pcg32().state, generator.state);
    EXPECT_EQ(thread_gaussian_spare().has, spare.has);
    if (spare.has) {
      EXPECT_EQ(thread_gaussian_spare().value, spare.value);
    }
    EXPECT_TRUE(read_as<float>(made->find_texture("random-gauss")->texture_2d, 16) == gauss);
    EXPECT_TRUE(read_as<float>(made->find_texture("random")->texture_2d, 16) == uniform);
    EXPECT_TRUE(read_as<float>(made->find_texture("perlin-noise")->texture_2d, 4) ==
                std::vector<float>(noise_set.get(), noise_set.get() + 1024 * 1024));
  }
}

TEST_F(TextureManagerTest, TexturesFromPixelsTakeOneTwoOrFourChannels) {
  const uint8_t pixels[] = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120, 130, 140, 150, 160};
  struct case_t {
    int channels;
    DXGI_FORMAT format;
  };
  for (const case_t& c : {case_t{1, DXGI_FORMAT_R8_UNORM}, case_t{2, DXGI_FORMAT_R8G8_UNORM},
                          case_t{4, DXGI_FORMAT_R8G8B8A8_UNORM}}) {
    auto created = manager->create_texture_from_pixels(pixels, 2, 2, c.channels);
    ASSERT_TRUE(created.has_value()) << created.error();
    texture_t* texture = *created;
    EXPECT_EQ(texture->name, "memory");
    EXPECT_EQ(texture->desc.Format, c.format);
    EXPECT_EQ(texture->srv_desc.ViewDimension, D3D11_SRV_DIMENSION_TEXTURE2D);
    EXPECT_EQ(read_bytes(texture->texture_2d, c.channels),
              std::vector<uint8_t>(pixels, pixels + 4 * c.channels));
  }
  auto refused = manager->create_texture_from_pixels(pixels, 2, 2, 3);
  ASSERT_FALSE(refused.has_value());
  EXPECT_EQ(refused.error(), "Unsupported number of channels (3) when loading texture");
}

TEST_F(TextureManagerTest, RawTexturesAreOwnedByTheCaller) {
  const float values[] = {0.5f, 1.5f, 2.5f, 3.5f, 4.5f, 5.5f};
  std::unique_ptr<texture_t> immutable = manager->create_texture_2d(3, 2, DXGI_FORMAT_R32_FLOAT, values);
  ASSERT_NE(immutable, nullptr);
  EXPECT_EQ(immutable->desc.Usage, D3D11_USAGE_IMMUTABLE);
  EXPECT_EQ(read_as<float>(immutable->texture_2d, 4), std::vector<float>(values, values + 6));

  // The sound system's kind: dynamic, written whole with update_texture.
  std::unique_ptr<texture_t> dynamic = manager->create_texture_2d(9, 16, DXGI_FORMAT_R32_FLOAT, nullptr);
  ASSERT_NE(dynamic, nullptr);
  EXPECT_EQ(dynamic->desc.Usage, D3D11_USAGE_DYNAMIC);
  EXPECT_EQ(dynamic->desc.CPUAccessFlags, UINT(D3D11_CPU_ACCESS_WRITE));
  std::vector<float> spectrum(9 * 16);
  for (size_t i = 0; i < spectrum.size(); ++i) spectrum[i] = float(i) * 0.25f;
  EXPECT_EQ(manager->update_texture(*dynamic, spectrum.data()), S_OK);
  EXPECT_EQ(read_as<float>(dynamic->texture_2d, 4), spectrum);
  // Rows of 3 bytes, narrower than any mapped row pitch a driver pads to.
  std::unique_ptr<texture_t> narrow = manager->create_texture_2d(3, 3, DXGI_FORMAT_R8_UNORM, nullptr);
  ASSERT_NE(narrow, nullptr);
  const uint8_t bytes[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  EXPECT_EQ(manager->update_texture(*narrow, bytes), S_OK);
  EXPECT_EQ(read_bytes(narrow->texture_2d, 1), std::vector<uint8_t>(bytes, bytes + 9));

  const uint8_t voxels[2 * 2 * 2 * 4] = {};
  std::unique_ptr<texture_t> volume = manager->create_texture_3d(2, 2, 2, DXGI_FORMAT_R8G8B8A8_UNORM, voxels);
  ASSERT_NE(volume, nullptr);
  EXPECT_NE(volume->texture_3d, nullptr);
  EXPECT_EQ(volume->desc_3d.Depth, 2u);
  EXPECT_EQ(volume->srv_desc.ViewDimension, D3D11_SRV_DIMENSION_TEXTURE3D);
  EXPECT_EQ(manager->create_texture_3d(2, 2, 2, DXGI_FORMAT_R8G8B8A8_UNORM, nullptr), nullptr);

  log_capture_t log;
  EXPECT_EQ(manager->create_texture_2d(0, 2, DXGI_FORMAT_R8G8B8A8_UNORM, nullptr), nullptr);
  EXPECT_TRUE(log.contains(LOG_LEVEL_INF, "Error creating texture: " + hresult_message(E_INVALIDARG)));
}

TEST_F(TextureManagerTest, PngAndJpegFilesDrawWithTheirFirstRowOnTop) {
  struct case_t {
    std::string path;
    int tolerance;
  };
  for (const case_t& c : {case_t{two_halves("halves.png"), 0}, case_t{two_halves("halves.jpg"), 12}}) {
    SCOPED_TRACE(c.path);
    auto loaded = manager->load_texture(c.path);
    ASSERT_TRUE(loaded.has_value()) << loaded.error();
    texture_t* texture = *loaded;
    EXPECT_EQ(texture->name, c.path);
    EXPECT_EQ(texture->desc.Format, DXGI_FORMAT_R8G8B8A8_UNORM);
    EXPECT_EQ(texture->desc.Width, 8u);
    const std::vector<uint32_t> pixels = draw_textured(*texture, 8, 8);
    ASSERT_EQ(pixels.size(), 64u);
    expect_near(pixels[1 * 8 + 2], rgba(255, 0, 0, 255), c.tolerance, "top");
    expect_near(pixels[6 * 8 + 5], rgba(0, 0, 255, 255), c.tolerance, "bottom");
  }
}

TEST_F(TextureManagerTest, EachPathLoadsOnceAndExactly) {
  const std::string path = two_halves("once.png");
  auto first = manager->load_texture(path);
  ASSERT_TRUE(first.has_value()) << first.error();
  // Gone from disk: the second load is the kept texture, the file is not read again.
  std::filesystem::remove(base + path);
  auto second = manager->load_texture(path);
  ASSERT_TRUE(second.has_value());
  EXPECT_EQ(*second, *first);

  two_halves("case.png");
  auto lower = manager->load_texture("/textures/case.png");
  ASSERT_TRUE(lower.has_value());
  // The same file for the file system, another key for the manager.
  auto upper = manager->load_texture("/textures/CASE.png");
  ASSERT_TRUE(upper.has_value());
  EXPECT_NE(*upper, *lower);
  EXPECT_EQ((*upper)->name, "/textures/CASE.png");
}

TEST_F(TextureManagerTest, DdsFilesAreReadByTheDdsReaderWhateverTheExtensionCase) {
  convert("-size 8x8 xc:lime -alpha on -define dds:compression=dxt1 -define dds:mipmaps=0", "lime.dds");
  // The file system finds files whatever the case of their path.
  auto loaded = manager->load_texture("/textures/lime.DDS");
  ASSERT_TRUE(loaded.has_value()) << loaded.error();
  texture_t* texture = *loaded;
  EXPECT_EQ(texture->desc.Format, DXGI_FORMAT_BC1_UNORM);
  EXPECT_EQ(texture->srv_desc.Format, DXGI_FORMAT_BC1_UNORM);
  EXPECT_EQ(texture->srv_desc.ViewDimension, D3D11_SRV_DIMENSION_TEXTURE2D);
  EXPECT_NE(texture->resource, nullptr);
  expect_near(draw_textured(*texture, 4, 4)[5], rgba(0, 255, 0, 255), 4, "centre");
}

TEST_F(TextureManagerTest, FailedLoadsSayWhyAndStoreNothing) {
  auto missing = manager->load_texture("/textures/none.png");
  ASSERT_FALSE(missing.has_value());
  EXPECT_EQ(missing.error(), "Unable to load image: /textures/none.png");

  write("broken.png", "not a picture");
  auto broken = manager->load_texture("/textures/broken.png");
  ASSERT_FALSE(broken.has_value());
  EXPECT_EQ(broken.error(), "Unable to load image: /textures/broken.png");

  convert("-size 8x8 xc:red -alpha off -define dds:compression=none", "rgb24.dds");
  auto unsupported = manager->load_texture("/textures/rgb24.dds");
  ASSERT_FALSE(unsupported.has_value());
  EXPECT_EQ(unsupported.error(),
            "Error creating dds texture: " + hresult_message(HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED)));

  // Nothing was kept, so the next call tries again.
  two_halves("broken.png");
  auto repaired = manager->load_texture("/textures/broken.png");
  EXPECT_TRUE(repaired.has_value());
}

// A texture input asks for its file every frame until it loads: a failing file is warned about
// once, and again only after it loaded and failed anew.
TEST_F(TextureManagerTest, AFailingFileIsWarnedAboutOnce) {
  log_capture_t log;
  write("flaky.png", "not a picture");
  for (int frame = 0; frame < 3; ++frame) EXPECT_FALSE(manager->load_texture("/textures/flaky.png").has_value());
  int warnings = 0;
  for (const auto& [level, text] : log.lines)
    warnings += level == LOG_LEVEL_WRN && text == "Unable to load texture /textures/flaky.png: Unable to load image: "
                                                  "/textures/flaky.png";
  EXPECT_EQ(warnings, 1);
}

TEST_F(TextureManagerTest, ChangedFilesReloadIntoTheSameTexture) {
  const std::string path = two_halves("live.png");
  auto loaded = manager->load_texture(path);
  ASSERT_TRUE(loaded.has_value()) << loaded.error();
  texture_t* texture = *loaded;
  // The tick after a load watches its file.
  manager->reload_changed_files();
  fw2::poll_at(1);

  two_halves("live.png", "yellow", "lime");
  let_watcher_report_changes();
  {
    log_capture_t log;
    manager->reload_changed_files();
    EXPECT_TRUE(log.contains(LOG_LEVEL_INF, "Reloaded texture: " + path));
  }
  EXPECT_EQ(*manager->load_texture(path), texture);
  std::vector<uint32_t> pixels = draw_textured(*texture, 8, 8);
  EXPECT_EQ(pixels[0], rgba(255, 255, 0, 255));
  EXPECT_EQ(pixels[63], rgba(0, 255, 0, 255));

  // A broken file is reported and the texture keeps the image it had.
  write("live.png", "garbage");
  let_watcher_report_changes();
  {
    log_capture_t log;
    manager->reload_changed_files();
    EXPECT_TRUE(log.contains(LOG_LEVEL_INF, "Error loading texture for file: " + path));
  }
  pixels = draw_textured(*texture, 8, 8);
  EXPECT_EQ(pixels[0], rgba(255, 255, 0, 255));
}

// Shader compile tasks load textures on worker threads while the main thread asks for others.
using TextureManagerThreadTest = TextureManagerTest;

TEST_F(TextureManagerThreadTest, ConcurrentLoadsOfAPathShareOneTexture) {
  const char* colours[] = {"red", "lime", "blue", "white"};
  std::vector<std::string> paths;
  for (int i = 0; i < 4; ++i) paths.push_back(two_halves("t" + std::to_string(i) + ".png", colours[i]));
  std::vector<std::vector<texture_t*>> seen(4, std::vector<texture_t*>(paths.size(), nullptr));
  std::vector<std::thread> workers;
  for (int t = 0; t < 4; ++t)
    workers.emplace_back([&, t] {
      for (int round = 0; round < 5; ++round)
        for (size_t i = 0; i < paths.size(); ++i) {
          const size_t index = (i + t) % paths.size();
          auto loaded = manager->load_texture(paths[index]);
          seen[t][index] = loaded ? *loaded : nullptr;
          if (!manager->find_texture("perlin-noise") || !manager->default_texture()) seen[t][index] = nullptr;
        }
    });
  for (int round = 0; round < 20; ++round) {
    manager->reload_changed_files();
    EXPECT_EQ(manager->list_texture_names().size(), 5u);
  }
  for (std::thread& worker : workers) worker.join();
  for (size_t i = 0; i < paths.size(); ++i) {
    ASSERT_NE(seen[0][i], nullptr) << paths[i];
    for (int t = 1; t < 4; ++t) EXPECT_EQ(seen[t][i], seen[0][i]) << paths[i];
    EXPECT_EQ(*manager->load_texture(paths[i]), seen[0][i]);
  }
  EXPECT_EQ(draw_textured(*seen[0][1], 8, 8)[0], rgba(0, 255, 0, 255));

  // The files that the workers loaded are watched from the main thread's next reload on.
  manager->reload_changed_files();
  fw2::poll_at(2);
  two_halves("t1.png", "yellow");
  let_watcher_report_changes();
  manager->reload_changed_files();
  EXPECT_EQ(draw_textured(*seen[0][1], 8, 8)[0], rgba(255, 255, 0, 255));
}

TEST(TextureManagerCreationTest, WithoutADeviceThereIsNoDefaultTexture) {
  auto created = create_texture_manager(nullptr, nullptr);
  ASSERT_FALSE(created.has_value());
  EXPECT_EQ(created.error(), "Error creating default texture");
}

}  // namespace
