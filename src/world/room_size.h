// The size of the running room, as the window's mouse mapping reads it.
#pragma once

// The current room's width and height; false when no room is running.
bool Room_GetCurrentSize(int& width, int& height);
