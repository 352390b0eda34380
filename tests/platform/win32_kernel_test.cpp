// Own module, exports, data resources and events of the kernel stand-ins.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <string>
#include <thread>

#include "platform/win32/events.h"
#include "platform/win32/module.h"
#include "platform/win32/resources.h"

extern "C" __attribute__((visibility("default"))) int win32_test_exported_function() { return 42; }

namespace {

const unsigned char test_blob[] = {'p', 'r', 'o', 'j', 0, 'x'};
win32::data_resource_registrar_t test_blob_resource("TEST_BLOB", test_blob, sizeof test_blob);

std::string own_path() {
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path);
  return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

TEST(Win32ModuleTest, FileNameIsTheRunningExecutable) {
  char buffer[MAX_PATH] = {};
  DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  EXPECT_EQ(std::string(buffer), own_path());
  EXPECT_EQ(length, own_path().size());

  char small[5];
  EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), 4u);
  EXPECT_EQ(std::string(small), own_path().substr(0, 4));
}

TEST(Win32ModuleTest, LoadingTheOwnExecutableFindsItsExports) {
  std::string path = own_path();
  HMODULE module = LoadLibraryA(path.c_str());
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(module, GetModuleHandleA(nullptr));

  auto function = reinterpret_cast<int (*)()>(GetProcAddress(module, "win32_test_exported_function"));
  ASSERT_NE(function, nullptr);
  EXPECT_EQ(function(), 42);
  EXPECT_EQ(GetProcAddress(module, "no_such_export_anywhere"), nullptr);
}

TEST(Win32ModuleTest, OtherModulesDoNotLoad) {
  EXPECT_EQ(LoadLibraryA("/bin/sh"), nullptr);
  EXPECT_EQ(LoadLibraryA("/no/such/file"), nullptr);
  EXPECT_EQ(GetModuleHandleA("other.dll"), nullptr);
}

TEST(Win32ResourceTest, RegisteredBlobIsFoundWithItsExactBytes) {
  HRSRC resource = FindResourceA(nullptr, "TEST_BLOB", RT_RCDATA);
  ASSERT_NE(resource, nullptr);
  HGLOBAL data = LoadResource(nullptr, resource);
  ASSERT_NE(data, nullptr);
  const void* bytes = LockResource(data);
  ASSERT_EQ(SizeofResource(nullptr, resource), sizeof test_blob);
  EXPECT_EQ(std::memcmp(bytes, test_blob, sizeof test_blob), 0);
}

TEST(Win32ResourceTest, AbsentNamesAndOtherTypesAreNotFound) {
  // The test executable carries no configured resources.
  EXPECT_EQ(FindResourceA(nullptr, "ZIP_FILE", RT_RCDATA), nullptr);
  EXPECT_EQ(FindResourceA(nullptr, "PROJECT_FILE", RT_RCDATA), nullptr);
  EXPECT_EQ(FindResourceA(nullptr, "test_blob", RT_RCDATA), nullptr);
  EXPECT_EQ(FindResourceA(nullptr, "TEST_BLOB", MAKEINTRESOURCEA(3)), nullptr);
  EXPECT_EQ(LoadResource(nullptr, nullptr), nullptr);
  EXPECT_EQ(SizeofResource(nullptr, nullptr), 0u);
}

TEST(Win32EventTest, ManualResetStaysSignalledUntilReset) {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(SetEvent(event));
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
  EXPECT_TRUE(ResetEvent(event));
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(CloseHandle(event));
}

TEST(Win32EventTest, InitiallySignalledAndInvalidHandles) {
  HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  CloseHandle(event);
  EXPECT_FALSE(SetEvent(nullptr));
  EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
  EXPECT_FALSE(CloseHandle(nullptr));
  EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
}

TEST(Win32EventThreadTest, InfiniteWaitEndsWhenAnotherThreadSets) {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  int written = 0;
  std::thread setter([&] {
    written = 7;
    SetEvent(event);
  });
  EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(written, 7);
  setter.join();
  CloseHandle(event);
}

}  // namespace
