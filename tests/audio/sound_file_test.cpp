#include "audio/sound_file.h"

#include "audio/sound_samples.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A 16-bit mono file at 22050 Hz, written byte by byte: a "LIST" chunk of odd length (with its pad
// byte) before the data chunk, three frames of samples.
const Bytes kMono16 = {
    'R', 'I', 'F', 'F', 0x36, 0, 0, 0, 'W', 'A', 'V', 'E',
    'f', 'm', 't', ' ', 16, 0, 0, 0,
    1, 0,             // PCM
    1, 0,             // channels
    0x22, 0x56, 0, 0, // 22050
    0x44, 0xAC, 0, 0, // bytes per second
    2, 0, 16, 0,      // block align, bits
    'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0,
    'd', 'a', 't', 'a', 6, 0, 0, 0, 0x01, 0x00, 0xFF, 0x7F, 0x00, 0x80,
};

// The format chunk of kMono16 with other fields, as a whole file around the given data chunk.
Bytes WavWith(uint16_t encoding, uint16_t channels, uint32_t rate, uint16_t bits, const Bytes& data) {
    Bytes file(kMono16.begin(), kMono16.begin() + 36);
    file[20] = uint8_t(encoding);
    file[21] = uint8_t(encoding >> 8);
    file[22] = uint8_t(channels);
    for (int i = 0; i < 4; ++i)
        file[24 + i] = uint8_t(rate >> (8 * i));
    file[34] = uint8_t(bits);
    return Concat({file, data});
}

TEST(WavParse, ReadsFormatAndWholeFramesOfHandWrittenFiles) {
    WavInfo info;
    std::string error;
    ASSERT_TRUE(Wav_Parse(kMono16, &info, &error)) << error;
    EXPECT_EQ(info.format.channels, 1);
    EXPECT_EQ(info.format.bits, 16);
    EXPECT_EQ(info.format.rate, 22050);
    EXPECT_EQ(Bytes(info.samples.begin(), info.samples.end()), (Bytes{0x01, 0x00, 0xFF, 0x7F, 0x00, 0x80}));
    EXPECT_FALSE(info.truncated);

    // 8-bit stereo: 5 bytes of data hold two whole frames.
    const Bytes stereo8 = WavWith(1, 2, 8000, 8, {'d', 'a', 't', 'a', 5, 0, 0, 0, 10, 20, 30, 40, 50, 0});
    ASSERT_TRUE(Wav_Parse(stereo8, &info, &error)) << error;
    EXPECT_EQ(info.format.FrameBytes(), 2);
    EXPECT_EQ(Bytes(info.samples.begin(), info.samples.end()), (Bytes{10, 20, 30, 40}));

    // A data chunk that claims more than the file holds plays the frames that are there.
    const Bytes cut = WavWith(1, 1, 44100, 16, {'d', 'a', 't', 'a', 0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3, 4, 5});
    ASSERT_TRUE(Wav_Parse(cut, &info, &error)) << error;
    EXPECT_TRUE(info.truncated);
    EXPECT_EQ(info.samples.size(), 4u);
}

TEST(WavParse, RefusesWhatItCannotPlayWithAReason) {
    const Bytes data = {'d', 'a', 't', 'a', 2, 0, 0, 0, 1, 2};
    const struct {
        Bytes file;
        const char* reason;
    } cases[] = {
        {{}, "not a RIFF WAVE file"},
        {Bytes(kMono16.begin(), kMono16.begin() + 11), "not a RIFF WAVE file"},
        {WavWith(3, 1, 44100, 32, data), "encoding 3 is not PCM"},
        {WavWith(0xFFFE, 1, 44100, 16, data), "encoding 65534 is not PCM"},
        {WavWith(1, 3, 44100, 16, data), "3 channels"},
        {WavWith(1, 0, 44100, 16, data), "0 channels"},
        {WavWith(1, 1, 44100, 24, data), "24-bit"},
        {WavWith(1, 1, 0, 16, data), "sample rate 0"},
        {WavWith(1, 1, 5000000, 16, data), "sample rate 5000000"},
        {WavWith(1, 1, 44100, 16, {}), "no data chunk"},
        {WavWith(1, 1, 44100, 16, {'d', 'a', 't', 'a', 1, 0, 0, 0, 7}), "holds no samples"},
        {Concat({Bytes(kMono16.begin(), kMono16.begin() + 12), data}), "data chunk comes before"},
        {Concat({Bytes(kMono16.begin(), kMono16.begin() + 12), {'f', 'm', 't', ' ', 8, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0}}),
         "too short"},
        {Concat({Bytes(kMono16.begin(), kMono16.begin() + 12), {'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0}}), "cut short"},
        {Concat({Bytes(kMono16.begin(), kMono16.begin() + 12), {'j', 'u', 'n', 'k', 0xF0, 0xFF, 0xFF, 0xFF, 0}}),
         "no format chunk"},
    };
    for (const auto& c : cases) {
        WavInfo info;
        std::string error;
        EXPECT_FALSE(Wav_Parse(c.file, &info, &error)) << c.reason;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
}

TEST(SoundFile, RecognisesWavAndOggVorbisAndDecodesThem) {
    SoundFile file;
    std::string error;
    ASSERT_TRUE(SoundFile_FromBytes(kMono16, &file, &error)) << error;
    EXPECT_EQ(file.encoding, SoundEncoding::Wav);

    const std::vector<int16_t> tone = Tone(10000, 2, 32000, 440);
    ASSERT_TRUE(SoundFile_FromBytes(EncodeOggVorbis(tone, 2, 32000), &file, &error)) << error;
    EXPECT_EQ(file.encoding, SoundEncoding::OggVorbis);
    EXPECT_EQ(file.format.channels, 2);
    EXPECT_EQ(file.format.bits, 16);
    EXPECT_EQ(file.format.rate, 32000);
    std::unique_ptr<IPcmSource> source = file.Open(&error);
    ASSERT_TRUE(source);
    Bytes pcm;
    ASSERT_TRUE(Pcm_DecodeAll(*source, &pcm, kMaxDecodedBytes, &error)) << error;
    EXPECT_EQ(pcm.size(), tone.size() * 2);
    // Lossy, but close: the first channel's peak is near the tone's.
    int peak = 0;
    for (size_t i = 0; i + 1 < pcm.size(); i += 4)
        peak = std::max(peak, std::abs(int(int16_t(pcm[i] | pcm[i + 1] << 8))));
    EXPECT_NEAR(peak, 12000, 1500);

    // Rewinding starts over with the same samples; a limit stops a decode that would go past it.
    Bytes again(64);
    ASSERT_TRUE(source->Rewind());
    EXPECT_EQ(source->Read(again.data(), again.size()), 64u);
    EXPECT_EQ(again, Bytes(pcm.begin(), pcm.begin() + 64));
    ASSERT_TRUE(source->Rewind());
    EXPECT_FALSE(Pcm_DecodeAll(*source, &pcm, 1000, &error));
    EXPECT_NE(error.find("decodes to more than"), std::string::npos) << error;
}

TEST(SoundFile, RefusesOrCutsShortDamagedFiles) {
    SoundFile file;
    std::string error;
    EXPECT_FALSE(SoundFile_FromBytes({}, &file, &error));
    EXPECT_EQ(error, "the file is empty");
    EXPECT_FALSE(SoundFile_FromBytes({'I', 'D', '3', 4, 0}, &file, &error));
    EXPECT_EQ(error, "not a WAV, Ogg Vorbis or AU file");
    EXPECT_FALSE(SoundFile_FromBytes({'O', 'g', 'g', 'S', 0, 2, 0, 0}, &file, &error));
    EXPECT_NE(error.find("not a readable Ogg Vorbis stream"), std::string::npos) << error;
    EXPECT_FALSE(SoundFile_FromBytes(EncodeOggVorbis(Tone(2000, 3, 44100, 300), 3, 44100), &file, &error));
    EXPECT_NE(error.find("3 channels"), std::string::npos) << error;

    // A stream cut inside its last page plays the pages before it.
    const Bytes whole = EncodeOggVorbis(Tone(4 * 44100, 1, 44100, 300), 1, 44100);
    const std::string text(whole.begin(), whole.end());
    const size_t lastPage = text.rfind("OggS");
    ASSERT_TRUE(SoundFile_FromBytes(Bytes(whole.begin(), whole.begin() + lastPage + 40), &file, &error)) << error;
    Bytes pcm;
    ASSERT_TRUE(Pcm_DecodeAll(*file.Open(&error), &pcm, kMaxDecodedBytes, &error)) << error;
    EXPECT_GT(pcm.size(), 10000u);
    EXPECT_LT(pcm.size(), 4 * 88200u);
    EXPECT_FALSE(SoundFile_Read("/nonexistent/a.wav", &file, &error));
    EXPECT_EQ(error, "No such file or directory");
}

// A 16-bit stereo AU file at 22050 Hz, written byte by byte: two frames of big-endian samples.
const Bytes kAuStereo16 = {
    '.', 's', 'n', 'd',
    0, 0, 0, 24,         // data offset
    0, 0, 0, 8,          // data length
    0, 0, 0, 3,          // 16-bit linear
    0, 0, 0x56, 0x22,    // 22050
    0, 0, 0, 2,          // channels
    0x01, 0x00, 0x7F, 0xFF, 0x80, 0x00, 0xFF, 0xFF,
};

Bytes Decoded(const SoundFile& file) {
    std::string error;
    Bytes pcm;
    std::unique_ptr<IPcmSource> source = file.Open(&error);
    EXPECT_TRUE(source && Pcm_DecodeAll(*source, &pcm, kMaxDecodedBytes, &error)) << error;
    return pcm;
}

TEST(SoundFile, AuAndRawFilesAreDecodedByFreealut) {
    SoundFile file;
    std::string error;
    ASSERT_TRUE(SoundFile_FromBytes(kAuStereo16, &file, &error)) << error;
    EXPECT_EQ(file.encoding, SoundEncoding::Pcm);
    EXPECT_EQ(file.format.channels, 2);
    EXPECT_EQ(file.format.bits, 16);
    EXPECT_EQ(file.format.rate, 22050);
    EXPECT_FALSE(file.truncated);
    EXPECT_EQ(Decoded(file), (Bytes{0x00, 0x01, 0xFF, 0x7F, 0x00, 0x80, 0xFF, 0xFF}));

    // mu-law becomes 16-bit; signed 8-bit becomes the unsigned 8-bit samples the engine plays.
    ASSERT_TRUE(SoundFile_FromBytes(AuFile(1, 1, 8000, {0xFF, 0x00, 0x80}), &file, &error)) << error;
    EXPECT_EQ(file.format.bits, 16);
    EXPECT_EQ(Decoded(file), (Bytes{0x00, 0x00, 0x84, 0x82, 0x7C, 0x7D}));
    ASSERT_TRUE(SoundFile_FromBytes(AuFile(1, 2, 8000, {0x00, 0x7F, 0x80, 0xFF}), &file, &error)) << error;
    EXPECT_EQ(file.format.bits, 8);
    EXPECT_EQ(Decoded(file), (Bytes{128, 255, 0, 127}));

    // An unknown length reads to the end; a length past the end is cut to whole frames present.
    Bytes unknown = kAuStereo16;
    std::fill(unknown.begin() + 8, unknown.begin() + 12, 0xFF);
    ASSERT_TRUE(SoundFile_FromBytes(unknown, &file, &error)) << error;
    EXPECT_FALSE(file.truncated);
    EXPECT_EQ(Decoded(file).size(), 8u);
    Bytes cut = kAuStereo16;
    cut[11] = 100;
    cut.pop_back();
    ASSERT_TRUE(SoundFile_FromBytes(cut, &file, &error)) << error;
    EXPECT_TRUE(file.truncated);
    EXPECT_EQ(Decoded(file), (Bytes{0x00, 0x01, 0xFF, 0x7F}));

    // Refusals: freealut's own texts, and ours for a header that does not fit the file.
    EXPECT_FALSE(SoundFile_FromBytes(AuFile(3, 3, 8000, Bytes(12)), &file, &error));
    EXPECT_EQ(error, "Unsupported mode within an otherwise usable file type");
    EXPECT_FALSE(SoundFile_FromBytes(AuFile(1, 3, 0, Bytes(4)), &file, &error));
    EXPECT_EQ(error, "The sound data was corrupt or truncated");
    EXPECT_FALSE(SoundFile_FromBytes(AuFile(1, 3, 8000, {}), &file, &error));
    EXPECT_EQ(error, "The sound data was corrupt or truncated");
    Bytes farOffset = kAuStereo16;
    farOffset[7] = 33;
    EXPECT_FALSE(SoundFile_FromBytes(farOffset, &file, &error));
    EXPECT_EQ(error, "the AU file's data offset is out of range");

    // A file of no known kind named ".raw": 8-bit mono at 8 kHz.
    TempFolder folder;
    TempFolder::Write(folder / "a.RAW", std::string("\x80\xC0\x40", 3));
    ASSERT_TRUE(SoundFile_Read(folder / "a.RAW", &file, &error)) << error;
    EXPECT_EQ(file.format.channels, 1);
    EXPECT_EQ(file.format.bits, 8);
    EXPECT_EQ(file.format.rate, 8000);
    EXPECT_EQ(Decoded(file), (Bytes{0x80, 0xC0, 0x40}));
    TempFolder::Write(folder / "b.wav", std::string("\x80\xC0\x40", 3));
    EXPECT_FALSE(SoundFile_Read(folder / "b.wav", &file, &error));
}

TEST(SoundFile, ChainedStreamEndsWhereItsFormatChanges) {
    const Bytes first = EncodeOggVorbis(Tone(4000, 1, 22050, 500), 1, 22050, 1);
    const Bytes sameFormat = EncodeOggVorbis(Tone(3000, 1, 22050, 700), 1, 22050, 2);
    const Bytes otherRate = EncodeOggVorbis(Tone(3000, 1, 44100, 700), 1, 44100, 3);
    SoundFile file;
    std::string error;
    Bytes pcm;
    ASSERT_TRUE(SoundFile_FromBytes(Concat({first, sameFormat}), &file, &error)) << error;
    ASSERT_TRUE(Pcm_DecodeAll(*file.Open(&error), &pcm, kMaxDecodedBytes, &error));
    EXPECT_EQ(pcm.size(), 7000u * 2);
    ASSERT_TRUE(SoundFile_FromBytes(Concat({first, otherRate}), &file, &error)) << error;
    ASSERT_TRUE(Pcm_DecodeAll(*file.Open(&error), &pcm, kMaxDecodedBytes, &error));
    EXPECT_EQ(pcm.size(), 4000u * 2);
}

} // namespace
