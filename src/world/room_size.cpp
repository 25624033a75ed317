#include "world/room_size.h"

// Rooms are not built yet, so no room is ever running: callers map with a scale of 1.
bool Room_GetCurrentSize(int& width, int& height) {
    width = 0;
    height = 0;
    return false;
}
