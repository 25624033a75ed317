// The engine's dialogs with the player: message boxes, yes/no questions, text-input queries and the
// login form (each modal, or modeless with its answer delivered to a request), and the open and save
// file dialogs. On a desktop the forms are windows of the backend and the file dialogs run the desktop's
// dialog tool (zenity or kdialog) when one is installed; when no one can answer (no display, an
// unattended run, tests) every dialog answers at once from the non-interactive policy below and says on
// the release console what it would have shown. No dialog ever waits for a player who is not there.
//
// Non-interactive answers: a message is acknowledged ("OK"), a question answered "Yes", an input query
// and the login form confirmed with their default texts, a file dialog cancelled.
#pragma once

#include "platform/dialog_form.h"

#include <cstddef>
#include <cstdint>
#include <string>

// What the dialogs need of the layers above, installed at start-up. A missing member does nothing.
struct DialogServices {
    // Called before any dialog shows: leaves full screen.
    void (*beforeShow)();
    // Handles the main window's pending messages while a modal dialog is open; false once the dialog is
    // to close unanswered (it then closes as cancelled, and a file dialog's tool is ended).
    bool (*pumpMessages)();
};
void Dialog_SetServices(const DialogServices& services);

// The caption of the message box and the forms: the kept window caption.
void Dialog_SetCaption(const char* caption);
const char* Dialog_GetCaption();

// A message with an "OK" button, titled with the kept caption; returns when it is closed.
void ShowMessage(const char* text);
// True for "Yes".
bool Dialog_Question(const char* caption, const char* text);
// The input query: on "OK" result receives the answer (at most 4,097 UTF-16 units) and true is returned;
// on "Cancel" false, result untouched. A null default is the empty field.
bool Dialog_InputQuery(const char* caption, const char* prompt, const char* defaultText, std::string& result);

// --- modeless dialogs: the answer goes to the request through the completion below ---
// Each opens its form and returns at once; false, with nothing opened, while another modeless dialog is
// open. Without someone to answer, the form answers (and completes its request) before it returns.
bool Dialog_InputQueryAsync(const char* caption, const char* prompt, const char* defaultText, int32_t request);
bool Dialog_QuestionAsync(const char* caption, const char* text, int32_t request);
bool Dialog_MessageAsync(const char* caption, const char* text, int32_t request);
bool Dialog_LoginAsync(const char* defaultUser, const char* defaultPassword, int32_t request);
// True while a modeless dialog is open.
bool Dialog_AsyncOpen();
// The end of the run: an open modeless dialog closes as cancelled (with its escape button) and
// completes its request so.
void Dialog_CancelAsync();

// Stores a finished request's answer: status and length bytes of text (which may hold a NUL). Installed
// by the owner of the request list; without one, answers are dropped.
using DialogRequestCompletion = void (*)(int32_t request, int32_t status, const char* text, size_t length);
void Dialog_SetRequestCompletion(DialogRequestCompletion completion);
// The answer of an input query, question or message: status and text.
void DialogRequest_Complete(int32_t request, int32_t status, const char* text);
// The answer of the login form: text is user + "#" + password, split after userLength bytes (the user
// name may hold a "#"): the "#" there becomes a NUL and the status is the password's offset
// (userLength + 1), or 0 for an empty user name.
void DialogRequest_CompleteLogin(int32_t request, size_t userLength, const char* text);

// --- file dialogs ---
// filter: pairs of description and patterns separated by "|" ("Text|*.txt;*.log|All|*.*"). name: the
// proposed file name; directory and title may be null. True with the chosen path; false when cancelled,
// when no dialog tool is installed, when the tool fails, or when no one can answer.
bool FileDialog_Open(const char* filter, const char* name, const char* directory, const char* title,
                     std::string& path);
// The save dialog also asks before overwriting, and adds the filter's default extension
// (FileDialog_DefaultExtension) to a chosen name that has none.
bool FileDialog_Save(const char* filter, const char* name, const char* directory, const char* title,
                     std::string& path);
// The text after the first "." that follows the first "|" of the filter, up to the next "|" or ";";
// "" when there is none or it is a wildcard.
std::string FileDialog_DefaultExtension(const char* filter);

// The dialog tool a file dialog runs: the first of "zenity" and "kdialog" found on PATH, "" for none.
std::string FileDialog_Tool();

// --- dialogs shown by processes of their own ---
// A message box may be shown by a process SDL starts (the desktop's dialog tool, or a copy of the
// runner that draws the box), a file dialog by the tool it runs. While one lives, the children that
// the thread showing it starts are the dialog's: each leads a process group of its own (a forked one
// also dies with the runner), so that a process ending from another thread can close them, with what
// they started, instead of leaving a box on the screen that no one waits for. One such dialog at a time.
class CDialogProcesses {
public:
    CDialogProcesses();
    ~CDialogProcesses();
    CDialogProcesses(const CDialogProcesses&) = delete;
    CDialogProcesses& operator=(const CDialogProcesses&) = delete;
};
// For a process about to end: keeps any later dialog from opening (or the one closed from going on), and
// the thread of the one open now from starting another process; kills the process groups of the open
// dialog's processes (letting a start under way return first) and waits until no process of them runs,
// half a second at most.
void Dialog_CloseProcesses();
