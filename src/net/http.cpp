// HTTP GET transfers through libcurl on a pool of at most kHttpMaxTransfers worker threads. A transfer
// is a job owned by this file: the worker writes its result into the job and then marks it finished;
// the main thread's poll moves the result into the request. Workers never touch a request.
// libcurl is loaded when the first transfer is queued: most games download nothing, and loading it with
// the libraries it needs would take a good part of every start-up.
#include "net/async_requests.h"

#include "core/console.h"
#include "core/memory.h"
#include "core/process_exit.h"

#include <curl/curl.h>
#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
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
    // The pool's list holds every job until it is polled or the pool stops; the worker that takes it
    // holds it too until its transfer has ended. Whichever lets go last deletes it: a worker whose
    // transfer the pool stopped waiting for may still write into its job.
    std::atomic<int> holders{1};
};

void Release(HttpJob* job) {
    if (job->holders.fetch_sub(1, std::memory_order_acq_rel) == 1) delete job;
}

void StopAtExit(int status, void*);

// The functions of libcurl the transfers call.
struct CurlLibrary {
    CURLcode (*globalInit)(long flags);
    CURL* (*easyInit)();
    CURLcode (*easySetopt)(CURL* curl, CURLoption option, ...);
    CURLcode (*easyGetinfo)(CURL* curl, CURLINFO info, ...);
    void (*easyCleanup)(CURL* curl);
    const char* (*easyStrerror)(CURLcode code);
    CURLM* (*multiInit)();
    CURLMcode (*multiAddHandle)(CURLM* multi, CURL* curl);
    CURLMcode (*multiRemoveHandle)(CURLM* multi, CURL* curl);
    CURLMcode (*multiPerform)(CURLM* multi, int* running);
    CURLMcode (*multiPoll)(CURLM* multi, curl_waitfd* extra, unsigned count, int timeoutMs, int* ready);
    CURLMcode (*multiWakeup)(CURLM* multi);
    CURLMsg* (*multiInfoRead)(CURLM* multi, int* left);
    CURLMcode (*multiCleanup)(CURLM* multi);
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
    bind(curl.easyGetinfo, "curl_easy_getinfo");
    bind(curl.easyCleanup, "curl_easy_cleanup");
    bind(curl.easyStrerror, "curl_easy_strerror");
    bind(curl.multiInit, "curl_multi_init");
    bind(curl.multiAddHandle, "curl_multi_add_handle");
    bind(curl.multiRemoveHandle, "curl_multi_remove_handle");
    bind(curl.multiPerform, "curl_multi_perform");
    bind(curl.multiPoll, "curl_multi_poll");
    bind(curl.multiWakeup, "curl_multi_wakeup");
    bind(curl.multiInfoRead, "curl_multi_info_read");
    bind(curl.multiCleanup, "curl_multi_cleanup");
    return found ? &curl : nullptr;
}

// Set once, on the main thread, before the first worker starts.
const CurlLibrary* g_curl = nullptr;

// A stop waits a little for the workers to end (HttpLimits::stopWaitMs). A worker ends within moments
// of being woken, unless its thread is busy where libcurl cannot wake it (a resolver that blocks, the
// TLS library reading its certificates): it is then left to end by itself, and so is its job. Neither
// the end of a run nor the process waits for it, and the process ends without the libraries' exit
// handlers (Process_End), which could free what such a worker still uses.
class HttpPool {
public:
    // Never destroyed: a worker left running when the pool stopped may still use it, also at exit.
    static HttpPool& Get() {
        static HttpPool* const pool = new HttpPool;
        return *pool;
    }

    // The thread of the first call owns the list of jobs: TakeFinished and Stop come from it too.
    void Queue(HttpJob* job) {
        // libcurl's initialisation registers the TLS library's own clean-up to run at exit. The handler
        // registered after it runs before it: see StopAtExit.
        std::call_once(m_curlInit, [this] {
            m_owner = std::this_thread::get_id();
            g_curl = LoadCurl();
            if (g_curl) g_curl->globalInit(CURL_GLOBAL_DEFAULT);
            ::on_exit(StopAtExit, nullptr);
        });
        m_jobs.push_back(job);
        if (job->finished) return;
        std::lock_guard<std::mutex> lock(m_mutex);
        // Once the process has begun to end no transfer starts: the job waits for the end.
        if (m_ending || Process_Ending()) return;
        m_queue.push_back(job);
        if (m_crew.size() < static_cast<size_t>(kHttpMaxTransfers) && m_idle < m_queue.size()) {
            auto worker = std::make_shared<Worker>();
            m_crew.push_back(worker);
            m_threads.emplace_back(
                [this, worker, generation = m_generation.load()] { Work(*worker, generation); });
        }
        m_wake.notify_one();
    }

    // Finished jobs, taken off the pool's list (main thread); each is Released once read.
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

    // Abandons every transfer and lets go of every job; the workers are woken and end, and those that
    // have not ended within the limits' stop wait are left to end by themselves.
    void Stop() {
        StopWorkers(false);
        for (HttpJob* job : m_jobs)
            Release(job);
        m_jobs.clear();
    }

    // For an exit, from any thread: abandons every transfer and starts none after, leaving the list of
    // jobs as it is (a worker that is left writes into its job, which the list keeps).
    void StopForExit() { StopWorkers(true); }
    bool OnOwnerThread() const { return std::this_thread::get_id() == m_owner; }

    int Running() const { return m_running.load(); }
    // Whether a stop has left a worker's thread to end by itself (it may not have ended yet, nor has
    // one that ended finished the library's clean-up of its thread).
    bool LeftAWorker() const { return m_leftAWorker.load(); }

    void SetLimits(const HttpLimits& limits) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_limits = limits;
    }
    const HttpLimits& Limits() const { return m_limits; } // main thread: only it writes them

private:
    // What the pool and one worker's thread share; guarded by the pool's mutex.
    struct Worker {
        CURLM* multi = nullptr; // woken by a stop
        bool ended = false;
    };

    HttpPool() = default;

    bool Abandoned(unsigned generation) const { return m_generation.load() != generation; }

    // The workers are woken and end; those that have not ended within the limits' stop wait are left to
    // end by themselves. With ending, no worker starts after this.
    void StopWorkers(bool ending) {
        std::vector<std::shared_ptr<Worker>> crew;
        std::vector<std::thread> threads;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_ending = m_ending || ending;
            ++m_generation;
            m_idle = 0;
            m_queue.clear();
            crew.swap(m_crew);
            threads.swap(m_threads);
            for (const auto& worker : crew)
                if (worker->multi) g_curl->multiWakeup(worker->multi);
            m_wake.notify_all();
            const auto allEnded = [&crew] {
                return std::all_of(crew.begin(), crew.end(),
                                   [](const auto& worker) { return worker->ended; });
            };
            m_ended.wait_for(lock, std::chrono::milliseconds(m_limits.stopWaitMs), allEnded);
            for (size_t i = 0; i < crew.size(); ++i) {
                if (crew[i]->ended) continue;
                threads[i].detach();
                m_leftAWorker = true;
            }
        }
        for (std::thread& thread : threads)
            if (thread.joinable()) thread.join();
    }

    void Work(Worker& me, unsigned generation) {
        CURLM* const multi = g_curl ? g_curl->multiInit() : nullptr;
        std::unique_lock<std::mutex> lock(m_mutex);
        me.multi = multi;
        for (;;) {
            // A stop sets the count of idle workers anew: a worker it abandoned counts in it no more.
            if (Abandoned(generation)) break;
            ++m_idle;
            m_wake.wait(lock, [&] { return Abandoned(generation) || !m_queue.empty(); });
            if (Abandoned(generation) || Process_Ending()) break;
            --m_idle;
            HttpJob* job = m_queue.front();
            m_queue.pop_front();
            job->holders.fetch_add(1, std::memory_order_relaxed);
            const HttpLimits jobLimits = m_limits;
            lock.unlock();
            ++m_running;
            Perform(*job, jobLimits, multi, generation);
            --m_running;
            job->finished.store(true, std::memory_order_release);
            Release(job);
            lock.lock();
        }
        me.multi = nullptr;
        me.ended = true;
        m_ended.notify_all();
        lock.unlock();
        if (multi) g_curl->multiCleanup(multi);
    }

    struct Transfer {
        HttpJob* job;
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

    // Runs the transfer until it ends or a stop abandons it, which wakes the wait at once.
    CURLcode Run(CURLM* multi, CURL* curl, unsigned generation) {
        const CurlLibrary& c = *g_curl;
        if (c.multiAddHandle(multi, curl) != CURLM_OK) return CURLE_FAILED_INIT;
        CURLcode result = CURLE_ABORTED_BY_CALLBACK;
        for (;;) {
            int running = 0;
            if (c.multiPerform(multi, &running) != CURLM_OK) {
                result = CURLE_FAILED_INIT;
                break;
            }
            int left = 0;
            if (const CURLMsg* message = c.multiInfoRead(multi, &left);
                message && message->msg == CURLMSG_DONE) {
                result = message->data.result;
                break;
            }
            if (!running || Abandoned(generation)) break;
            c.multiPoll(multi, nullptr, 0, 1000, nullptr);
        }
        // Leaving a name still being resolved does not wait for the resolver (CURLOPT_QUICK_EXIT).
        c.multiRemoveHandle(multi, curl);
        return result;
    }

    void Perform(HttpJob& job, const HttpLimits& l, CURLM* multi, unsigned generation) {
        if (!g_curl) {
            job.error = job.url + ": no transfer is possible, libcurl could not be loaded";
            return;
        }
        const CurlLibrary& c = *g_curl;
        CURL* curl = multi ? c.easyInit() : nullptr;
        if (!curl) {
            job.error = "could not start a transfer";
            return;
        }
        Transfer t{&job, l.maxBytes};
        char errorText[CURL_ERROR_SIZE] = {};
        c.easySetopt(curl, CURLOPT_URL, job.url.c_str());
        c.easySetopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
        c.easySetopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        c.easySetopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
        c.easySetopt(curl, CURLOPT_MAXREDIRS, 10L);
        c.easySetopt(curl, CURLOPT_NOSIGNAL, 1L);
        c.easySetopt(curl, CURLOPT_QUICK_EXIT, 1L);
        c.easySetopt(curl, CURLOPT_CONNECTTIMEOUT_MS, l.connectTimeoutMs);
        c.easySetopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        c.easySetopt(curl, CURLOPT_LOW_SPEED_TIME, l.stallSeconds);
        c.easySetopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(l.maxBytes));
        c.easySetopt(curl, CURLOPT_WRITEFUNCTION, Receive);
        c.easySetopt(curl, CURLOPT_WRITEDATA, &t);
        c.easySetopt(curl, CURLOPT_ERRORBUFFER, errorText);
        const CURLcode result = Run(multi, curl, generation);
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
    std::condition_variable m_ended;
    std::deque<HttpJob*> m_queue;
    size_t m_idle = 0;
    // The workers of the current generation; a stop starts the next one.
    std::vector<std::shared_ptr<Worker>> m_crew;
    std::vector<std::thread> m_threads;
    std::atomic<unsigned> m_generation{0};
    std::vector<HttpJob*> m_jobs; // main thread only: every job not yet polled
    std::atomic<int> m_running{0};
    std::atomic<bool> m_leftAWorker{false};
    std::thread::id m_owner;
    bool m_ending = false; // set by an exit: no worker starts after it
};

// The runner's exit ends the process before any handler runs (runner/main.cpp), so this runs in programs
// that link this file without the runner's end, when something calls exit or their main returns. The
// transfers are stopped, and none starts after. The process then ends here, with the status exit was
// given, and no later handler runs, where one would free what another thread uses: a worker left running
// may be inside the TLS library, whose clean-up runs after this handler; and an exit from a thread other
// than the one that queues the transfers leaves that thread running on meanwhile (this handler leaves
// its list of jobs alone, which only that thread may touch).
void StopAtExit(int status, void*) {
    HttpPool& pool = HttpPool::Get();
    const bool elsewhere = !pool.OnOwnerThread();
    pool.StopForExit();
    if (elsewhere || pool.LeftAWorker()) Process_End(status);
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
    HttpPool::Get().Queue(job);
}

void HTTP_PollThreads() {
    for (HttpJob* job : HttpPool::Get().TakeFinished()) {
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
        Release(job);
    }
    AsyncDialog_Poll();
}

void HTTP_Shutdown() {
    HttpPool::Get().Stop();
    AsyncDialog_Clear();
    while (HTTP_REQ_CONTEXT* request = HTTP_State().HTTP_RequestList) {
        HTTP_State().HTTP_RequestList = request->next;
        if (request->cleanup) request->cleanup(request);
        delete request;
    }
}

void HTTP_SetLimits(const HttpLimits& limits) {
    HttpPool::Get().SetLimits(limits);
}

const HttpLimits& HTTP_GetLimits() {
    return HttpPool::Get().Limits();
}

int HTTP_RunningTransfers() {
    return HttpPool::Get().Running();
}
