#pragma once
// Reads a track file: int32 key count, then per key int32 row, float32 value and uint8 type,
// packed and little-endian. Only whole keys are kept; the result is sorted by row with one key per
// row (the later key wins), so evaluation never divides by a zero row distance.

#include <vector>

#include "libs/rocket/sync.h"

std::vector<track_key> read_track_keys(const sync_io_cb& io, const char* path);

// How the bytes of a track file stand: a whole track is a key count and exactly that many keys.
// Otherwise `keys_usable` tells whether the whole keys it holds still read as a track's (rows
// rising from 0 up, finite values, known key types), as those of a file cut short do.
struct track_file_check_t {
  bool has_count = false;
  int32_t count = 0;
  bool whole = false;
  bool keys_usable = false;
};
track_file_check_t check_track_file(const uint8_t* bytes, size_t size);
