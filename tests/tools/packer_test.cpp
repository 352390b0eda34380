#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "files/filesystem.h"

namespace {

class PackerTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "packer_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    base = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(base); }

  void write(const std::string& relative, const std::string& content) {
    std::filesystem::path path = std::filesystem::path(base) / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
  }

  int pack(const std::string& arguments) {
    std::string command =
        std::string(PUMBLECRISP_BINARY_DIR) + "/tools/packer/packer " + arguments + " > /dev/null";
    return std::system(command.c_str());
  }

  std::string base;
};

TEST_F(PackerTest, PacksDirectoriesWithLaterOnesOverridingAndExcludesLeftOut) {
  write("content/projects/demo.proj.toml", "blocks = []\n");
  write("content/shaders/a.hlsl", "source");
  write("content/archive.cmake", "not content");
  write("gen/shaders/a.hlsl", "generated");
  write("gen/data/big.bin", std::string(100000, 'z'));
  ASSERT_EQ(pack("--exclude .cmake '" + base + "/vlm_ks9.dat' '" + base + "/content' '" + base + "/gen' '" +
                 base + "/absent'"),
            0);
  // Read back through the player's own file system, with nothing else on disk.
  std::filesystem::remove_all(base + "/content");
  std::filesystem::remove_all(base + "/gen");
  std::unique_ptr<filesystem_t> fs(*create_filesystem_at(base + "/player"));
  ASSERT_TRUE(fs->mount_archive("vlm_ks9.dat"));
  std::string text;
  EXPECT_TRUE(fs->read_text_file("/projects/demo.proj.toml", text));
  EXPECT_EQ(text, "blocks = []\n");
  EXPECT_TRUE(fs->read_text_file("/shaders/a.hlsl", text));
  EXPECT_EQ(text, "generated");
  EXPECT_TRUE(fs->read_text_file("/data/big.bin", text));
  EXPECT_EQ(text.size(), 100000u);
  EXPECT_FALSE(fs->exists("/archive.cmake"));
}

TEST_F(PackerTest, EmptyInputStillGivesAMountableArchive) {
  std::filesystem::create_directories(base + "/empty");
  ASSERT_EQ(pack("'" + base + "/vlm_ks9.dat' '" + base + "/empty'"), 0);
  std::unique_ptr<filesystem_t> fs(*create_filesystem_at(base + "/player"));
  EXPECT_TRUE(fs->mount_archive("vlm_ks9.dat"));
  EXPECT_FALSE(fs->exists("/anything"));
}

TEST_F(PackerTest, MissingArgumentsFail) { EXPECT_NE(pack("only_output.dat"), 0); }

}  // namespace
