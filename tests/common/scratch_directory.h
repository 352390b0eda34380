#pragma once
// A fresh empty directory for one test's files, under the system's temporary one.

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace test_support {

// Named from `prefix`; an empty path, with a test failure, if none could be made. The test removes it.
inline std::filesystem::path make_scratch_directory(const std::string& prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "_XXXXXX")).string();
  if (!mkdtemp(pattern.data())) {
    ADD_FAILURE() << "no scratch directory " << pattern;
    return {};
  }
  return pattern;
}

}  // namespace test_support
