// Sound files as the audio engine reads them: WAV (PCM, 8 or 16 bits, mono or stereo) parsed by our own
// bounds-checked reader, Ogg Vorbis decoded by libvorbisfile, and AU and raw files decoded by freealut
// when they are read (audio/alut_file.h). All are held whole in memory and read as a source of PCM
// frames, either all at once (sounds decoded in memory) or a piece at a time (streamed sounds).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

// The sample layout of decoded sound: interleaved frames of 1 or 2 channels, 8-bit unsigned or 16-bit
// signed little-endian samples.
struct PcmFormat {
    int channels = 0;
    int bits = 0;
    int rate = 0;
    int FrameBytes() const { return channels * bits / 8; }
};

// Sample rates outside this range are refused.
constexpr uint32_t kMinSampleRate = 1;
constexpr uint32_t kMaxSampleRate = 768000;
// The largest sound file that is read, and the most PCM that one sound decodes into memory.
constexpr size_t kMaxSoundFileBytes = size_t{512} << 20;
constexpr size_t kMaxDecodedBytes = size_t{512} << 20;

// What a WAV file holds: its format and its samples (whole frames only), inside the file's bytes. A data
// chunk that runs past the end of the file is cut to the frames present (truncated is then set).
struct WavInfo {
    PcmFormat format;
    std::span<const uint8_t> samples;
    bool truncated = false;
};
// False, with the reason in error, for anything but a RIFF WAVE file of PCM samples with a format this
// reader takes and at least one whole frame.
bool Wav_Parse(std::span<const uint8_t> file, WavInfo* info, std::string* error);

// PCM frames read from a sound file in order.
class IPcmSource {
public:
    virtual ~IPcmSource() = default;
    virtual const PcmFormat& Format() const = 0;
    // Up to size bytes (whole frames) into out; 0 at the end of the sound or when it cannot be decoded
    // further.
    virtual size_t Read(uint8_t* out, size_t size) = 0;
    // Back to the first frame; false when that is not possible.
    virtual bool Rewind() = 0;
};

// Pcm: samples decoded when the file was read (AU and raw files), held as they play.
enum class SoundEncoding { Wav, OggVorbis, Pcm };

// A sound file read into memory and checked (its header, and for Ogg Vorbis the stream headers), shared
// by the sound that holds it and every stream playing it.
struct SoundFile {
    std::shared_ptr<const std::vector<uint8_t>> bytes;
    SoundEncoding encoding = SoundEncoding::Wav;
    PcmFormat format;
    bool truncated = false; // a WAV or AU file whose samples are cut short by the end of the file

    // A new reader from the first frame; null (with the reason) when the file cannot be opened.
    std::unique_ptr<IPcmSource> Open(std::string* error) const;
};

// Recognises and checks a file from its bytes (an AU file is decoded). False, with the reason, for a file
// that is not WAV, Ogg Vorbis or AU or that is damaged.
bool SoundFile_FromBytes(std::vector<uint8_t> bytes, SoundFile* out, std::string* error);
// Reads a whole file at path (at most kMaxSoundFileBytes) and checks it as SoundFile_FromBytes does; a
// file of none of those kinds whose name ends in ".raw" is decoded as a raw file.
bool SoundFile_Read(const std::string& path, SoundFile* out, std::string* error);

// Every frame of the source into pcm, stopping with an error once more than limit bytes have come.
bool Pcm_DecodeAll(IPcmSource& source, std::vector<uint8_t>* pcm, size_t limit, std::string* error);
