#pragma once
// A scratch directory beside which a player would sit: a copy of the content archive the build made,
// and a file system for it with the archive mounted, made the default for the text reader. What the
// tests that draw the real content start from.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "common/scratch_directory.h"
#include "files/filesystem.h"
#include "files/toml_file.h"

namespace test_support {

// The file system, or null with a test failure; `base` receives the directory to remove afterwards.
inline std::unique_ptr<filesystem_t> open_archive_copy(const std::string& prefix, std::filesystem::path& base) {
  namespace fs = std::filesystem;
  base = make_scratch_directory(prefix);
  if (base.empty()) return nullptr;
  const fs::path archive = fs::path(PUMBLECRISP_BINARY_DIR) / "bin/vlm_ks9.dat";
  if (!fs::exists(archive)) {
    ADD_FAILURE() << "the content build made no archive";
    return nullptr;
  }
  fs::copy_file(archive, base / "vlm_ks9.dat");
  auto created = create_filesystem_at((base / "pumblecrisp").string());
  if (!created) {
    ADD_FAILURE() << created.error();
    return nullptr;
  }
  std::unique_ptr<filesystem_t> files(*created);
  if (!files->mount_archive("vlm_ks9.dat")) {
    ADD_FAILURE() << "the archive copy does not mount";
    return nullptr;
  }
  serial::set_default_filesystem(files.get());
  return files;
}

}  // namespace test_support
