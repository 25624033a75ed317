// The input built-ins of the interaction group, which registers them in its table order.
#pragma once

// keyboard_check ... device_mouse_dbclick_enable: keys, mouse buttons and wheel, key map, clearing and
// waiting.
void InitKeyboardFunctions();
