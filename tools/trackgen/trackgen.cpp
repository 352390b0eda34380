// trackgen: turns a text listing of sync tracks into the player's track files.
//   trackgen LISTING OUT_DIR
// Listing lines ('#' starts a comment):
//   track GROUP:NAME          starts a track
//   ROW VALUE TYPE            a key; TYPE is step, linear, smooth or ramp
//   repeat COUNT STEP ... end the keys between, COUNT times, each time STEP rows later
// Each track goes to OUT_DIR/data/sync/_<encoded name>.track: an int32 key count, then per key int32
// row, float32 value and uint8 type, little-endian. Names are encoded as the player's track reader
// expects and written in lower case, as the file system looks files up.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct sync_key_t {
  int32_t row = 0;
  float value = 0;
  uint8_t type = 0;
};

struct track_t {
  std::string name;
  std::vector<sync_key_t> keys;
};

int fail(const std::string& where, int line, const std::string& message) {
  std::fprintf(stderr, "%s:%d: error: %s\n", where.c_str(), line, message.c_str());
  return 1;
}

std::string encoded_file_name(const std::string& name) {
  std::string out = "_";
  for (unsigned char c : name) {
    if (std::isalnum(c) || c == '.' || c == '/' || c == '_') {
      out.push_back(static_cast<char>(std::tolower(c)));
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "-%02x", c);
      out += hex;
    }
  }
  return out + ".track";
}

void put(std::string& bytes, const void* data, size_t size) {
  // The host is little-endian, like the format.
  bytes.append(static_cast<const char*>(data), size);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: trackgen LISTING OUT_DIR\n");
    return 2;
  }
  const std::string listing = argv[1];
  std::ifstream in(listing);
  if (!in) return fail(listing, 0, "cannot read the listing");

  const std::map<std::string, uint8_t> types = {{"step", 0}, {"linear", 1}, {"smooth", 2}, {"ramp", 3}};
  std::vector<track_t> tracks;
  std::vector<sync_key_t> pattern;
  int repeat_count = 0, repeat_step = 0, repeat_line = 0;
  bool in_repeat = false;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    line = line.substr(0, line.find('#'));
    std::istringstream words(line);
    std::string first;
    if (!(words >> first)) continue;
    if (first == "track") {
      std::string name;
      if (!(words >> name)) return fail(listing, number, "track without a name");
      if (in_repeat) return fail(listing, number, "track inside a repeat");
      tracks.push_back({name, {}});
    } else if (first == "repeat") {
      if (in_repeat) return fail(listing, number, "nested repeat");
      if (!(words >> repeat_count >> repeat_step) || repeat_count < 1)
        return fail(listing, number, "repeat needs a count and a row step");
      in_repeat = true;
      repeat_line = number;
      pattern.clear();
    } else if (first == "end") {
      if (!in_repeat) return fail(listing, number, "end without repeat");
      for (int i = 0; i < repeat_count; ++i)
        for (sync_key_t key : pattern) {
          key.row += i * repeat_step;
          tracks.back().keys.push_back(key);
        }
      in_repeat = false;
    } else {
      if (tracks.empty()) return fail(listing, number, "key before the first track");
      sync_key_t key;
      std::string type;
      try {
        key.row = std::stoi(first);
      } catch (...) {
        return fail(listing, number, "unknown word: " + first);
      }
      if (!(words >> key.value >> type) || !types.contains(type))
        return fail(listing, number, "a key is: row value step|linear|smooth|ramp");
      key.type = types.at(type);
      (in_repeat ? pattern : tracks.back().keys).push_back(key);
    }
  }
  if (in_repeat) return fail(listing, repeat_line, "repeat without end");

  const std::filesystem::path dir = std::filesystem::path(argv[2]) / "data" / "sync";
  std::filesystem::create_directories(dir);
  for (track_t& track : tracks) {
    std::stable_sort(track.keys.begin(), track.keys.end(),
                     [](const sync_key_t& a, const sync_key_t& b) { return a.row < b.row; });
    for (size_t i = 1; i < track.keys.size(); ++i)
      if (track.keys[i].row == track.keys[i - 1].row)
        return fail(listing, 0,
                    "track " + track.name + " has two keys at row " + std::to_string(track.keys[i].row));
    std::string bytes;
    const int32_t count = static_cast<int32_t>(track.keys.size());
    put(bytes, &count, 4);
    for (const sync_key_t& key : track.keys) {
      put(bytes, &key.row, 4);
      put(bytes, &key.value, 4);
      put(bytes, &key.type, 1);
    }
    const std::filesystem::path path = dir / encoded_file_name(track.name);
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) return fail(path.string(), 0, "cannot write");
  }
  return 0;
}
