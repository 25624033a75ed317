#include "platform/platform.h"

#include "core/console.h"
#include "core/memory.h"
#include "platform/backend.h"
#include "platform/dialogs.h"
#include "platform/input_translator.h"
#include "platform/keys.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

IPlatformBackend* g_backend = nullptr;
bool g_displayLost = false;
bool g_unattended = false;
bool g_window = false;
PlatformWindowProc g_proc = nullptr;
CMessageQueue g_queue;
CKeyState g_keyState;
// The keys the game sends (keyboard_key_press), kept apart from the keyboard's: a modifier sent just
// before a key counts for it before its message is handled.
CInputTranslator g_sentKeys;
// Set by Platform_AskToClose, perhaps in a signal handler; the next look for messages takes it, once
// there is a window and requests are not held.
std::atomic<bool> g_closeAsked{false};
bool g_closeHeld = false;

int64_t SystemMicroseconds() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void SystemSleep(uint32_t milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

void SystemSleepMicroseconds(int64_t microseconds) {
    if (microseconds > 0) std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
}

[[noreturn]] void ShowOutOfMemory() {
    Platform_MessageBox("Out of Memory!", "Fatal Memory Error", MB_OK | MB_ICONERROR | MB_TOPMOST);
    std::_Exit(-1);
}

} // namespace

// --- message boxes ---

MessageBoxButtons MessageBox_Buttons(uint32_t type) {
    MessageBoxButtons b;
    const auto set = [&](std::initializer_list<int> ids, int escape) {
        for (int id : ids) b.ids[b.count++] = id;
        b.escapeIndex = escape;
    };
    switch (type & 0xF) {
    case MB_OKCANCEL: set({IDOK, IDCANCEL}, 1); break;
    case MB_ABORTRETRYIGNORE: set({IDABORT, IDRETRY, IDIGNORE}, -1); break;
    case MB_YESNOCANCEL: set({IDYES, IDNO, IDCANCEL}, 2); break;
    case MB_YESNO: set({IDYES, IDNO}, -1); break;
    case MB_RETRYCANCEL: set({IDRETRY, IDCANCEL}, 1); break;
    case MB_CANCELTRYCONTINUE: set({IDCANCEL, IDTRYAGAIN, IDCONTINUE}, 0); break;
    default: set({IDOK}, 0); break;
    }
    // A default beyond the last button falls back to the first, as Windows does.
    const int wanted = static_cast<int>((type >> 8) & 0xF);
    b.defaultIndex = wanted < b.count ? wanted : 0;
    return b;
}

std::string MessageBox_WrapText(const std::string& text, int columns) {
    std::string out;
    size_t lineStart = 0; // where the current output line starts in out
    size_t lastBlank = std::string::npos;
    int count = 0;        // characters on the current output line
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n') {
            out += c;
            lineStart = out.size();
            lastBlank = std::string::npos;
            count = 0;
            continue;
        }
        const bool starts = (static_cast<unsigned char>(c) & 0xC0) != 0x80; // not a continuation byte
        if (starts && count >= columns) {
            if (lastBlank != std::string::npos) {
                out[lastBlank] = '\n'; // the words after the blank move to the new line
                lineStart = lastBlank + 1;
            } else {
                out += '\n';
                lineStart = out.size();
            }
            lastBlank = std::string::npos;
            count = 0;
            for (size_t k = lineStart; k < out.size(); ++k)
                count += (static_cast<unsigned char>(out[k]) & 0xC0) != 0x80;
        }
        if (c == ' ' && starts) lastBlank = out.size();
        out += c;
        count += starts;
    }
    return out;
}

const char* MessageBox_ButtonName(int id) {
    switch (id) {
    case IDOK: return "OK";
    case IDCANCEL: return "Cancel";
    case IDABORT: return "Abort";
    case IDRETRY: return "Retry";
    case IDIGNORE: return "Ignore";
    case IDYES: return "Yes";
    case IDNO: return "No";
    case IDTRYAGAIN: return "Try Again";
    case IDCONTINUE: return "Continue";
    default: return "";
    }
}

int Platform_MessageBox(const char* text, const char* caption, uint32_t type) {
    if (!text) text = "";
    if (!caption) caption = "";
    const MessageBoxButtons buttons = MessageBox_Buttons(type);
    if (Platform_IsInteractive()) {
        int answer;
        {
            CDialogProcesses shown;
            answer = g_backend->ShowMessageBox(text, caption, type, buttons);
        }
        if (answer > 0) return answer;
    }
    const int answer = buttons.ids[buttons.defaultIndex];
    ReleaseConsole->Output("Message box \"%s\": %s\n(no one to ask: answered %s)\n", caption, text,
                           MessageBox_ButtonName(answer));
    return answer;
}

// --- backend and policy ---

int64_t IPlatformBackend::GetMicroseconds() { return SystemMicroseconds(); }

void IPlatformBackend::Sleep(uint32_t milliseconds) { SystemSleep(milliseconds); }

void IPlatformBackend::SleepMicroseconds(int64_t microseconds) { SystemSleepMicroseconds(microseconds); }

void Platform_SetBackend(IPlatformBackend* backend) {
    g_backend = backend;
    g_window = false;
    g_closeHeld = false;
    g_proc = nullptr;
    g_queue.Clear();
    g_keyState.Reset();
    g_sentKeys.Reset();
    MemoryManager::SetOutOfMemoryHandler(backend ? &ShowOutOfMemory : nullptr);
}

IPlatformBackend* Platform_GetBackend() { return g_backend; }

void Platform_LoseDisplay() {
    g_displayLost = true;
    Platform_SetBackend(nullptr);
}

bool Platform_DisplayLost() { return g_displayLost; }

void Platform_SetUnattended(bool unattended) { g_unattended = unattended; }

bool Platform_IsInteractive() { return g_backend && g_backend->HasDisplay() && !g_unattended; }

// --- window ---

bool Platform_CreateWindow(const PlatformWindowDesc& desc, PlatformWindowProc proc) {
    if (!g_backend || g_window) return false;
    if (!g_backend->CreateWindow(desc)) return false;
    g_window = true;
    g_proc = proc;
    return true;
}

bool Platform_IsWindow() { return g_window; }

void* Platform_NativeWindow() {
    return g_backend ? g_backend->NativeWindow() : nullptr;
}

void Platform_DestroyWindow() {
    if (!g_window) return;
    Platform_SendMessage(WM_DESTROY);
    g_backend->DestroyWindow();
    g_window = false;
    g_proc = nullptr;
}

void Platform_ShowWindow() {
    if (g_window) g_backend->ShowWindow();
}

void Platform_SetWindowStyle(uint32_t style) {
    if (g_window) g_backend->SetWindowStyle(style);
}

void Platform_SetWindowText(const char* text) {
    if (g_window) g_backend->SetWindowText(text ? text : "");
}

bool Platform_GetClientSize(int32_t& width, int32_t& height) {
    width = height = 0;
    return g_window && g_backend->GetClientSize(width, height);
}

bool Platform_SetClientSize(int32_t width, int32_t height) {
    return g_window && width > 0 && height > 0 && g_backend->SetClientSize(width, height);
}

bool Platform_GetWindowRect(PlatformRect& rect) {
    rect = PlatformRect{};
    return g_window && g_backend->GetWindowRect(rect);
}

bool Platform_MoveWindow(int32_t x, int32_t y) { return g_window && g_backend->MoveWindow(x, y); }

bool Platform_SetFullscreen(bool fullscreen) { return g_window && g_backend->SetFullscreen(fullscreen); }

void Platform_SetCursor(int32_t cursor) {
    if (g_window) g_backend->SetCursor(cursor);
}

bool Platform_HasFocus() { return g_window && g_backend->HasFocus(); }

bool Platform_ClientToScreen(int32_t& x, int32_t& y) { return g_window && g_backend->ClientToScreen(x, y); }

bool Platform_GetCursorPos(int32_t& x, int32_t& y) {
    x = y = 0;
    return g_backend && g_backend->GetCursorPos(x, y);
}

bool Platform_SetCursorPos(int32_t x, int32_t y) { return g_backend && g_backend->SetCursorPos(x, y); }

bool Platform_GetDesktopMode(PlatformDisplayMode& mode) {
    mode = PlatformDisplayMode{};
    return g_backend && g_backend->GetDesktopMode(mode);
}

bool Platform_GetDisplayModes(std::vector<PlatformDisplayMode>& modes) {
    modes.clear();
    return g_backend && g_backend->GetDisplayModes(modes);
}

bool Platform_SetFullscreenMode(const PlatformDisplayMode& mode) {
    return g_backend && g_backend->SetFullscreenMode(mode);
}

// --- messages ---

void Platform_AskToClose() { g_closeAsked.store(true); }

void Platform_HoldCloseRequests(bool hold) { g_closeHeld = hold; }

bool Platform_PeekMessage(PlatformMessage& msg) {
    if (g_window && !g_closeHeld && g_closeAsked.exchange(false)) g_queue.Post(WM_CLOSE);
    if (g_queue.Empty() && g_backend) g_backend->PollEvents(g_queue);
    if (!g_queue.Take(msg)) return false;
    g_keyState.Apply(msg);
    return true;
}

int64_t Platform_DispatchMessage(const PlatformMessage& msg) {
    if (!g_window || msg.message == WM_QUIT) return 0;
    return Platform_SendMessage(msg.message, msg.wParam, msg.lParam);
}

int64_t Platform_SendMessage(uint32_t message, uint64_t wParam, int64_t lParam) {
    if (!g_window) return 0;
    return g_proc ? g_proc(message, wParam, lParam) : Platform_DefWindowProc(message, wParam, lParam);
}

void Platform_PostMessage(uint32_t message, uint64_t wParam, int64_t lParam) {
    g_queue.Post(message, wParam, lParam);
}

int64_t Platform_DefWindowProc(uint32_t message, uint64_t wParam, int64_t lParam) {
    switch (message) {
    case WM_CLOSE: Platform_DestroyWindow(); return 0;
    case WM_SYSCHAR: return Platform_SendMessage(WM_SYSCOMMAND, SC_KEYMENU, static_cast<int64_t>(wParam & 0xFFFF));
    case WM_SETCURSOR:
        if (Message_LowWord(lParam) != HTCLIENT) return 0;
        Platform_SetCursor(IDC_ARROW);
        return 1;
    default: return 0;
    }
}

int16_t Platform_GetKeyState(int vk) { return g_keyState.Get(vk); }

void Platform_KeyEvent(uint8_t vk, bool down) {
    // A key already down repeats, as the system's own auto-repeat would.
    const PCKey key = Key_FromCode(vk);
    g_sentKeys.Key(g_queue, key, down, down && g_keyState.IsDown(vk));
    if (!down) return;
    // A key typed on the keyboard brings its text with it; one sent here has none, so its character
    // message is the one the system's translation of the key message would post.
    const auto held = [](uint8_t modifier) {
        return g_keyState.IsDown(modifier) || g_sentKeys.State().IsDown(modifier);
    };
    if (held(VK_CONTROL) || held(VK_MENU)) return;
    if (const uint16_t ch = Key_LayoutChar(vk, held(VK_SHIFT)))
        g_queue.Post(WM_CHAR, ch, 1 | static_cast<int64_t>(key.scan) << 16);
}

bool Platform_GetNumLock() { return g_backend && g_backend->GetNumLock(); }

void Platform_SetNumLock(bool on) {
    if (g_backend) g_backend->SetNumLock(on);
}

// --- clock ---

int64_t Platform_GetMicroseconds() { return g_backend ? g_backend->GetMicroseconds() : SystemMicroseconds(); }

void Platform_Sleep(uint32_t milliseconds) {
    if (g_backend)
        g_backend->Sleep(milliseconds);
    else
        SystemSleep(milliseconds);
}

void Platform_SleepMicroseconds(int64_t microseconds) {
    if (g_backend)
        g_backend->SleepMicroseconds(microseconds);
    else
        SystemSleepMicroseconds(microseconds);
}

// --- clipboard ---

bool Platform_ClipboardHasText() { return g_backend && g_backend->ClipboardHasText(); }

std::string Platform_GetClipboardText() { return g_backend ? g_backend->GetClipboardText() : std::string(); }

bool Platform_SetClipboardText(const char* text) {
    return g_backend && g_backend->SetClipboardText(text ? text : "");
}

// --- game controllers ---

bool Platform_PadsAvailable() { return g_backend && g_backend->PadsAvailable(); }

void Platform_UpdatePads() {
    if (g_backend) g_backend->UpdatePads();
}

bool Platform_GetPadState(int pad, PlatformPadState& state) {
    state = PlatformPadState{};
    return g_backend && pad >= 0 && pad < kPlatformPadCount && g_backend->GetPadState(pad, state);
}

bool Platform_GetPadSubtype(int pad, int& subtype) {
    subtype = 0;
    return g_backend && pad >= 0 && pad < kPlatformPadCount && g_backend->GetPadSubtype(pad, subtype);
}

void Platform_SetPadVibration(int pad, uint16_t left, uint16_t right) {
    if (g_backend && pad >= 0 && pad < kPlatformPadCount) g_backend->SetPadVibration(pad, left, right);
}

bool Platform_GetJoystickCaps(int joystick, PlatformJoystickCaps& caps) {
    caps = PlatformJoystickCaps{};
    return g_backend && (joystick == 0 || joystick == 1) && g_backend->GetJoystickCaps(joystick, caps);
}

bool Platform_GetJoystickPos(int joystick, PlatformJoystickPos& pos) {
    pos = PlatformJoystickPos{};
    return g_backend && (joystick == 0 || joystick == 1) && g_backend->GetJoystickPos(joystick, pos);
}
