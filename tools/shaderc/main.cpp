// shaderc: the content build's shader step.
//   shaderc --content DIR --out DIR --state DIR [--glslang PROGRAM] [--jobs N] [--stamp FILE]
//           [--depfile FILE] [--list]
// Finds the shader entries of the content in DIR, compiles what changed into --out (shaders/cache/ and
// shadermanager.toml), keeps dependency files in --state, and touches --stamp on success; --depfile
// then names every file read, as the stamp's dependencies (make syntax). --list only
// prints the entries. Exits 1 with the file and line of every failure.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "shader_cache.h"
#include "shader_entries.h"

namespace {

std::string escape_make_path(const std::string& path) {
  std::string out;
  for (char c : path) {
    if (c == ' ' || c == '#') out.push_back('\\');
    if (c == '$') out.push_back('$');
    out.push_back(c);
  }
  return out;
}

int usage() {
  std::fprintf(
      stderr,
      "usage: shaderc --content DIR --out DIR --state DIR [--glslang PROGRAM] [--jobs N] [--stamp FILE] "
      "[--depfile FILE] [--list]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  shader_cache_options_t options;
  std::string stamp;
  std::string depfile;
  bool list = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string& target) {
      if (i + 1 >= argc) return false;
      target = argv[++i];
      return true;
    };
    std::string jobs;
    if (arg == "--list") {
      list = true;
    } else if (arg == "--content"   ? !value(options.content_root)
               : arg == "--out"     ? !value(options.output_root)
               : arg == "--state"   ? !value(options.state_dir)
               : arg == "--glslang" ? !value(options.glslang)
               : arg == "--stamp"   ? !value(stamp)
               : arg == "--depfile" ? !value(depfile)
               : arg == "--jobs"    ? !value(jobs)
                                    : true) {
      return usage();
    }
    if (!jobs.empty()) options.jobs = static_cast<unsigned>(std::strtoul(jobs.c_str(), nullptr, 10));
  }
  if (options.content_root.empty() || (!list && (options.output_root.empty() || options.state_dir.empty())))
    return usage();

  auto entries = find_shader_entries(options.content_root);
  if (!entries) {
    std::fprintf(stderr, "%s\n", entries.error().c_str());
    return 1;
  }
  if (list) {
    for (const auto& e : *entries)
      std::printf("%s %s %s\n", stage_word(e.stage), e.file.c_str(), e.entry_point.c_str());
    return 0;
  }
  const std::vector<std::string> errors = build_shader_cache(*entries, options);
  for (const auto& error : errors) std::fprintf(stderr, "%s\n", error.c_str());
  if (!errors.empty()) return 1;
  if (!stamp.empty()) {
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(stamp).parent_path(), error);
    std::ofstream(stamp, std::ios::trunc) << entries->size() << " shader entries\n";
  }
  if (!depfile.empty() && !stamp.empty()) {
    // The tool itself, so that the list is never empty: a build tool may drop an empty depfile.
    std::error_code error;
    std::string text = escape_make_path(stamp) + ": " +
                       escape_make_path(std::filesystem::read_symlink("/proc/self/exe", error).string());
    for (const auto& input : shader_cache_inputs(*entries, options))
      text += " \\\n  " + escape_make_path(input);
    std::ofstream(depfile, std::ios::trunc) << text << "\n";
  }
  return 0;
}
