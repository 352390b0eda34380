#include <algorithm>
#include <climits>
#include <cmath>

#include "libs/rocket/sync.h"

namespace {

// floor(row) as an int; rows outside the int range (and NaN) saturate rather than overflow.
int32_t row_index(double row) {
  if (!(row >= static_cast<double>(INT32_MIN))) return INT32_MIN;
  if (row >= static_cast<double>(INT32_MAX)) return INT32_MAX;
  return static_cast<int32_t>(std::floor(row));
}

// The key at irow, or else the last key before it; -1 when every key lies after it.
ptrdiff_t find_key(const std::vector<track_key>& keys, int32_t irow) {
  const auto after = std::upper_bound(keys.begin(), keys.end(), irow,
                                      [](int32_t r, const track_key& key) { return r < key.row; });
  return (after - keys.begin()) - 1;
}

}  // namespace

double sync_get_val(const sync_track* track, double row) {
  if (track == nullptr || track->keys.empty()) return 0.0;
  const std::vector<track_key>& keys = track->keys;
  const ptrdiff_t index = find_key(keys, row_index(row));
  if (index < 0) return keys.front().value;
  if (index > static_cast<ptrdiff_t>(keys.size()) - 2) return keys.back().value;

  const track_key& a = keys[index];
  const track_key& b = keys[index + 1];
  // Row distances in double: two int rows far apart would overflow an int subtraction.
  const double u = (row - a.row) / (static_cast<double>(b.row) - a.row);
  const double delta = static_cast<double>(b.value) - a.value;
  switch (a.type) {
    case KEY_STEP:
      return a.value;
    case KEY_LINEAR:
      return a.value + delta * u;
    case KEY_SMOOTH:
      return a.value + delta * (u * u * (3.0 - 2.0 * u));
    case KEY_RAMP:
      return a.value + delta * (u * u);
  }
  return 0.0;
}
