#pragma once

#include <cstddef>
#include <cstdint>

#include "audio/library/processor_features.h"
#include "audio/library/voice_list.h"

namespace zv {

// The mixer's per-sample work, chosen once per set-up from the mixer type
// and the processor. Two families keep arithmetic of their own (see
// mix_family.h): the float family, whose work frames are two floats on the
// 16-bit scale, rounded and clipped at output; and the saturating family,
// whose work frames are two 16-bit values that every voice is added to with
// saturation. Every routine below works in the chosen family's frames.

// The type a set-up runs for a requested one (4..8): 4, the best
// available, becomes 7; 7 without a family-6 processor becomes 6; 6 and 7
// without MMX become 5. 5 and 8 are the float family, 6 and 7 the
// saturating one.
int32_t ResolveMixerType(int32_t type, const ProcessorFeatures& processor);

// Chooses the routines for a mixer type at a mix rate on this processor (or
// the one given): false with last error 3 for a type outside 4..8.
bool SelectMixer(int32_t mixer_type, int32_t mix_rate);
bool SelectMixer(int32_t mixer_type, int32_t mix_rate, const ProcessorFeatures& processor);
// The type the last SelectMixer chose.
int32_t SelectedMixerType();
// Bytes of one work frame: 8 for the float family, 4 for the saturating one.
int32_t WorkFrameBytes();
// The work frame `frames` frames after `buffer`.
inline void* OffsetFrames(void* buffer, int32_t frames) {
  return static_cast<char*>(buffer) + static_cast<ptrdiff_t>(frames) * WorkFrameBytes();
}
// Output frames over which a change of gain ramps (128 at 44100 Hz).
int32_t RampLength();

// Adds every voice of `list` (channel records) into `frames` work frames,
// and, with a `send` bus (stereo floats on the 16-bit scale), each voice
// again into it as much as its reverb send says.
void MixVoices(void* buffer, VoiceLink& list, int32_t frames, float* send = nullptr);
void ClearFrames(void* buffer, int32_t frames);
// Work frames to 16-bit stereo (left in the low half); nothing for a null
// pointer or a count below 1.
void ClipCopyFrames(int16_t* destination, const void* buffer, int32_t frames);
// Adds stereo frames made elsewhere (floats that `scale` brings to the
// 16-bit scale, or 16-bit values) to work frames.
void AddFloatFrames(void* buffer, const float* left_right, int32_t frames, float scale = 1.0f);
void AddInt16Frames(void* buffer, const int16_t* left_right, int32_t frames);

// Beside them: 32-bit integer stereo frames to 16-bit with saturation, and
// a silence test that gives 0 exactly when every byte is 0.
void ConvertInt32Frames(int16_t* destination, const int32_t* source, int32_t frames);
int32_t BufferHasSound(const void* buffer, size_t bytes);

// The value an 8-bit sample byte stands for in the float family.
float Sample8ToFloat(uint8_t byte);

}  // namespace zv
