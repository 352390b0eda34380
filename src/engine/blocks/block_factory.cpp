#include "engine/blocks/block_factory.h"

#include <string_view>

#include "engine/blocks/block_shader.h"

namespace {

struct block_class_t {
  std::string_view name;
  block_ptr_t (*make)();
};

// In the order of the project format's class list; classes without a builder are not supported.
constexpr block_class_t block_classes[] = {
    {"dummy", make_dummy_block},
    {"shader", make_shader_block},
};

}  // namespace

block_ptr_t make_block_of_class(const std::string& class_name) {
  for (const block_class_t& entry : block_classes) {
    if (entry.name == class_name) return entry.make();
  }
  return {};
}
