#include "support/paths.h"

#include <gtest/gtest.h>

TEST(PathsTest, TrimSlashes) {
  struct case_t {
    const char* in;
    const char* out;
  } cases[] = {{"/a/b/", "a/b"}, {"//a", "/a"}, {"/", ""}, {"", ""}, {"\\a\\", "a"}, {"a", "a"}};
  for (const case_t& c : cases) EXPECT_EQ(trim_slashes(c.in), c.out) << c.in;
}

TEST(PathsTest, JoinPathsKeepsAnAbsoluteBase) {
  struct case_t {
    const char* a;
    const char* b;
    const char* out;
  } cases[] = {
      {"/opt/demo", "data/x.png", "/opt/demo/data/x.png"},
      {"/opt/demo/", "/data/x.png", "/opt/demo/data/x.png"},
      {"base", "\\shaders\\a.hlsl", "base/shaders/a.hlsl"},
      {"C:\\demo", "x", "C:/demo/x"},
      {"/", "x", "/x"},
  };
  for (const case_t& c : cases) EXPECT_EQ(join_paths(c.a, c.b), c.out) << c.a << " + " << c.b;
}

TEST(PathsTest, ReplaceExtension) {
  struct case_t {
    const char* path;
    const char* extension;
    const char* out;
  } cases[] = {
      {"shaders/x.hlsl", "toml", "shaders/x.toml"},
      {"shaders/x.hlsl", ".toml", "shaders/x.toml"},
      {"shaders/x", "toml", "shaders/x.toml"},
      {"a.b.c", "d", "a.b.d"},
      {"x.hlsl", ".", "x.."},
      // A dot in a directory name is not an extension.
      {"data/v1.2/x", "toml", "data/v1.2/x.toml"},
  };
  for (const case_t& c : cases) EXPECT_EQ(replace_extension(c.path, c.extension), c.out) << c.path;
}

TEST(PathsTest, SplitDirFile) {
  std::string dir = "d", file = "f";
  split_dir_file("a\\b/c.txt", &dir, &file);
  EXPECT_EQ(dir, "a/b");
  EXPECT_EQ(file, "c.txt");
  split_dir_file("c.txt", &dir, &file);
  EXPECT_EQ(dir, "");
  EXPECT_EQ(file, "c.txt");
  split_dir_file("a/", &dir, nullptr);
  EXPECT_EQ(dir, "a");
  split_dir_file("/x", nullptr, &file);
  EXPECT_EQ(file, "x");
}

TEST(PathsTest, SplitDirNameExt) {
  std::string dir, stem, ext;
  split_dir_name_ext("p/q/a.b.c", &dir, &stem, &ext);
  EXPECT_EQ(dir, "p/q");
  EXPECT_EQ(stem, "a");
  EXPECT_EQ(ext, "b.c");
  split_dir_name_ext("noext", &dir, &stem, &ext);
  EXPECT_EQ(dir, "");
  EXPECT_EQ(stem, "noext");
  EXPECT_EQ(ext, "");
}

TEST(PathsTest, NormalizePath) {
  EXPECT_EQ(normalize_path("A\\\\B//D"), "a/b/d");
  EXPECT_EQ(normalize_path("//X/"), "/x/");
}

TEST(PathsTest, PathInfoParsesAndRebuilds) {
  path_info_t info("Shaders\\Post\\Blur.PS.hlsl");
  EXPECT_EQ(info.valid, 1);
  EXPECT_EQ(info.full, "shaders/post/blur.ps.hlsl");
  EXPECT_EQ(info.directory, "shaders/post/");
  EXPECT_EQ(info.stem, "blur");
  EXPECT_EQ(info.extensions, (std::vector<std::string>{"ps", "hlsl"}));
  info.full.clear();
  info.rebuild();
  EXPECT_EQ(info.full, "shaders/post/blur.ps.hlsl");

  info.extensions.back() = "toml";
  info.rebuild();
  EXPECT_EQ(info.full, "shaders/post/blur.ps.toml");
}

TEST(PathsTest, PathInfoWithoutDirectoryOrExtension) {
  path_info_t info("README");
  EXPECT_EQ(info.directory, "");
  EXPECT_EQ(info.stem, "readme");
  EXPECT_TRUE(info.extensions.empty());
  info.rebuild();
  // No trailing dot: Linux would not find "readme.".
  EXPECT_EQ(info.full, "readme");
}

TEST(PathsTest, AppendPathBackslash) {
  EXPECT_EQ(append_path_backslash("D:/x", "/y.dat"), "D:/x\\/y.dat");
  EXPECT_EQ(append_path_backslash("", "y"), "y");
  EXPECT_EQ(append_path_backslash("d/", "y"), "d/y");
  EXPECT_EQ(append_path_backslash("d\\", "y"), "d\\y");
  EXPECT_EQ(append_path_backslash("d", "y"), "d\\y");
}

TEST(PathsTest, PathClimbsAboveRoot) {
  struct case_t {
    const char* path;
    bool climbs;
  };
  for (const case_t& c :
       {case_t{"..", true}, case_t{"../a", true}, case_t{"/../a", true}, case_t{"a/../../b", true},
        case_t{"..\\a", true}, case_t{"a\\..\\..\\b", true}, case_t{"./../a", true}, case_t{"a//../..", true},
        case_t{"a/../b", false}, case_t{"a/b/../../c", false}, case_t{"...", false}, case_t{"a/..b", false},
        case_t{"", false}, case_t{"/", false}, case_t{"./a/.", false}}) {
    EXPECT_EQ(path_climbs_above_root(c.path), c.climbs) << c.path;
  }
}
