// One step of the game world (the draw pass that ends it is the room's: world/room_draw.h).
#pragma once

void DoAStep();
// The object, depth and activation changes that event code deferred to the end of the stage.
void Run_ApplyDeferredChanges();
// Moves every active instance by its speeds (and along its path); true in a room with a physics world,
// which steps first and moves the instances that have bodies (collision events then come from the
// world's contacts).
bool Run_MoveInstances(bool anyPath);
