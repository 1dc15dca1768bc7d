#include <gtest/gtest.h>

#include <cmath>

#include "audio/library/formats/xm_player.h"
#include "tests/audio/library/formats/songs/song_fixture.h"

namespace zv::test {
namespace {

constexpr int kTick = 882;
constexpr int kC4 = 49;  // XM C-4: 8363 Hz
int Fx(char c) { return c <= '9' ? c - '0' : c - 'A' + 10; }

TestModule XmModule(int rows = 64) {
  TestModule m = OnePatternModule(2, rows);
  TestInstrument in;
  in.samples = {0};
  m.instruments.push_back(in);
  return m;
}

class XmTest : public SongTest {};

TEST_F(XmTest, HeaderLoads) {
  TestModule m = XmModule(32);
  m.name = "xm song";
  m.orders = {0, 3};
  m.speed = 4;
  m.tempo = 140;
  Song* song = Load(WriteXm(m));
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->format, SongFormat::kXm);
  EXPECT_EQ(song->name, "xm song");
  EXPECT_EQ(song->channel_count, 2);
  EXPECT_EQ(song->initial_speed, 4);
  EXPECT_EQ(song->initial_tempo, 140);
  EXPECT_EQ(song->referenced_pattern_count, 4);
  EXPECT_EQ(song->pattern_count, 4);
  EXPECT_EQ(song->patterns[0].rows, 32u);
  EXPECT_EQ(song->patterns[3].rows, 64u);
  EXPECT_EQ(song->sample_count, 1);
  EXPECT_TRUE(engine.SongUsesLinearFrequencies(song));
  EXPECT_EQ(song->samples[0]->data[1], 100 * 256);  // delta coding undone
}

TEST_F(XmTest, TooManySamplesInAnInstrumentIsRefused) {
  TestModule m = XmModule();
  m.instruments[0].samples.assign(17, 0);
  EXPECT_EQ(Load(WriteXm(m)), nullptr);
}

TEST_F(XmTest, EmptyPackedPatternKeepsItsRows) {
  TestModule m = XmModule(16);
  m.patterns.emplace_back(20, 2);
  std::vector<uint8_t> bytes = WriteXm(m);
  Song* song = Load(bytes);
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->patterns[1].rows, 20u);
}

TEST_F(XmTest, LinearAndAmigaFrequencies) {
  for (bool linear : {true, false}) {
    host.events.clear();
    TestModule m = XmModule();
    m.linear = linear;
    m.patterns[0].At(0, 0) = {kC4, 1, -1, 0, 0};
    Song* song = LoadAndPlay(WriteXm(m));
    host.Render(engine, 1);
    EXPECT_EQ(ValuesOf(Event::kFrequency, 0).front(), linear ? 8363 : 14317056 / 1712);
    engine.StopSong(song);
  }
}

TEST_F(XmTest, VolumeIsHalfScaleAtFull) {
  TestModule m = XmModule();
  m.patterns[0].At(0, 0) = {kC4, 1, -1, 0, 0};
  LoadAndPlay(WriteXm(m));
  host.Render(engine, 1);
  EXPECT_EQ(ValuesOf(Event::kVolume, 0).front(), 127);
}

TEST_F(XmTest, KeyOffWithoutEnvelopeSilencesAtOnce) {
  TestModule m = XmModule();
  m.patterns[0].At(0, 0) = {kC4, 1, -1, 0, 0};
  m.patterns[0].At(1, 0) = {97, 0, -1, 0, 0};
  LoadAndPlay(WriteXm(m));
  host.Render(engine, 6);
  bool silenced = false;
  for (const Event& e : EventsOf(Event::kVolume, 0)) silenced |= e.frame == 6u * kTick && e.value == 0;
  EXPECT_TRUE(silenced);
}

TEST_F(XmTest, VolumeEnvelopeSustainsThenFades) {
  TestModule m = XmModule();
  TestEnvelope& e = m.instruments[0].volume_envelope;
  e.on = true;
  e.sustain = true;
  e.points = {{0, 64}, {4, 32}, {8, 0}};
  e.sustain_begin = 1;
  m.instruments[0].fade_out = 4096;
  m.patterns[0].At(0, 0) = {kC4, 1, -1, 0, 0};
  m.patterns[0].At(2, 0) = {97, 0, -1, 0, 0};
  LoadAndPlay(WriteXm(m));
  host.Render(engine, 20);
  std::vector<int> v;
  for (const Event& e2 : EventsOf(Event::kVolume, 0)) {
    if (e2.frame % kTick == 0) v.push_back(e2.value);
  }
  ASSERT_GE(v.size(), 16u);
  // Down the first segment to the sustain point, held there, then released.
  EXPECT_EQ(v[0], 127);
  EXPECT_EQ(v[4], 63);
  EXPECT_EQ(v[11], 63);
  EXPECT_LT(v[14], 63);
  EXPECT_EQ(v.back(), 0);
}

TEST_F(XmTest, EnvelopeStepsHoldAtTheLastPoint) {
  SongEnvelope envelope;
  envelope.flags = envelope_flag::kOn;
  envelope.count = 2;
  envelope.points[0] = {0, 0};
  envelope.points[1] = {4, 64};
  EnvelopeState s;
  std::vector<int> values;
  for (int i = 0; i < 7; ++i) {
    StepXmEnvelope(envelope, s, false);
    values.push_back(s.value);
  }
  EXPECT_EQ(values, (std::vector<int>{0, 16, 32, 48, 64, 64, 64}));
  EXPECT_TRUE(s.done);
}

TEST_F(XmTest, ArpeggioInLinearMode) {
  TestModule m = XmModule();
  m.patterns[0].At(0, 0) = {kC4, 1, -1, 0, 0xC0};
  LoadAndPlay(WriteXm(m));
  host.Render(engine, 3);
  const std::vector<int> f = ValuesOf(Event::kFrequency, 0);
  ASSERT_GE(f.size(), 3u);
  EXPECT_EQ(f[0], 8363);
  EXPECT_EQ(f[1], 16726);  // an octave up
  EXPECT_EQ(f[2], 8363);
}

TEST_F(XmTest, PortamentoAndVolumeSlide) {
  TestModule m = XmModule();
  m.patterns[0].At(0, 0) = {kC4, 1, -1, Fx('1'), 0x10};
  m.patterns[0].At(1, 0) = {-1, 0, -1, Fx('A'), 0x04};
  LoadAndPlay(WriteXm(m));
  host.Render(engine, 10);
  const std::vector<int> f = ValuesOf(Event::kFrequency, 0);
  ASSERT_GE(f.size(), 6u);
  // Linear periods: 64 per semitone, so 16 x 4 per tick is a semitone.
  EXPECT_EQ(f[5], static_cast<int>(8363.0 * std::exp2(5.0 / 12.0)));
  const std::vector<Event> volumes = EventsOf(Event::kVolume, 0);
  EXPECT_EQ(volumes.back().value, (64 - 4 * 5) * 127 / 64);
}

TEST_F(XmTest, BreakAboveSixtyThreeGoesToRowZero) {
  TestModule m = XmModule();
  m.orders = {0, 0};
  m.patterns[0].At(0, 0) = {-1, 0, -1, Fx('D'), 0x70};
  Song* song = LoadAndPlay(WriteXm(m));
  const auto rows = Rows(song, 8);
  ASSERT_GE(rows.size(), 2u);
  EXPECT_EQ(rows[1], std::make_pair(1, 0));
}

TEST_F(XmTest, SpeedAndTempoShareF) {
  TestModule m = XmModule();
  m.patterns[0].At(0, 0) = {-1, 0, -1, Fx('F'), 0x1F};
  m.patterns[0].At(0, 1) = {-1, 0, -1, Fx('F'), 0x20};
  Song* song = LoadAndPlay(WriteXm(m));
  host.Render(engine, 1);
  EXPECT_EQ(song->speed, 31);
  EXPECT_EQ(song->tempo, 32);
}

TEST_F(XmTest, InstrumentWithoutSamplesPlaysNothing) {
  TestModule m = XmModule();
  m.instruments[0].samples.clear();
  m.patterns[0].At(0, 0) = {kC4, 1, -1, 0, 0};
  LoadAndPlay(WriteXm(m));
  const std::vector<int16_t> pcm = host.Render(engine, 4);
  for (int16_t v : pcm) ASSERT_EQ(v, 0);
}

TEST_F(XmTest, SampleOffsetAndPatternLoop) {
  TestModule m = XmModule();
  m.patterns[0].At(0, 0) = {kC4, 1, -1, Fx('9'), 0x03};
  m.patterns[0].At(0, 1) = {-1, 0, -1, Fx('E'), 0x60};
  m.patterns[0].At(1, 1) = {-1, 0, -1, Fx('E'), 0x61};
  Song* song = LoadAndPlay(WriteXm(m));
  static std::vector<int> rows;
  rows.clear();
  engine.SetSongRowCallback(song, [](Song*, uint8_t row) { rows.push_back(row); }, 1);
  host.Render(engine, 25);
  EXPECT_EQ(EventsOf(Event::kStart).front().value, 768);
  ASSERT_GE(rows.size(), 4u);
  EXPECT_EQ(std::vector<int>(rows.begin(), rows.begin() + 4), (std::vector<int>{0, 1, 0, 1}));
}

}  // namespace
}  // namespace zv::test
