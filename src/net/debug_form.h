// The debug form's side of the link (see CDebugForm in net/debugger.h).
#pragma once

#include "platform/text_panel.h"

struct DebuggerHost;
void DebugForm_SetHost(const DebuggerHost& host);

// True while a debug form is shown.
bool DebugForm_Open();
// Adds a console line (at most 4096 characters) to the open form's messages and selects it.
void DebugForm_Add(const char* line);
// Every frame, also while paused: carries out the buttons the player pressed.
void DebugForm_Poll();
// The panel of the open form, or null.
const CTextPanel* DebugForm_Panel();
