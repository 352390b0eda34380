// A production made on a disk that ignores letter case, played from one that does not: files whose
// names have capitals are found by their lower-cased virtual paths, and of names that differ only
// in case the exact match wins, else the first in byte order.
#include <sys/stat.h>
#include <utime.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/filesystem_fixture.h"
#include "support/fw2/file_watcher.h"

namespace {

class FilesystemCaseTest : public filesystem_fixture_t {
 protected:
  void SetUp() override {
    filesystem_fixture_t::SetUp();
    write("Data/Foo.txt", "foo");
    write("Data/Music/Theme.OGG", "theme");
    write("Shaders/Tunnel.HLSL", "source");
    write("Shaders/Tunnel.toml", "metadata");
    // Byte order: "README.txt" < "ReadMe.txt" < "readme.TXT".
    set_time(write("Twin/readme.TXT", "lower stem"), 3000);
    set_time(write("Twin/ReadMe.txt", "mixed"), 2000);
    set_time(write("Twin/README.txt", "upper stem"), 1000);
  }

  static void set_time(const std::string& local, time_t when) {
    utimbuf times{when, when};
    ASSERT_EQ(utime(local.c_str(), &times), 0);
  }
};

TEST_F(FilesystemCaseTest, EveryDiskOperationFindsNamesWithCapitals) {
  struct case_t {
    const char* path;
    const char* content;
  };
  for (const case_t c :
       {case_t{"Data/Foo.txt", "foo"}, case_t{"/data/foo.txt", "foo"}, case_t{"DATA\\FOO.TXT", "foo"},
        case_t{"/data/music/theme.ogg", "theme"}, case_t{"shaders/tunnel.toml", "metadata"}}) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(read(c.path), c.content);
    std::string text;
    EXPECT_TRUE(fs->read_text_file(c.path, text));
    EXPECT_EQ(text, c.content);
    EXPECT_TRUE(fs->exists(c.path));
    EXPECT_GT(fs->get_file_time(c.path), 0);
  }
  for (const char* missing : {"data/foo.txt.bak", "data/fo.txt", "nodata/foo.txt"}) {
    EXPECT_EQ(read(missing), "<failed>") << missing;
    EXPECT_FALSE(fs->exists(missing)) << missing;
    EXPECT_EQ(fs->get_file_time(missing), 0) << missing;
  }
}

TEST_F(FilesystemCaseTest, NamesDifferingOnlyInCaseResolveTheSameWayEveryTime) {
  struct case_t {
    const char* path;
    const char* content;
    int64_t time;
  };
  // The virtual path read_file uses is lower case, so it never matches exactly: the first name in
  // byte order wins. The paths exists and get_file_time take as given match one exactly.
  for (int round = 0; round < 2; ++round) {
    for (const case_t c :
         {case_t{"twin/readme.txt", "upper stem", 1000}, case_t{"Twin/ReadMe.txt", "upper stem", 2000},
          case_t{"Twin/readme.TXT", "upper stem", 3000}, case_t{"TWIN/README.TXT", "upper stem", 1000}}) {
      SCOPED_TRACE(c.path);
      EXPECT_EQ(read(c.path), c.content);
      EXPECT_EQ(fs->get_file_time(c.path), c.time);
    }
  }
  // Once the winner is gone the next in byte order takes its place.
  std::filesystem::remove(base + "/Twin/README.txt");
  EXPECT_EQ(read("twin/readme.txt"), "mixed");
}

TEST_F(FilesystemCaseTest, AListingIsReadAgainOnceItsDirectoryChanged) {
  // An old directory time lets the listing be kept between lookups.
  set_time(base + "/Data", 5000);
  EXPECT_EQ(read("data/foo.txt"), "foo");
  EXPECT_EQ(read("data/late.txt"), "<failed>");
  write("Data/Late.txt", "late");
  EXPECT_EQ(read("data/late.txt"), "late");
  std::filesystem::rename(base + "/Data/Foo.txt", base + "/Data/Bar.txt");
  set_time(base + "/Data", 6000);
  EXPECT_EQ(read("data/foo.txt"), "<failed>");
  EXPECT_EQ(read("data/bar.txt"), "foo");
}

TEST_F(FilesystemCaseTest, ArchiveNameMappingTargetsAndDirectoriesWithCapitals) {
  write("src/inside.txt", "archived");
  zip("Demo.dat", 0, {"inside.txt"});
  EXPECT_TRUE(fs->mount_archive("Demo.dat"));
  EXPECT_EQ(read("Inside.TXT"), "archived");

  // Mapping targets are stored lower-cased; the file keeps its capitals.
  fs->add_mappings({{"/music.ogg", "Data/Music/Theme.OGG"}});
  EXPECT_EQ(read("/music.ogg"), "theme");
  EXPECT_TRUE(fs->exists("/music.ogg"));

  // A new directory goes below the existing one whatever case the path gives it.
  EXPECT_TRUE(fs->create_directory("data/Sync/tracks"));
  EXPECT_TRUE(std::filesystem::is_directory(base + "/Data/Sync/tracks"));
  EXPECT_FALSE(std::filesystem::exists(base + "/data"));
  EXPECT_TRUE(fs->create_directory("DATA/SYNC/TRACKS"));
}

TEST_F(FilesystemCaseTest, WatchedFileWithCapitalsComesBackAsItsVirtualPath) {
  int owner = 0;
  ASSERT_GE(fs->watch_file(&owner, "shaders/tunnel.toml"), 0);
  fw2::poll_at(50);
  write("Shaders/Tunnel.toml", "changed");
  fw2::poll_at(100);
  fw2::poll_at(1101);
  std::vector<std::string> changed;
  fs->get_changed_files(&owner, changed);
  EXPECT_EQ(changed, std::vector<std::string>{"shaders/tunnel.toml"});
}

}  // namespace
