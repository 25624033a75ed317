// The vertex layouts of the vertex batch: position, device colour, and texture coordinates.
#pragma once

#include <cstdint>

struct Vertex16 {
    float x, y, z;
    uint32_t colour;
};

struct Vertex24 {
    float x, y, z;
    uint32_t colour;
    float u, v;
};
static_assert(sizeof(Vertex24) == 24, "the textured layout is 24 bytes");
