#include "net/debug_form.h"

#include "core/console.h"
#include "net/debugger.h"
#include "platform/backend.h"
#include "platform/platform.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

DebuggerHost g_host{};
std::unique_ptr<CTextPanel> g_panel;
constexpr size_t kPauseButton = 0;
constexpr size_t kStepButton = 1;

bool Paused() {
    return g_host.isPaused && g_host.isPaused();
}

void ShowPausedState() {
    if (g_panel) g_panel->SetButton(kPauseButton, Paused() ? "Run" : "Pause");
}

} // namespace

void DebugForm_SetHost(const DebuggerHost& host) {
    g_host = host;
}

bool DebugForm_Open() {
    return g_panel != nullptr;
}

void DebugForm_Add(const char* line) {
    if (!g_panel) return;
    std::string text(line, strnlen(line, 4096));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    g_panel->AddLine(text);
}

void DebugForm_Poll() {
    if (!g_panel) return;
    size_t button;
    while (g_panel && g_panel->TakePress(button)) {
        if (button == kPauseButton && g_host.setPaused) {
            g_host.setPaused(!Paused());
        } else if (button == kStepButton && Paused() && g_host.step) {
            g_host.step();
        }
    }
    ShowPausedState();
}

const CTextPanel* DebugForm_Panel() {
    return g_panel.get();
}

void CDebugForm::Create() {
    if (g_panel) return;
    auto panel = std::make_unique<CTextPanel>("Debug", std::vector<std::string>{"Pause", "Step"});
    IPlatformBackend* backend = Platform_GetBackend();
    if (!Platform_IsInteractive() || !backend || !backend->OpenPanel(panel.get())) {
        DebugConsole->Output("Debug form: not shown (no display)\n");
        return;
    }
    g_panel = std::move(panel);
    Update();
}

void CDebugForm::Close() {
    if (!g_panel) return;
    if (IPlatformBackend* backend = Platform_GetBackend()) backend->ClosePanel(g_panel.get());
    g_panel.reset();
}

void CDebugForm::Show(bool shown) {
    if (!shown) Close();
}

void CDebugForm::Update() {
    if (!g_panel) return;
    char status[96];
    std::snprintf(status, sizeof status, "Room speed: %d   FPS: %d", g_host.roomSpeed ? g_host.roomSpeed() : 0,
                  g_host.fps ? g_host.fps() : 0);
    g_panel->SetStatus(status);
    ShowPausedState();
}

bool CDebugForm::FilterMessage(const void* /*message*/) {
    return false;
}
