// The event stages of a step: per (event type, number) the objects that have a handler, built once when
// the game starts, and the stages that raise step, alarm, timeline, keyboard, mouse, joystick, boundary,
// asynchronous and collision events through them.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

// Rebuilds the per-event object lists and the collision pairs from the object table.
void Object_CreateEventLists();
void Object_Lists_Free();
// The objects listed for (type, number), in ascending index; empty for a list that is never filled.
const std::vector<int>& Object_EventList(int type, int number);
// The object pairs (lower index, higher index) with a collision handler on either side.
const std::vector<std::pair<int, int>>& Object_CollisionPairs();

void Dispatch_Step(int number);
void Dispatch_Alarms();
void Dispatch_Timelines();
void Dispatch_KeyboardAll();
void Dispatch_Mouse();
void Dispatch_Joysticks();
void Dispatch_Boundaries();
void Dispatch_Async(int number);
// Runs asynchronous event number (60 or more; any other runs nothing) with async_load holding map (-1:
// none), then destroys that map and sets async_load back to -1.
void Dispatch_AsyncEvent(int number, int map);
void Dispatch_AsyncQueue();
void Dispatch_Collisions();
