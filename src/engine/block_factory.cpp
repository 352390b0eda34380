#include "engine/block_factory.h"

#include <array>

namespace {

// The project format's class list, in the order lookups take.
constexpr std::array<std::string_view, 15> class_names = {
    "dummy",         "shader",      "bloom",           "streak",      "tonemapping",
    "volumetric-light", "simple-particlesystem", "particlesystem", "intro-block", "tile-transition",
    "grid-deform",   "lsystem",     "mesh",            "sdf-text",    "depth-of-field",
};

// Filled while static objects are constructed, read-only afterwards; a function-local static, so a
// registrar in another file never finds it unconstructed.
std::array<block_builder_t, class_names.size()>& builders() {
  static std::array<block_builder_t, class_names.size()> table = [] {
    std::array<block_builder_t, class_names.size()> initial{};
    initial[0] = make_dummy_block;
    return initial;
  }();
  return table;
}

}  // namespace

bool register_block_class(std::string_view class_name, block_builder_t make) {
  for (size_t i = 0; i < class_names.size(); ++i) {
    if (class_names[i] != class_name) continue;
    builders()[i] = make;
    return true;
  }
  return false;
}

block_class_registrar_t::block_class_registrar_t(std::string_view class_name, block_builder_t make) {
  register_block_class(class_name, make);
}

block_ptr_t make_block_of_class(const std::string& class_name) {
  for (size_t i = 0; i < class_names.size(); ++i) {
    if (class_names[i] == class_name) return builders()[i] ? builders()[i]() : block_ptr_t{};
  }
  return {};
}
