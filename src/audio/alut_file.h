// Sound files that freealut reads, decoded whole into PCM: AU files (".snd" magic: 8-bit mu-law and
// A-law, 8-bit and 16-bit linear samples) and headerless ".raw" files (8-bit unsigned mono at 8 kHz).
// A failure gives freealut's own text for it.
#pragma once

#include "audio/sound_file.h"

#include <cstdint>
#include <string>
#include <vector>

// The samples of an AU file. Its header is checked first: a data offset past the end of the file is
// refused, and a data length that is unknown or runs past the end is cut to the bytes present (truncated
// is set for the latter).
bool Alut_DecodeAu(const std::vector<uint8_t>& file, PcmFormat* format, std::vector<uint8_t>* pcm, bool* truncated,
                   std::string* error);
// The samples of the raw file at path (read by freealut itself).
bool Alut_DecodeRawFile(const std::string& path, PcmFormat* format, std::vector<uint8_t>* pcm, std::string* error);
