#include "audio/audio_engine.h"

#include "audio/audio_stream.h"
#include "core/console.h"

#include <AL/alc.h>
#include <AL/alext.h>

#include <bit>
#include <climits>

static_assert(std::endian::native == std::endian::little, "16-bit samples are handed to OpenAL as the files store them");

namespace {

struct Voice {
    ALuint source = 0;
    int sound = -1; // -1: free
    int priority = 0;
    uint64_t order = 0;
    int handle = -1;
    std::shared_ptr<CAudioStream> stream;
};

ALCdevice* g_device = nullptr;
ALCcontext* g_context = nullptr;
LPALCRENDERSAMPLESSOFT g_render = nullptr; // set for a device rendering into memory
bool g_markedLost = false;
Voice g_voices[kVoiceCount];
Voice g_music;
uint64_t g_order = 0;
int g_nextHandle = 0;

template <typename F> void ForEachVoice(F f) {
    for (Voice& v : g_voices)
        f(v);
    f(g_music);
}

bool Busy(const Voice& v) {
    if (v.sound < 0) return false;
    if (v.stream) return !v.stream->Finished();
    ALint state = AL_STOPPED;
    alGetSourcei(v.source, AL_SOURCE_STATE, &state);
    return state == AL_PLAYING;
}

void Release(Voice& v) {
    if (v.stream) {
        v.stream->Stop();
        AudioStreams_Remove(v.stream.get());
        v.stream.reset();
    } else if (v.sound >= 0) {
        alSourceStop(v.source);
        alSourcei(v.source, AL_BUFFER, 0);
    }
    v.sound = -1;
    v.handle = -1;
}

bool Start(Voice& v, const VoiceSound& s, int priority, bool loop) {
    Release(v);
    if (v.source == 0) return false;
    if (s.buffer) {
        alSourcei(v.source, AL_LOOPING, loop ? AL_TRUE : AL_FALSE);
        alSourcei(v.source, AL_BUFFER, static_cast<ALint>(s.buffer));
        alSourcePlay(v.source);
    } else if (s.file) {
        alSourcei(v.source, AL_LOOPING, AL_FALSE);
        std::string error;
        std::unique_ptr<IPcmSource> pcm = s.file->Open(&error);
        if (!pcm) {
            DebugConsole->Output("Audio: sound %d cannot be streamed: %s\n", s.sound, error.c_str());
            return false;
        }
        auto stream = std::make_shared<CAudioStream>(v.source, std::move(pcm), loop);
        if (!stream->Start()) return false;
        AudioStreams_Add(stream);
        v.stream = std::move(stream);
    } else {
        return false;
    }
    v.sound = s.sound;
    v.priority = priority;
    v.order = ++g_order;
    v.handle = kVoiceHandleBase + g_nextHandle;
    g_nextHandle = (g_nextHandle + 1) % (INT_MAX - kVoiceHandleBase);
    return true;
}

// Sounds are not placed in space: every source sits on the listener.
void MakeVoices() {
    ForEachVoice([](Voice& v) {
        v = Voice{};
        alGenSources(1, &v.source);
        if (v.source == 0) return;
        alSourcei(v.source, AL_SOURCE_RELATIVE, AL_TRUE);
        alSource3f(v.source, AL_POSITION, 0.0f, 0.0f, 0.0f);
    });
}

bool Attach(ALCdevice* device, const ALCint* attributes) {
    ALCcontext* context = alcCreateContext(device, attributes);
    if (!context || !alcMakeContextCurrent(context)) {
        if (context) alcDestroyContext(context);
        alcCloseDevice(device);
        return false;
    }
    g_device = device;
    g_context = context;
    g_markedLost = false;
    MakeVoices();
    AudioStreams_Start();
    return true;
}

} // namespace

bool AudioEngine_Start() {
    if (g_device) return true;
    ALCdevice* device = alcOpenDevice(nullptr);
    return device && Attach(device, nullptr);
}

bool AudioEngine_StartLoopback(int rate) {
    if (g_device) return false;
    if (!alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback")) return false;
    auto open = reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
    auto render = reinterpret_cast<LPALCRENDERSAMPLESSOFT>(alcGetProcAddress(nullptr, "alcRenderSamplesSOFT"));
    if (!open || !render) return false;
    ALCdevice* device = open(nullptr);
    if (!device) return false;
    const ALCint attributes[] = {ALC_FORMAT_CHANNELS_SOFT, ALC_MONO_SOFT, ALC_FORMAT_TYPE_SOFT, ALC_FLOAT_SOFT,
                                 ALC_FREQUENCY, rate, 0};
    if (!Attach(device, attributes)) return false;
    g_render = render;
    return true;
}

void AudioEngine_Render(float* out, int frames) {
    if (g_render && g_device)
        g_render(g_device, out, frames);
    else
        std::fill(out, out + frames, 0.0f);
}

bool AudioEngine_Running() {
    return g_device != nullptr;
}

void AudioEngine_Stop() {
    if (!g_device) return;
    ForEachVoice(Release);
    AudioStreams_Stop();
    ForEachVoice([](Voice& v) {
        if (v.source) alDeleteSources(1, &v.source);
        v = Voice{};
    });
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(g_context);
    alcCloseDevice(g_device);
    g_context = nullptr;
    g_device = nullptr;
    g_render = nullptr;
    g_markedLost = false;
}

bool AudioEngine_Tick() {
    if (!g_device) return true;
    if (g_markedLost) return false;
    if (alcIsExtensionPresent(g_device, "ALC_EXT_disconnect")) {
        ALCint connected = 1;
        alcGetIntegerv(g_device, ALC_CONNECTED, 1, &connected);
        if (!connected) return false;
    }
    ForEachVoice([](Voice& v) {
        if (v.sound >= 0 && !Busy(v)) Release(v);
    });
    return true;
}

void AudioEngine_MarkDisconnected() {
    g_markedLost = true;
}

ALuint AudioEngine_MakeBuffer(const PcmFormat& format, const uint8_t* samples, size_t size, std::string* error) {
    if (!g_device) return 0;
    ALuint buffer = 0;
    alGetError();
    alGenBuffers(1, &buffer);
    if (buffer == 0) {
        *error = "no OpenAL buffer could be made";
        return 0;
    }
    alBufferData(buffer, Pcm_ALFormat(format), samples, static_cast<ALsizei>(size), format.rate);
    if (alGetError() != AL_NO_ERROR) {
        alDeleteBuffers(1, &buffer);
        *error = "OpenAL refused the samples";
        return 0;
    }
    return buffer;
}

void AudioEngine_FreeBuffer(ALuint buffer) {
    if (g_device && buffer) alDeleteBuffers(1, &buffer);
}

int AudioEngine_Play(const VoiceSound& sound, int priority, bool loop) {
    if (!g_device) return -1;
    Voice* chosen = nullptr;
    for (Voice& v : g_voices) {
        if (v.source == 0) continue;
        if (!Busy(v)) {
            chosen = &v;
            break;
        }
        if (!chosen || v.priority < chosen->priority || (v.priority == chosen->priority && v.order < chosen->order))
            chosen = &v;
    }
    if (!chosen || (Busy(*chosen) && chosen->priority > priority)) return -1;
    return Start(*chosen, sound, priority, loop) ? chosen->handle : -1;
}

bool AudioEngine_PlayMusic(const VoiceSound& sound, bool loop) {
    return g_device && Start(g_music, sound, 0, loop);
}

void AudioEngine_StopSound(int sound) {
    if (!g_device || sound < 0) return;
    ForEachVoice([&](Voice& v) {
        if (v.sound == sound) Release(v);
    });
}

void AudioEngine_StopVoice(int handle) {
    if (!g_device || handle < kVoiceHandleBase) return;
    ForEachVoice([&](Voice& v) {
        if (v.handle == handle) Release(v);
    });
}

void AudioEngine_StopMusic() {
    if (g_device) Release(g_music);
}

bool AudioEngine_SoundPlaying(int sound) {
    bool playing = false;
    if (g_device && sound >= 0)
        ForEachVoice([&](Voice& v) { playing = playing || (v.sound == sound && Busy(v)); });
    return playing;
}

bool AudioEngine_VoicePlaying(int handle) {
    bool playing = false;
    if (g_device && handle >= kVoiceHandleBase)
        ForEachVoice([&](Voice& v) { playing = playing || (v.handle == handle && Busy(v)); });
    return playing;
}
