#include "audio/audio_stream.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <thread>

ALenum Pcm_ALFormat(const PcmFormat& format) {
    if (format.channels == 2) return format.bits == 8 ? AL_FORMAT_STEREO8 : AL_FORMAT_STEREO16;
    return format.bits == 8 ? AL_FORMAT_MONO8 : AL_FORMAT_MONO16;
}

CAudioStream::CAudioStream(ALuint source, std::unique_ptr<IPcmSource> pcm, bool loop)
    : m_source(source), m_pcm(std::move(pcm)), m_format(Pcm_ALFormat(m_pcm->Format())), m_loop(loop) {
    m_piece.resize(static_cast<size_t>(kBufferFrames) * static_cast<size_t>(m_pcm->Format().FrameBytes()));
}

CAudioStream::~CAudioStream() {
    Stop();
}

bool CAudioStream::Fill(ALuint buffer) {
    if (m_ended) return false;
    size_t n = 0;
    bool rewound = false;
    while (n < m_piece.size()) {
        const size_t got = m_pcm->Read(m_piece.data() + n, m_piece.size() - n);
        n += got;
        if (got > 0) {
            rewound = false;
            continue;
        }
        // A loop goes on from the first frame; a file that gives nothing even from there has ended.
        if (!m_loop || rewound || !m_pcm->Rewind()) {
            m_ended = true;
            break;
        }
        rewound = true;
    }
    if (n == 0) return false;
    alBufferData(buffer, m_format, m_piece.data(), static_cast<ALsizei>(n), m_pcm->Format().rate);
    return true;
}

bool CAudioStream::Start() {
    std::lock_guard<std::mutex> lock(m_lock);
    // The error state is shared with the other threads, so success is read from the names given.
    alGenBuffers(kBufferCount, m_buffers);
    if (m_buffers[0] == 0) {
        m_finished = true;
        return false;
    }
    int queued = 0;
    for (ALuint buffer : m_buffers) {
        if (!Fill(buffer)) break;
        alSourceQueueBuffers(m_source, 1, &buffer);
        ++queued;
    }
    if (queued == 0) {
        m_finished = true;
        return false;
    }
    alSourcePlay(m_source);
    return true;
}

void CAudioStream::Stop() {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_stopped) return;
    m_stopped = true;
    m_finished = true;
    alSourceStop(m_source);
    alSourcei(m_source, AL_BUFFER, 0);
    if (m_buffers[0]) alDeleteBuffers(kBufferCount, m_buffers);
}

void CAudioStream::Refill() {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_stopped || m_finished) return;
    ALint processed = 0;
    alGetSourcei(m_source, AL_BUFFERS_PROCESSED, &processed);
    for (; processed > 0; --processed) {
        ALuint buffer = 0;
        alSourceUnqueueBuffers(m_source, 1, &buffer);
        if (buffer == 0) break;
        if (Fill(buffer)) alSourceQueueBuffers(m_source, 1, &buffer);
    }
    ALint state = AL_STOPPED;
    ALint queued = 0;
    alGetSourcei(m_source, AL_SOURCE_STATE, &state);
    alGetSourcei(m_source, AL_BUFFERS_QUEUED, &queued);
    if (state == AL_PLAYING) return;
    if (queued > 0)
        alSourcePlay(m_source);
    else
        m_finished = true;
}

namespace {

constexpr int kWorkerCount = 4;
// How often a worker looks at its streams when nothing wakes it: well within one buffer's playing time.
constexpr std::chrono::milliseconds kPollInterval(10);

struct Worker {
    std::thread thread;
    std::mutex lock;
    std::condition_variable wake;
    std::condition_variable passDone;
    std::vector<std::shared_ptr<CAudioStream>> streams;
    uint64_t requested = 0; // passes asked for by AudioStreams_Sync
    uint64_t done = 0;      // the request count the last finished pass started with
    bool quit = false;
};

Worker g_workers[kWorkerCount];
bool g_running = false;

void WorkerLoop(Worker& w) {
    std::unique_lock<std::mutex> lock(w.lock);
    while (!w.quit) {
        w.wake.wait_for(lock, kPollInterval, [&] { return w.quit || w.requested != w.done; });
        if (w.quit) break;
        const uint64_t pass = w.requested;
        std::vector<std::shared_ptr<CAudioStream>> streams = w.streams;
        lock.unlock();
        for (const auto& stream : streams)
            stream->Refill();
        streams.clear();
        lock.lock();
        w.done = pass;
        w.passDone.notify_all();
    }
}

} // namespace

void AudioStreams_Start() {
    if (g_running) return;
    g_running = true;
    for (Worker& w : g_workers) {
        w.quit = false;
        w.requested = w.done = 0;
        w.thread = std::thread(WorkerLoop, std::ref(w));
    }
}

void AudioStreams_Stop() {
    if (!g_running) return;
    for (Worker& w : g_workers) {
        {
            std::lock_guard<std::mutex> lock(w.lock);
            w.quit = true;
        }
        w.wake.notify_all();
    }
    for (Worker& w : g_workers) {
        w.thread.join();
        w.streams.clear();
    }
    g_running = false;
}

int AudioStreams_WorkerCount() {
    return g_running ? kWorkerCount : 0;
}

void AudioStreams_Add(std::shared_ptr<CAudioStream> stream) {
    if (!g_running) return;
    Worker* least = &g_workers[0];
    for (Worker& w : g_workers) {
        std::lock_guard<std::mutex> lock(w.lock);
        if (w.streams.size() < least->streams.size()) least = &w;
    }
    std::lock_guard<std::mutex> lock(least->lock);
    least->streams.push_back(std::move(stream));
}

void AudioStreams_Remove(const CAudioStream* stream) {
    for (Worker& w : g_workers) {
        std::lock_guard<std::mutex> lock(w.lock);
        std::erase_if(w.streams, [&](const auto& s) { return s.get() == stream; });
    }
}

void AudioStreams_Sync() {
    if (!g_running) return;
    uint64_t wanted[kWorkerCount];
    for (int i = 0; i < kWorkerCount; ++i) {
        std::lock_guard<std::mutex> lock(g_workers[i].lock);
        wanted[i] = ++g_workers[i].requested;
        g_workers[i].wake.notify_all();
    }
    for (int i = 0; i < kWorkerCount; ++i) {
        std::unique_lock<std::mutex> lock(g_workers[i].lock);
        g_workers[i].passDone.wait(lock, [&] { return g_workers[i].done >= wanted[i]; });
    }
}
