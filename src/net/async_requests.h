// Asynchronous requests (HTTP downloads and asynchronous dialogs) and the list through which their
// results reach the main thread: the asynchronous stage of each step takes every active request in
// state HTTP_STATE_DONE off the list, calls its completion (which fills the async_load map and names
// the event to raise), runs its clean-up and deletes it.
//
// HTTP transfers run on worker threads (at most kHttpMaxTransfers at once, the others queued); only
// the main thread touches the list and the requests: HTTP_PollThreads hands each finished transfer's
// result to its request. Dialog requests wait in a queue of their own and are shown one at a time;
// the dialog layer completes them with the player's answer (or at once, when no one can answer).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct HTTP_REQ_CONTEXT;

// Fills the async_load map (its index written through asyncLoad) and returns the event number.
using HttpCompletionFn = int32_t (*)(HTTP_REQ_CONTEXT* request, void* user, int32_t* asyncLoad);
// Frees the user record when the request is destroyed.
using HttpCleanupFn = void (*)(HTTP_REQ_CONTEXT* request);

constexpr int32_t HTTP_STATE_DONE = 7;
constexpr int kHttpMaxTransfers = 8;
// The asynchronous event of a finished dialog.
constexpr int32_t kEventDialogAsync = 63;

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
    int32_t status = 0;   // the HTTP status (0: no answer), or the dialog's status
    char* data = nullptr; // owned: the received bytes, or the dialog's result text (NUL-terminated)
    int32_t dataSize = 0;
    int32_t dataCapacity = 0;
};

// A queued dialog: kind 0 input query, 1 question, 2 message, 3 login.
struct DIALOG_REQ_CONTEXT : HTTP_REQ_CONTEXT {
    DIALOG_REQ_CONTEXT(int32_t dialogKind, const char* caption, const char* text, const char* defaultText);
    int32_t dialogKind;
    std::string caption; // the login form's default user name
    std::string text;
    std::string defaultText; // the login form's default password
};

// The running HTTP requests, reached through HTTP_State().
struct HTTPState {
    // The head of the request list (newest first).
    HTTP_REQ_CONTEXT* HTTP_RequestList = nullptr;
};

inline HTTPState& HTTP_State() {
    static HTTPState state;
    return state;
}
// Puts a request at the head of the list.
void HTTP_AddRequest(HTTP_REQ_CONTEXT* request);
// The request of an id on the list, or null.
HTTP_REQ_CONTEXT* HTTP_FindRequest(int32_t id);

// Starts an asynchronous GET of an "http://" or "https://" URL; the result arrives through the request
// list. Any other URL completes at once with status 0 and no data (and an error on the console).
void HTTP_Get(const char* url, int32_t kind, HttpCompletionFn completion, HttpCleanupFn cleanup, void* user);
// Once per step before the list is scanned: requests whose transfer ended become HTTP_STATE_DONE (a
// failed transfer's error is logged as "HttpError:..."); a finished dialog closes and the next queued
// one opens.
void HTTP_PollThreads();
// Abandons every transfer and deletes every request (running clean-ups, never completions), within a
// fraction of a second whatever the network does: a worker held where it cannot be woken (a name
// resolver that never answers) is left to end by itself. New requests may be made afterwards.
void HTTP_Shutdown();

// What a transfer may take. A transfer that gets no connection within the connect timeout, that
// receives nothing for stallSeconds, or whose body grows past maxBytes fails. A shutdown waits at most
// stopWaitMs for the transfers it abandons to end, and leaves those that have not.
struct HttpLimits {
    long connectTimeoutMs = 30000;
    long stallSeconds = 60;
    size_t maxBytes = 256u << 20;
    long stopWaitMs = 250;
};
void HTTP_SetLimits(const HttpLimits& limits);
const HttpLimits& HTTP_GetLimits();
// Transfers in progress on worker threads now (the others are queued or finished).
int HTTP_RunningTransfers();

// Each queues a dialog request and returns its id; the request is shown at once when no other dialog
// waits. Full screen is left when the dialog opens.
int DialogAsync_ShowMessage(const char* caption, const char* text);
int DialogAsync_ShowQuestion(const char* caption, const char* text);
int DialogAsync_GetString(const char* caption, const char* prompt, const char* defaultText);
int DialogAsync_GetLogin(const char* defaultUser, const char* defaultPassword);
// Opens the oldest queued dialog request, unless another dialog is open.
void AsyncDialog_ShowNext();
// Once per step (from HTTP_PollThreads): an answered dialog closes and the next queued one opens.
void AsyncDialog_Poll();
// At shutdown: closes the open dialog as cancelled and forgets the queued ones (with their requests).
void AsyncDialog_Clear();
// Stores a dialog's answer in its request (found by id; an id no longer listed is ignored): state
// HTTP_STATE_DONE, the status and a copy of length bytes of text.
void DialogRequest_Store(int32_t id, int32_t status, const char* text, size_t length);
