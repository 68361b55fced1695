#pragma once
// Writes a world as one JSON object: every field by name, floats as %.9g so
// that each value reads back as the same float.
#include <cstdio>

#include "world/VelButterflySystem.h"

void dumpVelWorldJson(const VelWorld* world, std::FILE* out);
