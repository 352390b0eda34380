#include "engine/gpu_buffers.h"

void constant_buffer_t::update(const void*) {}
