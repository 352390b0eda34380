#include "engine/geometry.h"

dyn_buffer_base::~dyn_buffer_base() = default;
void dyn_buffer_base::create(int) {}
int dyn_buffer_base::commit(const uint8_t*) { return 0; }

void geometry_t::create_dynamic_vertices(int, int) {}
void geometry_t::create_index_buffer(int, int, const uint32_t*) {}
