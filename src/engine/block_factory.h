#pragma once
// Class names of the timeline's blocks and the builders behind them. The engine knows every class
// name of the project format; each block class adds its builder under its name when the program
// starts (see block_class_registrar_t), so the engine needs none of the classes themselves.

#include <string>
#include <string_view>

#include "engine/block_base.h"

using block_builder_t = block_ptr_t (*)();

// The block of the class, compared exactly; empty for a class the player does not build.
block_ptr_t make_block_of_class(const std::string& class_name);

// Adds the builder of a class; false, and nothing added, for a name the project format lacks.
bool register_block_class(std::string_view class_name, block_builder_t make);

// A block class's static registrar object calls register_block_class before main runs.
struct block_class_registrar_t {
  block_class_registrar_t(std::string_view class_name, block_builder_t make);
};
