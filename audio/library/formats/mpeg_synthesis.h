#pragma once

#include <cstdint>

#include "audio/library/formats/mpeg_decoder.h"

namespace zv::mpeg {

// One step of the polyphase synthesis filter bank for one channel: 32
// sub-band samples in, 32 PCM samples out, rounded to nearest and clipped to
// 16 bits, written `stride` values apart (2 for interleaved stereo). `phase`
// (0..15) is the decoder's synthesis phase, which the caller steps back once
// per time slot before synthesising the slot's channels.
void SynthesizeStep(SynthesisHistory& history, int phase, const float* subbands,
                    std::int16_t* pcm, int stride);

// Builds the window and cosine tables ahead of first use.
void InitSynthesisTables();

}  // namespace zv::mpeg
