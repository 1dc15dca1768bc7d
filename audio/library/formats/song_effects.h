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

// Tremor's on and off times from its parameter (each nibble plus one).
void SetTremor(SongChannel& channel, uint8_t parameter);

// One tick of tremor; true while the note is silenced.
bool TremorSilences(SongChannel& channel);
// The same on a voice's volume (S3M and XM).
void TremorStep(SongChannel& channel, SongVoice& voice);

// Pattern loop: a count of 0 marks `row` as the loop's start; otherwise the
// rows since it play `count` more times. True when the loop goes back.
bool PatternLoop(SongChannel& channel, int32_t row, uint8_t count);

// Starts an envelope's segment from point `s.point` to the next: its value
// there and its step per tick, and moves on to the next point. Points out of
// order go straight on to the next one.
void StartEnvelopeSegment(const SongEnvelope& envelope, EnvelopeState& s);

// Sending a voice's changes to its library channel. The first step, for
// every format: a zero period sends no frequency and the engine culls the
// voice by `audible`; false for the spare voice, which sends nothing.
bool VoiceSends(Song& song, SongVoice& voice, int32_t audible);
// The pan as the library takes it, after the song's pan separation.
int32_t SeparatedPan(const Song& song, int32_t pan);
// The period as a frequency, for Amiga periods.
inline int32_t AmigaFrequency(int32_t period) { return 14317056 / period; }
// The rest for the formats without envelopes (MOD, S3M) once the voice has
// started: `volume` is the channel volume the format makes of the voice's.
void SendPlainVoice(Song& song, SongVoice& voice, int32_t volume);

// Sample offset: the next start of the voice begins `offset` frames into
// `sample`; an offset past the sample's loop end stops the note instead.
void StartAtOffset(Song& song, SongVoice& voice, const SongSample& sample, int32_t offset);

// A pan of 0..15 in steps of 16 (MOD and XM E8, S3M S8).
void SetCoarsePan(SongVoice& voice, uint8_t pan);

// Speeds below 32 set the ticks per row, the others the tempo (MOD and XM F).
void SetSpeedOrTempo(Song& song, uint8_t value);

// The extended commands that MOD and XM read alike on a row (E4 and E7 the
// waveforms, E6 the pattern loop, E8 a coarse pan, EE the pattern delay);
// false for the others, which each format reads its own way.
bool CommonExtendedEffect(Song& song, SongChannel& channel, SongVoice& voice, uint8_t command, uint8_t value);

// Puts the envelope at `point`, at that point's tick.
void JumpEnvelope(const SongEnvelope& envelope, EnvelopeState& s, int32_t point);
// Takes the value of point `s.point`; false, and the envelope is done, when
// it is the last point.
bool EnterEnvelopePoint(const SongEnvelope& envelope, EnvelopeState& s);

// The vibrato (low nibble) and tremolo (high nibble) waveform of a channel.
void SetVibratoWaveform(SongChannel& channel, uint8_t waveform);
void SetTremoloWaveform(SongChannel& channel, uint8_t waveform);

}  // namespace zv::song_effects
