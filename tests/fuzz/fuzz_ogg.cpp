// Feeds arbitrary bytes to the Ogg Vorbis reader (through the same recognition as a sound file), then
// decodes what it accepted whole and as a stream.
#include "fuzz_quiet.h"
#include "fuzz_sound.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Every input is taken as an Ogg stream: the first four bytes become its capture pattern.
    std::vector<uint8_t> bytes = {'O', 'g', 'g', 'S'};
    if (size > 4) bytes.insert(bytes.end(), data + 4, data + size);
    SoundFile file;
    std::string error;
    if (SoundFile_FromBytes(std::move(bytes), &file, &error)) FuzzDecode(file);
    return 0;
}
