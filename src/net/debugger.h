// The remote debugger's link and the in-game debug form, as the start-up, the run loop, the message pump
// and the virtual machine reach them.
//
// The link is a server on TCP port 6502 (loopback interface only) taking one debugger at a time, with
// the packet framing and handshake of net/socket.h. Each packet the debugger sends is a command: a
// little-endian u32 code and its operands. The runner answers every command with a packet that starts
// with the same code (0xFFFFFFFF and a text for a command it does not know):
//   1 output: the answer carries the console lines gathered since the last answer that went out (the
//     buffer is emptied once the answer is queued on a connection still open, so lines a debugger that
//     has gone cannot take stay for the next); the buffer holds at most 32,767 bytes, and a line that
//     does not fit is dropped whole.
//   2 pause: the game stands still between steps (the link and the window go on).
//   3 resume: the game runs on (from a breakpoint or a pause).
//   4 step: at a breakpoint, runs the code to its next source line (or the next code) and stops
//     there; while paused, runs one step of the game.
// When game code reaches a breakpoint, the runner sends {0x100, s32 line, the code's name} and waits,
// handling window messages and commands, until the debugger resumes or steps. A debugger that ends its
// stream after its commands (a half-close) gets every answer before the connection closes. A debugger
// that leaves (or a run that ends) resumes the game.
#pragma once

#include "core/debug_link.h"

#include <cstdint>
#include <string>

constexpr int kDebuggerPort = 6502;
constexpr int kDebuggerOutputSize = 32768;

enum DebuggerCommand : uint32_t {
    kDebugOutput = 1,
    kDebugPause = 2,
    kDebugResume = 3,
    kDebugStep = 4,
    kDebugBreakNotice = 0x100,
    kDebugUnknown = 0xFFFFFFFFu,
};

// What the link and the form need of the run loop, installed at start-up.
struct DebuggerHost {
    // Handles the window's pending messages once; false once the run is ending.
    bool (*pumpMessages)();
    // Sets or clears the run's paused flag.
    void (*setPaused)(bool paused);
    bool (*isPaused)();
    // One step of the paused game.
    void (*step)();
    // The room speed and the frames of the last second (shown by the debug form).
    int (*roomSpeed)();
    int (*fps)();
};
void Debugger_SetHost(const DebuggerHost& host);

// Start-up step "Debug Init Remote Interface": installs the link and the form behind the consoles and
// the virtual machine.
void DebuggerInitRemoteInterface();
// Start-up step "Start Server": opens the debugger's server (port 0: any free port) and readies the
// link. False, with the reason on the debug console, when the port cannot be opened.
bool Debugger_StartServer(int port = kDebuggerPort);
// Readies the link of a server just opened: an empty output buffer, console lines gathered from now on.
void DebuggerCreateIPSocket();
// Closes the server and the debugger's connection.
void Debugger_Stop();
int Debugger_Port();
bool Debugger_ClientConnected();
// Every frame, also while paused: accepts the debugger and answers its commands.
void DebuggerPoll();
// The gathered output (what the next output command sends).
const char* Debugger_Output();

// The in-game debug form of debug mode: a window beside the game's with the console's messages, the
// room speed and frame rate, and buttons that pause, resume and step the game.
class CDebugForm {
public:
    void Create();
    void Close();
    void Show(bool shown);
    // The per-step refresh (room speed, FPS).
    void Update();
    // Called before a window message is dispatched; true when the form took it.
    bool FilterMessage(const void* message);
};
