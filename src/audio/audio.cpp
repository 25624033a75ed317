#include "audio/audio.h"

#include "audio/audio_engine.h"
#include "audio/sound_file.h"
#include "core/console.h"
#include "core/save_area.h"

#include <cerrno>
#include <cstring>

// What a sound plays from once the engine runs: its OpenAL buffer, or its file when it streams.
struct HardwareSound {
    int sound = -1;
    ALuint buffer = 0;
    const SoundFile* file = nullptr;

    ~HardwareSound() { AudioEngine_FreeBuffer(buffer); }
    VoiceSound Voice() const { return {sound, buffer, buffer ? nullptr : file}; }
};

// Stops the sound wherever it plays and lets its hardware sound go.
void Sound_ReleaseHardware(CSound& sound);

namespace {

std::vector<std::unique_ptr<CSound>> g_sounds;
int g_waveCount = 0;

void ReleaseAll() {
    for (auto& sound : g_sounds)
        Sound_ReleaseHardware(*sound);
}

// Every loader of a record list makes this many sounds, each without audio.
void SetSoundCount(size_t count) {
    Sound_Clear();
    for (size_t i = 0; i < count; ++i)
        g_sounds.push_back(std::make_unique<CSound>(static_cast<int>(i)));
}

} // namespace

CSound::CSound(int index) : m_index(index) {}
CSound::~CSound() = default;

void Sound_ReleaseHardware(CSound& sound) {
    if (!sound.m_hardware) return;
    AudioEngine_StopSound(sound.m_index);
    sound.m_hardware.reset();
}

HardwareSound* CSound::GetHardwareSound() {
    if (m_hardware) return m_hardware.get();
    if (!m_file || m_unplayable || !AudioEngine_Running()) return nullptr;
    auto hardware = std::make_unique<HardwareSound>();
    hardware->sound = m_index;
    hardware->file = m_file.get();
    if (m_kind != kSoundKindMusic) {
        std::string error;
        std::vector<uint8_t> samples;
        std::unique_ptr<IPcmSource> pcm = m_file->Open(&error);
        if (pcm && Pcm_DecodeAll(*pcm, &samples, kMaxDecodedBytes, &error))
            hardware->buffer = AudioEngine_MakeBuffer(m_file->format, samples.data(), samples.size(), &error);
        if (hardware->buffer == 0) {
            DebugConsole->Output("Audio: sound %d cannot be played: %s\n", m_index, error.c_str());
            m_unplayable = true;
            return nullptr;
        }
    }
    m_hardware = std::move(hardware);
    return m_hardware.get();
}

// ---- start and shutdown ----

bool SND_Init() {
    if (AudioEngine_Running()) return true;
    if (Audio_State().Audio_NoAudio) {
        DebugConsole->Output("Audio is off (-noaudio): no sound will play\n");
        return false;
    }
    if (!AudioEngine_Start()) {
        DebugConsole->Output("No audio device could be opened: no sound will play\n");
        return false;
    }
    return true;
}

// Sounds that ask to be preloaded are decoded now, so that their first play does not wait.
bool Sound_Prepare() {
    for (auto& sound : g_sounds) {
        if (sound->Preload()) sound->GetHardwareSound();
    }
    return true;
}

// Both engines share the sound table, which Sound_Prepare has prepared.
void Audio_Prepare() {}

void SND_Quit() {
    ReleaseAll();
    AudioEngine_Stop();
}

void Sound_Free() {
    Sound_Clear();
}

void SND_Tick() {
    if (AudioEngine_Tick()) return;
    DebugConsole->Output("The audio device was lost: no sound will play\n");
    SND_Quit();
}

// ---- the data file's records ----

void Sound_Clear() {
    ReleaseAll();
    g_sounds.clear();
    g_waveCount = 0;
}

bool Sound_Init(const CDataView&, const IFFChunk&, const std::vector<uint32_t>& list) {
    SetSoundCount(list.size());
    return true;
}
bool Audio_Load(const CDataView&, const IFFChunk&, const std::vector<uint32_t>& list) {
    SetSoundCount(list.size());
    return true;
}
bool Wave_Init(const CDataView&, const IFFChunk&, const std::vector<uint32_t>& list) {
    g_waveCount = static_cast<int>(list.size());
    return true;
}
bool Audio_WAVs(const CDataView&, const IFFChunk&, const std::vector<uint32_t>& list) {
    g_waveCount = static_cast<int>(list.size());
    return true;
}

int Sound_Count() {
    return static_cast<int>(g_sounds.size());
}
int Audio_WaveCount() {
    return g_waveCount;
}

// ---- the sound table and the legacy layer ----

bool Sound_Exists(int index) {
    return index >= 0 && index < Sound_Count();
}

CSound* Sound_Get(int index) {
    return Sound_Exists(index) ? g_sounds[static_cast<size_t>(index)].get() : nullptr;
}

bool Sound_Replace(int index, const char* fileName, int kind, bool preload) {
    CSound* sound = Sound_Get(index);
    if (!sound || !fileName) return false;
    const std::string path = LoadSave_ReadPath(fileName);
    auto file = std::make_shared<SoundFile>();
    std::string error;
    if (path.empty() || !SoundFile_Read(path, file.get(), &error)) {
        DebugConsole->Output("Sound_Replace: \"%s\": %s\n", fileName,
                             path.empty() ? std::strerror(ENOENT) : error.c_str());
        return false;
    }
    if (file->truncated) DebugConsole->Output("Sound_Replace: \"%s\" is cut short; what it holds plays\n", fileName);
    Sound_ReleaseHardware(*sound);
    sound->m_file = std::move(file);
    sound->m_kind = kind;
    sound->m_preload = preload;
    sound->m_unplayable = false;
    if (preload) sound->GetHardwareSound();
    return true;
}

bool SND_Play(HardwareSound* sound, bool loop) {
    if (!sound) return false;
    if (!sound->buffer) return AudioEngine_PlayMusic(sound->Voice(), loop);
    return AudioEngine_Play(sound->Voice(), 0, loop) >= 0;
}

void SND_Stop(HardwareSound* sound) {
    if (sound) AudioEngine_StopSound(sound->sound);
}

bool SND_IsPlaying(HardwareSound* sound) {
    return sound && AudioEngine_SoundPlaying(sound->sound);
}

// ---- the OpenAL engine ----

int Audio_GetSoundType(int index) {
    const CSound* sound = Sound_Get(index);
    if (!sound || !sound->HasAudio()) return -1;
    return sound->Kind() == kSoundKindMusic ? 1 : 0;
}

int Audio_PlaySound(int index, int priority, bool loop) {
    CSound* sound = Sound_Get(index);
    HardwareSound* hardware = sound ? sound->GetHardwareSound() : nullptr;
    return hardware ? AudioEngine_Play(hardware->Voice(), priority, loop) : -1;
}

void Audio_PlayMusic(int index, bool loop) {
    CSound* sound = Sound_Get(index);
    if (HardwareSound* hardware = sound ? sound->GetHardwareSound() : nullptr)
        AudioEngine_PlayMusic(hardware->Voice(), loop);
}

void Audio_StopSound(int indexOrVoice) {
    if (indexOrVoice >= kVoiceHandleBase)
        AudioEngine_StopVoice(indexOrVoice);
    else
        AudioEngine_StopSound(indexOrVoice);
}

void Audio_StopMusic() {
    AudioEngine_StopMusic();
}

bool Audio_IsPlaying(int indexOrVoice) {
    if (indexOrVoice >= kVoiceHandleBase) return AudioEngine_VoicePlaying(indexOrVoice);
    return AudioEngine_SoundPlaying(indexOrVoice);
}

// ---- CD audio ----

// No CD drive is reached: none is present, so nothing plays and stop, pause and resume do nothing.
void CD_Play(int, int) {}
void CD_Stop() {}
void CD_Pause() {}
void CD_Resume() {}
bool CD_Present() {
    return false;
}
bool CD_Playing() {
    return false;
}
