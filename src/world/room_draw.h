// The draw pass of the current room: its views, each with the room's backgrounds, tiles, instances and
// particles in depth order, then the GUI layer and the cursor sprite.
#pragma once

struct IntRect;

// Draws every visible view of the current room, then the GUI layer and the cursor sprite; false without
// a room.
bool Room_DrawViews();
void Room_DrawView(const IntRect& rect);
void Room_DrawInstancesTilesParticles(const IntRect& rect);
void Room_DrawInstancesParticles();
void Room_DrawInstances();
void Room_DrawGUI(const IntRect& rect);
