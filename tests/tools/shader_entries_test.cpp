// The stages the shader tool finds in a content tree: beside the description files, every
// render-pass table a project file holds, whatever key its block keeps it under, so that a stage
// named only by a project is compiled too.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>

#include "common/scratch_directory.h"

namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class ShaderEntriesTest : public testing::Test {
 protected:
  void SetUp() override {
    base = test_support::make_scratch_directory("shader_entries");
    ASSERT_FALSE(base.empty());
  }
  void TearDown() override { fs::remove_all(base); }

  void write(const std::string& relative, const std::string& text) {
    const fs::path path = base / "content" / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
  }

  // `shaderc --list` over the content: its exit code; its lines in `entries`, all it printed in `output`.
  int list() {
    const fs::path log = base / "list.log";
    const std::string command = std::string(PUMBLECRISP_SHADERC) + " --list --content '" +
                                (base / "content").string() + "' > '" + log.string() + "' 2>&1";
    const int status = std::system(command.c_str());
    output = slurp(log);
    entries.clear();
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) entries.insert(line);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  fs::path base;
  std::string output;
  std::set<std::string> entries;
};

const char* project = R"(
[settings]
project-name = "t"

[[blocks]]
class-name = "shader"
[blocks.renderpass]
type = 1
[blocks.renderpass.vs]
type = 1
filename = "shaders/default.hlsl"
entrypoint = "VsQuad"
[blocks.renderpass.ps]
type = 4
filename = "Shaders/Scene.HLSL"
entrypoint = "PsScene"
[blocks.renderpass.ps.vars]
Params:speed = {name = "speed", type = 6, default = {type = 6, value = 1.0}}

[[blocks]]
class-name = "bloom"
[[blocks.shaderdesc.renderpass]]
rp-name = "pre-filter"
ps = {type = 4, filename = "shaders/bloom.hlsl", entrypoint = "PsPreFilter"}
[[blocks.shaderdesc.renderpass]]
rp-name = "spread"
cs = {type = 8, filename = "shaders/bloom.hlsl", entrypoint = "CsSpread"}
gs = {type = 2, filename = "shaders/bloom.hlsl", entrypoint = "GsSprites"}

[[blocks]]
class-name = "tonemapping"
rp-fxaa = {type = 1, ps = {type = 4, filename = "shaders/posteffects/fxaa.post.hlsl", entrypoint = "FxaaPS"}}
[blocks.rp-reinhard]
ps = {type = 4, filename = "shaders/tonemapping.hlsl", entrypoint = "PsReinhard"}
# A stage of no known type loads nothing, and one without a file or entry point fails by itself.
vs = {type = 16, filename = "shaders/tonemapping.hlsl", entrypoint = "VsNever"}
[blocks.rp-filmic]
ps = {type = 4, filename = "shaders/tonemapping.hlsl"}
)";

TEST_F(ShaderEntriesTest, ProjectRenderPassTablesAddTheirStagesBesideTheDescriptions) {
  write("projects/t.proj.toml", project);
  write("shaders/glow.toml", "[[shaders]]\npixelshader = \"PsGlow\"\nfullscreen = true\n");
  ASSERT_EQ(list(), 0) << output;
  EXPECT_EQ(entries, (std::set<std::string>{
                         "vertex shaders/default.hlsl VsQuad",
                         "pixel shaders/glow.hlsl PsGlow",
                         "pixel shaders/scene.hlsl PsScene",
                         "pixel shaders/bloom.hlsl PsPreFilter",
                         "compute shaders/bloom.hlsl CsSpread",
                         "geometry shaders/bloom.hlsl GsSprites",
                         "pixel shaders/posteffects/fxaa.post.hlsl FxaaPS",
                         "pixel shaders/tonemapping.hlsl PsReinhard",
                     }))
      << output;
}

TEST_F(ShaderEntriesTest, ProjectFaultsNameTheProjectAndTheTable) {
  struct case_t {
    const char* what;
    const char* text;
    const char* expected;
  };
  const case_t cases[] = {
      {"a stage of two kinds",
       "[[blocks]]\n[blocks.renderpass]\nps = {type = 4, filename = \"shaders/glow.hlsl\", entrypoint = "
       "\"VsGlow\"}\n",
       "projects/bad.proj.toml: blocks[0].renderpass.ps: error: shaders/glow.hlsl:VsGlow is a pixel shader"},
      {"text the reader refuses", "[[blocks]]\nclass-name = \"shader\n", "projects/bad.proj.toml: error:"},
  };
  for (const case_t& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(base / "content");
    write("shaders/glow.toml", "[[shaders]]\nvertexshader = \"VsGlow\"\npixelshader = \"PsGlow\"\n");
    write("projects/bad.proj.toml", c.text);
    EXPECT_EQ(list(), 1);
    EXPECT_NE(output.find(c.expected), std::string::npos) << output;
  }
}

}  // namespace
