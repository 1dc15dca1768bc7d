#pragma once

#include "audio/library/formats/song.h"

namespace zv {

// The IT player: the song's tick function, and its reset hook (called when
// the song starts: decoding begins at the current order's pattern).
void ItTick(Song& song);
void ItReset(Song& song);

// One step of an IT envelope (volume, pan or pitch) for a voice.
void StepItEnvelope(const SongEnvelope& envelope, EnvelopeState& state, bool key_released);

}  // namespace zv
