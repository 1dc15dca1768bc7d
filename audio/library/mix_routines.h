#pragma once

#include <cstddef>
#include <cstdint>

#include "audio/library/voice_list.h"

namespace zv {

// The mixer's per-sample work. One family serves every mixer type: voices
// are interpolated linearly and accumulated as floats on the 16-bit scale
// in a work buffer of stereo float frames, then rounded to nearest and
// clipped to 16-bit stereo.

// Chooses the routines for a mixer type (4..8) at a mix rate: false with
// last error 3 for a type outside 4..8.
bool SelectMixer(int32_t mixer_type, int32_t mix_rate);
// Output frames over which a change of gain ramps (128 at 44100 Hz).
int32_t RampLength();

// Adds every voice of `list` (channel records) into `frames` work frames,
// and, with a `send` bus, each voice again into it as much as its reverb
// send says.
void MixVoices(float* buffer, VoiceLink& list, int32_t frames, float* send = nullptr);
void ClearFrames(float* buffer, int32_t frames);
// Rounds and clips work frames to 16-bit stereo (left in the low half).
void ClipCopyFrames(int16_t* destination, const float* buffer, int32_t frames);

// Beside them: 32-bit integer stereo frames to 16-bit with saturation, and
// a silence test that gives 0 exactly when every byte is 0.
void ConvertInt32Frames(int16_t* destination, const int32_t* source, int32_t frames);
int32_t BufferHasSound(const void* buffer, size_t bytes);

// The value an 8-bit sample byte stands for on the 16-bit scale.
float Sample8ToFloat(uint8_t byte);

}  // namespace zv
