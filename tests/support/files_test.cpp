#include "support/files.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

// A fresh directory with a few files, removed afterwards.
class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "files_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
    std::filesystem::create_directory(dir + "/sub");
    write(dir + "/sub/data.bin", std::string("a\0b\r\nc", 6));
    write(dir + "/empty.txt", "");
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  static void write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  std::string dir;
};

TEST_F(FilesTest, ExistsDistinguishesFilesAndDirectories) {
  EXPECT_TRUE(file_exists(dir + "/sub/data.bin"));
  EXPECT_TRUE(file_exists(dir + "\\sub\\data.bin"));
  EXPECT_FALSE(file_exists(dir + "/sub"));
  EXPECT_FALSE(file_exists(dir + "/missing"));
  EXPECT_TRUE(directory_exists(dir + "/sub"));
  EXPECT_FALSE(directory_exists(dir + "/sub/data.bin"));
  EXPECT_FALSE(directory_exists(dir + "/missing"));
}

TEST_F(FilesTest, ReadWholeFileWithMixedSeparators) {
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(read_whole_file(dir + "\\/sub\\data.bin", bytes));
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), std::string("a\0b\r\nc", 6));
}

TEST_F(FilesTest, ReadWholeFileEdgeCases) {
  std::vector<uint8_t> bytes = {7, 7};
  EXPECT_TRUE(read_whole_file(dir + "/empty.txt", bytes));
  EXPECT_EQ(bytes, (std::vector<uint8_t>{7, 7}));
  EXPECT_FALSE(read_whole_file(dir + "/missing", bytes));
  EXPECT_FALSE(read_whole_file(dir + "/sub", bytes));
}

TEST_F(FilesTest, ReadWholeFileLargeFile) {
  std::string big(3 * 1024 * 1024 + 17, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 131);
  write(dir + "/big.bin", big);
  std::vector<char> bytes;
  ASSERT_TRUE(read_whole_file(dir + "/big.bin", bytes));
  EXPECT_TRUE(std::string(bytes.begin(), bytes.end()) == big);
}

TEST(LineReaderTest, CrLfEndsALineButALoneCrDoesNot) {
  const char text[] = {'a', '\r', '\n', 'b', '\r', 'c', '\n'};
  line_reader_t reader(text, sizeof text);
  EXPECT_EQ(reader.read_line(), "a");
  EXPECT_FALSE(reader.at_end());
  EXPECT_EQ(reader.read_line(), "b\rc");
  EXPECT_TRUE(reader.at_end());
  EXPECT_EQ(reader.read_line(), "");
}

TEST(LineReaderTest, EmptyLinesAndUnterminatedTail) {
  std::string text = "\n\nx\r";
  line_reader_t reader(text.data(), text.size());
  std::vector<std::string> lines;
  while (!reader.at_end()) lines.push_back(reader.read_line());
  EXPECT_EQ(lines, (std::vector<std::string>{"", "", "x\r"}));
  line_reader_t empty(nullptr, 0);
  EXPECT_TRUE(empty.at_end());
}

}  // namespace
