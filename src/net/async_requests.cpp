#include "net/async_requests.h"

#include "core/memory.h"
#include "core/text.h"

HTTP_REQ_CONTEXT* HTTP_RequestList = nullptr;

namespace {
int32_t g_nextRequestId = 0;
} // namespace

HTTP_REQ_CONTEXT::HTTP_REQ_CONTEXT(const char* url_, int32_t kind_, HttpCompletionFn completion_,
                                   HttpCleanupFn cleanup_, void* user_)
    : completion(completion_), cleanup(cleanup_), user(user_), id(g_nextRequestId++), kind(kind_),
      url(String_Duplicate(url_)) {}

HTTP_REQ_CONTEXT::~HTTP_REQ_CONTEXT() {
    MEM_FREE(url);
    MEM_FREE(data);
}

// There is no HTTP client yet: the request ends at once as a transfer that got no answer (status 0, no
// bytes), so the game receives its asynchronous event with a failed result.
void HTTP_Get(const char* url, int32_t kind, HttpCompletionFn completion, HttpCleanupFn cleanup, void* user) {
    auto* request = new HTTP_REQ_CONTEXT(url, kind, completion, cleanup, user);
    request->active = 1;
    request->state = HTTP_STATE_DONE;
    request->next = HTTP_RequestList;
    HTTP_RequestList = request;
}

// No transfer runs on a worker thread, so none can end here.
void HTTP_PollThreads() {}

// The asynchronous dialogs need the window layer, which is not built: no request is made, since nothing
// could ever answer it.
int DialogAsync_ShowMessage(const char*, const char*) {
    return -1;
}
int DialogAsync_ShowQuestion(const char*, const char*) {
    return -1;
}
int DialogAsync_GetString(const char*, const char*, const char*) {
    return -1;
}
int DialogAsync_GetLogin(const char*, const char*) {
    return -1;
}
void AsyncDialog_ShowNext() {}
