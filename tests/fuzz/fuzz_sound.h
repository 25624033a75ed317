// What the sound fuzz targets do with a file that was accepted: decode it whole (under a small limit, as
// a sound decoded into memory is), then read it as a stream does, in buffer-sized pieces, rewinding at
// the end as a looping stream does.
#pragma once

#include "audio/sound_file.h"

#include <vector>

inline void FuzzDecode(const SoundFile& file) {
    std::string error;
    std::unique_ptr<IPcmSource> source = file.Open(&error);
    if (!source) return;
    std::vector<uint8_t> pcm;
    Pcm_DecodeAll(*source, &pcm, size_t{1} << 20, &error);
    std::vector<uint8_t> piece(8192 * static_cast<size_t>(source->Format().FrameBytes()));
    if (!source->Rewind()) return;
    for (int i = 0; i < 16 && source->Read(piece.data(), piece.size()) != 0; ++i) {
    }
    if (source->Rewind()) source->Read(piece.data(), piece.size());
}
