#pragma once
// The shader manager over the headless device: a shader cache built once per test program by the
// content build's shader tool from shaders/default.hlsl and the test stages, copied into a player
// directory per test, a file system whose changed files and file times a test can set, and a task
// scheduler with workers.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/log_capture.h"
#include "engine/engine.h"
#include "files/filesystem.h"
#include "files/toml_file.h"
#include "shaders/shader_manager.h"
#include "common/graphics_test_support.h"
#include "libs/enki/task_scheduler.h"

namespace shader_test {

namespace fs = std::filesystem;

// The real file system, with changes and file times a test hands in.
class controlled_filesystem_t final : public filesystem_t {
 public:
  explicit controlled_filesystem_t(filesystem_t* real) : real_(real) {}
  ~controlled_filesystem_t() override { delete real_; }

  void shutdown() override { real_->shutdown(); }
  void add_mappings(const path_mappings_t& m) override { real_->add_mappings(m); }
  bool mount_archive(const std::string& name) override { return real_->mount_archive(name); }
  std::string get_base_dir() override { return real_->get_base_dir(); }
  std::string get_exe_path() override { return real_->get_exe_path(); }
  bool always_false() override { return false; }
  bool exists(const std::string& path) override { return real_->exists(path); }
  bool read_file(const std::string& path, byte_vector_t& bytes) override { return real_->read_file(path, bytes); }
  bool read_text_file(const std::string& path, std::string& text) override {
    return real_->read_text_file(path, text);
  }
  std::string resolve_local_path(const std::string& path, bool must_exist) override {
    return real_->resolve_local_path(path, must_exist);
  }
  std::string make_relative(const std::string& path) override { return real_->make_relative(path); }
  bool load_resource(const std::string& name, byte_vector_t& bytes) override {
    return real_->load_resource(name, bytes);
  }
  int64_t get_file_time(const std::string& path) override {
    auto found = times.find(path);
    return found != times.end() ? found->second : real_->get_file_time(path);
  }
  bool create_directory(const std::string& path) override { return real_->create_directory(path); }
  std::string open_file_dialog(const std::string&, const char*, const char*, uint32_t, void*) override { return {}; }
  std::vector<std::pair<std::string, std::string>> list_pairs() override { return real_->list_pairs(); }
  std::vector<filesystem_file_t> find_files(const std::string& d, const std::string& p) override {
    return real_->find_files(d, p);
  }
  void poll_changes() override {}
  int watch_file(const void* owner, const std::string& path) override {
    watched.push_back(path);
    return 0;
  }
  void get_changed_files(const void* owner, std::vector<std::string>& out) override {
    out = changed;
    changed.clear();
  }
  int watch_file_callback(const std::string& path, bool call_now,
                          const std::function<void(const std::string&)>& callback) override {
    return real_->watch_file_callback(path, call_now, callback);
  }

  std::vector<std::string> changed;
  std::vector<std::string> watched;
  std::unordered_map<std::string, int64_t> times;

 private:
  filesystem_t* real_;
};

// Builds the cache once: sources, bytecode, reflection and the manifest in one content tree.
inline const fs::path& built_content() {
  static const fs::path root = [] {
    std::string pattern = (fs::temp_directory_path() / "shader_cache_XXXXXX").string();
    if (!mkdtemp(pattern.data())) return fs::path();
    const fs::path dir = fs::path(pattern) / "content";
    fs::create_directories(dir / "shaders");
    fs::copy_file(fs::path(PUMBLECRISP_TEST_DATA) / "../../../content/shaders/default.hlsl",
                  dir / "shaders/default.hlsl");
    for (const char* name : {"test.hlsl", "entrypoints.txt"})
      fs::copy_file(fs::path(PUMBLECRISP_TEST_DATA) / "../../shaders/data/shader_manager/shaders" / name,
                    dir / "shaders" / name);
    const std::string command = std::string(PUMBLECRISP_SHADERC) + " --jobs 4 --content '" + dir.string() +
                                "' --out '" + dir.string() + "' --state '" + pattern + "/state' > '" + pattern +
                                "/shaderc.log' 2>&1";
    if (std::system(command.c_str()) != 0) return fs::path();
    return dir;
  }();
  return root;
}

class shader_manager_fixture_t : public graphics_test::graphics_fixture_t {
 protected:
  void SetUp() override {
    graphics_fixture_t::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_FALSE(built_content().empty()) << "the shader tool failed";
    std::string pattern = (fs::temp_directory_path() / "shader_manager_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    base = pattern;
    fs::copy(built_content(), base, fs::copy_options::recursive);
    // Copies get new times: sources older than their bytecode, as the build leaves them.
    const auto now = fs::file_time_type::clock::now();
    for (const auto& entry : fs::recursive_directory_iterator(base)) {
      if (!entry.is_regular_file()) continue;
      const bool cached = entry.path().string().find("/cache/") != std::string::npos ||
                          entry.path().filename() == "shadermanager.toml";
      fs::last_write_time(entry.path(), now - std::chrono::seconds(cached ? 50 : 100));
    }
    auto real = create_filesystem_at((base / "player").string());
    ASSERT_TRUE(real.has_value());
    files = std::make_unique<controlled_filesystem_t>(*real);
    serial::set_default_filesystem(files.get());
    warm_up_translation();
    scheduler.Initialize(4);
    g_systems->filesystem = files.get();
    g_systems->scheduler = &scheduler;
    previous_manager_ = engine_context->shader_manager;
  }
  void TearDown() override {
    if (manager) {
      manager->release();
      manager.reset();
    }
    engine_context->shader_manager = previous_manager_;
    scheduler.WaitforAllAndShutdown();
    if (files) serial::set_default_filesystem(nullptr);
    files.reset();
    if (!base.empty()) fs::remove_all(base);
    graphics_fixture_t::TearDown();
  }

  // A manager past a successful init, installed as the engine's.
  void start_manager() {
    manager = std::make_unique<shader_manager_impl_t>();
    auto initialised = manager->init();
    ASSERT_TRUE(initialised.has_value()) << initialised.error();
    engine_context->shader_manager = manager.get();
  }

  // The translation library sets up its static tables on first use behind a guard that
  // ThreadSanitizer cannot see in uninstrumented code; one translation before the workers start
  // orders that set-up before every worker.
  void warm_up_translation() {
    auto code_of = [&](const char* name) {
      std::ifstream in(base / "shaders/cache" / name, std::ios::binary);
      return std::string((std::istreambuf_iterator<char>(in)), {});
    };
    const std::string vs_code = code_of("shaders.default.hlsl.vsquad.spv");
    const std::string ps_code = code_of("shaders.default.hlsl.pscopy.spv");
    com_ptr_t<ID3D11VertexShader> vs;
    com_ptr_t<ID3D11PixelShader> ps;
    EXPECT_EQ(device->CreateVertexShader(vs_code.data(), vs_code.size(), nullptr, &vs), S_OK);
    EXPECT_EQ(device->CreatePixelShader(ps_code.data(), ps_code.size(), nullptr, &ps), S_OK);
  }

  void write(const std::string& relative, const std::string& text) {
    fs::create_directories((base / relative).parent_path());
    std::ofstream(base / relative, std::ios::binary) << text;
  }

  fs::path base;
  std::unique_ptr<controlled_filesystem_t> files;
  enki::TaskScheduler scheduler;
  std::unique_ptr<shader_manager_impl_t> manager;

 private:
  shader_manager_t* previous_manager_ = nullptr;
};

}  // namespace shader_test
