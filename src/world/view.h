// One view slot of a room: the rectangle of the room it shows, the port of the window it shows it in,
// and the instance it follows.
#pragma once

#include <cstdint>

class CView {
public:
    // Back to the defaults; the surface id is left as it is.
    void Reset() {
        visible = false;
        viewX = viewY = 0;
        viewW = 640;
        viewH = 480;
        portX = portY = 0;
        portW = 640;
        portH = 480;
        angle = 0.0f;
        hborder = vborder = 32;
        hspeed = vspeed = -1;
        object = -1;
    }

    bool visible = false;
    int32_t viewX = 0, viewY = 0, viewW = 640, viewH = 480;
    int32_t portX = 0, portY = 0, portW = 640, portH = 480;
    float angle = 0.0f;
    int32_t hborder = 32, vborder = 32;
    int32_t hspeed = -1, vspeed = -1; // -1 unlimited
    int32_t object = -1;              // object index, an instance id (100000 or more), or -1
    int32_t surfaceId = -1;           // -1 the screen
};
