// PNG and JPEG files of any bytes: the decoder refuses them or gives pixels of a positive size.
#include <cstddef>
#include <cstdint>

#include "media/image_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto image = decode_image_rgba8(data, size);
  if (!image) return 0;
  if (image->width <= 0 || image->height <= 0 || !image->pixels) __builtin_trap();
  // Every pixel is there to read.
  volatile uint8_t last = image->pixels.get()[size_t(image->width) * size_t(image->height) * 4 - 1];
  (void)last;
  return 0;
}
