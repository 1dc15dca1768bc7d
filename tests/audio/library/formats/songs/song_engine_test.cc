#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "audio/library/load_shortfall.h"
#include "tests/audio/library/formats/songs/song_fixture.h"
#include "tests/support/test_paths.h"

namespace zv::test {
namespace {

class SongEngineTest : public SongTest {};

TEST_F(SongEngineTest, NothingLoadsAFileOfNoFormat) {
  const std::vector<uint8_t> junk(3000, 0x42);
  EXPECT_EQ(Load(junk), nullptr);
  EXPECT_EQ(host.Error(), song_error::kBadFormat);
  EXPECT_EQ(engine.LoadSong("/no/such/file.mod"), nullptr);
  EXPECT_EQ(host.Error(), song_error::kFileNotFound);
}

TEST_F(SongEngineTest, ModIsTriedFirst) {
  std::vector<uint8_t> bytes = WriteMod(OnePatternModule());
  std::copy_n("SCRM", 4, bytes.begin() + 44);
  Song* song = Load(bytes);
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(engine.GetSongFormat(song), static_cast<int32_t>(SongFormat::kMod));
}

TEST_F(SongEngineTest, NullSongsAreRefused) {
  EXPECT_FALSE(engine.PlaySong(nullptr));
  EXPECT_EQ(host.Error(), song_error::kBadParameter);
  EXPECT_FALSE(engine.FreeSong(nullptr));
  EXPECT_EQ(engine.GetSongFormat(nullptr), 0);
  EXPECT_EQ(engine.GetSongMasterVolume(nullptr), -1);
  EXPECT_EQ(engine.GetSongAudibleRow(nullptr), -1);
  EXPECT_EQ(engine.GetSongName(nullptr), nullptr);
}

TEST_F(SongEngineTest, SettingsAreClamped) {
  Song* song = Load(WriteMod(OnePatternModule()));
  ASSERT_NE(song, nullptr);
  engine.SetSongMasterVolume(song, 300);
  EXPECT_EQ(engine.GetSongMasterVolume(song), 256);
  engine.SetSongMasterVolume(song, -5);
  EXPECT_EQ(engine.GetSongMasterVolume(song), 0);
  engine.SetSongPanSeparation(song, 1.5f);
  EXPECT_EQ(song->pan_separation, 1.0f);
  engine.SetSongPanSeparation(song, -0.1f);
  EXPECT_EQ(song->pan_separation, 0.0f);
  engine.SetSongTempo(*song, 0);
  EXPECT_EQ(engine.GetSongTempo(song), 1);
  engine.SetSongTempo(*song, -20);
  EXPECT_EQ(engine.GetSongTempo(song), 1);
  engine.SetSongTempo(*song, 125);
  EXPECT_EQ(song->samples_per_tick, 882);
  EXPECT_FALSE(engine.SetSongRowCallback(song, nullptr, -1));
  EXPECT_EQ(host.Error(), song_error::kBadParameter);
}

TEST_F(SongEngineTest, SetOrderClampsToTheList) {
  TestModule m = OnePatternModule();
  m.orders = {0, 0, 0};
  Song* song = LoadAndPlay(WriteMod(m));
  engine.SetSongOrder(song, 10);
  host.Render(engine, 1);
  EXPECT_EQ(song->order, 2);
  engine.SetSongOrder(song, -4);
  host.Render(engine, 1);
  EXPECT_EQ(song->order, 0);
}

// Played once, every player's song stops when it comes round: here it never
// runs out of orders but jumps back to its second one. Played on, it goes
// round by its own jump as it always did, and is not reported finished.
TEST_F(SongEngineTest, PlayedOnceEveryFormatStopsWhenTheSongComesRound) {
  struct Format {
    const char* name;
    std::vector<uint8_t> (*write)(const TestModule&);
    int speed, pattern_break, jump;  // the effect numbers in the format's own numbering
  };
  for (const Format& f : {Format{"mod", WriteMod, 0xF, 0xD, 0xB}, Format{"s3m", WriteS3m, 1, 3, 2},
                          Format{"xm", WriteXm, 0xF, 0xD, 0xB}, Format{"it", WriteIt, 1, 3, 2}}) {
    for (bool once : {true, false}) {
      SCOPED_TRACE(std::string(f.name) + (once ? " once" : " on"));
      TestModule m;
      m.instrument_mode = false;
      m.orders = {0, 1, 2};
      for (int p = 0; p < 3; ++p) m.patterns.emplace_back(64, 4);
      m.patterns[0].At(0, 0) = {-1, 0, -1, f.speed, 1};  // a tick (20 ms) a row
      m.patterns[1].At(0, 0) = {-1, 0, -1, f.pattern_break, 0};
      m.patterns[2].At(0, 0) = {-1, 0, -1, f.jump, 1};
      Song* song = Load(f.write(m));
      ASSERT_NE(song, nullptr);
      ASSERT_TRUE(engine.SetSongPlayOnce(song, once));
      ASSERT_TRUE(engine.PlaySong(song));
      host.Render(engine, 50);  // 1 s of the 66 rows (1.32 s) of a pass
      EXPECT_TRUE(engine.IsSongPlaying(song));
      EXPECT_FALSE(engine.IsSongFinished(song));
      host.Render(engine, 10);
      EXPECT_EQ(engine.IsSongPlaying(song), !once);
      EXPECT_EQ(engine.IsSongFinished(song), once);
      engine.StopSong(song);
    }
  }
}

TEST_F(SongEngineTest, AudiblePositionLagsTheBuffer) {
  TestModule m = OnePatternModule();
  m.patterns[0].At(0, 0) = {-1, 0, -1, 0xF, 1};  // a row per tick
  Song* song = LoadAndPlay(WriteMod(m));
  EXPECT_EQ(engine.GetSongAudibleOrder(song), 0);
  EXPECT_EQ(engine.GetSongAudibleRow(song), 0);
  host.Render(engine, 4);  // the whole buffer (100 ms)
  // What is heard now is the block mixed a buffer ago: the first, at 0 ms,
  // which ended in row 1.
  EXPECT_EQ(engine.GetSongTime(song), 0);
  EXPECT_EQ(engine.GetSongAudibleRow(song), 1);
  host.Render(engine, 1);
  EXPECT_EQ(engine.GetSongTime(song), 25);
  EXPECT_EQ(engine.GetSongAudibleRow(song), 2);
}

TEST_F(SongEngineTest, RowCallbackEveryFourthRowOneBufferLater) {
  TestModule m = OnePatternModule();
  m.patterns[0].At(0, 0) = {-1, 0, -1, 0xF, 1};
  Song* song = LoadAndPlay(WriteMod(m));
  static std::vector<std::pair<int, uint32_t>> calls;
  calls.clear();
  engine.SetSongRowCallback(song, [](Song* s, uint8_t row) { calls.emplace_back(row, s->time_ms); }, 4);
  host.Render(engine, 20);
  ASSERT_GE(calls.size(), 4u);
  EXPECT_EQ(calls[0], std::make_pair(0, 75u));   // queued at 0 ms, heard 75 ms later
  EXPECT_EQ(calls[1].first, 4);
  EXPECT_EQ(calls[2].first, 8);
  EXPECT_EQ(calls[3].first, 12);
}

TEST_F(SongEngineTest, ZxxAndInstrumentEvents) {
  TestModule m = OnePatternModule();
  m.patterns[0].At(1, 0) = {-1, 0, -1, 26, 0x42};
  m.patterns[0].At(2, 1) = {49, 1, -1, 0, 0};
  Song* song = LoadAndPlay(WriteS3m(m));
  static std::vector<int> zxx, instruments;
  zxx.clear();
  instruments.clear();
  engine.SetSongZxxCallback(song, [](Song*, uint8_t v) { zxx.push_back(v); });
  engine.SetSongInstrumentCallback(song, [](Song*, uint8_t v) { instruments.push_back(v); }, 1);
  host.Render(engine, 20);
  EXPECT_EQ(zxx, (std::vector<int>{0x42}));
  EXPECT_EQ(instruments, (std::vector<int>{1}));
}

TEST_F(SongEngineTest, ReplacingASampleKeepsItsSettings) {
  Song* song = LoadAndPlay(WriteMod(OnePatternModule()));
  auto* replacement = new SongSample;
  replacement->data.assign(4000, 1000);
  replacement->length = 4000;
  ASSERT_TRUE(engine.SetSongSample(song, 0, replacement));
  EXPECT_EQ(engine.GetSongSample(song, 0), replacement);
  EXPECT_EQ(replacement->loop_mode, sample_loop::kNormal);
  EXPECT_EQ(replacement->loop_length, 2000);
  EXPECT_EQ(replacement->default_volume, 64);
  EXPECT_FALSE(engine.SetSongSample(song, -1, replacement));
  auto* extra = new SongSample;
  ASSERT_TRUE(engine.SetSongSample(song, 40, extra));
  EXPECT_EQ(song->sample_count, 41);
  EXPECT_EQ(engine.GetSongSample(song, 41), nullptr);
  EXPECT_EQ(host.Error(), song_error::kBadParameter);
  engine.FreeSong(song);
  loaded.clear();
  delete replacement;
  delete extra;
}

// A module cut short loads what it holds and says what it lacks, and at
// least how many bytes (what headers the file ends before claim is unknown).
TEST_F(SongEngineTest, EveryFormatCutShortSaysWhatItLacks) {
  // The sample's 2000 bytes end each file, `cut` go; an IT sample packed in blocks claims their counts.
  const std::tuple<std::vector<uint8_t> (*)(const TestModule&), size_t, const char*, bool> rows[] = {
      {WriteMod, 500, "1 sample", false},         {WriteS3m, 500, "1 sample", false},
      {WriteXm, 500, "1 sample", false},          {WriteIt, 500, "1 sample", false},
      {WriteIt, 10, "1 sample", true},            {WriteMod, 2100, "1 pattern and 1 sample", false},
      {WriteS3m, 2100, "1 pattern and 1 sample", false}, {WriteXm, 2500, "1 pattern and 1 instrument", false},
      {WriteIt, 2001, "1 pattern and 1 sample", false}};
  for (const auto& [write, cut, what, packed] : rows) {
    SCOPED_TRACE(std::string(what) + " cut by " + std::to_string(cut));
    TestModule m = OnePatternModule();
    m.instrument_mode = false;
    m.instruments.emplace_back().samples = {0};
    m.it_version = packed ? 0x214 : m.it_version;
    m.samples[0].it_packed = packed;
    const std::vector<uint8_t> whole = write(m);
    ASSERT_NE(Load(whole), nullptr);
    EXPECT_FALSE(TakeLoadShortfall());
    const Song* song = Load(std::vector<uint8_t>(whole.begin(), whole.end() - static_cast<long>(cut)));
    ASSERT_NE(song, nullptr);
    const std::optional<LoadShortfall> lacked = TakeLoadShortfall();
    ASSERT_TRUE(lacked);
    EXPECT_EQ(lacked->what, what);
    EXPECT_LE(lacked->missing_bytes, cut);  // exact where the sample's header came
    if (cut <= 2000) { EXPECT_EQ(lacked->missing_bytes, cut); }
    if (cut != 500) continue;
    const SongSample& kept = *song->samples.at(0);  // cut inside it: what came, in its place
    EXPECT_EQ(std::pair(kept.length, kept.data[0] / 256), std::pair(1500, 100));
  }
}

TEST_F(SongEngineTest, VoicesBeyondTheLimitAreCulledWhenQuiet) {
  TestModule m = OnePatternModule();
  m.samples[0].volume = 0;
  m.patterns[0].At(0, 0) = {49, 1, -1, 0, 0};
  m.patterns[0].At(0, 1) = {49, 1, -1, 0, 0};
  Song* song = Load(WriteMod(m));
  engine.SetSongVoiceLimits(song, 0, 10);
  engine.PlaySong(song);
  host.Render(engine, 2);
  EXPECT_TRUE(EventsOf(Event::kStart).size() <= 1u);
  EXPECT_FALSE(EventsOf(Event::kStop).empty());
}

}  // namespace
}  // namespace zv::test

namespace zv::test {
namespace {

// The fuzz targets' seeds are songs of their formats that play.
TEST_F(SongEngineTest, FuzzSeedsLoadAndPlay) {
  const std::pair<const char*, SongFormat> kinds[] = {{"mod", SongFormat::kMod}, {"s3m", SongFormat::kS3m},
                                                      {"xm", SongFormat::kXm},   {"it", SongFormat::kIt},
                                                      {"midi", SongFormat::kMidi}};
  int seeds = 0;
  for (const auto& [folder, format] : kinds) {
    for (const auto& entry : std::filesystem::directory_iterator(zv::test::SourcePath("fuzz/") + folder + "/corpus")) {
      std::ifstream in(entry.path(), std::ios::binary);
      const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      Song* song = Load(bytes);
      ASSERT_NE(song, nullptr) << entry.path();
      EXPECT_FALSE(TakeLoadShortfall()) << entry.path() << " is whole";
      EXPECT_EQ(song->format, format) << entry.path();
      EXPECT_TRUE(engine.PlaySong(song));
      host.Render(engine, 20);
      engine.StopSong(song);
      ++seeds;
    }
  }
  EXPECT_GE(seeds, 10);
}

}  // namespace
}  // namespace zv::test
