#include "audio/alut_file.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <AL/alut.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kAuHeaderBytes = 24;
constexpr uint32_t kAuUnknownLength = 0xFFFFFFFFu;

uint32_t BigEndian32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}

void SetBigEndian32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

bool Fail(std::string* error, const char* text) {
    if (error) *error = text;
    return false;
}

// freealut reads only while an OpenAL context is current: the engine's when it runs, otherwise that of
// a loopback device (which plays nothing) for the time of the read.
class CAlutReadScope {
public:
    CAlutReadScope() {
        static const bool initialised = alutInitWithoutContext(nullptr, nullptr);
        (void)initialised;
        if (!alcGetCurrentContext()) MakeContext();
        alGetError(); // freealut refuses to read while an earlier OpenAL error is pending
    }
    ~CAlutReadScope() {
        if (!m_context) return;
        alcMakeContextCurrent(nullptr);
        alcDestroyContext(m_context);
        alcCloseDevice(m_device);
    }
    CAlutReadScope(const CAlutReadScope&) = delete;
    CAlutReadScope& operator=(const CAlutReadScope&) = delete;

private:
    void MakeContext() {
        auto open = reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
        if (!open || !(m_device = open(nullptr))) return;
        const ALCint attributes[] = {ALC_FORMAT_CHANNELS_SOFT, ALC_MONO_SOFT, ALC_FORMAT_TYPE_SOFT, ALC_SHORT_SOFT,
                                     ALC_FREQUENCY, 8000, 0};
        m_context = alcCreateContext(m_device, attributes);
        if (m_context && alcMakeContextCurrent(m_context)) return;
        if (m_context) alcDestroyContext(m_context);
        alcCloseDevice(m_device);
        m_context = nullptr;
        m_device = nullptr;
    }

    ALCdevice* m_device = nullptr;
    ALCcontext* m_context = nullptr;
};

// Takes what freealut decoded (or its error): whole frames of a format the engine plays.
bool Take(void* data, ALenum alFormat, ALsizei size, ALfloat frequency, PcmFormat* format, std::vector<uint8_t>* pcm,
          std::string* error) {
    if (!data) return Fail(error, alutGetErrorString(alutGetError()));
    struct Layout {
        ALenum al;
        int channels, bits;
    };
    static constexpr Layout kLayouts[] = {{AL_FORMAT_MONO8, 1, 8},
                                          {AL_FORMAT_MONO16, 1, 16},
                                          {AL_FORMAT_STEREO8, 2, 8},
                                          {AL_FORMAT_STEREO16, 2, 16}};
    const Layout* layout = std::find_if(std::begin(kLayouts), std::end(kLayouts),
                                        [&](const Layout& l) { return l.al == alFormat; });
    bool ok = false;
    if (layout == std::end(kLayouts)) {
        Fail(error, "the sound's sample format is not supported");
    } else if (!(frequency >= kMinSampleRate && frequency <= kMaxSampleRate)) {
        Fail(error, "the sample rate is out of range");
    } else if (static_cast<size_t>(size) > kMaxDecodedBytes) {
        Fail(error, "the sound decodes to too many samples");
    } else {
        *format = {layout->channels, layout->bits, static_cast<int>(frequency)};
        const size_t frame = static_cast<size_t>(format->FrameBytes());
        const size_t bytes = size > 0 ? static_cast<size_t>(size) / frame * frame : 0;
        const auto* samples = static_cast<const uint8_t*>(data);
        pcm->assign(samples, samples + bytes);
        ok = bytes > 0 || Fail(error, "the sound holds no samples");
    }
    std::free(data);
    return ok;
}

} // namespace

bool Alut_DecodeAu(const std::vector<uint8_t>& file, PcmFormat* format, std::vector<uint8_t>* pcm, bool* truncated,
                   std::string* error) {
    // freealut trusts the header's offset and length; they are made to fit the file before it reads it.
    if (file.size() < kAuHeaderBytes || file.size() > INT_MAX) return Fail(error, "not an AU file of a readable size");
    const uint32_t offset = BigEndian32(file.data() + 4);
    const uint32_t length = BigEndian32(file.data() + 8);
    if (offset < kAuHeaderBytes || offset > file.size()) return Fail(error, "the AU file's data offset is out of range");
    const size_t present = file.size() - offset;
    *truncated = length != kAuUnknownLength && length > present;
    std::vector<uint8_t> fitted(file);
    if (length == kAuUnknownLength || length > present) SetBigEndian32(fitted.data() + 8, static_cast<uint32_t>(present));

    CAlutReadScope scope;
    ALenum alFormat = 0;
    ALsizei size = 0;
    ALfloat frequency = 0;
    void* data = alutLoadMemoryFromFileImage(fitted.data(), static_cast<ALsizei>(fitted.size()), &alFormat, &size,
                                             &frequency);
    return Take(data, alFormat, size, frequency, format, pcm, error);
}

bool Alut_DecodeRawFile(const std::string& path, PcmFormat* format, std::vector<uint8_t>* pcm, std::string* error) {
    CAlutReadScope scope;
    ALenum alFormat = 0;
    ALsizei size = 0;
    ALfloat frequency = 0;
    void* data = alutLoadMemoryFromFile(path.c_str(), &alFormat, &size, &frequency);
    return Take(data, alFormat, size, frequency, format, pcm, error);
}
