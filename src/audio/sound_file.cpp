#include "audio/sound_file.h"

#include "audio/alut_file.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <sys/stat.h>

namespace {

uint16_t U16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t U32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

bool RateInRange(long rate) {
    return rate >= static_cast<long>(kMinSampleRate) && rate <= static_cast<long>(kMaxSampleRate);
}

bool Fail(std::string* error, std::string text) {
    if (error) *error = std::move(text);
    return false;
}

// The format chunk of a WAV file: PCM only, 1 or 2 channels, 8 or 16 bits.
bool ReadWavFormat(const uint8_t* body, uint32_t size, PcmFormat* format, std::string* error) {
    if (size < 16) return Fail(error, "the WAV format chunk is too short");
    const uint16_t encoding = U16(body);
    if (encoding != 1) return Fail(error, "the WAV file's encoding " + std::to_string(encoding) + " is not PCM");
    const uint16_t channels = U16(body + 2);
    const uint32_t rate = U32(body + 4);
    const uint16_t bits = U16(body + 14);
    if (channels != 1 && channels != 2)
        return Fail(error, "WAV files with " + std::to_string(channels) + " channels are not supported");
    if (bits != 8 && bits != 16)
        return Fail(error, "WAV files of " + std::to_string(bits) + "-bit samples are not supported");
    if (!RateInRange(rate)) return Fail(error, "the sample rate " + std::to_string(rate) + " is out of range");
    *format = {channels, bits, static_cast<int>(rate)};
    return true;
}

class CWavSource final : public IPcmSource {
public:
    CWavSource(std::shared_ptr<const std::vector<uint8_t>> bytes, const WavInfo& info)
        : m_bytes(std::move(bytes)), m_format(info.format), m_samples(info.samples) {}
    const PcmFormat& Format() const override { return m_format; }
    size_t Read(uint8_t* out, size_t size) override {
        const size_t frame = static_cast<size_t>(m_format.FrameBytes());
        const size_t n = std::min(size, m_samples.size() - m_position) / frame * frame;
        if (n) std::memcpy(out, m_samples.data() + m_position, n);
        m_position += n;
        return n;
    }
    bool Rewind() override {
        m_position = 0;
        return true;
    }

private:
    std::shared_ptr<const std::vector<uint8_t>> m_bytes; // keeps m_samples alive
    PcmFormat m_format;
    std::span<const uint8_t> m_samples;
    size_t m_position = 0;
};

// An Ogg Vorbis stream decoded from memory into 16-bit samples. It is read from start to end as a
// stream (a file cut short plays up to the cut); a chained stream plays on while its links keep the
// first link's channels and rate, and ends at the first link that changes them.
class COggSource final : public IPcmSource {
public:
    explicit COggSource(std::shared_ptr<const std::vector<uint8_t>> bytes) : m_bytes(std::move(bytes)) {}
    ~COggSource() override { Close(); }
    COggSource(const COggSource&) = delete;
    COggSource& operator=(const COggSource&) = delete;

    bool Open(std::string* error) {
        Close();
        m_position = 0;
        m_ended = false;
        const ov_callbacks callbacks{ReadBytes, nullptr, nullptr, nullptr};
        const int result = ov_open_callbacks(this, &m_file, nullptr, 0, callbacks);
        if (result < 0) return Fail(error, "not a readable Ogg Vorbis stream (error " + std::to_string(result) + ")");
        m_open = true;
        const vorbis_info* info = ov_info(&m_file, -1);
        if (!info) return Fail(error, "the Ogg Vorbis stream has no header");
        if (info->channels != 1 && info->channels != 2)
            return Fail(error, "Ogg Vorbis streams with " + std::to_string(info->channels) +
                                   " channels are not supported");
        if (!RateInRange(info->rate))
            return Fail(error, "the sample rate " + std::to_string(info->rate) + " is out of range");
        m_format = {info->channels, 16, static_cast<int>(info->rate)};
        return true;
    }

    const PcmFormat& Format() const override { return m_format; }

    size_t Read(uint8_t* out, size_t size) override {
        const size_t frame = static_cast<size_t>(m_format.FrameBytes());
        size = size / frame * frame;
        size_t total = 0;
        while (total < size && !m_ended) {
            int link = 0;
            const int want = static_cast<int>(std::min<size_t>(size - total, 1 << 20));
            const long n = ov_read(&m_file, reinterpret_cast<char*>(out + total), want, 0, 2, 1, &link);
            if (n == OV_HOLE) continue; // a gap in the data: decoding goes on after it
            // The samples read belong to the link whose header was read last.
            const vorbis_info* info = n > 0 ? ov_info(&m_file, -1) : nullptr;
            if (!info || info->channels != m_format.channels || info->rate != m_format.rate) {
                m_ended = true;
                break;
            }
            total += static_cast<size_t>(n);
        }
        return total;
    }

    bool Rewind() override { return Open(nullptr); }

private:
    void Close() {
        if (m_open) ov_clear(&m_file);
        m_open = false;
    }

    static size_t ReadBytes(void* into, size_t size, size_t count, void* self) {
        auto* s = static_cast<COggSource*>(self);
        if (size == 0) return 0;
        const size_t left = s->m_bytes->size() - s->m_position;
        const size_t items = std::min(count, left / size);
        std::memcpy(into, s->m_bytes->data() + s->m_position, items * size);
        s->m_position += items * size;
        return items;
    }

    std::shared_ptr<const std::vector<uint8_t>> m_bytes;
    size_t m_position = 0;
    OggVorbis_File m_file{};
    bool m_open = false;
    bool m_ended = false;
    PcmFormat m_format;
};

} // namespace

bool Wav_Parse(std::span<const uint8_t> file, WavInfo* info, std::string* error) {
    if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0 || std::memcmp(file.data() + 8, "WAVE", 4) != 0)
        return Fail(error, "not a RIFF WAVE file");
    bool haveFormat = false;
    size_t position = 12;
    while (file.size() - position >= 8) {
        const uint8_t* header = file.data() + position;
        const uint32_t size = U32(header + 4);
        position += 8;
        const size_t available = file.size() - position;
        if (std::memcmp(header, "fmt ", 4) == 0) {
            if (size > available) return Fail(error, "the WAV format chunk is cut short");
            if (!ReadWavFormat(file.data() + position, size, &info->format, error)) return false;
            haveFormat = true;
        } else if (std::memcmp(header, "data", 4) == 0) {
            if (!haveFormat) return Fail(error, "the WAV data chunk comes before its format chunk");
            const size_t frame = static_cast<size_t>(info->format.FrameBytes());
            const size_t bytes = std::min<size_t>(size, available) / frame * frame;
            if (bytes == 0) return Fail(error, "the WAV file holds no samples");
            info->samples = file.subspan(position, bytes);
            info->truncated = size > available;
            return true;
        }
        if (size >= available) break;
        position += size + (size & 1);
    }
    return Fail(error, haveFormat ? "the WAV file has no data chunk" : "the WAV file has no format chunk");
}

std::unique_ptr<IPcmSource> SoundFile::Open(std::string* error) const {
    if (!bytes) {
        Fail(error, "no sound file");
        return nullptr;
    }
    if (encoding == SoundEncoding::Pcm) return std::make_unique<CWavSource>(bytes, WavInfo{format, *bytes, false});
    if (encoding == SoundEncoding::Wav) {
        WavInfo info;
        if (!Wav_Parse(*bytes, &info, error)) return nullptr;
        return std::make_unique<CWavSource>(bytes, info);
    }
    auto ogg = std::make_unique<COggSource>(bytes);
    if (!ogg->Open(error)) return nullptr;
    return ogg;
}

namespace {

bool HasMagic(const std::vector<uint8_t>& bytes, const char* magic) {
    return bytes.size() >= 4 && std::memcmp(bytes.data(), magic, 4) == 0;
}

bool TakeDecoded(std::vector<uint8_t> pcm, const PcmFormat& format, bool truncated, SoundFile* out) {
    out->bytes = std::make_shared<const std::vector<uint8_t>>(std::move(pcm));
    out->encoding = SoundEncoding::Pcm;
    out->format = format;
    out->truncated = truncated;
    return true;
}

} // namespace

bool SoundFile_FromBytes(std::vector<uint8_t> bytes, SoundFile* out, std::string* error) {
    SoundFile file;
    if (bytes.empty()) return Fail(error, "the file is empty");
    if (HasMagic(bytes, ".snd")) {
        PcmFormat format;
        std::vector<uint8_t> pcm;
        bool truncated = false;
        return Alut_DecodeAu(bytes, &format, &pcm, &truncated, error) &&
               TakeDecoded(std::move(pcm), format, truncated, out);
    }
    if (HasMagic(bytes, "RIFF"))
        file.encoding = SoundEncoding::Wav;
    else if (HasMagic(bytes, "OggS"))
        file.encoding = SoundEncoding::OggVorbis;
    else
        return Fail(error, "not a WAV, Ogg Vorbis or AU file");
    file.bytes = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
    std::unique_ptr<IPcmSource> source = file.Open(error);
    if (!source) return false;
    file.format = source->Format();
    WavInfo wav;
    file.truncated = file.encoding == SoundEncoding::Wav && Wav_Parse(*file.bytes, &wav, nullptr) && wav.truncated;
    *out = std::move(file);
    return true;
}

bool SoundFile_Read(const std::string& path, SoundFile* out, std::string* error) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return Fail(error, std::strerror(errno));
    struct stat st;
    std::vector<uint8_t> bytes;
    bool ok = fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode);
    if (!ok) {
        std::fclose(f);
        return Fail(error, "not a plain file");
    }
    if (static_cast<uint64_t>(st.st_size) > kMaxSoundFileBytes) {
        std::fclose(f);
        return Fail(error, "the file is larger than " + std::to_string(kMaxSoundFileBytes >> 20) + " MiB");
    }
    bytes.resize(static_cast<size_t>(st.st_size));
    ok = std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
    std::fclose(f);
    if (!ok) return Fail(error, "the file could not be read whole");
    const bool known = HasMagic(bytes, ".snd") || HasMagic(bytes, "RIFF") || HasMagic(bytes, "OggS");
    const size_t dot = path.rfind('.');
    if (!known && dot != std::string::npos && strcasecmp(path.c_str() + dot, ".raw") == 0) {
        PcmFormat format;
        std::vector<uint8_t> pcm;
        return Alut_DecodeRawFile(path, &format, &pcm, error) && TakeDecoded(std::move(pcm), format, false, out);
    }
    return SoundFile_FromBytes(std::move(bytes), out, error);
}

bool Pcm_DecodeAll(IPcmSource& source, std::vector<uint8_t>* pcm, size_t limit, std::string* error) {
    constexpr size_t kPiece = 64 * 1024;
    pcm->clear();
    for (;;) {
        const size_t at = pcm->size();
        if (at > limit) {
            pcm->clear();
            return Fail(error, "the sound decodes to more than " + std::to_string(limit >> 20) + " MiB");
        }
        pcm->resize(at + kPiece);
        const size_t n = source.Read(pcm->data() + at, kPiece);
        pcm->resize(at + n);
        if (n == 0) break;
    }
    if (pcm->empty()) return Fail(error, "the sound holds no samples");
    return true;
}
