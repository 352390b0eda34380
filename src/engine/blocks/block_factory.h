#pragma once
// Class names of the timeline's blocks and the builders behind them.

#include <string>

#include "engine/blocks/block_base.h"

// The block of the class, compared exactly; empty for a class the player does not build.
block_ptr_t make_block_of_class(const std::string& class_name);
