#include <thread>

#include "common/filesystem_fixture.h"

namespace {

class FilesystemThreadTest : public filesystem_fixture_t {};

std::string content_of(int index) {
  return std::string(500 + index * 37, static_cast<char>('a' + index % 26));
}

TEST_F(FilesystemThreadTest, WorkersReadArchiveEntriesAndDiskFilesAtOnce) {
  constexpr int entries = 16;
  std::vector<std::string> names;
  for (int i = 0; i < entries; ++i) {
    names.push_back("meta/e" + std::to_string(i) + ".txt");
    write("src/" + names.back(), content_of(i));
    write("disk/d" + std::to_string(i) + ".txt", content_of(i + 1));
  }
  zip("vlm_ks9.dat", 9, std::vector<std::string>(names.begin(), names.begin() + entries / 2));
  zip("vlm_ks9.dat", 0, std::vector<std::string>(names.begin() + entries / 2, names.end()));
  ASSERT_TRUE(fs->mount_archive("vlm_ks9.dat"));

  constexpr int workers = 8;
  std::vector<int> failures(workers, 0);
  std::vector<std::thread> threads;
  for (int w = 0; w < workers; ++w) {
    threads.emplace_back([&, w] {
      for (int round = 0; round < 50; ++round) {
        int i = (w + round) % entries;
        byte_vector_t bytes;
        if (!fs->read_file(names[i], bytes) || std::string(bytes.begin(), bytes.end()) != content_of(i))
          ++failures[w];
        std::string text;
        if (!fs->read_text_file("/disk/d" + std::to_string(i) + ".txt", text) || text != content_of(i + 1))
          ++failures[w];
        if (!fs->exists(names[(i + 3) % entries])) ++failures[w];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int w = 0; w < workers; ++w) EXPECT_EQ(failures[w], 0) << "worker " << w;
}

}  // namespace
