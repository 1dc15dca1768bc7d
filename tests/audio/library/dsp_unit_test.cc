#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio/library/dsp_unit.h"
#include "audio/library/mix_routines.h"
#include "tests/audio/library/audio_test_util.h"

namespace zv {
namespace {

using test::AudioLibraryTest;

// Units that note their name in a shared log when they run.
struct Recorder {
  std::vector<std::string> log;
  struct Entry {
    Recorder* recorder;
    std::string name;
  };
  std::vector<std::unique_ptr<Entry>> entries;

  DspUnit* Make(const std::string& name, int32_t priority, bool active = true) {
    entries.push_back(std::make_unique<Entry>(Entry{this, name}));
    DspUnit* unit = CreateDspUnit(
        [](void*, void* buffer, int32_t, void* user) -> void* {
          auto* e = static_cast<Entry*>(user);
          e->recorder->log.push_back(e->name);
          return buffer;
        },
        priority, entries.back().get());
    SetDspUnitActive(unit, active);
    return unit;
  }
};

TEST_F(AudioLibraryTest, UnitsRunByPriorityThenByCreation) {
  Recorder r;
  r.Make("b150", 150);
  r.Make("c150", 150);
  r.Make("a50", 50);
  r.Make("off", 120, false);
  DspUnit* low = r.Make("neg", -5);
  EXPECT_EQ(GetDspUnitPriority(low), 0);
  Mix(10);
  EXPECT_EQ(r.log, (std::vector<std::string>{"neg", "a50", "b150", "c150"}));
  EXPECT_EQ(GetDspUnitPriority(nullptr), -1);
  EXPECT_FALSE(GetDspUnitActive(nullptr));
}

TEST_F(AudioLibraryTest, ReinsertingGoesBehindItsEquals) {
  Recorder r;
  DspUnit* first = r.Make("first", 150);
  r.Make("second", 150);
  SetDspUnitPriority(first, 150);
  Mix(10);
  EXPECT_EQ(r.log, (std::vector<std::string>{"second", "first"}));
}

TEST_F(AudioLibraryTest, BuiltInUnitsStandInTheirPlaces) {
  EXPECT_EQ(GetDspUnitPriority(GetClearUnit()), kClearUnitPriority);
  EXPECT_EQ(GetDspUnitPriority(GetChannelMixUnit()), kChannelMixUnitPriority);
  EXPECT_EQ(GetDspUnitPriority(GetSongUnit()), kSongUnitPriority);
  EXPECT_EQ(GetDspUnitPriority(GetOutputUnit()), kOutputUnitPriority);
  EXPECT_TRUE(GetDspUnitActive(GetOutputUnit()));
}

TEST_F(AudioLibraryTest, EmptyChannelListLeavesTheBufferAlone) {
  float buffer[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  DspUnit* mix = GetChannelMixUnit();
  EXPECT_EQ(ChannelMixCallback(buffer, buffer, 4, mix), buffer);
  EXPECT_EQ(buffer[5], 6.0f);
}

TEST_F(AudioLibraryTest, SongUnitHandsTheBlockToTheSongEngine) {
  static int32_t frames_seen = 0;
  SongHooks hooks;
  hooks.mix_songs = [](void* buffer, int32_t frames) {
    frames_seen += frames;
    const std::vector<float> song(static_cast<size_t>(frames) * 2, 1000.0f);
    AddFloatFrames(buffer, song.data(), frames);
  };
  SetSongHooks(hooks);
  const std::vector<int16_t> out = Mix(GetMixBlockLength());
  EXPECT_EQ(frames_seen, GetMixBlockLength());
  EXPECT_EQ(out[10], 1000);
}

TEST_F(AudioLibraryTest, ChannelsStartedOnAUnitAreMixedThere) {
  Recorder r;
  DspUnit* late = r.Make("late", 900);
  SampleHandle s = AllocSample(-1, 4000, sample_mode::k16Bit | sample_mode::k2D, 44100, 255, -1, 255);
  auto* v = reinterpret_cast<int16_t*>(s->data);
  for (int i = 0; i < 4000; ++i) v[i] = 2000;
  PadSampleLoop(*s);
  const ChannelHandle h = PlaySampleThroughUnit(late, kChooseChannel, s, false);
  ASSERT_NE(h, kChooseChannel);
  EXPECT_FALSE(late->channels.Empty());
  const std::vector<int16_t> out = Mix(GetMixBlockLength());
  EXPECT_EQ(out[600], test::SaturatingGain(2000));
  // Freeing the unit gives its voices back; the sound no longer mixes.
  FreeDspUnit(late);
  EXPECT_EQ(Mix(GetMixBlockLength())[600], 0);
}

}  // namespace
}  // namespace zv
