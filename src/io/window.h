// The main window: its creation, its window procedure (which feeds the input state and tracks focus),
// caption, cursor, colour and size, the view-port table through which mouse positions become room
// positions, and the window_* and device_mouse_* built-ins. The record the graphics device
// shares lives in io/window_state.h.
#pragma once

#include "io/window_state.h"

#include <cstdint>

// The window procedure of the main window.
int64_t Window_Proc(uint32_t message, uint64_t wParam, int64_t lParam);

// Posts the quit message to the main window; the message pump ends the main loop on it.
void Window_PostQuit();

// Caption: null or empty is the empty caption; the kept copy is what window_get_caption returns.
void Window_SetCaption(const char* text);
const char* Window_GetCaption();
// Cursor values of scripts: 0 .. -22 choose a system cursor; others are only stored.
void Window_SetCursor(int value);
int Window_GetCursor();
void Window_SetFullscreen(bool fullscreen);
bool Window_GetFullscreen();
void Window_SetSize(int width, int height);
void Window_SetRectangle(int x, int y, int width, int height);
void Window_SetPosition(int x, int y);
void Window_Center();
// Moves the system cursor to a client point; only while the window has the focus.
void Window_SetMouse(int x, int y);
bool Window_HasFocus();
bool Window_IsAppActive();

void Window_SetViewPort(int view, float portX, float portY, float portW, float portH, float viewX, float viewY,
                        float viewW, float viewH, float angle, int surface);
void Window_ClearViewPort(int view);
void Window_ClearViewPorts();

// A window point through view port v into the room. False, with nothing written, when the record is not
// active, its port is empty, or the window's client area leaves nothing to map (a minimised window).
bool Window_WindowToRoom(int view, int x, int y, int& roomX, int& roomY);
// A window point into the room through the active view ports, or by the room size when none is active.
// roomX and roomY keep what they held when nothing can map the point.
void Window_MouseToRoom(int x, int y, int& roomX, int& roomY);
// The room position of mouse device d (0..4; 0 for others). A device whose position cannot be mapped
// keeps its last room position.
int Window_GetMouseRoomX(int device);
int Window_GetMouseRoomY(int device);
// The legacy mouse position through view port v; 0 when that port maps nothing.
int Window_GetViewMouseX(int view);
int Window_GetViewMouseY(int view);

// Registers the window built-ins (the graphics group).
void InitWindowFunctions();
// Registers the virtual-key and device-mouse built-ins (the platform-service group).
void InitVirtualKeyFunctions();

// Back to the state before Window_Create: no window, no caption, the start cursor, colour, focus and
// view ports. Tests and a second start use it.
void Window_Reset();
