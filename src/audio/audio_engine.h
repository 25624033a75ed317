// The audio engine under both sound layers: the OpenAL device and context, a fixed set of voices (one
// OpenAL source each) handed out by priority, and the single music voice. Sounds decoded in memory play
// from an OpenAL buffer; streamed sounds play through a stream refilled by the stream workers.
//
// Everything here runs on the main thread; only the streams are shared with their workers.
#pragma once

#include "audio/sound_file.h"

#include <AL/al.h>

#include <string>

// The voices that sounds play on (the music voice comes on top), and the first voice handle: handles are
// numbered from it so that they are never taken for sound indices.
constexpr int kVoiceCount = 64;
constexpr int kVoiceHandleBase = 100000;

// Opens the default output device. False when there is none (nothing is left open).
bool AudioEngine_Start();
// Opens a device that renders mono 32-bit float samples at the rate into memory, one call of
// AudioEngine_Render at a time, instead of playing them.
bool AudioEngine_StartLoopback(int rate);
void AudioEngine_Render(float* out, int frames);
bool AudioEngine_Running();
// Stops every voice, ends the stream workers and closes the device. Buffers the caller made must be
// freed before.
void AudioEngine_Stop();
// Frees the voices whose sound has ended. False when the device has gone away.
bool AudioEngine_Tick();
// Makes the next tick find the device gone, as a device unplugged while playing does.
void AudioEngine_MarkDisconnected();

// An OpenAL buffer holding the samples; 0 (with the reason) when it cannot be made.
ALuint AudioEngine_MakeBuffer(const PcmFormat& format, const uint8_t* samples, size_t size, std::string* error);
void AudioEngine_FreeBuffer(ALuint buffer);

// What a voice plays: sound index, and either a buffer or the file to stream from.
struct VoiceSound {
    int sound = -1;
    ALuint buffer = 0;
    const SoundFile* file = nullptr;
};

// Plays on a free voice, else on the busy voice of the lowest priority (the oldest of equals) when that
// priority is not above this one. The voice's handle, or -1 when it does not play.
int AudioEngine_Play(const VoiceSound& sound, int priority, bool loop);
// Plays on the music voice, in place of what it played. False when it does not play.
bool AudioEngine_PlayMusic(const VoiceSound& sound, bool loop);
// Stops every voice playing the sound, the music voice among them.
void AudioEngine_StopSound(int sound);
// Stops the voice of the handle, when it still plays that handle's sound.
void AudioEngine_StopVoice(int handle);
void AudioEngine_StopMusic();
bool AudioEngine_SoundPlaying(int sound);
bool AudioEngine_VoicePlaying(int handle);
