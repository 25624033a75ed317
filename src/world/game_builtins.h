// The game group of built-in functions: motion, instances and collisions, rooms and game control.
#pragma once

// Registers the whole group, in table order.
void InitGameFunctions();

void InitMotionFunctions();
void InitPathFunctions();
void InitMotionPlanningFunctions();
void InitInstanceFunctions();
void InitRoomFunctions();

// The path actions, registered with the action group.
void InitPathActionFunctions();
