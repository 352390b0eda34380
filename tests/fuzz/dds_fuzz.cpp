// Feeds arbitrary bytes to the DDS header reader and splits what it accepts into subresources,
// with and without a size limit; every subresource must lie inside the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "media/dds_texture_reader.h"

namespace {

void check_entries(const dds_layout_t& layout, const dds_init_data_t& init, const uint8_t* data, size_t size) {
  const uint8_t* end = data + size;
  for (const D3D11_SUBRESOURCE_DATA& entry : init.entries) {
    const auto* start = static_cast<const uint8_t*>(entry.pSysMem);
    if (start < layout.pixels || start > end) std::abort();
    if (uint64_t(entry.SysMemSlicePitch) > uint64_t(end - start)) std::abort();
    if (entry.SysMemSlicePitch > 0 && entry.SysMemPitch > entry.SysMemSlicePitch) std::abort();
  }
  if (init.skipped_levels >= layout.mip_count) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  dds_layout_t layout;
  if (FAILED(dds_read_header(data, size, layout))) return 0;
  if (layout.pixels + layout.pixel_bytes != data + size) std::abort();
  if (layout.mip_count == 0 || layout.mip_count > 15 || layout.array_size == 0) std::abort();
  for (const uint32_t limit : {0u, 8192u, 2048u, 4u}) {
    dds_init_data_t init;
    if (SUCCEEDED(dds_fill_init_data(layout, limit, init))) check_entries(layout, init, data, size);
  }
  return 0;
}
