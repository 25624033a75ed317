// Asynchronous requests (HTTP downloads and asynchronous dialogs) and the list through which their
// results reach the main thread: the asynchronous stage of each step takes every active request in
// state HTTP_STATE_DONE off the list, calls its completion (which fills the async_load map and names
// the event to raise), runs its clean-up and deletes it.
#pragma once

#include <cstdint>

struct HTTP_REQ_CONTEXT;

// Fills the async_load map (its index written through asyncLoad) and returns the event number.
using HttpCompletionFn = int32_t (*)(HTTP_REQ_CONTEXT* request, void* user, int32_t* asyncLoad);
// Frees the user record when the request is destroyed.
using HttpCleanupFn = void (*)(HTTP_REQ_CONTEXT* request);

constexpr int32_t HTTP_STATE_DONE = 7;

struct HTTP_REQ_CONTEXT {
    HTTP_REQ_CONTEXT(const char* url, int32_t kind, HttpCompletionFn completion, HttpCleanupFn cleanup,
                     void* user);
    virtual ~HTTP_REQ_CONTEXT();
    HTTP_REQ_CONTEXT(const HTTP_REQ_CONTEXT&) = delete;
    HTTP_REQ_CONTEXT& operator=(const HTTP_REQ_CONTEXT&) = delete;

    HTTP_REQ_CONTEXT* next = nullptr;
    uint8_t active = 0;
    int32_t state = 0;
    HttpCompletionFn completion;
    HttpCleanupFn cleanup;
    void* user;
    int32_t id;
    int32_t kind;         // passed through to the completion
    char* url;            // owned
    int32_t status = 0;   // the HTTP status, or the dialog's answer
    char* data = nullptr; // owned: the received bytes, or the dialog's result text
    int32_t dataSize = 0;
    int32_t dataCapacity = 0;
};

// A queued dialog: kind 0 input query, 1 question, 2 message, 3 login.
struct DIALOG_REQ_CONTEXT : HTTP_REQ_CONTEXT {
    using HTTP_REQ_CONTEXT::HTTP_REQ_CONTEXT;
    int32_t dialogKind = 0;
};

// The head of the request list (newest first).
extern HTTP_REQ_CONTEXT* HTTP_RequestList;

// Starts an asynchronous GET; the result arrives through the request list.
void HTTP_Get(const char* url, int32_t kind, HttpCompletionFn completion, HttpCleanupFn cleanup, void* user);
// Once per step before the list is scanned: requests whose transfer ended become HTTP_STATE_DONE.
void HTTP_PollThreads();

// Each leaves full screen, queues a dialog request and returns its id; -1 when no request was made.
int DialogAsync_ShowMessage(const char* caption, const char* text);
int DialogAsync_ShowQuestion(const char* caption, const char* text);
int DialogAsync_GetString(const char* caption, const char* prompt, const char* defaultText);
int DialogAsync_GetLogin(const char* defaultUser, const char* defaultPassword);
// Opens the oldest queued dialog request.
void AsyncDialog_ShowNext();
