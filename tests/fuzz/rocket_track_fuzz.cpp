// Feeds arbitrary bytes to the track reader as a track file and evaluates the track around and
// far outside its keys.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "libs/rocket/sync.h"
#include "libs/rocket/sync_track_reader.h"

namespace {

struct input_t {
  const uint8_t* data = nullptr;
  size_t size = 0;
  size_t cursor = 0;
};
input_t input;

void* open_input(const char*, const char*) {
  input.cursor = 0;
  return &input;
}

size_t read_input(void* destination, size_t size, size_t count, void* handle) {
  if (handle == nullptr || size == 0) return 0;
  const size_t bytes = std::min(size * count, input.size - input.cursor);
  if (bytes > 0) std::memcpy(destination, input.data + input.cursor, bytes);
  input.cursor += bytes;
  return bytes / size;
}

int close_input(void*) { return 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A whole track is exactly its count of keys; any other file has its whole keys judged.
  const track_file_check_t check = check_track_file(data, size);
  if (check.whole && (!check.has_count || check.count < 0 || uint64_t(size) != 4 + 9 * uint64_t(check.count)))
    std::abort();
  if (!check.has_count && (check.whole || check.keys_usable)) std::abort();

  input = {data, size, 0};
  sync_device* device = sync_create_device("data/sync/");
  sync_io_cb io{&open_input, &read_input, &close_input};
  sync_set_io_cb(device, &io);
  const sync_track* track = sync_get_track(device, "fuzz:track");
  if (track == nullptr) std::abort();
  for (size_t i = 1; i < track->keys.size(); ++i)
    if (track->keys[i - 1].row >= track->keys[i].row) std::abort();

  const double rows[] = {-1e300,
                         -2147483649.0,
                         -1.5,
                         0.0,
                         0.25,
                         7.75,
                         1e6,
                         2147483648.0,
                         1e300,
                         std::numeric_limits<double>::quiet_NaN(),
                         std::numeric_limits<double>::infinity()};
  volatile double sink = 0.0;
  for (double row : rows) sink = sink + sync_get_val(track, row);
  for (const track_key& key : track->keys) {
    sink = sink + sync_get_val(track, key.row) + sync_get_val(track, key.row + 0.5);
  }
  sync_destroy_device(device);
  return 0;
}
