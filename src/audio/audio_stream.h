// Streamed playback: an OpenAL source fed with a few buffers decoded a piece at a time from a sound file,
// refilled as it plays by four worker threads shared by every stream.
#pragma once

#include "audio/sound_file.h"

#include <AL/al.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

// The OpenAL buffer format of a PCM layout.
ALenum Pcm_ALFormat(const PcmFormat& format);

class CAudioStream {
public:
    static constexpr int kBufferCount = 4;
    static constexpr int kBufferFrames = 8192;

    CAudioStream(ALuint source, std::unique_ptr<IPcmSource> pcm, bool loop);
    ~CAudioStream();
    CAudioStream(const CAudioStream&) = delete;
    CAudioStream& operator=(const CAudioStream&) = delete;

    // Fills the buffers and starts the source; false when the file gave nothing to play.
    bool Start();
    // Stops the source and lets its buffers go; refills do nothing after it. Any thread, any number of
    // times.
    void Stop();
    // True once the last frame has played, or the stream was stopped.
    bool Finished() const { return m_finished.load(); }
    // Decodes new pieces into the buffers the source has played and queues them again; a source that ran
    // dry before its refill starts again where it stopped.
    void Refill();

private:
    // Decodes the next piece into the buffer; false when the sound has ended. Holds m_lock.
    bool Fill(ALuint buffer);

    std::mutex m_lock;
    ALuint m_source;
    ALuint m_buffers[kBufferCount] = {};
    std::unique_ptr<IPcmSource> m_pcm;
    ALenum m_format;
    bool m_loop;
    bool m_ended = false;   // the decoder gave its last frame
    bool m_stopped = false;
    std::atomic<bool> m_finished{false};
    std::vector<uint8_t> m_piece;
};

// The four workers: started with the engine, ended (and joined) with it.
void AudioStreams_Start();
void AudioStreams_Stop();
// The workers running now.
int AudioStreams_WorkerCount();
// Gives the stream to the worker holding the fewest.
void AudioStreams_Add(std::shared_ptr<CAudioStream> stream);
void AudioStreams_Remove(const CAudioStream* stream);
// Has every worker make one refill pass over its streams, and waits for it. Audio rendered into memory
// runs ahead of the clock the workers poll by; its tests refill this way between renders.
void AudioStreams_Sync();
