#include "world/room_size.h"

#include "world/room.h"

bool Room_GetCurrentSize(int& width, int& height) {
    if (!Room_State().Run_Room) {
        width = 0;
        height = 0;
        return false;
    }
    width = Room_State().Run_Room->width;
    height = Room_State().Run_Room->height;
    return true;
}
