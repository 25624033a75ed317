// Sound files for the audio tests and the fuzz corpora: WAV files written field by field, and Ogg Vorbis
// streams encoded in memory by libvorbisenc.
#pragma once

#include <cstdint>
#include <vector>

// A WAV file of PCM samples (8-bit: one byte each, 16-bit: little-endian pairs, as given).
std::vector<uint8_t> WavFile(int channels, int bits, int rate, const std::vector<uint8_t>& samples);
// An AU file: the 24-byte big-endian header (data offset 24, the data's length, the encoding: 1 8-bit
// mu-law, 2 8-bit linear, 3 16-bit linear, 27 8-bit A-law) and the data as given.
std::vector<uint8_t> AuFile(int channels, int encoding, int rate, const std::vector<uint8_t>& data);
// 16-bit samples as the big-endian pairs an AU file holds.
std::vector<uint8_t> Pcm16BigEndian(const std::vector<int16_t>& samples);
// 16-bit samples as the bytes a WAV file holds.
std::vector<uint8_t> Pcm16Bytes(const std::vector<int16_t>& samples);
// frames of a sine tone at the frequency, interleaved over the channels (the second channel at half
// the amplitude).
std::vector<int16_t> Tone(int frames, int channels, int rate, double frequency, double amplitude = 12000);
// The samples as one Ogg Vorbis stream (logical stream number serial).
std::vector<uint8_t> EncodeOggVorbis(const std::vector<int16_t>& samples, int channels, int rate, int serial = 1);
