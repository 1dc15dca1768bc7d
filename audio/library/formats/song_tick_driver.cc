#include "audio/library/formats/song_tick_driver.h"

#include "audio/library/formats/song_engine.h"

namespace zv {

SongCell CellOf(Song& song, int32_t channel) {
  const SongPattern* pattern = song.CurrentPattern();
  if (!pattern || song.row < 0 || song.row >= static_cast<int32_t>(pattern->rows) || channel < 0) return {};
  const size_t at = (static_cast<size_t>(song.row) * static_cast<size_t>(song.channel_count) +
                     static_cast<size_t>(channel)) * 5;
  if (at + 5 > pattern->data.size()) return {};
  const uint8_t* c = &pattern->data[at];
  return {c[0], c[1], c[2], c[3], c[4]};
}

void RunSongTick(Song& song, void (*process_row)(Song&), void (*process_tick)(Song&)) {
  SongEngine& engine = song.engine;
  if (song.tick == 0) {
    const bool order_set = song.next_order >= 0;
    const bool row_set = song.next_row >= 0;
    if (order_set) song.order = song.next_order;
    if (row_set) song.row = song.next_row;
    if (order_set && !song.EnterOrder()) return;
    if (order_set) engine.QueueSongEvent(song, song_ring::kOrder, static_cast<uint8_t>(song.order));
    if (row_set) engine.QueueSongEvent(song, song_ring::kRow, static_cast<uint8_t>(song.row));
    song.next_order = -1;
    song.next_row = -1;
    process_row(song);
    if (song.next_row == -1) {
      song.next_row = song.row + 1;
      const SongPattern* pattern = song.CurrentPattern();
      const int32_t rows = pattern ? static_cast<int32_t>(pattern->rows) : 64;
      if (song.next_row >= rows) {
        song.next_order = song.order + 1;
        if (song.next_order >= song.order_count) song.next_order = song.EndOfOrders(song.restart_order, true);
        song.next_row = 0;
      }
    }
  } else {
    process_tick(song);
  }
  ++song.tick;
  if (song.tick >= song.speed + song.pattern_delay) {
    song.tick = 0;
    song.pattern_delay = 0;
  }
}

}  // namespace zv
