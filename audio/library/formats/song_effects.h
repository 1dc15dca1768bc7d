#pragma once

#include <cstdint>

#include "audio/library/formats/song.h"

// Effect steps that every tracker format plays the same way. The players
// keep only what their format does differently.
namespace zv::song_effects {

// Effect memory: a non-zero parameter is kept, a zero one recalls the last.
uint8_t Remember(uint8_t& memory, uint8_t parameter);

// The volume after a retrigger with volume change 0..15 (S3M, XM, IT; 0 and
// 8 leave it).
int32_t RetriggerVolume(int32_t volume, uint8_t change);

// Moves the voice's period toward the channel's portamento target by four
// times the speed, never past it. True once the target is reached.
bool TonePortamento(SongChannel& channel, SongVoice& voice);

// A tremolo step of `delta` at wave position `position`, held so that the
// volume plus the change stays within 0..64.
int32_t TremoloDelta(int32_t delta, int32_t position, int32_t volume);

// One tick of tremor; true while the note is silenced.
bool TremorSilences(SongChannel& channel);
// The same on a voice's volume (S3M and XM).
void TremorStep(SongChannel& channel, SongVoice& voice);

// Pattern loop: a count of 0 marks `row` as the loop's start; otherwise the
// rows since it play `count` more times. True when the loop goes back.
bool PatternLoop(SongChannel& channel, int32_t row, uint8_t count);

// The vibrato (low nibble) and tremolo (high nibble) waveform of a channel.
void SetVibratoWaveform(SongChannel& channel, uint8_t waveform);
void SetTremoloWaveform(SongChannel& channel, uint8_t waveform);

}  // namespace zv::song_effects
