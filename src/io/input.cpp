#include "io/input.h"

RawMousePositions IO_RawMouse{};
