// One step of the game world (the draw pass that ends it is the room's: world/room_draw.h).
#pragma once

void DoAStep();
// The object, depth and activation changes that event code deferred to the end of the stage.
void Run_ApplyDeferredChanges();
// Moves every active instance by its speeds (and along its path); true when the room's physics world
// moved them instead (collision events then come from the physics world).
bool Run_MoveInstances(bool anyPath);
