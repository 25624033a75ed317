// Feeds arbitrary bytes to the WAV reader, then to the sound-file reader (which also hands AU files to
// freealut), and decodes what it accepted whole and as a stream.
#include "fuzz_quiet.h"
#include "fuzz_sound.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WavInfo info;
    std::string error;
    if (Wav_Parse({data, size}, &info, &error)) {
        if (info.samples.data() < data || info.samples.data() + info.samples.size() > data + size ||
            info.samples.size() % static_cast<size_t>(info.format.FrameBytes()) != 0)
            __builtin_trap();
    }
    SoundFile file;
    if (SoundFile_FromBytes(std::vector<uint8_t>(data, data + size), &file, &error)) FuzzDecode(file);
    return 0;
}
