#pragma once

#include "audio/library/formats/song.h"

namespace zv {

// The tick frame the S3M and XM players share: on tick 0 take the pending
// order and row (reporting each), process the row and find the next one
// (the pattern's own row count; the restart order and the finished flag at
// the end of the order list); on other ticks run the per-tick effects; then
// count the tick and end the row after speed plus pattern-delay ticks.
void RunSongTick(Song& song, void (*process_row)(Song&), void (*process_tick)(Song&));

// The cell of the current row for a channel of an unpacked pattern; all
// zeros outside the pattern.
struct SongCell {
  uint8_t note = 0, instrument = 0, volume = 0, effect = 0, parameter = 0;
  uint8_t hi() const { return parameter >> 4; }
  uint8_t lo() const { return parameter & 15; }
};
SongCell CellOf(Song& song, int32_t channel);

}  // namespace zv
