// The sound engines as the run loop, the data-file reader and the sound actions reach them: the legacy
// sound layer (SND_*, Sound_*), the OpenAL engine (Audio_*), and CD audio.
//
// Neither engine is built yet: no audio device is opened, the sound tables stay empty, every sound
// index is unknown, nothing plays and no CD is present.
#pragma once

#include <cstdint>
#include <span>

struct HardwareSound;

// A sound of the legacy layer's table.
class CSound {
public:
    // The hardware sound, made on first use; null when none can be made.
    HardwareSound* GetHardwareSound();
};

// Which engine is active, set from the options record when the data file is loaded.
extern bool Audio_UseNewEngine;

void InitSoundFunctions();

// Start and shutdown.
bool SND_Init();
bool Sound_Prepare();
void Audio_Prepare();
void SND_Quit();
void Sound_Free();
// Once per frame, also while paused.
void SND_Tick();

// Data-file loaders: "SOND" (legacy layer / OpenAL engine) and "AUDO" (legacy layer / OpenAL engine).
// body is the chunk body inside file, whose offsets they resolve.
void Sound_Clear();
bool Sound_Init(std::span<const uint8_t> body, std::span<const uint8_t> file);
bool Audio_Load(std::span<const uint8_t> body, std::span<const uint8_t> file);
bool Wave_Init(std::span<const uint8_t> body, std::span<const uint8_t> file);
bool Audio_WAVs(std::span<const uint8_t> body, std::span<const uint8_t> file);

// The legacy layer's sound table.
bool Sound_Exists(int index);
// The sound of an index; null when there is none.
CSound* Sound_Get(int index);
// Replaces a sound from a file; false for a bad index.
bool Sound_Replace(int index, const char* fileName, int kind, bool preload);
bool SND_Play(HardwareSound* sound, bool loop);
void SND_Stop(HardwareSound* sound);
bool SND_IsPlaying(HardwareSound* sound);

// The OpenAL engine. A sound type is -1 for an unknown asset, 1 streamed, 0 decoded in memory.
int Audio_GetSoundType(int index);
// The voice the asset plays on; -1 when nothing plays.
int Audio_PlaySound(int index, int priority, bool loop);
void Audio_PlayMusic(int index, bool loop);
void Audio_StopSound(int indexOrVoice);
void Audio_StopMusic();
bool Audio_IsPlaying(int indexOrVoice);

// CD audio.
void CD_Play(int first, int last);
void CD_Stop();
void CD_Pause();
void CD_Resume();
bool CD_Present();
bool CD_Playing();
