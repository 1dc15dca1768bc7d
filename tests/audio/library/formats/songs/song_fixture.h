#pragma once

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "audio/library/formats/song_engine.h"
#include "audio/library/formats/song_offline_host.h"
#include "tests/audio/library/formats/songs/module_builder.h"

namespace zv::test {

// An engine on the offline host, with helpers to load a module from bytes,
// play it and watch what it does.
class SongTest : public ::testing::Test {
 protected:
  using Event = OfflineSongHost::Event;

  Song* Load(const std::vector<uint8_t>& bytes) {
    Song* song = engine.LoadSongFromMemory(bytes.data(), static_cast<int32_t>(bytes.size()));
    if (song) loaded.push_back(song);
    return song;
  }
  Song* LoadAndPlay(const std::vector<uint8_t>& bytes) {
    Song* song = Load(bytes);
    if (song) {
      EXPECT_TRUE(engine.PlaySong(song));
    }
    return song;
  }
  ~SongTest() override {
    for (Song* song : loaded) engine.FreeSong(song);
  }

  // The (order, row) pairs the song passes through while `blocks` blocks
  // are mixed, each pair once per visit.
  std::vector<std::pair<int, int>> Rows(Song* song, int blocks) {
    std::vector<std::pair<int, int>> seen;
    for (int b = 0; b < blocks; ++b) {
      host.Render(engine, 1);
      const std::pair<int, int> now{song->order, song->row};
      if (seen.empty() || seen.back() != now) seen.push_back(now);
    }
    return seen;
  }

  // The events of one kind on the library channel of a song channel's
  // first note.
  std::vector<Event> EventsOf(Event::Kind kind, int channel = -1) const {
    std::vector<Event> out;
    for (const Event& e : host.events) {
      if (e.kind == kind && (channel < 0 || e.channel == channel)) out.push_back(e);
    }
    return out;
  }
  std::vector<int> ValuesOf(Event::Kind kind, int channel = -1) const {
    std::vector<int> out;
    for (const Event& e : EventsOf(kind, channel)) out.push_back(e.value);
    return out;
  }

  OfflineSongHost host;
  SongEngine engine{host};
  std::vector<Song*> loaded;
};

// A module with one pattern of `channels` channels and one looping square
// sample, the start of most player tests.
inline TestModule OnePatternModule(int channels = 4, int rows = 64) {
  TestModule m;
  m.channels = channels;
  m.orders = {0};
  m.patterns.emplace_back(rows, channels);
  TestSample s;
  s.data = SquareWave(2000);
  s.loop = true;
  s.loop_start = 0;
  s.loop_length = 2000;
  m.samples.push_back(s);
  return m;
}

}  // namespace zv::test
