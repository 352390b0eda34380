#pragma once
// Builds the shader cache of the content: for every shader entry, SPIR-V bytecode (glslang) and the
// reflection blob under shaders/cache/, and the manifest "shadermanager.toml" that lists them by key.
// Entries whose outputs are newer than their sources, their includes and this tool are kept as they are.

#include <string>
#include <vector>

#include "shader_entries.h"

struct shader_cache_options_t {
  std::string content_root;  // the archive's root: shader paths are relative to it
  std::string output_root;   // receives shadermanager.toml and shaders/cache/
  std::string state_dir;     // dependency files of past runs (not packed)
  std::string glslang = "glslangValidator";
  unsigned jobs = 0;  // 0: one per hardware thread
};

struct shader_cache_paths_t {
  std::string key;              // "<file>:<entry point>"
  std::string code_path;        // content path of the bytecode
  std::string reflection_path;  // content path of the reflection blob
};

shader_cache_paths_t cache_paths_of(const shader_entry_t& entry);

// The manifest text for the entries, in their order.
std::string manifest_text(const std::vector<shader_entry_t>& entries);

// Compiles what is out of date and writes the manifest; the messages of every failure, one per line,
// or an empty list on success.
std::vector<std::string> build_shader_cache(const std::vector<shader_entry_t>& entries,
                                            const shader_cache_options_t& options);

// Every file a successful build read, absolute: sources, their includes (from the dependency files of
// the last build), description files and entry lists. For the build system's depfile.
std::vector<std::string> shader_cache_inputs(const std::vector<shader_entry_t>& entries,
                                             const shader_cache_options_t& options);
