#include <gtest/gtest.h>

#include "tests/audio/library/formats/songs/song_fixture.h"

namespace zv::test {
namespace {

constexpr int kTick = 882;
constexpr int kC4 = 49;  // octave 4, C: 8363 Hz at the standard rate
int Fx(char c) { return c - 'A' + 1; }

class S3mTest : public SongTest {};

TEST_F(S3mTest, HeaderAndChannelMapLoad) {
  TestModule m = OnePatternModule(3);
  m.orders = {0, 254, 2, 255, 0};
  m.name = "s3m song";
  Song* song = Load(WriteS3m(m));
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->format, SongFormat::kS3m);
  EXPECT_EQ(song->name, "s3m song");
  EXPECT_EQ(song->channel_count, 3);
  EXPECT_EQ(song->order_count, 3);  // markers and ends dropped
  EXPECT_EQ(song->orders[1], 2);
  EXPECT_EQ(song->referenced_pattern_count, 3);
  EXPECT_EQ(song->pattern_count, 3);  // the missing ones are empty
  EXPECT_EQ(song->patterns[2].rows, 64u);
  EXPECT_EQ(song->default_pan[0], 0);
  EXPECT_EQ(song->default_pan[1], 255);
}

TEST_F(S3mTest, MonoFilePlaysCentred) {
  TestModule m = OnePatternModule(2);
  m.stereo = false;
  Song* song = Load(WriteS3m(m));
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->default_pan[0], 128);
  EXPECT_EQ(song->default_pan[1], 128);
}

TEST_F(S3mTest, ShortLoopIsNoLoop) {
  TestModule m = OnePatternModule();
  m.samples[0].loop_start = 10;
  m.samples[0].loop_length = 2;
  Song* song = Load(WriteS3m(m));
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->samples[0]->loop_mode, sample_loop::kOff);
  EXPECT_EQ(song->samples[0]->loop_length, 2000);
}

TEST_F(S3mTest, SampleDataIsUnsignedInTheFile) {
  TestModule m = OnePatternModule();
  Song* song = Load(WriteS3m(m));
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->samples[0]->data[0], 100 * 256);
  EXPECT_EQ(song->samples[0]->data[16], -100 * 256);
}

TEST_F(S3mTest, NoteAtTheStandardRate) {
  TestModule m = OnePatternModule();
  m.patterns[0].At(0, 0) = {kC4, 1, -1, 0, 0};
  LoadAndPlay(WriteS3m(m));
  host.Render(engine, 1);
  EXPECT_EQ(ValuesOf(Event::kFrequency, 0).front(), 14317056 / 1712);
  EXPECT_EQ(ValuesOf(Event::kVolume, 0).front(), 128);  // 64 x 64 x 256 >> 13
  EXPECT_EQ(ValuesOf(Event::kPan, 0).front(), 0);
}

TEST_F(S3mTest, VolumeColumnAndSlide) {
  TestModule m = OnePatternModule();
  m.patterns[0].At(0, 0) = {kC4, 1, 40, Fx('D'), 0x03};
  LoadAndPlay(WriteS3m(m));
  host.Render(engine, 5);
  const std::vector<int> v = ValuesOf(Event::kVolume, 0);
  ASSERT_GE(v.size(), 6u);
  EXPECT_EQ(std::vector<int>(v.begin(), v.begin() + 6), (std::vector<int>{80, 74, 68, 62, 56, 50}));
}

TEST_F(S3mTest, FineSlidesOnTheFirstTickOnly) {
  TestModule m = OnePatternModule();
  m.patterns[0].At(0, 0) = {kC4, 1, 40, Fx('D'), 0x3F};
  LoadAndPlay(WriteS3m(m));
  host.Render(engine, 5);
  EXPECT_EQ(ValuesOf(Event::kVolume, 0).front(), 86);  // 43 x 2
}

TEST_F(S3mTest, PortamentoDownBelowOneStopsTheNote) {
  TestModule m = OnePatternModule();
  m.patterns[0].At(0, 0) = {kC4 + 60, 1, -1, Fx('F'), 0xDF};
  LoadAndPlay(WriteS3m(m));
  host.Render(engine, 5);
  EXPECT_FALSE(EventsOf(Event::kStop).empty());
}

TEST_F(S3mTest, TonePortamentoReachesTheTarget) {
  TestModule m = OnePatternModule();
  m.patterns[0].At(0, 0) = {kC4, 1, -1, 0, 0};
  m.patterns[0].At(1, 0) = {kC4 + 12, 0, -1, Fx('G'), 0xFF};
  LoadAndPlay(WriteS3m(m));
  host.Render(engine, 12);
  EXPECT_EQ(EventsOf(Event::kStart).size(), 1u);
  EXPECT_EQ(ValuesOf(Event::kFrequency, 0).back(), 14317056 / 856);
}

TEST_F(S3mTest, VibratoAndFineVibrato) {
  for (int effect : {Fx('H'), Fx('U')}) {
    host.events.clear();
    TestModule m = OnePatternModule();
    m.patterns[0].At(0, 0) = {kC4, 1, -1, effect, 0x88};
    for (int row = 1; row < 4; ++row) m.patterns[0].At(row, 0) = {-1, 0, -1, effect, 0};
    Song* song = LoadAndPlay(WriteS3m(m));
    host.Render(engine, 20);
    int lowest = 1 << 30, highest = 0;
    for (int hz : ValuesOf(Event::kFrequency, 0)) {
      lowest = std::min(lowest, hz);
      highest = std::max(highest, hz);
    }
    // Depth 8: at most (255 x 8 >> 7) = 15 quarter periods, times 4 for H.
    const int swing = effect == Fx('H') ? 60 : 15;
    EXPECT_EQ(highest, 14317056 / (1712 - swing)) << effect;
    EXPECT_EQ(lowest, 14317056 / (1712 + swing)) << effect;
    engine.StopSong(song);
  }
}

TEST_F(S3mTest, ArpeggioUsesThePeriodTable) {
  TestModule m = OnePatternModule();
  m.patterns[0].At(0, 0) = {kC4, 1, -1, Fx('J'), 0x37};
  LoadAndPlay(WriteS3m(m));
  host.Render(engine, 5);
  const std::vector<int> f = ValuesOf(Event::kFrequency, 0);
  ASSERT_GE(f.size(), 4u);
  EXPECT_EQ(f[1], 14317056 / 1440);  // three semitones up
  EXPECT_EQ(f[2], 14317056 / 1140);  // seven semitones up
  EXPECT_EQ(f[3], 14317056 / 1712);
}

TEST_F(S3mTest, BreakJumpAndLoop) {
  TestModule m = OnePatternModule();
  m.patterns.emplace_back(64, 4);
  m.orders = {0, 1, 0};
  m.patterns[0].At(0, 0) = {-1, 0, -1, Fx('A'), 1};
  m.patterns[0].At(1, 0) = {-1, 0, -1, Fx('S'), 0xB0};
  m.patterns[0].At(2, 0) = {-1, 0, -1, Fx('S'), 0xB1};
  m.patterns[0].At(3, 0) = {-1, 0, -1, Fx('C'), 0x64};  // 64: row 0
  m.patterns[1].At(0, 0) = {-1, 0, -1, Fx('B'), 2};
  m.patterns[1].At(0, 1) = {-1, 0, -1, Fx('C'), 0x12};
  Song* song = LoadAndPlay(WriteS3m(m));
  static std::vector<std::pair<int, int>> rows;
  rows.clear();
  engine.SetSongRowCallback(song, [](Song* s, uint8_t row) { rows.emplace_back(s->order, row); }, 1);
  host.Render(engine, 20);
  ASSERT_GE(rows.size(), 8u);
  // The callbacks run a buffer later, so the order read then may be newer;
  // the rows tell the path.
  std::vector<int> just_rows;
  for (auto& r : rows) just_rows.push_back(r.second);
  EXPECT_EQ(std::vector<int>(just_rows.begin(), just_rows.begin() + 8), (std::vector<int>{0, 1, 2, 1, 2, 3, 0, 12}));
  EXPECT_EQ(song->order, 2);
}

TEST_F(S3mTest, TempoBelow32IsIgnored) {
  TestModule m = OnePatternModule();
  m.patterns[0].At(0, 0) = {-1, 0, -1, Fx('T'), 31};
  m.patterns[0].At(1, 0) = {-1, 0, -1, Fx('T'), 250};
  Song* song = LoadAndPlay(WriteS3m(m));
  host.Render(engine, 2);
  EXPECT_EQ(song->tempo, 125);
  host.Render(engine, 6);
  EXPECT_EQ(song->tempo, 250);
}

TEST_F(S3mTest, OffsetAndRetrigger) {
  TestModule m = OnePatternModule();
  m.patterns[0].At(0, 0) = {kC4, 1, -1, Fx('O'), 0x02};
  m.patterns[0].At(1, 0) = {kC4, 1, -1, Fx('Q'), 0x92};  // +1 volume every second tick
  LoadAndPlay(WriteS3m(m));
  host.Render(engine, 12);
  const std::vector<Event> starts = EventsOf(Event::kStart);
  ASSERT_EQ(starts.size(), 4u);
  EXPECT_EQ(starts[0].value, 512);
  EXPECT_EQ(starts[2].frame, (6u + 2u) * kTick);
  EXPECT_EQ(starts[3].frame, (6u + 4u) * kTick);
}

TEST_F(S3mTest, NoteDelayAndCut) {
  TestModule m = OnePatternModule();
  m.patterns[0].At(0, 0) = {kC4, 1, -1, Fx('S'), 0xD2};
  m.patterns[0].At(1, 0) = {-1, 0, -1, Fx('S'), 0xC3};
  LoadAndPlay(WriteS3m(m));
  host.Render(engine, 12);
  const std::vector<Event> starts = EventsOf(Event::kStart);
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].frame, 2u * kTick);
  bool cut = false;
  for (const Event& e : EventsOf(Event::kVolume)) cut |= e.frame == 9u * kTick && e.value == 0;
  EXPECT_TRUE(cut);
}

}  // namespace
}  // namespace zv::test
