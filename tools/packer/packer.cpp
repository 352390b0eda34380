// Packs content directories into the player's ZIP archive.
//
//   packer [--exclude SUFFIX]... OUTPUT DIR...
//
// Every regular file below each DIR becomes an entry named by its path
// relative to that DIR, with '/' separators. A later DIR overrides an entry of
// an earlier one, so generated content wins over the sources. Files whose
// names end in an excluded suffix are left out. The archive is written next
// to OUTPUT and renamed into place, so a failed run leaves the old one.

#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <fmt/printf.h>

namespace fs = std::filesystem;

namespace {

bool excluded(const std::string& name, const std::vector<std::string>& suffixes) {
  return std::any_of(suffixes.begin(), suffixes.end(), [&](const std::string& suffix) {
    return name.size() >= suffix.size() &&
           name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
  });
}

int fail(const std::string& message) {
  fmt::fprintf(stderr, "packer: %s\n", message);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> suffixes;
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--exclude" && i + 1 < argc)
      suffixes.push_back(argv[++i]);
    else
      positional.push_back(arg);
  }
  if (positional.size() < 2) return fail("usage: packer [--exclude SUFFIX]... OUTPUT DIR...");

  // Entry name to source file, sorted so the archive's order is reproducible.
  std::map<std::string, fs::path> entries;
  for (size_t d = 1; d < positional.size(); ++d) {
    fs::path root = positional[d];
    std::error_code error;
    if (!fs::is_directory(root, error)) continue;
    for (auto it = fs::recursive_directory_iterator(root, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
      if (!it->is_regular_file()) continue;
      std::string name = fs::relative(it->path(), root).generic_string();
      if (!excluded(name, suffixes)) entries[name] = it->path();
    }
    if (error) return fail(fmt::sprintf("cannot list %s: %s", root.string(), error.message()));
  }

  fs::path output = positional[0];
  fs::path temporary = output;
  temporary += ".tmp";
  std::error_code ignored;
  fs::remove(temporary, ignored);
  int code = 0;
  zip_t* archive = zip_open(temporary.string().c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
  if (!archive) return fail(fmt::sprintf("cannot create %s (libzip error %d)", temporary.string(), code));
  for (const auto& [name, path] : entries) {
    zip_source_t* source = zip_source_file(archive, path.string().c_str(), 0, -1);
    zip_int64_t index = source ? zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8) : -1;
    if (index < 0) {
      if (source) zip_source_free(source);
      std::string message = fmt::sprintf("cannot add %s: %s", path.string(), zip_strerror(archive));
      zip_discard(archive);
      return fail(message);
    }
    zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 9);
  }
  if (entries.empty()) {
    // libzip writes no file for an empty archive; the player still wants one.
    zip_discard(archive);
    static const unsigned char empty_zip[22] = {'P', 'K', 5, 6};
    FILE* file = std::fopen(temporary.string().c_str(), "wb");
    if (!file || std::fwrite(empty_zip, 1, sizeof(empty_zip), file) != sizeof(empty_zip))
      return fail(fmt::sprintf("cannot write %s", temporary.string()));
    std::fclose(file);
  } else if (zip_close(archive) != 0) {
    std::string message = fmt::sprintf("cannot write %s: %s", temporary.string(), zip_strerror(archive));
    zip_discard(archive);
    return fail(message);
  }
  fs::create_directories(output.parent_path().empty() ? fs::path(".") : output.parent_path(), ignored);
  std::error_code error;
  fs::rename(temporary, output, error);
  if (error) return fail(fmt::sprintf("cannot move %s into place: %s", output.string(), error.message()));
  fmt::printf("packer: %zu entries into %s\n", entries.size(), output.string());
  return 0;
}
