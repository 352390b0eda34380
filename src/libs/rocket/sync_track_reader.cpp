#include "libs/rocket/sync_track_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// One field through the read callback; false unless every byte arrived.
template <size_t n>
bool read_field(const sync_io_cb& io, void* file, unsigned char (&bytes)[n]) {
  return io.read(bytes, n, 1, file) == 1;
}

uint32_t little_endian_u32(const unsigned char (&bytes)[4]) {
  return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
}

std::vector<track_key> read_keys(const sync_io_cb& io, void* file) {
  std::vector<track_key> keys;
  unsigned char count_bytes[4];
  if (!read_field(io, file, count_bytes)) return keys;
  const auto count = static_cast<int32_t>(little_endian_u32(count_bytes));
  // The count is not trusted for the allocation: a short file would promise more than it holds.
  for (int32_t k = 0; k < count; ++k) {
    unsigned char row[4];
    unsigned char value[4];
    unsigned char type[1];
    if (!read_field(io, file, row) || !read_field(io, file, value) || !read_field(io, file, type)) break;
    track_key key;
    key.row = static_cast<int32_t>(little_endian_u32(row));
    const uint32_t bits = little_endian_u32(value);
    std::memcpy(&key.value, &bits, sizeof key.value);
    key.type = static_cast<key_type>(type[0]);
    keys.push_back(key);
  }
  return keys;
}

void sort_unique_by_row(std::vector<track_key>& keys) {
  std::stable_sort(keys.begin(), keys.end(),
                   [](const track_key& a, const track_key& b) { return a.row < b.row; });
  std::vector<track_key> unique;
  unique.reserve(keys.size());
  for (const track_key& key : keys) {
    if (!unique.empty() && unique.back().row == key.row)
      unique.back() = key;
    else
      unique.push_back(key);
  }
  keys.swap(unique);
}

}  // namespace

std::vector<track_key> read_track_keys(const sync_io_cb& io, const char* path) {
  void* file = io.open(path, "rb");
  if (file == nullptr) return {};
  std::vector<track_key> keys = read_keys(io, file);
  io.close(file);
  sort_unique_by_row(keys);
  return keys;
}

track_file_check_t check_track_file(const uint8_t* bytes, size_t size) {
  track_file_check_t check;
  if (size < 4) return check;
  check.has_count = true;
  std::memcpy(&check.count, bytes, 4);
  if (check.count < 0) return check;
  check.whole = uint64_t(size) == 4 + 9 * uint64_t(check.count);
  check.keys_usable = true;
  const uint64_t keys = std::min<uint64_t>((size - 4) / 9, uint64_t(check.count));
  int64_t previous_row = -1;
  for (uint64_t k = 0; k < keys; ++k) {
    const uint8_t* key = bytes + 4 + 9 * k;
    int32_t row = 0;
    float value = 0.0f;
    std::memcpy(&row, key, 4);
    std::memcpy(&value, key + 4, 4);
    if (row <= previous_row || !std::isfinite(value) || key[8] > KEY_RAMP) check.keys_usable = false;
    previous_row = row;
  }
  return check;
}
