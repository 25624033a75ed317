// The sound engines as the run loop, the data-file reader and the sound actions reach them: the legacy
// sound layer (SND_*, Sound_*), the OpenAL engine (Audio_*), and CD audio. Both layers share one sound
// table and play through one OpenAL engine (audio_engine.h).
//
// A sound gets its audio from a WAV or Ogg Vorbis file (Sound_Replace); the data file's sound records
// are counted but not read, so sounds loaded with a game hold no audio until replaced. Without an audio
// device, or with "-noaudio", nothing plays and every query answers "not playing".
#pragma once

#include "data/container.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct HardwareSound;
struct SoundFile;

// A sound's kind: music streams from its file as it plays; every other kind is decoded whole into
// memory first.
constexpr int kSoundKindMusic = 1;

// A sound of the sound table.
class CSound {
public:
    explicit CSound(int index);
    ~CSound();
    CSound(const CSound&) = delete;
    CSound& operator=(const CSound&) = delete;

    // The hardware sound, made on first use; null without audio, without a file, or when the file
    // cannot be decoded (said once on the debug console).
    HardwareSound* GetHardwareSound();
    int Kind() const { return m_kind; }
    bool Preload() const { return m_preload; }
    // True once a file has given the sound its audio.
    bool HasAudio() const { return m_file != nullptr; }

private:
    friend bool Sound_Replace(int, const char*, int, bool);
    friend void Sound_ReleaseHardware(CSound& sound);

    int m_index;
    int m_kind = 0;
    bool m_preload = true;
    bool m_unplayable = false; // decoding failed; not tried again until the sound is replaced
    std::shared_ptr<const SoundFile> m_file;
    std::unique_ptr<HardwareSound> m_hardware;
};

// Which sound engine runs, if any, reached through Audio_State().
struct AudioState {
    // Which engine is active, set from the options record when the data file is loaded.
    bool Audio_UseNewEngine = false;
    // Set by "-noaudio": SND_Init opens no device.
    bool Audio_NoAudio = false;
};

inline AudioState& Audio_State() {
    static AudioState state;
    return state;
}

void InitSoundFunctions();

// Start and shutdown. SND_Init opens the audio device (false, said once on the debug console, when there
// is none or "-noaudio" was given); SND_Quit closes it with every voice and stream worker.
bool SND_Init();
bool Sound_Prepare();
void Audio_Prepare();
void SND_Quit();
void Sound_Free();
// Once per frame, also while paused: frees finished voices and notices a device that went away.
void SND_Tick();

// Data-file loaders: "SOND" (legacy layer / OpenAL engine) and "AUDO" (legacy layer / OpenAL engine).
// The walk has checked the record list; each loader keeps its count and reads no record.
void Sound_Clear();
bool Sound_Init(const CDataView& file, const IFFChunk& chunk, const std::vector<uint32_t>& list);
bool Audio_Load(const CDataView& file, const IFFChunk& chunk, const std::vector<uint32_t>& list);
bool Wave_Init(const CDataView& file, const IFFChunk& chunk, const std::vector<uint32_t>& list);
bool Audio_WAVs(const CDataView& file, const IFFChunk& chunk, const std::vector<uint32_t>& list);
// The counts the loaders kept: sounds (the table's size) and audio records.
int Sound_Count();
int Audio_WaveCount();

// The sound table.
bool Sound_Exists(int index);
// The sound of an index; null when there is none.
CSound* Sound_Get(int index);
// Gives the sound its audio from a WAV or Ogg Vorbis file (read from the save area, else the game
// folder) and stops it where it plays. False for a bad index, and for a file that cannot be read or
// decoded (the sound then keeps what it had; the reason goes to the debug console).
bool Sound_Replace(int index, const char* fileName, int kind, bool preload);
bool SND_Play(HardwareSound* sound, bool loop);
void SND_Stop(HardwareSound* sound);
bool SND_IsPlaying(HardwareSound* sound);

// The OpenAL engine. A sound type is -1 for an unknown asset (or one without audio), 1 streamed, 0
// decoded in memory.
int Audio_GetSoundType(int index);
// The voice the asset plays on; -1 when it does not play.
int Audio_PlaySound(int index, int priority, bool loop);
void Audio_PlayMusic(int index, bool loop);
// A sound index stops (or asks about) every voice playing it, the music voice among them; a voice
// handle only that voice.
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
