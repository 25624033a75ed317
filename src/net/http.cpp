// HTTP GET transfers through libcurl on a pool of at most kHttpMaxTransfers worker threads. A transfer
// is a job owned by this file: the worker writes its result into the job and then marks it finished;
// the main thread's poll moves the result into the request. Workers never touch a request.
// libcurl is loaded when the first transfer is queued: most games download nothing, and loading it with
// the libraries it needs would take a good part of every start-up.
#include "net/async_requests.h"

#include "core/console.h"
#include "core/memory.h"

#include <curl/curl.h>
#include <dlfcn.h>

#include <atomic>
#include <cstdlib>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <strings.h>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

namespace {

struct HttpJob {
    HTTP_REQ_CONTEXT* request = nullptr; // main thread only
    std::string url;
    // Written by the worker before `finished` is set, read by the main thread after.
    long status = 0;
    std::string body;
    std::string error;
    std::atomic<bool> finished{false};
};

void StopAtExit();

// The functions of libcurl the transfers call.
struct CurlLibrary {
    CURLcode (*globalInit)(long flags);
    CURL* (*easyInit)();
    CURLcode (*easySetopt)(CURL* curl, CURLoption option, ...);
    CURLcode (*easyPerform)(CURL* curl);
    CURLcode (*easyGetinfo)(CURL* curl, CURLINFO info, ...);
    void (*easyCleanup)(CURL* curl);
    const char* (*easyStrerror)(CURLcode code);
};

// Null when the library or one of its functions cannot be found.
const CurlLibrary* LoadCurl() {
    void* library = nullptr;
    for (const char* name : {"libcurl.so.4", "libcurl-gnutls.so.4"})
        if (!library) library = dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (!library) return nullptr;
    static CurlLibrary curl;
    bool found = true;
    auto bind = [&](auto& function, const char* name) {
        function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(library, name));
        found = found && function;
    };
    bind(curl.globalInit, "curl_global_init");
    bind(curl.easyInit, "curl_easy_init");
    bind(curl.easySetopt, "curl_easy_setopt");
    bind(curl.easyPerform, "curl_easy_perform");
    bind(curl.easyGetinfo, "curl_easy_getinfo");
    bind(curl.easyCleanup, "curl_easy_cleanup");
    bind(curl.easyStrerror, "curl_easy_strerror");
    return found ? &curl : nullptr;
}

// Set once, on the main thread, before the first worker starts.
const CurlLibrary* g_curl = nullptr;

class HttpPool {
public:
    ~HttpPool() { Stop(); }

    void Queue(HttpJob* job) {
        // The transfers stop before the TLS library's own clean-up at exit, which it registers here.
        std::call_once(m_curlInit, [] {
            g_curl = LoadCurl();
            if (g_curl) g_curl->globalInit(CURL_GLOBAL_DEFAULT);
            std::atexit(StopAtExit);
        });
        m_jobs.push_back(job);
        if (job->finished) return;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back(job);
        if (m_workers.size() < static_cast<size_t>(kHttpMaxTransfers) && m_idle < m_queue.size())
            m_workers.emplace_back([this] { Work(); });
        m_wake.notify_one();
    }

    // Finished jobs, taken off the pool (main thread).
    std::vector<HttpJob*> TakeFinished() {
        std::vector<HttpJob*> done;
        for (size_t i = 0; i < m_jobs.size();) {
            if (m_jobs[i]->finished.load(std::memory_order_acquire)) {
                done.push_back(m_jobs[i]);
                m_jobs.erase(m_jobs.begin() + static_cast<std::ptrdiff_t>(i));
            } else {
                ++i;
            }
        }
        return done;
    }

    // Aborts the transfers, joins the workers and deletes every job.
    void Stop() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        for (std::thread& worker : m_workers)
            worker.join();
        m_workers.clear();
        m_queue.clear();
        m_idle = 0;
        for (HttpJob* job : m_jobs)
            delete job;
        m_jobs.clear();
        m_stopping = false;
    }

    bool Stopping() const { return m_stopping.load(std::memory_order_relaxed); }
    int Running() const { return m_running.load(); }

    void SetLimits(const HttpLimits& limits) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_limits = limits;
    }
    const HttpLimits& Limits() const { return m_limits; } // main thread: only it writes them

private:
    void Work() {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            ++m_idle;
            m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            --m_idle;
            if (m_stopping) return;
            HttpJob* job = m_queue.front();
            m_queue.pop_front();
            const HttpLimits jobLimits = m_limits;
            lock.unlock();
            ++m_running;
            Perform(*job, jobLimits);
            --m_running;
            job->finished.store(true, std::memory_order_release);
            lock.lock();
        }
    }

    struct Transfer {
        HttpJob* job;
        HttpPool* pool;
        size_t maxBytes;
        bool tooLarge = false;
    };

    static size_t Receive(char* data, size_t size, size_t count, void* user) {
        auto* t = static_cast<Transfer*>(user);
        const size_t bytes = size * count;
        if (t->job->body.size() + bytes > t->maxBytes) {
            t->tooLarge = true;
            return CURL_WRITEFUNC_ERROR;
        }
        t->job->body.append(data, bytes);
        return bytes;
    }

    // Called often during a transfer, also while it waits: a shutdown aborts it.
    static int Progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        return static_cast<Transfer*>(user)->pool->Stopping() ? 1 : 0;
    }

    void Perform(HttpJob& job, const HttpLimits& l) {
        if (!g_curl) {
            job.error = job.url + ": no transfer is possible, libcurl could not be loaded";
            return;
        }
        const CurlLibrary& c = *g_curl;
        CURL* curl = c.easyInit();
        if (!curl) {
            job.error = "could not start a transfer";
            return;
        }
        Transfer t{&job, this, l.maxBytes};
        char errorText[CURL_ERROR_SIZE] = {};
        c.easySetopt(curl, CURLOPT_URL, job.url.c_str());
        c.easySetopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
        c.easySetopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        c.easySetopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
        c.easySetopt(curl, CURLOPT_MAXREDIRS, 10L);
        c.easySetopt(curl, CURLOPT_NOSIGNAL, 1L);
        c.easySetopt(curl, CURLOPT_CONNECTTIMEOUT_MS, l.connectTimeoutMs);
        c.easySetopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        c.easySetopt(curl, CURLOPT_LOW_SPEED_TIME, l.stallSeconds);
        c.easySetopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(l.maxBytes));
        c.easySetopt(curl, CURLOPT_WRITEFUNCTION, Receive);
        c.easySetopt(curl, CURLOPT_WRITEDATA, &t);
        c.easySetopt(curl, CURLOPT_XFERINFOFUNCTION, Progress);
        c.easySetopt(curl, CURLOPT_XFERINFODATA, &t);
        c.easySetopt(curl, CURLOPT_NOPROGRESS, 0L);
        c.easySetopt(curl, CURLOPT_ERRORBUFFER, errorText);
        const CURLcode result = c.easyPerform(curl);
        c.easyGetinfo(curl, CURLINFO_RESPONSE_CODE, &job.status);
        c.easyCleanup(curl);
        if (result == CURLE_OK) return;
        // A failed transfer hands on no bytes: a part of a body is not the resource.
        job.body.clear();
        job.body.shrink_to_fit();
        if (t.tooLarge || result == CURLE_FILESIZE_EXCEEDED)
            job.error = job.url + ": the response is larger than " + std::to_string(l.maxBytes) + " bytes";
        else
            job.error = job.url + ": " + (errorText[0] ? errorText : c.easyStrerror(result));
    }

    HttpLimits m_limits;
    std::once_flag m_curlInit;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<HttpJob*> m_queue;
    size_t m_idle = 0;
    std::vector<std::thread> m_workers;
    std::vector<HttpJob*> m_jobs; // main thread only: every job not yet polled
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_running{0};
};

HttpPool g_pool;

void StopAtExit() {
    g_pool.Stop();
}

bool IsHttpUrl(const char* url) {
    return url && (strncasecmp(url, "http://", 7) == 0 || strncasecmp(url, "https://", 8) == 0);
}

} // namespace

void HTTP_Get(const char* url, int32_t kind, HttpCompletionFn completion, HttpCleanupFn cleanup, void* user) {
    auto* request = new HTTP_REQ_CONTEXT(url ? url : "", kind, completion, cleanup, user);
    request->active = 1;
    HTTP_AddRequest(request);
    auto* job = new HttpJob;
    job->request = request;
    job->url = request->url;
    if (!IsHttpUrl(url)) {
        job->error = job->url + ": not an http or https URL";
        job->finished = true;
    }
    g_pool.Queue(job);
}

void HTTP_PollThreads() {
    for (HttpJob* job : g_pool.TakeFinished()) {
        HTTP_REQ_CONTEXT* request = job->request;
        request->status = static_cast<int32_t>(job->status);
        if (!job->body.empty()) {
            const size_t size = job->body.size();
            request->data = static_cast<char*>(MEM_ALLOC_RAW(size + 1));
            std::memcpy(request->data, job->body.data(), size);
            request->data[size] = '\0';
            request->dataSize = static_cast<int32_t>(size);
            request->dataCapacity = static_cast<int32_t>(size + 1);
        }
        request->state = HTTP_STATE_DONE;
        if (!job->error.empty()) DebugConsole->Output("HttpError:%s\n", job->error.c_str());
        delete job;
    }
    AsyncDialog_Poll();
}

void HTTP_Shutdown() {
    g_pool.Stop();
    AsyncDialog_Clear();
    while (HTTP_REQ_CONTEXT* request = HTTP_State().HTTP_RequestList) {
        HTTP_State().HTTP_RequestList = request->next;
        if (request->cleanup) request->cleanup(request);
        delete request;
    }
}

void HTTP_SetLimits(const HttpLimits& limits) {
    g_pool.SetLimits(limits);
}

const HttpLimits& HTTP_GetLimits() {
    return g_pool.Limits();
}

int HTTP_RunningTransfers() {
    return g_pool.Running();
}
