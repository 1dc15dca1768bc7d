#pragma once

#include "audio/library/formats/song.h"

namespace zv {

// The XM player: the song's tick function.
void XmTick(Song& song);

// One step of an XM envelope (volume or pan) for a voice.
void StepXmEnvelope(const SongEnvelope& envelope, EnvelopeState& state, bool key_released);

}  // namespace zv
