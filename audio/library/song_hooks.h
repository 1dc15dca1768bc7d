#pragma once

#include <cstdint>

namespace zv {

struct SampleRecord;

// What the library core asks of the song engine, which lives above it and
// installs these at start-up (each may stay null: then there are no songs).
struct SongHooks {
  // The songs unit (priority 200): plays every playing song into the block,
  // `frames` work-buffer frames at `buffer` (mix_routines.h). Runs on the
  // mixer thread with the mixer lock held, once per block.
  void (*mix_songs)(void* buffer, int32_t frames) = nullptr;
  // CloseAudio: stops every playing song, then shuts MIDI down.
  void (*stop_all_songs)() = nullptr;
  void (*shutdown_midi)() = nullptr;
  // InitAudio: re-applies the tempo of every song on the playing list (the
  // mix rate may have changed).
  void (*reapply_song_tempos)() = nullptr;
  // FreeSample of a sample with its owned-by-song byte set: removes every
  // reference to it from the playing songs.
  void (*forget_sample)(SampleRecord* sample) = nullptr;
};

void SetSongHooks(const SongHooks& hooks);
const SongHooks& GetSongHooks();

}  // namespace zv
