// The audio engine rendering into memory for one test, with a sound table of a few sounds without audio
// and a game folder to put sound files in.
#pragma once

#include "audio/audio.h"
#include "audio/audio_engine.h"
#include "audio/audio_stream.h"
#include "audio/sound_samples.h"
#include "support/game_folders.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class AudioTest : public ::testing::Test {
protected:
    static constexpr int kRate = 44100;

    void SetUp() override {
        ASSERT_TRUE(AudioEngine_StartLoopback(kRate));
        Sound_Init(CDataView(), IFFChunk(), std::vector<uint32_t>(4));
    }
    void TearDown() override {
        SND_Quit();
        Sound_Free();
        Audio_State().Audio_NoAudio = false;
        Audio_State().Audio_UseNewEngine = false;
    }

    // Writes the file into the game folder and gives the sound its audio.
    void Give(int sound, const std::string& name, const std::vector<uint8_t>& bytes, int kind = 0) {
        TempFolder::Write(m_folders.Game(name), std::string(bytes.begin(), bytes.end()));
        ASSERT_TRUE(Sound_Replace(sound, name.c_str(), kind, true)) << name;
    }

    // Renders frames, refilling the streams after every piece of at most one stream buffer.
    static std::vector<float> Render(int frames, int piece = 1000) {
        std::vector<float> out(static_cast<size_t>(frames));
        for (int at = 0; at < frames; at += piece) {
            AudioEngine_Render(out.data() + at, std::min(piece, frames - at));
            AudioStreams_Sync();
        }
        return out;
    }

    // The samples as the mixer puts them out.
    static std::vector<float> AsFloat(const std::vector<int16_t>& samples) {
        std::vector<float> out;
        for (int16_t s : samples)
            out.push_back(s / 32768.0f);
        return out;
    }
    static std::vector<float> AsFloat(const std::vector<uint8_t>& pcm16) {
        std::vector<float> out;
        for (size_t i = 0; i + 1 < pcm16.size(); i += 2)
            out.push_back(static_cast<int16_t>(pcm16[i] | pcm16[i + 1] << 8) / 32768.0f);
        return out;
    }
    static std::vector<float> Slice(const std::vector<float>& v, size_t from, size_t count) {
        return std::vector<float>(v.begin() + static_cast<long>(from), v.begin() + static_cast<long>(from + count));
    }

    GameFolders m_folders;
};
