#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/win32/directory_changes.h"
#include "platform/win32/events.h"

namespace {

struct change_t {
  DWORD action;
  std::u16string name;
  bool operator==(const change_t&) const = default;
};

class DirectoryChangesTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "dirchg_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
    handle =
        CreateFileA(dir.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  }
  void TearDown() override {
    CloseHandle(handle);
    CloseHandle(overlapped.hEvent);
    std::filesystem::remove_all(dir);
  }

  bool start(DWORD filter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE) {
    return ReadDirectoryChangesW(handle, buffer, sizeof(buffer), FALSE, filter, nullptr, &overlapped,
                                 nullptr);
  }

  // Walks the records the way the watcher does.
  std::vector<change_t> records(DWORD bytes) {
    std::vector<change_t> out;
    size_t offset = 0;
    while (bytes > 0) {
      FILE_NOTIFY_INFORMATION info;
      std::memcpy(&info, buffer + offset, offsetof(FILE_NOTIFY_INFORMATION, FileName));
      EXPECT_EQ(offset % 4, 0u);
      std::u16string name(info.FileNameLength / 2, u'\0');
      std::memcpy(name.data(), buffer + offset + offsetof(FILE_NOTIFY_INFORMATION, FileName),
                  info.FileNameLength);
      out.push_back({info.Action, name});
      if (info.NextEntryOffset == 0) break;
      offset += info.NextEntryOffset;
      EXPECT_LT(offset, bytes);
    }
    return out;
  }

  void write(const std::string& name, const std::string& content) {
    std::ofstream(dir + "/" + name, std::ios::binary) << content;
  }

  std::string dir;
  HANDLE handle = INVALID_HANDLE_VALUE;
  OVERLAPPED overlapped{};
  alignas(DWORD) uint8_t buffer[16384];
};

TEST_F(DirectoryChangesTest, ReadCompletesOnlyOnceChangesArrive) {
  ASSERT_TRUE(start());
  DWORD bytes = 123;
  EXPECT_FALSE(GetOverlappedResult(handle, &overlapped, &bytes, FALSE));
  EXPECT_EQ(GetLastError(), ERROR_IO_INCOMPLETE);
  EXPECT_EQ(WaitForSingleObject(overlapped.hEvent, 0), WAIT_TIMEOUT);

  write("Texture.PNG", "x");
  ASSERT_TRUE(GetOverlappedResult(handle, &overlapped, &bytes, FALSE));
  EXPECT_EQ(WaitForSingleObject(overlapped.hEvent, 0), WAIT_OBJECT_0);
  auto changes = records(bytes);
  ASSERT_FALSE(changes.empty());
  EXPECT_EQ(changes[0], (change_t{FILE_ACTION_ADDED, u"Texture.PNG"}));
  for (size_t i = 1; i < changes.size(); ++i)
    EXPECT_EQ(changes[i], (change_t{FILE_ACTION_MODIFIED, u"Texture.PNG"}));
}

TEST_F(DirectoryChangesTest, ChangesBetweenReadsAreKeptForTheNextRead) {
  write("kept.txt", "1");
  ASSERT_TRUE(start());
  std::filesystem::rename(dir + "/kept.txt", dir + "/renamed.txt");
  std::filesystem::remove(dir + "/renamed.txt");
  std::filesystem::create_directory(dir + "/subdir");
  DWORD bytes = 0;
  ASSERT_TRUE(GetOverlappedResult(handle, &overlapped, &bytes, FALSE));
  std::vector<change_t> expected = {{FILE_ACTION_RENAMED_OLD_NAME, u"kept.txt"},
                                    {FILE_ACTION_RENAMED_NEW_NAME, u"renamed.txt"},
                                    {FILE_ACTION_REMOVED, u"renamed.txt"}};
  // Directory names are not asked for.
  EXPECT_EQ(records(bytes), expected);
}

TEST_F(DirectoryChangesTest, OverfullQueueIsDeliveredOverSeveralReads) {
  ASSERT_TRUE(start());
  std::vector<std::u16string> expected;
  for (int i = 0; i < 600; ++i) {
    std::string name = "file_with_a_long_name_" + std::to_string(i);
    std::ofstream(dir + "/" + name).close();
    expected.push_back(std::u16string(name.begin(), name.end()));
  }
  std::vector<std::u16string> seen;
  for (int reads = 0; reads < 10; ++reads) {
    DWORD bytes = 0;
    if (!GetOverlappedResult(handle, &overlapped, &bytes, FALSE)) break;
    EXPECT_LE(bytes, sizeof(buffer));
    for (const auto& change : records(bytes))
      if (change.action == FILE_ACTION_ADDED) seen.push_back(change.name);
    ResetEvent(overlapped.hEvent);
    ASSERT_TRUE(start());
  }
  EXPECT_EQ(seen, expected);
}

TEST_F(DirectoryChangesTest, ReadOnAFailedOpenFailsWithTheHandleError) {
  HANDLE missing = CreateFileA((dir + "/no_such_dir").c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_FLAG_OVERLAPPED | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  EXPECT_EQ(missing, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(ReadDirectoryChangesW(missing, buffer, sizeof(buffer), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME,
                                     nullptr, &overlapped, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

}  // namespace
