#include "support/systems.h"

systems_t* g_systems = nullptr;
