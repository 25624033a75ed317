#include "net/debugger.h"

// There is no debugger link yet (see the header).
void DebuggerInitRemoteInterface() {}
void DebuggerPoll() {}
void DebuggerCreateIPSocket() {}

// The debug form is not built: it never opens and takes no message.
void CDebugForm::Create() {}
void CDebugForm::Close() {}
void CDebugForm::Show(bool /*shown*/) {}
void CDebugForm::Update() {}
bool CDebugForm::FilterMessage(const void* /*message*/) {
    return false;
}
