// SDL's keys as the virtual-key codes, scan codes and extended flags of a PC keyboard under Windows.
#pragma once

#include "platform/keys.h"

#include <SDL.h>

// The key at a physical position, as on a US keyboard. The number pad gives VK_NUMPAD0..9 and
// VK_DECIMAL with Num Lock on, and the navigation keys (not extended) with it off. A position with no
// Windows key gives vk 0.
PCKey SDLKey_FromScancode(SDL_Scancode scancode, bool numLock);

// The key of a key event. As under Windows, letters follow the keyboard layout (the keycode); a letter
// position that the layout gives punctuation takes that punctuation's code; everything else is by
// position.
PCKey SDLKey_ToPCKey(SDL_Scancode scancode, SDL_Keycode keycode, bool numLock);
