#pragma once
// Reads a track file: int32 key count, then per key int32 row, float32 value and uint8 type,
// packed and little-endian. Only whole keys are kept; the result is sorted by row with one key per
// row (the later key wins), so evaluation never divides by a zero row distance.

#include <vector>

#include "libs/rocket/sync.h"

std::vector<track_key> read_track_keys(const sync_io_cb& io, const char* path);
