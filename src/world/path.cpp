#include "world/path.h"

// The paths are not loaded yet: the table is empty.
bool Path_Exists(int /*index*/) {
    return false;
}
CPath* Path_Data(int /*index*/) {
    return nullptr;
}
