// One tile of a room: a rectangle of a background image placed at a depth.
#pragma once

#include <cstdint>

struct RoomTile {
    float x = 0, y = 0;
    int32_t background = -1;
    int32_t left = 0, top = 0, width = 0, height = 0;
    float depth = 0;
    int32_t id = 0;
    float xscale = 1, yscale = 1;
    uint32_t blend = 0xFFFFFF;
    float alpha = 1;
    bool visible = true;
};
