// The sound group of built-ins: sound_play.
#include "audio/audio.h"
#include "core/console.h"
#include "library/builtin.h"

namespace {

// sound_play(sound): plays the sound once, on the engine the options chose, as the sound action does (the
// audio engine streams a sound of the music kind as the music, and plays any other at priority 0). A
// sound that does not exist, or has no audio for the audio engine, plays nothing; the debug console says
// so.
BUILTIN_BODY(sound_play) {
    const int sound = args.Rounded(0);
    CSound* s = Sound_Get(sound);
    if (!s) {
        DebugConsole->Output("sound_play: sound %d does not exist\n", sound);
        return;
    }
    if (!Audio_State().Audio_UseNewEngine) {
        SND_Play(s->GetHardwareSound(), false);
        return;
    }
    switch (Audio_GetSoundType(sound)) {
    case 0: Audio_PlaySound(sound, 0, false); break;
    case 1: Audio_PlayMusic(sound, false); break;
    default: DebugConsole->Output("sound_play: sound %d has no audio\n", sound); break;
    }
}

const BuiltInRegistration kSoundFunctions[] = {
    BUILTIN_ENTRY(sound_play, 1),
};

} // namespace

void InitSoundFunctions() {
    BuiltIn_Register(kSoundFunctions);
}
