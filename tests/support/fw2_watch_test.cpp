#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/perf_counter.h"
#include "support/fw2/file_watcher.h"

namespace {

// The watcher's state is process-wide, so every test uses its own directory
// and its own owner keys.
class Fw2WatchTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "fw2_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  std::string write(const std::string& name, const std::string& content) {
    std::string path = dir + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  std::vector<std::string> take(const void* owner) {
    std::vector<std::string> out = {"stale"};
    fw2::take_changes(owner, out);
    return out;
  }

  std::string dir;
  int owner_a = 0;
  int owner_b = 0;
};

TEST_F(Fw2WatchTest, IdsCountUpAndFailuresConsumeNone) {
  std::string path = write("a.txt", "a");
  int first = fw2::add_watch(&owner_a, path);
  ASSERT_GE(first, 0);
  EXPECT_EQ(fw2::add_watch(&owner_a, dir + "/no_such_dir/x.txt"), -1);
  EXPECT_EQ(fw2::add_watch(&owner_a, path), first + 1);
}

TEST_F(Fw2WatchTest, FilesOfOneDirectoryShareOneWatch) {
  std::string a = write("a.txt", "a");
  std::string b = write("b.txt", "b");
  fw2::directory_watch_t* watch = fw2::get_directory_watch(a);
  ASSERT_NE(watch, nullptr);
  EXPECT_EQ(fw2::get_directory_watch(b), watch);
  EXPECT_EQ(fw2::get_directory_watch(dir + "\\c.txt"), watch);
}

TEST_F(Fw2WatchTest, ChangeFiresOnlyAfterMoreThanTheQuietTime) {
  std::string path = write("shader.hlsl", "1");
  ASSERT_GE(fw2::add_watch(&owner_a, path), 0);
  const uint32_t t0 = 0xFFFFFE00u;  // the clock wraps during the test
  fw2::poll_at(t0);
  write("shader.hlsl", "2");
  fw2::poll_at(t0 + 10);  // harvested: the change is pending from here
  fw2::poll_at(t0 + 10 + 1000);
  EXPECT_TRUE(take(&owner_a).empty());
  fw2::poll_at(t0 + 10 + 1001);
  EXPECT_EQ(take(&owner_a), std::vector<std::string>{path});
  EXPECT_TRUE(take(&owner_a).empty());
}

TEST_F(Fw2WatchTest, BurstOfSavesIsReportedOnceAfterTheLast) {
  std::string path = write("burst.png", "0");
  ASSERT_GE(fw2::add_watch(&owner_a, path), 0);
  uint32_t now = 5000;
  fw2::poll_at(now);
  for (int save = 1; save <= 3; ++save) {
    write("burst.png", std::to_string(save));
    now += 200;
    fw2::poll_at(now);
  }
  fw2::poll_at(now + 1000);
  EXPECT_TRUE(take(&owner_a).empty());
  fw2::poll_at(now + 1001);
  EXPECT_EQ(take(&owner_a), std::vector<std::string>{path});
  fw2::poll_at(now + 5000);
  EXPECT_TRUE(take(&owner_a).empty());
}

TEST_F(Fw2WatchTest, MatchesIgnoreCaseAndRenamesOntoTheNameCount) {
  std::string texture = write("texture.png", "t");
  std::string target = write("target.txt", "old");
  write("other.txt", "new");
  ASSERT_GE(fw2::add_watch(&owner_a, texture), 0);
  ASSERT_GE(fw2::add_watch(&owner_b, target), 0);
  ASSERT_GE(fw2::add_watch(&owner_b, target), 0);
  fw2::poll_at(100);
  write("Texture.PNG", "upper");  // another file here, but the name matches
  std::filesystem::rename(dir + "/other.txt", target);
  write("unwatched.txt", "u");
  fw2::poll_at(200);
  fw2::poll_at(1201);
  EXPECT_EQ(take(&owner_a), std::vector<std::string>{texture});
  // Two registrations of one file are reported separately.
  EXPECT_EQ(take(&owner_b), (std::vector<std::string>{target, target}));
}

TEST_F(Fw2WatchTest, OwnerWithNothingQueuedGetsAnEmptyList) {
  int nobody = 0;
  EXPECT_TRUE(take(&nobody).empty());
}

TEST_F(Fw2WatchTest, RealClockReportsAfterJustOverASecond) {
  std::string path = write("live.toml", "a = 1");
  ASSERT_GE(fw2::add_watch(&owner_a, path), 0);
  fw2::poll();
  write("live.toml", "a = 2");
  uint32_t start = timeGetTime();
  fw2::poll();
  std::vector<std::string> changed;
  while (changed.empty() && timeGetTime() - start < 3000) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    fw2::poll();
    fw2::take_changes(&owner_a, changed);
  }
  EXPECT_EQ(changed, std::vector<std::string>{path});
  EXPECT_GT(timeGetTime() - start, 1000u);
}

}  // namespace
