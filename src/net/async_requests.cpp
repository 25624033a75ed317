#include "net/async_requests.h"

#include "core/memory.h"
#include "core/text.h"
#include "library/data_structures.h"
#include "platform/dialogs.h"

#include <cstdlib>
#include <cstring>
#include <deque>

namespace {

int32_t g_nextRequestId = 0;
// Dialog requests not shown yet, oldest first.
std::deque<int32_t> g_dialogQueue;

enum DialogRequestKind { kInputQuery = 0, kQuestion = 1, kMessage = 2, kLogin = 3 };

// The async_load map of a finished dialog: "id" and "status"; the answer as "result" and "value" for
// input queries and questions; "username" and "password" for the login form, whose text holds the user
// name, a NUL and the password at the offset given by the status (0: no answer, both empty).
int32_t DialogCompleted(HTTP_REQ_CONTEXT* request, void*, int32_t* asyncLoad) {
    const auto* dialog = static_cast<DIALOG_REQ_CONTEXT*>(request);
    const int map = CreateDsMap({{"id", static_cast<double>(request->id), nullptr},
                                 {"status", static_cast<double>(request->status), nullptr}});
    const char* text = request->data ? request->data : "";
    switch (dialog->dialogKind) {
    case kInputQuery:
    case kQuestion:
        DS_Map_AddString(map, "result", text);
        DS_Map_AddReal(map, "value", std::strtod(text, nullptr));
        break;
    case kLogin: {
        const bool answered = request->status > 0 && request->status <= request->dataSize;
        DS_Map_AddString(map, "username", answered ? text : "");
        DS_Map_AddString(map, "password", answered ? text + request->status : "");
        break;
    }
    default: break;
    }
    *asyncLoad = map;
    return kEventDialogAsync;
}

void DialogAnswered(int32_t request, int32_t status, const char* text, size_t length) {
    DialogRequest_Store(request, status, text, length);
}

int QueueDialog(int32_t kind, const char* caption, const char* text, const char* defaultText) {
    Dialog_SetRequestCompletion(DialogAnswered);
    auto* request = new DIALOG_REQ_CONTEXT(kind, caption, text, defaultText);
    request->active = 1;
    HTTP_AddRequest(request);
    const bool waiting = !g_dialogQueue.empty();
    g_dialogQueue.push_back(request->id);
    if (!waiting) AsyncDialog_ShowNext();
    return request->id;
}

} // namespace

HTTP_REQ_CONTEXT::HTTP_REQ_CONTEXT(const char* url_, int32_t kind_, HttpCompletionFn completion_,
                                   HttpCleanupFn cleanup_, void* user_)
    : completion(completion_), cleanup(cleanup_), user(user_), id(g_nextRequestId++), kind(kind_),
      url(String_Duplicate(url_)) {}

HTTP_REQ_CONTEXT::~HTTP_REQ_CONTEXT() {
    MEM_FREE(url);
    MEM_FREE(data);
}

DIALOG_REQ_CONTEXT::DIALOG_REQ_CONTEXT(int32_t dialogKind_, const char* caption_, const char* text_,
                                       const char* defaultText_)
    : HTTP_REQ_CONTEXT("", 0, DialogCompleted, nullptr, nullptr), dialogKind(dialogKind_),
      caption(caption_ ? caption_ : ""), text(text_ ? text_ : ""), defaultText(defaultText_ ? defaultText_ : "") {}

void HTTP_AddRequest(HTTP_REQ_CONTEXT* request) {
    request->next = HTTP_State().HTTP_RequestList;
    HTTP_State().HTTP_RequestList = request;
}

HTTP_REQ_CONTEXT* HTTP_FindRequest(int32_t id) {
    for (HTTP_REQ_CONTEXT* request = HTTP_State().HTTP_RequestList; request; request = request->next)
        if (request->id == id) return request;
    return nullptr;
}

int DialogAsync_ShowMessage(const char* caption, const char* text) {
    return QueueDialog(kMessage, caption, text, nullptr);
}
int DialogAsync_ShowQuestion(const char* caption, const char* text) {
    return QueueDialog(kQuestion, caption, text, nullptr);
}
int DialogAsync_GetString(const char* caption, const char* prompt, const char* defaultText) {
    return QueueDialog(kInputQuery, caption, prompt, defaultText);
}
int DialogAsync_GetLogin(const char* defaultUser, const char* defaultPassword) {
    return QueueDialog(kLogin, defaultUser, nullptr, defaultPassword);
}

void AsyncDialog_ShowNext() {
    while (!g_dialogQueue.empty()) {
        auto* request = static_cast<DIALOG_REQ_CONTEXT*>(HTTP_FindRequest(g_dialogQueue.front()));
        if (!request) { // deleted meanwhile (shutdown)
            g_dialogQueue.pop_front();
            continue;
        }
        const int32_t id = request->id;
        const char* caption = request->caption.c_str();
        const char* text = request->text.c_str();
        const char* defaultText = request->defaultText.c_str();
        bool opened = false;
        switch (request->dialogKind) {
        case kInputQuery: opened = Dialog_InputQueryAsync(caption, text, defaultText, id); break;
        case kQuestion: opened = Dialog_QuestionAsync(caption, text, id); break;
        case kMessage: opened = Dialog_MessageAsync(caption, text, id); break;
        default: opened = Dialog_LoginAsync(caption, defaultText, id); break;
        }
        if (!opened) return; // another dialog is open: this one waits
        g_dialogQueue.pop_front();
        return;
    }
}

void DialogRequest_Store(int32_t id, int32_t status, const char* text, size_t length) {
    HTTP_REQ_CONTEXT* request = HTTP_FindRequest(id);
    if (!request || request->state == HTTP_STATE_DONE) return;
    if (length > static_cast<size_t>(INT32_MAX - 1)) length = INT32_MAX - 1;
    MEM_FREE(request->data);
    request->data = static_cast<char*>(MEM_ALLOC(length + 1));
    if (length) std::memcpy(request->data, text, length);
    request->dataSize = static_cast<int32_t>(length);
    request->dataCapacity = static_cast<int32_t>(length + 1);
    request->status = status;
    request->state = HTTP_STATE_DONE;
}

// The dialog side of the per-step poll: an answered form closes (completing its request) and the next
// queued request opens.
void AsyncDialog_Poll() {
    if (!Dialog_AsyncOpen()) AsyncDialog_ShowNext();
}

void AsyncDialog_Clear() {
    Dialog_CancelAsync();
    g_dialogQueue.clear();
}
