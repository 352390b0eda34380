// The shader manager over the headless device: the built-in shaders at init, blit and blend drawn
// and read back, the cache manifest rules, versions made by changed files and current_version.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <regex>

#include "graphics/render_target.h"
#include "common/shader_manager_fixture.h"

namespace {

using shader_test::shader_manager_fixture_t;
namespace fs = std::filesystem;

constexpr int W = 4, H = 2;

class ShaderManagerTest : public shader_manager_fixture_t {
 protected:
  std::shared_ptr<render_target_t> target_with(const std::vector<float4>& texels) {
    auto target = resources->create_render_target(RT_SIZE_EXPLICIT, W, H, DXGI_FORMAT_R32G32B32A32_FLOAT, RT_SRV);
    EXPECT_TRUE(target && target->srv);
    if (!texels.empty()) context->UpdateSubresource(target->texture, 0, nullptr, texels.data(), W * sizeof(float4), 0);
    return target;
  }
  std::vector<float4> read(render_target_t& target) { return read_texels<float4>(target.texture); }

  // Distinct values in every channel of every texel, below 1 so that screen and negation stay exact.
  static std::vector<float4> pattern(float base, float step) {
    std::vector<float4> texels;
    for (int i = 0; i < W * H; ++i) {
      const float v = base + step * float(i);
      texels.push_back({v, v * 0.5f, 1.0f - v, 0.25f + v * 0.25f});
    }
    return texels;
  }
};

void expect_texels_near(const std::vector<float4>& actual, const std::vector<float4>& expected, const char* what) {
  ASSERT_EQ(actual.size(), expected.size()) << what;
  for (size_t i = 0; i < actual.size(); ++i) {
    EXPECT_NEAR(actual[i].x, expected[i].x, 1e-5f) << what << " texel " << i;
    EXPECT_NEAR(actual[i].y, expected[i].y, 1e-5f) << what << " texel " << i;
    EXPECT_NEAR(actual[i].z, expected[i].z, 1e-5f) << what << " texel " << i;
    EXPECT_NEAR(actual[i].w, expected[i].w, 1e-5f) << what << " texel " << i;
  }
}

float4 per_channel(const float4& a, const float4& b, float (*f)(float, float)) {
  return {f(a.x, b.x), f(a.y, b.y), f(a.z, b.z), f(a.w, b.w)};
}

}  // namespace

TEST_F(ShaderManagerTest, InitLoadsTheBuiltInShadersAndLogsTheLoadTime) {
  log_capture_t log;
  start_manager();
  for (const char* entry : {"VsQuad", "PsCopy", "PsCopyAlpha", "PsAdd", "PsMultiply", "PsScreen", "PsLerp", "PsLighten",
                            "PsDarken", "PsDifference", "PsNegation"}) {
    auto shader = manager->builtin(entry);
    ASSERT_TRUE(shader) << entry;
    EXPECT_EQ(shader->state, SHADER_STATE_READY) << entry;
    EXPECT_EQ(shader->path.full, "shaders/default.hlsl");
  }
  EXPECT_EQ(manager->builtin("VsQuad")->id, 1);
  EXPECT_EQ(manager->builtin("PsNegation")->id, 11);
  int load_times = 0, no_meta = 0;
  const std::regex load_time("Shader load time: ([0-9]+)ms");
  for (const auto& [level, text] : log.lines) {
    std::smatch match;
    if (level == LOG_LEVEL_INF && std::regex_match(text, match, load_time)) {
      ++load_times;
      std::printf("built-in shaders: %s\n", text.c_str());
    }
    if (level == LOG_LEVEL_INF && text == "No meta file found for shaders/default.hlsl. This is fine.") ++no_meta;
  }
  EXPECT_EQ(load_times, 1);
  EXPECT_EQ(no_meta, 11);
  EXPECT_TRUE(log.contains(LOG_LEVEL_INF, "Using cached data for shader: shaders/default.hlsl:PsCopy"));
  // Only the source is watched when there is no metadata file, once for all eleven.
  EXPECT_EQ(std::count(files->watched.begin(), files->watched.end(), "shaders/default.hlsl"), 1);
}

TEST_F(ShaderManagerTest, InitFailsNamingTheFileOncePerEntryPointWithoutCacheEntries) {
  log_capture_t log;
  write("shadermanager.toml", "[[cache]]\nkey = \"shaders/other.hlsl:PsCopy\"\n");
  manager = std::make_unique<shader_manager_impl_t>();
  auto initialised = manager->init();
  ASSERT_FALSE(initialised.has_value());
  std::string expected = "error loading shaders: shaders/default.hlsl";
  for (int i = 1; i < 11; ++i) expected += ", shaders/default.hlsl";
  EXPECT_EQ(initialised.error(), expected);
  EXPECT_TRUE(log.contains(LOG_LEVEL_WRN, "Error compiling shader: shaders/default.hlsl, entry point: PsLerp"));
  EXPECT_TRUE(log.contains(LOG_LEVEL_INF,
                           "[SHD]: done compile task in 0ms: (total: 0ms) shaders/default.hlsl, VsQuad. Error "
                           "compiling shader: shaders/default.hlsl, entry point: VsQuad") ||
              std::any_of(log.lines.begin(), log.lines.end(), [](const auto& line) {
                return line.second.find("shaders/default.hlsl, VsQuad. Error compiling shader: shaders/default.hlsl, "
                                        "entry point: VsQuad") != std::string::npos;
              }));
}

// Without a manifest that lists shaders nothing can load, and the messages of the failed shaders
// alone would not say why: the manifest is named.
TEST_F(ShaderManagerTest, InitNamesTheManifestWhenItListsNothingUsable) {
  const std::pair<const char*, const char*> manifests[] = {
      {nullptr, "Unable to read the shader cache manifest /shadermanager.toml: error reading file: /shadermanager.toml"},
      {"[[cache\nkey = ", "Unable to read the shader cache manifest /shadermanager.toml: Error: "},
      {"", "Shader cache manifest /shadermanager.toml lists no usable shaders"},
  };
  for (const auto& [text, warning] : manifests) {
    log_capture_t log;
    if (text)
      write("shadermanager.toml", text);
    else
      std::filesystem::remove(base / "shadermanager.toml");
    manager = std::make_unique<shader_manager_impl_t>();
    EXPECT_FALSE(manager->init().has_value());
    EXPECT_TRUE(std::any_of(log.lines.begin(), log.lines.end(), [&](const auto& line) {
      return line.first == LOG_LEVEL_WRN && line.second.starts_with(warning);
    })) << warning;
    manager.reset();
  }
}

TEST_F(ShaderManagerTest, BlitCopiesOpaqueAndTintsBelowFullAlpha) {
  start_manager();
  const auto texels = pattern(0.1f, 0.1f);
  auto source = target_with(texels);
  auto target = target_with(pattern(0.9f, 0.0f));
  manager->blit(*source, *target, {1, 1, 1, 1});
  expect_texels_near(read(*target), texels, "opaque");

  // A NaN alpha copies untinted as well.
  manager->blit(*source, *target, {0.5f, 0.5f, 0.5f, std::nanf("")});
  expect_texels_near(read(*target), texels, "nan alpha");

  const float4 tint{0.2f, 0.4f, 0.6f, 0.25f};
  manager->blit(*source, *target, tint);
  std::vector<float4> expected;
  for (const float4& c : texels)
    expected.push_back({tint.x * 0.75f + c.x * 0.25f, tint.y * 0.75f + c.y * 0.25f, tint.z * 0.75f + c.z * 0.25f, c.w});
  expect_texels_near(read(*target), expected, "tinted");
}

TEST_F(ShaderManagerTest, BlendInEveryModeWithAndWithoutTheSecondInput) {
  start_manager();
  const auto a = pattern(0.05f, 0.1f);
  const auto b = pattern(0.6f, -0.07f);
  auto first = target_with(a);
  auto second = target_with(b);
  auto target = target_with({});
  struct mode_t {
    int32_t mode;
    float (*formula)(float, float);  // on (first × parameter, second); lerp is separate
  };
  const mode_t modes[] = {
      {1, [](float x, float y) { return x + y; }},
      {2, [](float x, float y) { return x * y; }},
      {3, [](float x, float y) { return 1.0f - (1.0f - std::clamp(x, 0.0f, 1.0f)) * (1.0f - std::clamp(y, 0.0f, 1.0f)); }},
      {4, [](float x, float y) { return std::min(x, y); }},
      {5, [](float x, float y) { return std::max(x, y); }},
      {6, [](float x, float y) { return std::abs(x - y); }},
      {7, [](float x, float y) { return 1.0f - std::abs(1.0f - x - y); }},
  };
  const float4 parameter{1, 1, 1, 1};
  for (bool with_second : {true, false}) {
    const std::vector<float4> zero(a.size());
    const std::vector<float4>& bb = with_second ? b : zero;
    for (const mode_t& m : modes) {
      manager->blend(first.get(), with_second ? second.get() : nullptr, *target, m.mode, parameter);
      std::vector<float4> expected;
      for (size_t i = 0; i < a.size(); ++i) {
        float4 weighted = {a[i].x * parameter.x, a[i].y * parameter.y, a[i].z * parameter.z, a[i].w * parameter.w};
        expected.push_back(per_channel(weighted, bb[i], m.formula));
      }
      const std::string what = "mode " + std::to_string(m.mode) + (with_second ? "" : " without second");
      expect_texels_near(read(*target), expected, what.c_str());
    }
    // Modes outside 1 to 7 lerp by the parameter's x.
    for (int32_t mode : {0, 8, 9}) {
      manager->blend(first.get(), with_second ? second.get() : nullptr, *target, mode, {0.25f, 0, 0, 0});
      std::vector<float4> expected;
      for (size_t i = 0; i < a.size(); ++i)
        expected.push_back(per_channel(a[i], bb[i], [](float x, float y) { return x + (y - x) * 0.25f; }));
      const std::string what = "lerp mode " + std::to_string(mode) + (with_second ? "" : " without second");
      expect_texels_near(read(*target), expected, what.c_str());
    }
  }
  // The register of the missing input is left without a view.
  manager->blend(first.get(), nullptr, *target, 1, parameter);
  EXPECT_FALSE(runtime->has_shader_resource(1));
}

TEST_F(ShaderManagerTest, BlitAndBlendBindThePreviousTargetAgain) {
  start_manager();
  auto source = target_with(pattern(0.1f, 0.1f));
  auto other = target_with({});
  auto target = target_with({});
  runtime->set_render_target(other.get(), nullptr, false);
  manager->blit(*source, *target, {1, 1, 1, 1});
  EXPECT_EQ(runtime->get_render_target(0), other.get());
  manager->blend(source.get(), nullptr, *target, 2, {1, 1, 1, 1});
  EXPECT_EQ(runtime->get_render_target(0), other.get());

  runtime->set_render_target(nullptr, nullptr, false);
  manager->blit(*source, *target, {1, 1, 1, 0.5f});
  EXPECT_EQ(runtime->get_render_target(0), target.get());  // none was bound, none is rebound
}

TEST_F(ShaderManagerTest, ManifestRules) {
  log_capture_t log;
  write("shaders/cache/first.spv", "first");
  write("shaders/cache/second.spv", "second");
  write("shaders/cache/r.refl", "r");
  write("shaders/a.hlsl", "a");
  files->times["shaders/old.spv"] = 10;
  files->times["shaders/a.hlsl"] = 20;
  files->times["shaders/cache/first.spv"] = 30;
  files->times["shaders/cache/second.spv"] = 30;
  write("shaders/old.spv", "old");
  auto root = serial::parse_text(R"(
[[cache]]
key = "shaders/a.hlsl:PsA"
code_path = "shaders/cache/first.spv"
reflection_path = "shaders/cache/r.refl"
filename = "shaders/a.hlsl"
entrypoint = "PsA"

[[cache]]
key = "shaders/a.hlsl:PsA"
code_path = "shaders/cache/second.spv"
reflection_path = "shaders/cache/r.refl"
filename = "shaders/a.hlsl"
entrypoint = "PsA"

[[cache]]
key = "shaders/a.hlsl:PsStale"
code_path = "shaders/old.spv"
reflection_path = "shaders/cache/r.refl"
filename = "shaders/a.hlsl"
entrypoint = "PsStale"

[[cache]]
key = ""
code_path = "shaders/cache/first.spv"
reflection_path = "shaders/cache/r.refl"
filename = "shaders/nokey.hlsl"
entrypoint = "PsNoKey"

[[cache]]
key = "shaders/a.hlsl:PsGone"
code_path = "shaders/cache/first.spv"
reflection_path = "shaders/cache/missing.refl"
filename = "shaders/a.hlsl"
entrypoint = "PsGone"
)",
                                 "");
  ASSERT_TRUE(root.has_value()) << root.error();
  shader_manager_impl_t m;
  m.load_cache_manifest(**root);
  const auto& cache = m.cache_entries();
  ASSERT_EQ(cache.size(), 1u);
  const shader_cache_entry_t& entry = cache.at("shaders/a.hlsl:PsA");
  EXPECT_EQ(std::string(entry.code.begin(), entry.code.end()), "second");
  EXPECT_EQ(std::string(entry.reflection.begin(), entry.reflection.end()), "r");
  EXPECT_EQ(entry.time, 20);
  EXPECT_FALSE(entry.used);
  EXPECT_TRUE(log.contains(LOG_LEVEL_INF, "Shader cached: skipping modified file: shaders/a.hlsl"));
  EXPECT_TRUE(log.contains(LOG_LEVEL_INF, "Shader cached: skipping modified file: shaders/nokey.hlsl"));
  int skipped = 0;
  for (const auto& line : log.lines) skipped += line.second.rfind("Shader cached: skipping", 0) == 0;
  EXPECT_EQ(skipped, 2);  // the unreadable reflection is not a modified file
  EXPECT_TRUE(log.contains(LOG_LEVEL_WRN, "Shader cache: unable to read shaders/cache/missing.refl for shaders/a.hlsl:PsGone"));
}

TEST_F(ShaderManagerTest, LoadingTwiceGivesTwoIdsAndCurrentVersionRules) {
  start_manager();
  shader_request_t request(SHADER_STAGE_PIXEL, "shaders/Test.hlsl", "PsTest", 1);
  auto one = manager->load_shader(request);
  auto two = manager->load_shader(request);
  EXPECT_EQ(one->path.full, "shaders/test.hlsl");
  EXPECT_EQ(one->state, SHADER_STATE_READY);
  EXPECT_EQ(two->state, SHADER_STATE_READY);
  EXPECT_EQ(two->id, one->id + 1);
  EXPECT_EQ(one->version, 0);
  scheduler.WaitforAll();
  EXPECT_EQ(manager->current_version(one->id), one);
  EXPECT_EQ(manager->current_version(two->id), two);
  EXPECT_EQ(manager->current_version(999), nullptr);

  auto missing = manager->load_shader(shader_request_t(SHADER_STAGE_PIXEL, "shaders/test.hlsl", "PsNowhere", 1));
  EXPECT_EQ(missing->state, SHADER_STATE_FAILED);
  scheduler.WaitforAll();
  EXPECT_EQ(manager->current_version(missing->id), nullptr);
}

TEST_F(ShaderManagerTest, ChangedMetadataGivesANewCurrentVersionChangedSourceAFailedOne) {
  log_capture_t log;
  write("shaders/test.toml", "");
  start_manager();
  auto first = manager->load_shader(shader_request_t(SHADER_STAGE_PIXEL, "shaders/test.hlsl", "PsTest", 1));
  ASSERT_EQ(first->state, SHADER_STATE_READY);
  EXPECT_EQ(std::count(files->watched.begin(), files->watched.end(), "shaders/test.hlsl"), 1);
  EXPECT_EQ(std::count(files->watched.begin(), files->watched.end(), "shaders/test.toml"), 1);

  files->changed = {"shaders/test.toml"};
  manager->reload_changed_files();
  EXPECT_TRUE(log.contains(LOG_LEVEL_INF, "[SHD]: queuing compile task : shaders/test.hlsl, PsTest"));
  scheduler.WaitforAll();
  auto current = manager->current_version(first->id);
  ASSERT_TRUE(current);
  EXPECT_EQ(current->version, 1);
  EXPECT_EQ(current->state, SHADER_STATE_READY);
  EXPECT_NE(current->pixel_shader.p, first->pixel_shader.p);

  // The source is now newer than the cache entry: the new version fails, version 1 stays current.
  files->times["shaders/test.hlsl"] = files->get_file_time("shaders/cache/shaders.test.hlsl.pstest.spv") + 100;
  files->changed = {"shaders/test.hlsl"};
  manager->reload_changed_files();
  scheduler.WaitforAll();
  EXPECT_EQ(manager->current_version(first->id), current);
  EXPECT_TRUE(log.contains(LOG_LEVEL_WRN, "Error compiling shader: shaders/test.hlsl, entry point: PsTest"));

  // A file nobody depends on changes nothing.
  files->changed = {"shaders/unrelated.hlsl"};
  manager->reload_changed_files();
  scheduler.WaitforAll();
  EXPECT_EQ(manager->current_version(first->id), current);
}

// A reflection blob cut short or overwritten with noise fails the version with a message naming
// the shader, as a refused bytecode does, instead of filling its tables from garbage.
TEST_F(ShaderManagerTest, BrokenReflectionFailsTheVersionWithItsMessage) {
  fs::path blob;
  for (const auto& entry : fs::directory_iterator(base / "shaders/cache")) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("shaders.test.hlsl.pstest", 0) == 0 && entry.path().extension() != ".spv") blob = entry.path();
  }
  ASSERT_FALSE(blob.empty());
  std::string whole;
  {
    std::ifstream in(blob, std::ios::binary);
    whole.assign(std::istreambuf_iterator<char>(in), {});
  }
  std::mt19937 noise(24);
  std::string random(4096, '\0');
  for (char& c : random) c = static_cast<char>(noise());
  for (const std::string& broken : {whole.substr(0, whole.size() / 2), random}) {
    SCOPED_TRACE(broken.size());
    log_capture_t log;
    {
      std::ofstream out(blob, std::ios::binary | std::ios::trunc);
      out << broken;
    }
    fs::last_write_time(blob, fs::last_write_time(base / "shadermanager.toml"));
    start_manager();
    auto shader = manager->load_shader(shader_request_t(SHADER_STAGE_PIXEL, "shaders/test.hlsl", "PsTest", 1));
    EXPECT_EQ(shader->state, SHADER_STATE_FAILED);
    scheduler.WaitforAll();
    EXPECT_EQ(manager->current_version(shader->id), nullptr);
    EXPECT_TRUE(std::any_of(log.lines.begin(), log.lines.end(), [](const auto& line) {
      return line.first == LOG_LEVEL_WRN &&
             line.second.rfind("Error reading reflection for: shaders/test.hlsl, entry point: PsTest, err: ", 0) == 0;
    }));
    manager->release();
    engine_context->shader_manager = nullptr;
    manager.reset();
  }
}

TEST_F(ShaderManagerTest, DestructionWaitsForQueuedTasks) {
  log_capture_t log;
  start_manager();
  auto shader = manager->load_shader(shader_request_t(SHADER_STAGE_PIXEL, "shaders/test.hlsl", "PsTest", 0));
  files->changed = {"shaders/test.hlsl", "shaders/test.hlsl"};
  manager->reload_changed_files();
  engine_context->shader_manager = nullptr;
  manager.reset();
  EXPECT_EQ(shader->state, SHADER_STATE_READY);
  size_t created = 0, deleted = 0;
  for (const auto& line : log.lines) {
    created += line.second.rfind("Creating compile task: ", 0) == 0;
    deleted += line.second.rfind("Deleting compile task: ", 0) == 0;
  }
  EXPECT_EQ(created, 14u);
  EXPECT_EQ(deleted, created);
}

class ShaderManagerThreadTest : public shader_manager_fixture_t {};

TEST_F(ShaderManagerThreadTest, ManyLoadsAtOnceAllReportAndReloadsRunBesideLoads) {
  start_manager();
  std::vector<std::shared_ptr<shader_t>> shaders;
  const char* entries[] = {"PsTest", "PsSampled", "PsCopy", "PsAdd"};
  for (int i = 0; i < 32; ++i) {
    const std::string file = i % 4 < 2 ? "shaders/test.hlsl" : "shaders/default.hlsl";
    shaders.push_back(manager->load_shader(shader_request_t(SHADER_STAGE_PIXEL, file, entries[i % 4], i % 3 == 0)));
    if (i % 8 == 0) {
      files->changed = {"shaders/test.hlsl"};
      manager->reload_changed_files();
    }
    manager->current_version(shaders.front()->id);
  }
  scheduler.WaitforAll();
  std::vector<int32_t> ids;
  for (const auto& shader : shaders) {
    EXPECT_EQ(shader->state, SHADER_STATE_READY) << shader->entry_point;
    ids.push_back(shader->id);
    auto current = manager->current_version(shader->id);
    ASSERT_TRUE(current);
    EXPECT_EQ(current->state, SHADER_STATE_READY);
  }
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end());
}
