#pragma once
// A player directory in a fresh temp dir: a fake executable path, files
// written on disk, and archives made by the zip tool.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "files/filesystem.h"

class filesystem_fixture_t : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "vfs_test_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    base = pattern;
    auto created = create_filesystem_at(base + "/player");
    ASSERT_TRUE(created.has_value());
    fs.reset(*created);
  }
  void TearDown() override { std::filesystem::remove_all(base); }

  std::string write(const std::string& relative, const std::string& content, const std::string& root = "") {
    std::filesystem::path path = std::filesystem::path(root.empty() ? base : root) / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
  }

  // Runs zip in the staging dir "src" below base; level 0 stores, 9 deflates.
  void zip(const std::string& archive, int level, const std::vector<std::string>& entries) {
    std::string command =
        "cd '" + base + "/src' && zip -q -" + std::to_string(level) + " '" + base + "/" + archive + "'";
    for (const auto& entry : entries) command += " '" + entry + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }

  std::string read(const std::string& path) {
    byte_vector_t bytes;
    if (!fs->read_file(path, bytes)) return "<failed>";
    return std::string(bytes.begin(), bytes.end());
  }

  std::string base;
  std::unique_ptr<filesystem_t> fs;
};
