#include <gtest/gtest.h>

#include <cstdlib>

#include "audio/library/formats/mod_player.h"
#include "tests/audio/library/formats/songs/song_fixture.h"
#include "tests/support/peak_memory.h"

namespace zv::test {
namespace {

constexpr int kTick = 882;  // frames per tick at 125 BPM and 44100 Hz

class ModTest : public SongTest {};

TEST_F(ModTest, SignaturesGiveTheChannelCount) {
  for (auto [tag, channels] : {std::pair<const char*, int>{"M.K.", 4}, {"M!K!", 4}, {"FLT4", 4}, {"6CHN", 6},
                               {"8CHN", 8}, {"10CH", 10}, {"32CH", 32}}) {
    TestModule m = OnePatternModule(channels);
    m.mod_signature = tag;
    Song* song = Load(WriteMod(m));
    ASSERT_NE(song, nullptr) << tag;
    EXPECT_EQ(song->format, SongFormat::kMod);
    EXPECT_EQ(song->channel_count, channels) << tag;
  }
}

TEST_F(ModTest, FileWithoutSignatureIsRefused) {
  TestModule m = OnePatternModule();
  m.mod_signature = "XXXX";
  EXPECT_EQ(Load(WriteMod(m)), nullptr);
  EXPECT_EQ(host.Error(), song_error::kBadFormat);
  m.mod_signature = "99CH";  // more channels than a song keeps
  EXPECT_EQ(Load(WriteMod(m)), nullptr);
}

TEST_F(ModTest, HeaderFieldsLoad) {
  TestModule m = OnePatternModule();
  m.name = "a mod";
  m.orders = {0, 1, 2};
  for (int i = 0; i < 2; ++i) m.patterns.emplace_back(64, 4);
  std::vector<uint8_t> bytes = WriteMod(m);
  bytes[952 + 100] = 5;  // an order past the song length still counts
  Song* song = Load(bytes);
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->name, "a mod");
  EXPECT_EQ(song->order_count, 3);
  EXPECT_EQ(song->pattern_count, 6);
  EXPECT_EQ(song->sample_count, 31);
  EXPECT_EQ(song->default_pan[0], 64);
  EXPECT_EQ(song->default_pan[1], 191);
  EXPECT_EQ(song->default_pan[2], 191);
  EXPECT_EQ(song->default_pan[3], 64);
  EXPECT_EQ(song->samples[0]->loop_mode, sample_loop::kNormal);
  EXPECT_EQ(song->samples[1]->length, 0);
}

TEST_F(ModTest, PeriodBecomesNoteAndFrequency) {
  TestModule m = OnePatternModule();
  m.patterns[0].At(0, 0) = {49, 1, -1, 0, 0};
  Song* song = LoadAndPlay(WriteMod(m));
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->patterns[0].data[0], 49);
  EXPECT_EQ(ModNotePeriod(49, 8363), 1712u);
  host.Render(engine, 1);
  ASSERT_EQ(EventsOf(Event::kStart).size(), 1u);
  EXPECT_EQ(ValuesOf(Event::kFrequency, 0).front(), 8362);
  EXPECT_EQ(ValuesOf(Event::kVolume, 0).front(), 128);  // 64 x 256 >> 7
}

TEST_F(ModTest, NotesStartOnTheirRows) {
  TestModule m = OnePatternModule();
  m.patterns[0].At(0, 0) = {49, 1, -1, 0, 0};
  m.patterns[0].At(2, 1) = {37, 1, -1, 0, 0};
  m.patterns[0].At(3, 0) = {49, 1, -1, 0, 0};
  LoadAndPlay(WriteMod(m));
  host.Render(engine, 30);
  const std::vector<Event> starts = EventsOf(Event::kStart);
  ASSERT_EQ(starts.size(), 3u);
  EXPECT_EQ(starts[0].frame, 0u);
  EXPECT_EQ(starts[1].frame, 2u * 6 * kTick);
  EXPECT_EQ(starts[2].frame, 3u * 6 * kTick);
}

TEST_F(ModTest, RenderIsSilentUntilTheFirstNote) {
  TestModule m = OnePatternModule();
  m.patterns[0].At(1, 0) = {25, 1, -1, 0, 0};
  LoadAndPlay(WriteMod(m));
  const std::vector<int16_t> pcm = host.Render(engine, 10);
  const size_t first_note = 6 * kTick;
  for (size_t i = 0; i < first_note * 2; ++i) ASSERT_EQ(pcm[i], 0) << i;
  int loud = 0;
  for (size_t i = first_note * 2; i < pcm.size(); ++i) loud += std::abs(pcm[i]) > 50;
  EXPECT_GT(loud, 1000);
}

TEST_F(ModTest, ArpeggioCyclesThreeNotes) {
  TestModule m = OnePatternModule();
  m.patterns[0].At(0, 0) = {49, 1, -1, 0x0, 0x47};
  LoadAndPlay(WriteMod(m));
  host.Render(engine, 5);
  const std::vector<int> f = ValuesOf(Event::kFrequency, 0);
  ASSERT_GE(f.size(), 6u);
  EXPECT_EQ(std::vector<int>(f.begin(), f.begin() + 6),
            (std::vector<int>{8362, 14317056 / 1356, 14317056 / 1140, 8362, 14317056 / 1356, 14317056 / 1140}));
}

TEST_F(ModTest, VolumeSlideDownEveryTickButTheFirst) {
  TestModule m = OnePatternModule();
  m.patterns[0].At(0, 0) = {49, 1, -1, 0xA, 0x02};
  LoadAndPlay(WriteMod(m));
  host.Render(engine, 5);
  const std::vector<int> v = ValuesOf(Event::kVolume, 0);
  ASSERT_GE(v.size(), 6u);
  EXPECT_EQ(std::vector<int>(v.begin(), v.begin() + 6), (std::vector<int>{128, 124, 120, 116, 112, 108}));
}

TEST_F(ModTest, TonePortamentoSlidesToTheTarget) {
  TestModule m = OnePatternModule();
  m.patterns[0].At(0, 0) = {49, 1, -1, 0, 0};
  m.patterns[0].At(1, 0) = {61, 0, -1, 0x3, 0x40};
  LoadAndPlay(WriteMod(m));
  host.Render(engine, 11);
  EXPECT_EQ(EventsOf(Event::kStart).size(), 1u);  // the target note does not restart
  const std::vector<int> f = ValuesOf(Event::kFrequency, 0);
  ASSERT_GE(f.size(), 6u);
  // The note of row 0, then four steps of 256 quarter periods and a hold.
  EXPECT_EQ(f[0], 8362);
  EXPECT_EQ(std::vector<int>(f.begin() + 1, f.begin() + 6),
            (std::vector<int>{14317056 / 1456, 14317056 / 1200, 14317056 / 944, 14317056 / 856, 14317056 / 856}));
}

TEST_F(ModTest, PortamentoUpStopsAtItsLimit) {
  TestModule m = OnePatternModule();
  m.patterns[0].At(0, 0) = {100, 1, -1, 0x1, 0xFF};
  LoadAndPlay(WriteMod(m));
  host.Render(engine, 5);
  EXPECT_EQ(ValuesOf(Event::kFrequency, 0).back(), 14317056 / 56);
}

TEST_F(ModTest, VibratoSwingsAroundTheNote) {
  TestModule m = OnePatternModule();
  m.patterns[0].At(0, 0) = {49, 1, -1, 0x4, 0x8F};
  for (int row = 1; row < 8; ++row) m.patterns[0].At(row, 0) = {-1, 0, -1, 0x4, 0x00};
  LoadAndPlay(WriteMod(m));
  host.Render(engine, 30);
  const std::vector<int> f = ValuesOf(Event::kFrequency, 0);
  int above = 0, below = 0;
  for (int hz : f) {
    above += hz > 8362;
    below += hz < 8362;
  }
  EXPECT_GT(above, 5);
  EXPECT_GT(below, 5);
}

TEST_F(ModTest, SampleOffsetStartsInsideTheSample) {
  TestModule m = OnePatternModule();
  m.patterns[0].At(0, 0) = {49, 1, -1, 0x9, 0x04};
  m.patterns[0].At(1, 0) = {49, 1, -1, 0x9, 0x00};  // the memory
  m.patterns[0].At(2, 0) = {49, 1, -1, 0x9, 0x10};  // past the end: no start
  LoadAndPlay(WriteMod(m));
  host.Render(engine, 15);
  const std::vector<Event> starts = EventsOf(Event::kStart);
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[0].value, 1024);
  EXPECT_EQ(starts[1].value, 1024);
  EXPECT_FALSE(EventsOf(Event::kStop).empty());
}

TEST_F(ModTest, PatternLoopRepeatsRows) {
  TestModule m = OnePatternModule();
  m.speed = 1;
  m.patterns[0].At(0, 0) = {0, 0, -1, 0xF, 0x01};
  m.patterns[0].At(1, 0) = {-1, 0, -1, 0xE, 0x60};
  m.patterns[0].At(2, 0) = {-1, 0, -1, 0xE, 0x62};
  Song* song = LoadAndPlay(WriteMod(m));
  static std::vector<int> rows;
  rows.clear();
  engine.SetSongRowCallback(song, [](Song*, uint8_t row) { rows.push_back(row); }, 1);
  host.Render(engine, 14);
  ASSERT_GE(rows.size(), 9u);
  EXPECT_EQ(std::vector<int>(rows.begin(), rows.begin() + 9), (std::vector<int>{0, 1, 2, 1, 2, 1, 2, 3, 4}));
}

TEST_F(ModTest, JumpAndBreakOnOneRow) {
  // B10 then D20 continue at row 20 of order 16; the other way round at row 0.
  for (bool jump_first : {true, false}) {
    TestModule m = OnePatternModule();
    m.patterns.emplace_back(64, 4);
    m.orders.assign(20, 0);
    m.orders[0] = 1;
    m.patterns[1].At(0, jump_first ? 0 : 2) = {-1, 0, -1, 0xB, 0x10};
    m.patterns[1].At(0, jump_first ? 2 : 0) = {-1, 0, -1, 0xD, 0x20};
    Song* song = LoadAndPlay(WriteMod(m));
    const auto rows = Rows(song, 8);
    ASSERT_GE(rows.size(), 2u);
    EXPECT_EQ(rows[1], std::make_pair(16, jump_first ? 20 : 0));
  }
}

TEST_F(ModTest, BreakPastTheLastRowGoesToRowZero) {
  TestModule m = OnePatternModule();
  m.orders = {0, 0};
  m.patterns[0].At(0, 0) = {-1, 0, -1, 0xD, 0x64};
  Song* song = LoadAndPlay(WriteMod(m));
  const auto rows = Rows(song, 8);
  ASSERT_GE(rows.size(), 2u);
  EXPECT_EQ(rows[1], std::make_pair(1, 0));
}

TEST_F(ModTest, SpeedZeroMakesEveryTickARow) {
  TestModule m = OnePatternModule();
  m.patterns[0].At(0, 0) = {-1, 0, -1, 0xF, 0x00};
  Song* song = LoadAndPlay(WriteMod(m));
  host.Render(engine, 8);  // about ten ticks
  EXPECT_GE(song->row, 9);
}

TEST_F(ModTest, EndOfOrdersSetsFinishedAndRestarts) {
  TestModule m = OnePatternModule();
  m.speed = 1;
  m.patterns[0].At(0, 0) = {-1, 0, -1, 0xF, 0x01};
  Song* song = LoadAndPlay(WriteMod(m));
  host.Render(engine, 55);  // 64 rows of one tick, and a few more
  EXPECT_TRUE(engine.IsSongFinished(song));
  EXPECT_EQ(song->order, 0);
  EXPECT_LT(song->row, 10);
}

TEST_F(ModTest, NoteCutAndDelayAndRetrigger) {
  TestModule m = OnePatternModule();
  m.patterns[0].At(0, 0) = {49, 1, -1, 0xE, 0xC2};  // cut on tick 2
  m.patterns[0].At(1, 0) = {49, 1, -1, 0xE, 0xD3};  // start on tick 3
  m.patterns[0].At(2, 0) = {49, 1, -1, 0xE, 0x92};  // again every second tick
  LoadAndPlay(WriteMod(m));
  host.Render(engine, 15);
  const std::vector<Event> starts = EventsOf(Event::kStart);
  ASSERT_EQ(starts.size(), 5u);
  EXPECT_EQ(starts[0].frame, 0u);
  EXPECT_EQ(starts[1].frame, (6u + 3u) * kTick);
  EXPECT_EQ(starts[2].frame, 12u * kTick);
  EXPECT_EQ(starts[3].frame, 14u * kTick);
  EXPECT_EQ(starts[4].frame, 16u * kTick);
  const std::vector<Event> volumes = EventsOf(Event::kVolume);
  bool cut = false;
  for (const Event& e : volumes) cut |= e.frame == 2u * kTick && e.value == 0;
  EXPECT_TRUE(cut);
}

TEST_F(ModTest, TempoChangeShortensTheTick) {
  TestModule m = OnePatternModule();
  m.patterns[0].At(0, 0) = {49, 1, -1, 0xF, 250};
  m.patterns[0].At(1, 0) = {49, 1, -1, 0, 0};
  Song* song = LoadAndPlay(WriteMod(m));
  host.Render(engine, 10);
  EXPECT_EQ(song->samples_per_tick, 441);
  // The new tempo holds from the tick that set it.
  EXPECT_EQ(EventsOf(Event::kStart)[1].frame, 6u * 441u);
}

TEST_F(ModTest, JunkBeforeTheSamplesIsPassedOver) {
  TestModule m = OnePatternModule();
  std::vector<uint8_t> bytes = WriteMod(m);
  const size_t sample_at = bytes.size() - 2000;
  bytes.insert(bytes.begin() + static_cast<long>(sample_at), 2000, 0x55);
  Song* song = Load(bytes);
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->samples[0]->data[0], 100 * 256);
  EXPECT_EQ(song->samples[0]->data[16], -100 * 256);
}

TEST_F(ModTest, CutShortFileLoadsAsSilence) {
  TestModule m = OnePatternModule();
  std::vector<uint8_t> bytes = WriteMod(m);
  bytes.resize(1500);
  Song* song = Load(bytes);
  ASSERT_NE(song, nullptr);
  EXPECT_TRUE(engine.PlaySong(song));
  host.Render(engine, 4);
}

// Samples claiming 128 KB each in a file cut after them hold what it has.
TEST_F(ModTest, ClaimedSampleLengthsCostOnlyWhatTheFileHolds) {
  std::vector<uint8_t> bytes = WriteMod(OnePatternModule());
  for (size_t i = 0; i < 31; ++i) bytes[20 + 30 * i + 22] = bytes[20 + 30 * i + 23] = 0xFF;
  bytes.resize(1084 + 1024 + 100);  // one pattern of four channels, 100 bytes of data
  const PeakMemoryWatch watch;
  if (!watch.Available()) GTEST_SKIP() << "the kernel cannot reset this process's peak memory";
  Song* song = Load(bytes);
  ASSERT_NE(song, nullptr);
  EXPECT_LT(watch.RiseKb(), 1024u);
  EXPECT_EQ(song->samples[0]->length + song->samples[1]->length, 100);
}

}  // namespace
}  // namespace zv::test
