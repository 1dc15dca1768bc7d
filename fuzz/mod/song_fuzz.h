#pragma once

#include <cstddef>
#include <cstdint>

#include "audio/library/formats/midi_song.h"
#include "audio/library/formats/song_engine.h"
#include "audio/library/formats/song_offline_host.h"
#include "platform/midi/midi_synth.h"

namespace zv::fuzz {

// Loads the input as a song and plays it for two seconds of a small mix
// rate, then once more from an order the input picks: every loader and
// player must survive any bytes and every tick must end.
inline int FuzzSong(const uint8_t* data, size_t size) {
  OfflineSongHost host(11025, 32, 100);
  host.record_events = false;
  SongEngine engine(host);
  MidiSynthesizer midi([](int rate) { return platform::CreateToneMidiSynth(rate); });
  engine.SetMidiSynthesizer(&midi);
  Song* song = engine.LoadSongFromMemory(data, static_cast<int32_t>(size));
  if (!song) return 0;
  engine.PlaySong(song);
  host.Render(engine, 80);
  engine.SetSongOrder(song, size ? data[size / 2] : 0);
  engine.SetSongPaused(song, 1);
  host.Render(engine, 2);
  engine.SetSongPaused(song, 0);
  host.Render(engine, 20);
  engine.GetSongTime(song);
  engine.IsSongFinished(song);
  engine.FreeSong(song);
  return 0;
}

}  // namespace zv::fuzz
