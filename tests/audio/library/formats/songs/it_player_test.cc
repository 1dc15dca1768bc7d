#include <gtest/gtest.h>

#include <cmath>

#include <set>

#include "audio/library/formats/it_player.h"
#include "audio/library/formats/it_sample_unpack.h"
#include "tests/audio/library/formats/songs/song_fixture.h"

namespace zv::test {
namespace {

constexpr int kTick = 882;
constexpr int kC5 = 60;
int Fx(char c) { return c - 'A' + 1; }

TestModule ItModule(bool instruments = true) {
  TestModule m = OnePatternModule(4);
  m.instrument_mode = instruments;
  m.global_volume = 128;
  if (instruments) m.instruments.push_back(TestInstrument{});
  return m;
}

class ItTest : public SongTest {
 protected:
  std::set<int> ChannelsStarted() const {
    std::set<int> channels;
    for (const Event& e : EventsOf(Event::kStart)) channels.insert(e.channel);
    return channels;
  }
};

TEST_F(ItTest, HeaderLoads) {
  TestModule m = ItModule();
  m.name = "it song";
  m.orders = {0, 254, 0};
  m.global_volume = 100;
  m.mix_volume = 48;
  Song* song = Load(WriteIt(m));
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->format, SongFormat::kIt);
  EXPECT_EQ(song->name, "it song");
  EXPECT_EQ(song->channel_count, 64);
  EXPECT_EQ(song->order_count, 3);  // the trailing end is cut
  EXPECT_EQ(song->initial_global_volume, 100);
  EXPECT_EQ(song->master_volume, 96);
  EXPECT_EQ(song->instrument_count, 1);
  EXPECT_EQ(song->referenced_pattern_count, 1);
  EXPECT_TRUE(engine.SongUsesLinearFrequencies(song));
}

TEST_F(ItTest, MissingSignaturesAreRefused) {
  TestModule m = ItModule();
  std::vector<uint8_t> bytes = WriteIt(m);
  std::vector<uint8_t> broken = bytes;
  const size_t instrument_at = bytes[192 + 2] | (bytes[192 + 3] << 8);  // first offset after 2 orders
  broken[instrument_at] = 'X';
  EXPECT_EQ(Load(broken), nullptr);
}

TEST_F(ItTest, LinearMiddleCPlaysAtTheSampleRate) {
  TestModule m = ItModule();
  m.samples[0].middle_c_rate = 0;  // read as 8363
  m.patterns[0].At(0, 0) = {kC5, 1, -1, 0, 0};
  LoadAndPlay(WriteIt(m));
  host.Render(engine, 1);
  EXPECT_EQ(ValuesOf(Event::kFrequency, 0).front(), 8363);
  EXPECT_EQ(ValuesOf(Event::kVolume, 0).front(), 255);
}

TEST_F(ItTest, AmigaSampleMode) {
  TestModule m = ItModule(false);
  m.linear = false;
  m.patterns[0].At(0, 0) = {kC5, 1, -1, 0, 0};
  LoadAndPlay(WriteIt(m));
  host.Render(engine, 1);
  EXPECT_EQ(ValuesOf(Event::kFrequency, 0).front(), 14317056 / 1712);
  EXPECT_EQ(ValuesOf(Event::kVolume, 0).front(), 127);
}

TEST_F(ItTest, MarkersAreSkippedAndTheEndRestarts) {
  TestModule m = ItModule();
  m.patterns[0].rows = 4;
  m.patterns[0].cells.resize(16);
  m.patterns.emplace_back(4, 4);
  m.orders = {0, 254, 1, 255, 1};
  m.speed = 1;
  Song* song = LoadAndPlay(WriteIt(m));
  static std::vector<int> orders;
  orders.clear();
  engine.SetSongOrderCallback(song, [](Song*, uint8_t order) { orders.push_back(order); }, 1);
  host.Render(engine, 20);
  ASSERT_GE(orders.size(), 4u);
  EXPECT_EQ(std::vector<int>(orders.begin(), orders.begin() + 4), (std::vector<int>{0, 2, 0, 2}));
  EXPECT_TRUE(engine.IsSongFinished(song));
}

TEST_F(ItTest, PatternWithoutDataIsSixtyFourEmptyRows) {
  TestModule m = ItModule();
  std::vector<uint8_t> bytes = WriteIt(m);
  const size_t pattern_offset_at = 192 + 2 + 4 * 2;  // after the instrument and sample offsets
  for (int i = 0; i < 4; ++i) bytes[pattern_offset_at + i] = 0;
  Song* song = Load(bytes);
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->patterns[0].rows, 64u);
  EXPECT_TRUE(engine.PlaySong(song));
  host.Render(engine, 40);
  EXPECT_TRUE(EventsOf(Event::kStart).empty());
}

TEST_F(ItTest, NoteDelayZeroWaitsOneTickAndCutZeroCutsOnTickOne) {
  TestModule m = ItModule();
  m.patterns[0].At(0, 0) = {kC5, 1, -1, Fx('S'), 0xD0};
  m.patterns[0].At(1, 0) = {kC5, 1, -1, Fx('S'), 0xC0};
  LoadAndPlay(WriteIt(m));
  host.Render(engine, 8);
  const std::vector<Event> starts = EventsOf(Event::kStart);
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[0].frame, 1u * kTick);
  EXPECT_EQ(starts[1].frame, 6u * kTick);
  bool cut = false;
  for (const Event& e : EventsOf(Event::kStop)) cut |= e.frame == 7u * kTick;
  EXPECT_TRUE(cut);
}

TEST_F(ItTest, TempoSlideEveryTick) {
  TestModule m = ItModule();
  m.patterns[0].At(0, 0) = {-1, 0, -1, Fx('T'), 0x05};
  Song* song = LoadAndPlay(WriteIt(m));
  host.Render(engine, 6);
  EXPECT_EQ(song->tempo, 125 - 6 * 5);
}

TEST_F(ItTest, NewNoteActionContinueKeepsTheOldNote) {
  for (int nna : {0, 1}) {
    host.events.clear();
    TestModule m = ItModule();
    m.instruments[0].nna = nna;
    m.patterns[0].At(0, 0) = {kC5, 1, -1, 0, 0};
    m.patterns[0].At(1, 0) = {kC5 + 7, 1, -1, 0, 0};
    Song* song = LoadAndPlay(WriteIt(m));
    host.Render(engine, 8);
    EXPECT_EQ(ChannelsStarted().size(), nna == 0 ? 1u : 2u) << nna;
    EXPECT_EQ(song->channel_list.size(), nna == 0 ? 1u : 2u) << nna;
    engine.StopSong(song);
  }
}

TEST_F(ItTest, NoteOffReleasesTheSustainAndFades) {
  TestModule m = ItModule();
  TestEnvelope& e = m.instruments[0].volume_envelope;
  e.on = true;
  e.sustain = true;
  e.points = {{0, 64}, {2, 32}, {4, 0}};
  e.sustain_begin = e.sustain_end = 1;
  m.instruments[0].fade_out = 256;
  m.patterns[0].At(0, 0) = {kC5, 1, -1, 0, 0};
  m.patterns[0].At(2, 0) = {255, 0, -1, 0, 0};
  LoadAndPlay(WriteIt(m));
  host.Render(engine, 25);
  std::vector<int> v;
  for (const Event& ev : EventsOf(Event::kVolume, 0)) {
    if (ev.frame % kTick == 0) v.push_back(ev.value);
  }
  ASSERT_GE(v.size(), 14u);
  EXPECT_EQ(v[0], 255);
  EXPECT_EQ(v[2], 127);   // at the sustain point
  EXPECT_EQ(v[11], 127);  // still held
  EXPECT_LT(v[13], 127);  // released
  EXPECT_FALSE(EventsOf(Event::kStop).empty());
}

TEST_F(ItTest, EnvelopeLoopRepeats) {
  SongEnvelope envelope;
  envelope.flags = envelope_flag::kOn | envelope_flag::kLoop;
  envelope.count = 3;
  envelope.points[0] = {0, 0};
  envelope.points[1] = {2, 64};
  envelope.points[2] = {4, 0};
  envelope.loop_begin = 0;
  envelope.loop_end = 2;
  EnvelopeState s;
  std::vector<int> values;
  for (int i = 0; i < 9; ++i) {
    StepItEnvelope(envelope, s, false);
    values.push_back(s.value);
  }
  EXPECT_EQ(values, (std::vector<int>{0, 32, 64, 32, 0, 32, 64, 32, 0}));
  EXPECT_FALSE(s.done);
}

TEST_F(ItTest, VolumeColumnAndChannelVolume) {
  TestModule m = ItModule();
  m.patterns[0].At(0, 0) = {kC5, 1, 32, Fx('M'), 32};
  LoadAndPlay(WriteIt(m));
  host.Render(engine, 1);
  EXPECT_EQ(ValuesOf(Event::kVolume, 0).front(), 63);  // a half of a half
}

TEST_F(ItTest, PortamentoVibratoAndBreak) {
  TestModule m = ItModule();
  m.orders = {0, 0};
  m.patterns[0].At(0, 0) = {kC5, 1, -1, Fx('F'), 0x10};
  m.patterns[0].At(1, 0) = {kC5 + 12, 0, -1, Fx('G'), 0x20};
  m.patterns[0].At(2, 0) = {-1, 0, -1, Fx('H'), 0x44};
  m.patterns[0].At(3, 0) = {-1, 0, -1, Fx('C'), 0x05};
  Song* song = LoadAndPlay(WriteIt(m));
  host.Render(engine, 22);
  const std::vector<int> f = ValuesOf(Event::kFrequency, 0);
  ASSERT_GE(f.size(), 12u);
  // F10 raises the pitch by a semitone (64 linear units) each tick after the first.
  EXPECT_EQ(f[5], static_cast<int>(8363.0 * std::exp2(5 * 64 / 768.0)));
  EXPECT_EQ(EventsOf(Event::kStart).size(), 1u);
  EXPECT_EQ(song->order, 1);
  EXPECT_GE(song->row, 5);
}

TEST_F(ItTest, PackedSampleLoadsOnlyWhenMarked) {
  TestModule m = ItModule();
  m.it_version = 0x214;
  m.samples[0].it_packed = true;
  m.samples.push_back(m.samples[0]);
  m.samples[1].it_packed = false;  // same version, plain data
  Song* song = Load(WriteIt(m));
  ASSERT_NE(song, nullptr);
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(song->samples[static_cast<size_t>(i)]->data.size(), 2000u) << i;
    EXPECT_EQ(song->samples[static_cast<size_t>(i)]->data[0], 100 * 256) << i;
    EXPECT_EQ(song->samples[static_cast<size_t>(i)]->data[16], -100 * 256) << i;
  }
}

TEST_F(ItTest, PackedSamplesUnpack) {
  // One 8-bit block at the full width: each 9-bit code is a delta.
  const std::vector<int> deltas = {10, 10, -30, 5, 0, 127};
  std::vector<uint8_t> bits;
  uint32_t acc = 0;
  int count = 0;
  for (int d : deltas) {
    acc |= static_cast<uint32_t>(d & 0xFF) << count;
    count += 9;
    while (count >= 8) {
      bits.push_back(acc & 0xFF);
      acc >>= 8;
      count -= 8;
    }
  }
  if (count) bits.push_back(acc & 0xFF);
  std::vector<uint8_t> packed = {static_cast<uint8_t>(bits.size()), 0};
  packed.insert(packed.end(), bits.begin(), bits.end());
  std::vector<int16_t> out;
  UnpackItSample(packed, false, false, out, deltas.size());
  EXPECT_EQ(out, (std::vector<int16_t>{10 * 256, 20 * 256, -10 * 256, -5 * 256, -5 * 256, 122 * 256}));
  UnpackItSample(packed, false, true, out, 3);
  EXPECT_EQ(out, (std::vector<int16_t>{10 * 256, 30 * 256, 20 * 256}));
  UnpackItSample({}, false, false, out, 4);
  EXPECT_EQ(out, (std::vector<int16_t>(4, 0)));
}

}  // namespace
}  // namespace zv::test
