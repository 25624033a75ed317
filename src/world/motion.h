// The motion routines of one instance that the motion and action built-ins share: random and snapped
// places, moving until contact or until free, bouncing, wrapping, and the distance between two
// instances; and the entry points compiled game code calls directly.
#pragma once

class CInstance;

// Tries up to `tries` random places inside the room (snapped when a snap is above 0) and moves to the
// first free one; stays put when none is free.
void Instance_MoveRandom(CInstance* instance, double hsnap, double vsnap, int tries);
// Rounds x to a multiple of hsnap when hsnap > 0, y likewise.
void Instance_Snap(CInstance* instance, double hsnap, double vsnap);
// Steps one unit at a time in dir while the next place is free (all: empty of any instance), at most
// round(maxdist) steps, 1000 when maxdist is not above 0. A blocked start does not move.
void Instance_MoveContact(CInstance* instance, float dir, float maxdist, bool all);
// From a blocked place, steps in dir until the place is free, at most as many steps as MoveContact.
void Instance_MoveOutside(CInstance* instance, float dir, float maxdist, bool all);
void Instance_Bounce(CInstance* instance, bool advanced, bool all);
// The wrap of the wrap action: by the room size plus the sprite's scaled size, on the moving axes only.
void Instance_Wrap(CInstance* instance, bool horizontal, bool vertical);
// The gap between the two bounding boxes; 1000000 when a is null, is b, or is not present.
float Instance_Distance(CInstance* a, CInstance* b);

bool Compiled_PlaceFree(CInstance* instance, float x, float y);
void Compiled_MoveSnap(CInstance* instance, float hsnap, float vsnap);
