#pragma once
// How a block's image is combined with the one below it. A block with BLEND_NONE is copied; the
// shader manager mixes by the parameter's x for any value it does not list.

#include <cstdint>

enum blend_mode_t : int32_t {
  BLEND_NONE = 0,
  BLEND_ADD = 1,
  BLEND_MULTIPLY = 2,
  BLEND_SCREEN = 3,
  BLEND_DARKEN = 4,
  BLEND_LIGHTEN = 5,
  BLEND_DIFFERENCE = 6,
  BLEND_NEGATION = 7,
  BLEND_LERP = 8,
};
