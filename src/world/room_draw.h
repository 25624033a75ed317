// The draw pass of the current room: its views, each with the room's backgrounds, tiles, instances and
// particles in depth order, then the GUI layer and the cursor sprite.
#pragma once

#include <cstdint>

struct IntRect;

// The part of the room a view shows. Its edges are kept in 64 bits: a view whose position and size near
// the 32-bit limits reaches past them.
struct RoomArea {
    int64_t left, top, right, bottom;
};

// Draws every visible view of the current room, then the GUI layer and the cursor sprite; false without
// a room.
bool Room_DrawViews();
void Room_DrawView(const RoomArea& area);
void Room_DrawInstancesTilesParticles(const RoomArea& area);
void Room_DrawInstancesParticles();
void Room_DrawInstances();
void Room_DrawGUI(const IntRect& rect);
