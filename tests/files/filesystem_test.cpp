#include <sys/stat.h>
#include <utime.h>

#include <fstream>

#include "files/toml_file.h"
#include "common/filesystem_fixture.h"
#include "platform/win32/resources.h"
#include "support/fw2/file_watcher.h"
#include "support/log.h"
#include "support/strings.h"

namespace {

// Collects log lines for the length of a test.
class capture_sink_t : public logger::log_sink_t {
 public:
  void write(const logger::log_record_t& record) override { messages.push_back(record.message); }
  std::vector<std::string> messages;
};

class capture_logger_t {
 public:
  capture_logger_t() : previous_(logger::current_logger()) {
    logger_.sinks.push_back({&sink, -1});
    logger_.break_level = -1;
    logger::set_current_logger(&logger_);
  }
  ~capture_logger_t() { logger::set_current_logger(previous_); }
  capture_sink_t sink;

 private:
  logger::logger_t logger_;
  logger::logger_t* previous_;
};

const std::string deflatable(2000, 'd');

class FilesystemTest : public filesystem_fixture_t {
 protected:
  // An archive holding a stored, a deflated and a corrupt stored entry.
  void make_archive() {
    write("src/corrupt.txt", "corrupt entry bytes");
    write("src/shaders/a.txt", "archived a");
    write("src/deflated.txt", deflatable);
    zip("vlm_ks9.dat", 0, {"corrupt.txt"});
    zip("vlm_ks9.dat", 0, {"shaders/a.txt"});
    zip("vlm_ks9.dat", 9, {"deflated.txt"});
    // The first entry's local header is at offset 0; flip a byte of its data.
    std::fstream file(base + "/vlm_ks9.dat", std::ios::in | std::ios::out | std::ios::binary);
    unsigned char header[30];
    file.read(reinterpret_cast<char*>(header), 30);
    int data = 30 + (header[26] | header[27] << 8) + (header[28] | header[29] << 8);
    file.seekp(data + 3);
    file.put('X');
  }
};

TEST_F(FilesystemTest, BaseDirectoryIsTheExecutablesAbsoluteDirectory) {
  EXPECT_EQ(fs->get_base_dir(), base);
  EXPECT_EQ(fs->get_exe_path(), base + "/player");
  EXPECT_EQ(fs->resolve_local_path("/data/x.png", false), base + "/data/x.png");
  EXPECT_FALSE(fs->always_false());
}

TEST_F(FilesystemTest, ToVirtualPath) {
  EXPECT_EQ(to_virtual_path("D:\\Data\\X.png"), "d:/data/x.png");
  EXPECT_EQ(to_virtual_path("data\\\\x.png"), "/data/x.png");
  EXPECT_EQ(to_virtual_path(""), "");
}

TEST_F(FilesystemTest, HostMappingsReadTheMappedLocalFileEvenWithAnArchive) {
  write("marrek_ember_drift.ogg", "cut");
  make_archive();
  ASSERT_TRUE(fs->mount_archive("vlm_ks9.dat"));
  fs->add_mappings({{"/data/Marrek - Ember Drift.ogg", "Marrek - Ember Drift.ogg"},
                    {"/data/marrek - ember drift_cut1.ogg", "marrek_ember_drift.ogg"}});
  EXPECT_EQ(read("/data/marrek - ember drift_cut1.ogg"), "cut");
  EXPECT_TRUE(fs->exists("/data/marrek - ember drift_cut1.ogg"));
  // Keys are stored lower-cased, so a path with capitals misses its mapping.
  EXPECT_EQ(read("/data/Marrek - Ember Drift.ogg"), "<failed>");
  write("marrek - ember drift.ogg", "full");
  EXPECT_EQ(read("/data/marrek - ember drift.ogg"), "full");
}

TEST_F(FilesystemTest, AMappingWinsOverAnArchiveEntryOfTheSameName) {
  make_archive();
  ASSERT_TRUE(fs->mount_archive("vlm_ks9.dat"));
  write("local_a.txt", "mapped a");
  fs->add_mappings({{"/shaders/a.txt", "local_a.txt"}, {"deflated.txt", "missing_local.txt"}});
  struct case_t {
    const char* path;
    const char* read;
    bool exists;
  } cases[] = {
      // The mapped file is read, not the archive's entry.
      {"/shaders/a.txt", "mapped a", true},
      // A mapping to a file that is not there does not fall back on the archive.
      {"deflated.txt", "<failed>", false},
      // Spellings the mapping does not hold still reach the archive.
      {"shaders/a.txt", "archived a", true},
      {"/Shaders/A.txt", "archived a", true},
  };
  for (const case_t& c : cases) {
    EXPECT_EQ(read(c.path), c.read) << c.path;
    EXPECT_EQ(fs->exists(c.path), c.exists) << c.path;
  }
}

TEST_F(FilesystemTest, ArchiveEntriesAreFoundByWholeNameIgnoringCase) {
  make_archive();
  ASSERT_TRUE(fs->mount_archive("vlm_ks9.dat"));
  for (const char* path : {"Shaders/A.TXT", "/shaders/a.txt/", "shaders/a.txt"}) {
    EXPECT_EQ(read(path), "archived a") << path;
    EXPECT_TRUE(fs->exists(path)) << path;
  }
  EXPECT_FALSE(fs->exists("shaders\\a.txt"));
  EXPECT_FALSE(fs->exists("a.txt"));
  EXPECT_EQ(read("deflated.txt"), deflatable);
  std::string text = "unchanged";
  EXPECT_TRUE(fs->read_text_file("/deflated.txt", text));
  EXPECT_EQ(text, deflatable);
}

TEST_F(FilesystemTest, CorruptEntryFailsWithoutTryingTheDisk) {
  make_archive();
  write("corrupt.txt", "disk copy");
  ASSERT_TRUE(fs->mount_archive("vlm_ks9.dat"));
  EXPECT_EQ(read("corrupt.txt"), "<failed>");
  std::string text = "unchanged";
  EXPECT_FALSE(fs->read_text_file("corrupt.txt", text));
  EXPECT_EQ(text, "unchanged");
}

TEST_F(FilesystemTest, DiskOnlyFileReadsButDoesNotExistWhileAnArchiveIsMounted) {
  write("only/on_disk.txt", "disk");
  EXPECT_TRUE(fs->exists("/only/on_disk.txt"));
  make_archive();
  ASSERT_TRUE(fs->mount_archive("vlm_ks9.dat"));
  EXPECT_EQ(read("/only/on_disk.txt"), "disk");
  EXPECT_FALSE(fs->exists("/only/on_disk.txt"));
  EXPECT_EQ(read("/only/missing.txt"), "<failed>");
}

TEST_F(FilesystemTest, EmptyFileReadsAsNoBytes) {
  write("empty.txt", "");
  byte_vector_t bytes = {1, 2, 3};
  EXPECT_TRUE(fs->read_file("empty.txt", bytes));
  EXPECT_TRUE(bytes.empty());
}

TEST_F(FilesystemTest, MountFailuresAreLoggedAndDiskKeepsWorking) {
  capture_logger_t capture;
  EXPECT_FALSE(fs->mount_archive("missing.dat"));
  write("not_a_zip.dat", "plain text, no archive");
  EXPECT_FALSE(fs->mount_archive("not_a_zip.dat"));
  ASSERT_EQ(capture.sink.messages.size(), 2u);
  EXPECT_EQ(capture.sink.messages[0], "Attempting to non-existant archive: " + base + "\\/missing.dat");
  EXPECT_EQ(capture.sink.messages[1], "Error mounting archive: not_a_zip.dat");
  write("disk.txt", "disk");
  EXPECT_TRUE(fs->exists("disk.txt"));
}

TEST_F(FilesystemTest, FailedRemountLeavesNoArchiveMounted) {
  make_archive();
  ASSERT_TRUE(fs->mount_archive("vlm_ks9.dat"));
  write("not_a_zip.dat", "plain");
  write("shaders/a.txt", "disk a");
  EXPECT_FALSE(fs->mount_archive("not_a_zip.dat"));
  EXPECT_EQ(read("shaders/a.txt"), "disk a");
}

TEST_F(FilesystemTest, FileTimesComeFromTheDiskOnly) {
  std::string local = write("timed.txt", "t");
  utimbuf times{1000000000, 1234567890};
  ASSERT_EQ(utime(local.c_str(), &times), 0);
  EXPECT_EQ(fs->get_file_time("/timed.txt"), 1234567890);
  EXPECT_EQ(fs->get_file_time("/missing.txt"), 0);
  make_archive();
  ASSERT_TRUE(fs->mount_archive("vlm_ks9.dat"));
  EXPECT_EQ(fs->get_file_time("shaders/a.txt"), 0);
}

TEST_F(FilesystemTest, CreateDirectoryMakesParentsAndAcceptsExisting) {
  EXPECT_TRUE(fs->create_directory("data/sync/"));
  struct stat st {};
  ASSERT_EQ(stat((base + "/data/sync").c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_TRUE(fs->create_directory("data/sync"));
  write("blocker", "a file");
  EXPECT_FALSE(fs->create_directory("blocker"));
  EXPECT_FALSE(fs->create_directory("blocker/below"));
}

TEST_F(FilesystemTest, ResourcesAreCopiedExactly) {
  static const unsigned char bytes[] = {'v', 'f', 's', 0, '!'};
  static win32::data_resource_registrar_t registrar("VFS_TEST_RESOURCE", bytes, sizeof(bytes));
  static win32::data_resource_registrar_t empty("VFS_TEST_EMPTY", bytes, 0);
  byte_vector_t out;
  ASSERT_TRUE(fs->load_resource("VFS_TEST_RESOURCE", out));
  EXPECT_EQ(out, byte_vector_t(bytes, bytes + sizeof(bytes)));
  byte_vector_t untouched = {7};
  EXPECT_FALSE(fs->load_resource("VFS_TEST_EMPTY", untouched));
  EXPECT_FALSE(fs->load_resource("VFS_TEST_ABSENT", untouched));
  EXPECT_EQ(untouched, byte_vector_t{7});
}

TEST_F(FilesystemTest, MakeRelativeStripsTheBaseDirectory) {
  EXPECT_EQ(fs->make_relative(base + "/Data/X.png"), "/data/x.png");
  EXPECT_EQ(fs->make_relative(base + "x/y"), to_lower(base + "x/y"));
  EXPECT_EQ(fs->make_relative("/elsewhere/y"), "/elsewhere/y");
}

TEST_F(FilesystemTest, FindFilesSearchesRecursivelyBySuffix) {
  write("shaders/a.hlsl", "");
  write("shaders/post/b.ps.hlsl", "");
  write("shaders/c.toml", "");
  auto found = fs->find_files("shaders", "*.hlsl;;*.none");
  ASSERT_EQ(found.size(), 2u);
  std::sort(found.begin(), found.end(), [](auto& a, auto& b) { return a.virtual_path < b.virtual_path; });
  EXPECT_EQ(found[0].virtual_path, "/shaders/a.hlsl");
  EXPECT_EQ(found[1].virtual_path, "/shaders/post/b.ps.hlsl");
  EXPECT_EQ(found[1].stem, "b");
  EXPECT_EQ(found[1].file_name, "b.ps.hlsl");
  // Local paths are normalised, the base directory included.
  EXPECT_EQ(found[1].local_path, to_lower(base + "/shaders/post/b.ps.hlsl"));
}

TEST_F(FilesystemTest, OpenFileDialogReportsCancel) {
  EXPECT_EQ(fs->open_file_dialog("Open", "All\0*.*\0", "shaders", 0, nullptr), "");
  EXPECT_TRUE(fs->list_pairs().empty());
}

TEST_F(FilesystemTest, WatchFileCallbackCallsOnlyWhenAsked) {
  int calls = 0;
  std::string seen;
  auto callback = [&](const std::string& path) {
    ++calls;
    seen = path;
  };
  EXPECT_EQ(fs->watch_file_callback("config/cam.txt", false, callback), 0);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(fs->watch_file_callback("config/cam.txt", true, callback), 0);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(seen, "config/cam.txt");
  EXPECT_THROW(fs->watch_file_callback("x", true, {}), std::bad_function_call);
}

TEST_F(FilesystemTest, WatchingAMissingFileFails) {
  int owner = 0;
  EXPECT_EQ(fs->watch_file(&owner, "/missing.png"), -1);
  std::vector<std::string> changed = {"stale"};
  fs->get_changed_files(&owner, changed);
  EXPECT_TRUE(changed.empty());
}

// A path that climbs above the program's directory reaches nothing outside it, whatever asks; one
// that climbs and comes back down stays inside and works.
TEST_F(FilesystemTest, PathsClimbingAboveTheRootAreRefused) {
  const std::filesystem::path root(base);
  const std::string outside_name = root.filename().string() + "_outside.txt";
  const std::filesystem::path outside = root.parent_path() / outside_name;
  std::ofstream(outside) << "secret";
  write("data/inside.txt", "inside");
  capture_logger_t log;
  int owner = 0;
  for (const std::string& path :
       {"../" + outside_name, "/../" + outside_name, "data/../../" + outside_name, "..\\" + outside_name}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(read(path), "<failed>");
    EXPECT_FALSE(fs->exists(path));
    EXPECT_EQ(fs->get_file_time(path), 0);
    EXPECT_EQ(fs->resolve_local_path(path, true), "");
    EXPECT_EQ(fs->watch_file(&owner, path), -1);
  }
  const std::string made = root.filename().string() + "_made";
  EXPECT_FALSE(fs->create_directory("../" + made + "/sub"));
  EXPECT_FALSE(std::filesystem::exists(root.parent_path() / made));
  EXPECT_EQ(read("data/../data/inside.txt"), "inside");
  std::filesystem::remove(outside);
  int refusals = 0;
  for (const std::string& message : log.sink.messages)
    refusals += message.rfind("Refusing a path that climbs above the program's directory: ", 0) == 0;
  EXPECT_GE(refusals, 4);
}

TEST_F(FilesystemTest, LoadTomlReadsThroughTheFileSystem) {
  write("settings.toml", "[settings]\nsize = int2(640, 480)\n");
  write("broken.toml", "a = 1\nb = 2\nc ! 3\n");
  auto loaded = serial::load_toml(*fs, "/settings.toml");
  ASSERT_TRUE(loaded.has_value()) << loaded.error();
  EXPECT_EQ((*loaded)
                ->get("settings", serial::value_kind_t::table)
                .get("size", serial::value_kind_t::int2)
                .payload.i[1],
            480);
  EXPECT_EQ(serial::load_toml(*fs, "/broken.toml").error(), "Error: expected: =, got !\n/broken.toml(3)");
  EXPECT_EQ(serial::load_toml(*fs, "/missing.toml").error(), "error reading file: /missing.toml");
  EXPECT_EQ(serial::load_toml(*fs, "/settings.TOML").error(), "unsupported extension");
  EXPECT_EQ(serial::load_toml(*fs, "/settingstoml").error(), "error reading file: /settingstoml");
  // The newest file system is the one the one-argument form reads through.
  EXPECT_TRUE(serial::load_toml("/settings.toml").has_value());
}

}  // namespace

namespace {

TEST_F(FilesystemTest, ChangedWatchedFilesComeBackAsTheirVirtualPaths) {
  capture_logger_t capture;
  int owner = 0;
  std::string local = write("textures/wall.png", "1");
  std::string stray = write("textures/stray.png", "1");
  ASSERT_GE(fs->watch_file(&owner, "/textures/wall.png"), 0);
  // Registered with the watcher alone, so the file system cannot map it back.
  ASSERT_GE(fw2::add_watch(&owner, stray), 0);
  fw2::poll_at(50);
  write("textures/wall.png", "2");
  write("textures/stray.png", "2");
  fw2::poll_at(100);
  fw2::poll_at(1101);
  std::vector<std::string> changed;
  fs->get_changed_files(&owner, changed);
  EXPECT_EQ(changed, std::vector<std::string>{"/textures/wall.png"});
  EXPECT_EQ(capture.sink.messages,
            std::vector<std::string>{"Unable to find resolved to local mapping for: " + stray});
}

}  // namespace
