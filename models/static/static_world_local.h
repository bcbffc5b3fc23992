// Declarations shared only inside the static world library: the host with its defaults
// filled, the world itself, and the growing of the batch buffer and index scratch.
#pragma once
#include "models/static/static_world.h"

const StaticWorldHost& StaticHost();
StaticWorld& MutableStaticWorld();
// Makes the buffer hold the mesh's vertices and the scratch its indices (re-created larger
// when they do not).
void FitStaticBuffers(uint32_t vertexCount, uint32_t indexCount);
