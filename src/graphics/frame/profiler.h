// The frame profiler: timed markers per frame, the frame-rate statistics, and the developer overlay
// drawn at the end of every frame (the marker bars and the frame-rate line, and the title with its small
// menu), opened and worked by tapping patterns on the window.
#pragma once

#include <cstdint>

// The debug flags: what the overlay shows. "-debug" starts with the frame-rate line.
enum : int32_t {
    kDebugOverlayOpen = 1, // the title
    kDebugShowFPS = 2,     // the marker bars and the frame-rate line
    kDebugMenuOpen = 8,    // the title's menu (the frame-rate switch)
};
// The debug flags, reached through Profiler_State().
struct ProfilerState {
    int32_t Debug_Flags = 0;
};

inline ProfilerState& Profiler_State() {
    static ProfilerState state;
    return state;
}

// What the overlay needs of the running game, installed by the runner at start-up. Each may be null.
struct ProfilerHost {
    // The area taps are mapped into: the current room's size, or the port of its view 0 when the room
    // uses views. False when no room is running (the window's size is used).
    bool (*gameArea)(int& width, int& height);
    // True when an object record of the data file carried the mark that the title shows as "*".
    bool (*objectsMarked)();
    // True while the game is paused (no bars are drawn).
    bool (*paused)();
};
void Profiler_SetHost(const ProfilerHost& host);

// Sets up the profiler when the device is created: the bar scale and, once per device, the overlay
// font's texture; no frame is begun.
void Profiler_Init();
// Lets the overlay font's texture go with the device.
void Profiler_ReleaseDevice();
// Opens a frame: empties the markers, zeroes the per-frame texture-swap and batch counters and opens
// the marker "Total".
void Profiler_BeginFrame();
// Closes the frame: the frame rate and its statistics, the taps on the overlay, then the overlay.
void Profiler_EndFrame();
// Opens a timed marker (a frame is begun first when none is). With all 1,024 records of the frame in
// use the marker is dropped, and so is the pop that closes it.
void Profiler_Push(uint32_t colour, const char* name);
void Profiler_Pop();
// The frame rate of the last closed frame: 1,000,000 / its length in microseconds (a frame of no
// length counts as one microsecond), the built-in variable fps_real; 0 before the first.
float Profiler_GetFPSReal();
// Writes a dashed line, "minFPS, maxFPS, avgFPS" and the three values to the debug console.
void Profiler_PrintFPS();

// Bracket screen-space drawing of overlays.
void Overlay_BeginDraw();
void Overlay_EndDraw();
// The input layer's shown virtual keys as white rectangles over the frame.
void IO_DrawVirtualKeys();

// Text in the overlay font (characters 32 to 136; a tab is skipped, other characters are not drawn),
// between Overlay_BeginDraw and Overlay_EndDraw; colours are device colours (0xAARRGGBB). At most
// maxChars characters; gives the advance of what was drawn.
float Overlay_DrawText(float x, float y, float xscale, float yscale, uint32_t colour, const char* text,
                       int maxChars);
void Overlay_Printf(float x, float y, uint32_t colour, const char* format, ...) __attribute__((format(printf, 4, 5)));
// The text in the outline colour one pixel left, right and up and two pixels down, then in the colour.
void Overlay_PrintfOutlined(float x, float y, uint32_t outline, uint32_t colour, const char* format, ...)
    __attribute__((format(printf, 5, 6)));
// The text centred across width.
void Overlay_PrintfCentred(float y, int width, uint32_t colour, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
// The advance of a text in the overlay font.
int Overlay_TextWidth(const char* text);

void Overlay_DrawTitle();
void Profiler_DrawBars();

// The tap patterns: one tap of a pattern is a cell of a 10 x 10 grid over the game area and a tolerance
// in cells.
struct GestureTap {
    int column, row, tolerance;
};
// Matches a tap at (x, y) of the game area against pattern[progress]: a tap in the expected cell moves
// progress on (true, with progress back at 0, when the pattern is complete), any other tap in the grid
// starts it again; a tap outside the grid changes nothing.
bool Debug_GestureMatch(int x, int y, int& progress, const GestureTap* pattern, int length);
// The taps of this frame on the overlay: the opening pattern opens it, the menu pattern opens its menu,
// "CLOSE" closes it and the menu's switch turns the frame-rate line on and off. True when a pattern was
// completed.
bool Debug_GestureUpdate();
// Back to a closed overlay with no taps counted (between tests).
void Debug_GestureReset();
