#include "engine/systems.h"

systems_t* g_systems = nullptr;
