#include "engine/graphics_resources.h"

#include <cstdint>

namespace {

class graphics_resources_impl_t final : public graphics_resources_t {
 public:
  void release_all() override {}
  void begin_frame() override { ++frame_counter_; }

 private:
  int32_t frame_counter_ = 0;
};

}  // namespace

tl::expected<graphics_resources_t*, std::string> create_graphics_resources() {
  return new graphics_resources_impl_t;
}
