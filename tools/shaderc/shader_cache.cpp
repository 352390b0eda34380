#include "shader_cache.h"

#include <fmt/printf.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "hlsl_declarations.h"
#include "process.h"
#include "reflection_writer.h"

namespace {

namespace fs = std::filesystem;

const char* cache_dir = "shaders/cache";

const char* glslang_stage(spirv_stage_t stage) {
  switch (stage) {
    case spirv_stage_t::vertex:
      return "vert";
    case spirv_stage_t::geometry:
      return "geom";
    case spirv_stage_t::pixel:
      return "frag";
    case spirv_stage_t::compute:
      return "comp";
  }
  return "";
}

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

tl::expected<std::string, std::string> read_file(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return tl::unexpected(fmt::sprintf("cannot read %s", path.string()));
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

bool write_file(const fs::path& path, const void* data, size_t size) {
  std::error_code error;
  fs::create_directories(path.parent_path(), error);
  const fs::path temporary = path.string() + ".tmp";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    if (!file) return false;
    file.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!file) return false;
  }
  fs::rename(temporary, path, error);
  return !error;
}

// The files a depfile ("target: dep dep ...") names after its colon.
std::vector<fs::path> depfile_inputs(const std::string& text) {
  std::vector<fs::path> out;
  const size_t colon = text.find(": ");
  if (colon == std::string::npos) return out;
  std::string rest = text.substr(colon + 2);
  std::string current;
  for (size_t i = 0; i < rest.size(); ++i) {
    const char c = rest[i];
    if (c == '\\' && i + 1 < rest.size() && rest[i + 1] == ' ') {
      current.push_back(' ');
      ++i;
    } else if (c == '\\' && i + 1 < rest.size() && rest[i + 1] == '\n') {
      ++i;
    } else if (std::isspace(static_cast<unsigned char>(c))) {
      if (!current.empty()) out.emplace_back(current);
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  if (!current.empty()) out.emplace_back(current);
  return out;
}

fs::path depfile_path(const fs::path& state_dir, const shader_cache_paths_t& paths) {
  return state_dir / (fs::path(paths.code_path).filename().string() + ".d");
}

fs::file_time_type tool_time() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  if (error) return fs::file_time_type::max();
  return fs::last_write_time(self, error);
}

class cache_builder_t {
 public:
  cache_builder_t(const std::vector<shader_entry_t>& entries, const shader_cache_options_t& options)
      : entries_(entries), options_(options) {
    content_ = fs::absolute(options.content_root);
    output_ = fs::absolute(options.output_root);
    state_ = fs::absolute(options.state_dir);
    tool_time_ = tool_time();
  }

  std::vector<std::string> run() {
    std::atomic<size_t> next{0};
    auto work = [&] {
      for (size_t i = next++; i < entries_.size(); i = next++) build(entries_[i]);
    };
    unsigned jobs = options_.jobs ? options_.jobs : std::max(1u, std::thread::hardware_concurrency());
    jobs = std::min<unsigned>(jobs, static_cast<unsigned>(std::max<size_t>(1, entries_.size())));
    std::vector<std::thread> workers;
    for (unsigned j = 1; j < jobs; ++j) workers.emplace_back(work);
    work();
    for (auto& w : workers) w.join();
    if (!errors_.empty()) return errors_;
    remove_stale_files();
    const std::string manifest = manifest_text(entries_);
    const fs::path manifest_path = output_ / "shadermanager.toml";
    auto existing = read_file(manifest_path);
    if ((!existing || *existing != manifest) && !write_file(manifest_path, manifest.data(), manifest.size()))
      errors_.push_back(fmt::sprintf("cannot write %s", manifest_path.string()));
    return errors_;
  }

 private:
  fs::path depfile_of(const shader_cache_paths_t& paths) const { return depfile_path(state_, paths); }

  bool up_to_date(const shader_cache_paths_t& paths) const {
    std::error_code error;
    const fs::path code = output_ / paths.code_path;
    const fs::path reflection = output_ / paths.reflection_path;
    if (!fs::exists(code, error) || !fs::exists(reflection, error)) return false;
    auto depfile = read_file(depfile_of(paths));
    if (!depfile) return false;
    const auto built = fs::last_write_time(code, error);
    if (error || built < tool_time_) return false;
    const std::vector<fs::path> inputs = depfile_inputs(*depfile);
    if (inputs.empty()) return false;
    for (const auto& input : inputs) {
      const auto time = fs::last_write_time(input, error);
      if (error || time > built) return false;
    }
    return true;
  }

  void fail(const std::string& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    errors_.push_back(message);
  }

  // The declarations of one source, preprocessed once for all of its entries.
  tl::expected<std::shared_ptr<const hlsl_declarations_t>, std::string> declarations_of(
      const shader_entry_t& entry) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (auto it = declarations_.find(entry.file); it != declarations_.end()) return it->second;
    }
    const fs::path source = content_ / entry.file;
    const process_result_t result =
        run_process({options_.glslang, "-D", "-E", "-S", glslang_stage(entry.stage), "-e", entry.entry_point,
                     source.string()});
    if (result.exit_code != 0) return tl::unexpected(result.output);
    auto declarations =
        std::make_shared<const hlsl_declarations_t>(scan_preprocessed_hlsl(result.output, source));
    std::lock_guard<std::mutex> lock(mutex_);
    declarations_[entry.file] = declarations;
    return declarations;
  }

  void build(const shader_entry_t& entry) {
    const shader_cache_paths_t paths = cache_paths_of(entry);
    const std::string what = fmt::sprintf("%s (%s shader %s, named in %s)", entry.file,
                                          stage_word(entry.stage), entry.entry_point, entry.origin);
    const fs::path source = content_ / entry.file;
    if (!fs::is_regular_file(source)) return fail(fmt::sprintf("%s: error: no such file", what));
    if (up_to_date(paths)) return;

    const fs::path code = output_ / paths.code_path;
    const fs::path compiled = code.string() + ".spv.tmp";
    const fs::path depfile = depfile_of(paths);
    std::error_code error;
    fs::create_directories(code.parent_path(), error);
    fs::create_directories(depfile.parent_path(), error);
    std::vector<std::string> arguments = {options_.glslang,
                                          "-D",
                                          "-V",
                                          "-S",
                                          glslang_stage(entry.stage),
                                          "-e",
                                          entry.entry_point,
                                          "--hlsl-iomap",
                                          "--auto-map-bindings",
                                          "--stb",
                                          "1000",
                                          "--ssb",
                                          "2000",
                                          "--suavb",
                                          "3000",
                                          "-fhlsl_functionality1"};
    // D3D's SV_Position.w in a pixel shader is the clip-space w, not GL's 1/w.
    if (entry.stage == spirv_stage_t::pixel) arguments.push_back("--hlsl-dx-position-w");
    for (const std::string& a :
         {std::string("--depfile"), depfile.string(), source.string(), std::string("-o"), compiled.string()})
      arguments.push_back(a);
    const process_result_t result = run_process(arguments);
    if (result.exit_code != 0)
      return fail(fmt::sprintf("%s: error: glslang failed:\n%s", what, result.output));

    auto bytes = read_file(compiled);
    fs::remove(compiled, error);
    if (!bytes || bytes->empty() || bytes->size() % 4 != 0)
      return fail(fmt::sprintf("%s: error: glslang wrote no SPIR-V", what));
    std::vector<uint32_t> words(bytes->size() / 4);
    std::memcpy(words.data(), bytes->data(), bytes->size());

    auto declarations = declarations_of(entry);
    if (!declarations)
      return fail(fmt::sprintf("%s: error: preprocessing failed:\n%s", what, declarations.error()));
    auto reflection = write_reflection(words, entry.stage, **declarations);
    if (!reflection) return fail(reflection.error() + "\n  (in " + what + ")");
    // What the player's device will do with the bytecode must work now, not at load time.
    auto translated = translate_spirv(bytes->data(), bytes->size(), entry.stage);
    if (!translated) return fail(fmt::sprintf("%s: error: %s", what, translated.error()));

    const fs::path reflection_path = output_ / paths.reflection_path;
    if (!write_file(reflection_path, reflection->data(), reflection->size()) ||
        !write_file(code, bytes->data(), bytes->size()))
      return fail(fmt::sprintf("%s: error: cannot write %s", what, code.string()));
  }

  void remove_stale_files() {
    std::set<fs::path> wanted;
    for (const auto& entry : entries_) {
      const shader_cache_paths_t paths = cache_paths_of(entry);
      wanted.insert(output_ / paths.code_path);
      wanted.insert(output_ / paths.reflection_path);
    }
    std::error_code error;
    const fs::path dir = output_ / cache_dir;
    if (!fs::is_directory(dir, error)) return;
    std::vector<fs::path> stale;
    for (const auto& item : fs::directory_iterator(dir, error))
      if (item.is_regular_file() && !wanted.count(item.path())) stale.push_back(item.path());
    for (const auto& path : stale) fs::remove(path, error);
  }

  const std::vector<shader_entry_t>& entries_;
  const shader_cache_options_t& options_;
  fs::path content_, output_, state_;
  fs::file_time_type tool_time_;
  std::mutex mutex_;
  std::vector<std::string> errors_;
  std::map<std::string, std::shared_ptr<const hlsl_declarations_t>> declarations_;
};

}  // namespace

shader_cache_paths_t cache_paths_of(const shader_entry_t& entry) {
  std::string flat = entry.file;
  std::replace(flat.begin(), flat.end(), '/', '.');
  const std::string base = fmt::sprintf("%s/%s.%s", cache_dir, flat, lower(entry.entry_point));
  return {entry.file + ":" + entry.entry_point, base + ".spv", base + ".refl"};
}

std::string manifest_text(const std::vector<shader_entry_t>& entries) {
  std::string text =
      "# Shader cache: bytecode (SPIR-V) and reflection of every shader entry point, by key.\n";
  for (const auto& entry : entries) {
    const shader_cache_paths_t paths = cache_paths_of(entry);
    text += fmt::sprintf(
        "\n[[cache]]\nkey = \"%s\"\ncode_path = \"%s\"\nreflection_path = \"%s\"\nfilename = \"%s\"\n"
        "entrypoint = \"%s\"\n",
        paths.key, paths.code_path, paths.reflection_path, entry.file, entry.entry_point);
  }
  return text;
}

std::vector<std::string> build_shader_cache(const std::vector<shader_entry_t>& entries,
                                            const shader_cache_options_t& options) {
  // Two entry points differing only in case would share their files.
  std::set<std::string> code_paths;
  for (const auto& entry : entries) {
    if (entry.file.find('"') != std::string::npos || entry.entry_point.find('"') != std::string::npos)
      return {fmt::sprintf("%s: error: '\"' in shader file or entry point %s:%s", entry.origin, entry.file,
                           entry.entry_point)};
    if (!code_paths.insert(cache_paths_of(entry).code_path).second)
      return {fmt::sprintf("%s: error: %s has two entry points named %s apart from case", entry.origin,
                           entry.file, lower(entry.entry_point))};
  }
  cache_builder_t builder(entries, options);
  return builder.run();
}

std::vector<std::string> shader_cache_inputs(const std::vector<shader_entry_t>& entries,
                                             const shader_cache_options_t& options) {
  const fs::path content = fs::absolute(options.content_root);
  const fs::path state = fs::absolute(options.state_dir);
  std::set<std::string> inputs;
  std::error_code error;
  auto add = [&](const fs::path& path) {
    if (fs::is_regular_file(path, error)) inputs.insert(fs::absolute(path).lexically_normal().string());
  };
  for (const auto& entry : entries) {
    add(content / entry.file);
    // The origin is a content path, optionally with ":line".
    const std::string origin = entry.origin.substr(0, entry.origin.find(':'));
    if (!origin.empty()) add(content / origin);
    if (auto depfile = read_file(depfile_path(state, cache_paths_of(entry))))
      for (const auto& input : depfile_inputs(*depfile)) add(input);
  }
  return {inputs.begin(), inputs.end()};
}
