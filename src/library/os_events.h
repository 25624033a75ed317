// The operating system's pause event as scripts see it: a deactivation of the main window shows as
// exactly one frame of os_is_paused = 1.
#pragma once

// The window procedure calls this when the main window is deactivated.
void OS_RaisePauseEvent();
// Once per frame: a raised event becomes this frame's pause; the frame after, it is over.
void OS_UpdatePauseEvent();
// True during the frame after the event was raised (os_is_paused).
bool OS_IsPausedThisFrame();
