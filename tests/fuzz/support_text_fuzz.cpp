// Arbitrary bytes through the text, path, line and option helpers: no crash, no undefined
// behaviour, and the invariants that callers rely on.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/options.h"
#include "support/paths.h"
#include "support/strings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);

  std::vector<char16_t> units(size / 2);
  for (size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  std::string utf8;
  if (to_utf8_n(units.data(), units.size(), utf8) && utf8.size() > units.size() * 2 + 1) std::abort();

  for (const std::string& piece : split_string(text, '/'))
    if (piece.empty()) std::abort();
  std::string normalized = normalize_path(text);
  if (normalized.find("//") != std::string::npos || normalized.find('\\') != std::string::npos) std::abort();
  path_info_t info(text);
  info.rebuild();
  (void)join_paths(text, text);
  (void)replace_extension(text, text);
  std::string dir, stem, ext;
  split_dir_name_ext(text, &dir, &stem, &ext);

  line_reader_t reader(data, size);
  size_t total = 0;
  while (!reader.at_end()) total += reader.read_line().size();
  if (total > size) std::abort();

  std::vector<std::string> arguments = split_string(text, ' ');
  ArgParser parser;
  bool flag = false;
  std::string value;
  parser.add_flag("d", "debug", &flag);
  parser.add_string("z", "zip", &value);
  parser.parse(arguments);
  return 0;
}
