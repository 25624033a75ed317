// One step of the game world and the draw pass that ends it.
#pragma once

struct IntRect;

void DoAStep();
// The object, depth and activation changes that event code deferred to the end of the stage.
void Run_ApplyDeferredChanges();
// Moves every active instance by its speeds (and along its path); true when the room's physics world
// moved them instead (collision events then come from the physics world).
bool Run_MoveInstances(bool anyPath);

// Draws every visible view of the current room, then the GUI layer and the cursor sprite; false without
// a room.
bool Room_DrawViews();
void Room_DrawView(const IntRect& rect);
void Room_DrawInstancesTilesParticles(const IntRect& rect);
void Room_DrawInstancesParticles();
void Room_DrawInstances();
void Room_DrawGUI(const IntRect& rect);
