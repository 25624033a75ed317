#include "world/room_size.h"

#include "world/room.h"

bool Room_GetCurrentSize(int& width, int& height) {
    if (!Run_Room) {
        width = 0;
        height = 0;
        return false;
    }
    width = Run_Room->width;
    height = Run_Room->height;
    return true;
}
