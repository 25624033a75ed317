#include "audio/audio.h"

bool Audio_UseNewEngine = false;

// No sound built-ins are written yet.
void InitSoundFunctions() {}

// No audio device is opened. Preparing an empty sound table succeeds: there is nothing to prepare.
bool SND_Init() {
    return false;
}
bool Sound_Prepare() {
    return true;
}
void Audio_Prepare() {}
void SND_Quit() {}
void Sound_Free() {}
void SND_Tick() {}

// The sound records are not read yet: the loaders report that they loaded nothing and the tables stay
// empty; the chunk walk goes on.
void Sound_Clear() {}
bool Sound_Init(std::span<const uint8_t>, std::span<const uint8_t>) {
    return false;
}
bool Audio_Load(std::span<const uint8_t>, std::span<const uint8_t>) {
    return false;
}
bool Wave_Init(std::span<const uint8_t>, std::span<const uint8_t>) {
    return false;
}
bool Audio_WAVs(std::span<const uint8_t>, std::span<const uint8_t>) {
    return false;
}

HardwareSound* CSound::GetHardwareSound() {
    return nullptr;
}

bool Sound_Exists(int) {
    return false;
}
CSound* Sound_Get(int) {
    return nullptr;
}
bool Sound_Replace(int, const char*, int, bool) {
    return false;
}
bool SND_Play(HardwareSound*, bool) {
    return false;
}
void SND_Stop(HardwareSound*) {}
bool SND_IsPlaying(HardwareSound*) {
    return false;
}

int Audio_GetSoundType(int) {
    return -1;
}
int Audio_PlaySound(int, int, bool) {
    return -1;
}
void Audio_PlayMusic(int, bool) {}
void Audio_StopSound(int) {}
void Audio_StopMusic() {}
bool Audio_IsPlaying(int) {
    return false;
}

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
