#pragma once

#include <cstdint>

#include "audio/library/formats/song.h"

namespace zv {

// The MOD player: the song's tick function, and its two halves (the row,
// and the effects of the ticks after it).
void ModTick(Song& song);
void ModRowStart(Song& song);
void ModTickEffects(Song& song);

// The period of a note for a sample's middle-C rate, in quarter Amiga periods.
uint32_t ModNotePeriod(int32_t note, uint32_t middle_c_rate);

}  // namespace zv
