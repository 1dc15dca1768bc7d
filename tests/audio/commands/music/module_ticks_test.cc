// Modules loaded and played by compiled BASIC programs, heard through the
// sound library mixing offline and measured tick by tick: the pitch and the
// loudness of every tick of a row, as the players' per-tick rules make them.
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>
#include <vector>

#include "audio/commands/music_commands.h"
#include "audio/commands/music_service.h"
#include "audio/library/formats/song_library_host.h"
#include "tests/audio/commands/sound_program_fixture.h"
#include "tests/audio/library/formats/songs/module_builder.h"

namespace zv::test {
namespace {

constexpr int kTickFrames = 882;  // speed 6 at tempo 125 and 44100 Hz
// The mixer ramps a volume change over 128 frames; a tick is measured after it.
constexpr int kSettle = 160;
// The sample is a square wave of 8 frames at 8363 Hz: the note's own pitch.
constexpr double kBaseHz = 8363.0 / 8;

// What one tick sounds like.
struct Tick {
  double hz = 0;  // from the rising zero crossings of the left channel; 0 when silent
  int peak = 0;
  int right_peak = 0;
};

// Which tick of the pattern below should sound how: the semitones above the
// note, and whether it is heard at all.
struct Due {
  int semitones;
  bool heard;
};

// Two rows of arpeggio "037" on a note, then two rows of tremor "21" (three
// ticks on, two off) on a fresh note, at speed 6. The tremor counter runs on
// across the row: on, on, on, off, off, on | on, on, off, off, on, on.
const std::vector<Due> kDue = {
    {0, true}, {3, true}, {7, true}, {0, true}, {3, true}, {7, true},        // row 0: note, arpeggio
    {0, true}, {3, true}, {7, true}, {0, true}, {3, true}, {7, true},        // row 1: arpeggio
    {0, true}, {0, true}, {0, true}, {0, false}, {0, false}, {0, true},      // row 2: note, tremor
    {0, true}, {0, true}, {0, false}, {0, false}, {0, true}, {0, true},      // row 3: tremor
};
const int kDueTicks = static_cast<int>(kDue.size());

// One pattern of two channels and a looped square wave, as `format`
// ("xm", "it", "s3m" or "mod") holds it: the first two take it through an
// instrument, and IT plays at full global volume.
TestModule SquareWaveModule(const std::string& format) {
  TestModule m;
  m.channels = format == "mod" ? 4 : 2;  // as its signature says
  m.orders = {0};
  m.patterns.emplace_back(64, 2);
  TestSample s;
  s.data = SquareWave(4000, 8);
  s.loop = true;
  s.loop_length = 4000;
  m.samples.push_back(s);
  if (format != "s3m" && format != "mod") {
    m.instruments.push_back(TestInstrument{});
    m.instruments[0].samples = {0};
  }
  if (format == "it") m.global_volume = 128;
  return m;
}

std::vector<uint8_t> WriteModule(const TestModule& m, const std::string& format) {
  if (format == "mod") return WriteMod(m);
  return format == "xm" ? WriteXm(m) : format == "it" ? WriteIt(m) : WriteS3m(m);
}

// The pattern above with the format's note number, effect numbers and the
// arpeggio's parameter on the second row (0 where the format remembers it).
TestModule ArpeggioThenTremor(const std::string& format, int note, int arpeggio, int repeat_arpeggio, int tremor) {
  TestModule m = SquareWaveModule(format);
  TestPattern& p = m.patterns[0];
  p.At(0, 0) = {note, 1, -1, arpeggio, 0x37};
  p.At(1, 0) = {-1, 0, -1, arpeggio, repeat_arpeggio};
  p.At(2, 0) = {note, 1, -1, tremor, 0x21};
  p.At(3, 0) = {-1, 0, -1, tremor, 0x21};
  return m;
}

class ModuleTicksTest : public SoundProgramTest {
 protected:
  ModuleTicksTest() {
    RegisterMusicHandlers(handlers);
    service.SetMusic(&music);
    // An earlier test of the same process may have taken the hooks away.
    InstallLibrarySongHooks();
  }
  void TearDown() override {
    music.DeleteAllMusic();
    std::remove(file_.c_str());
    SoundProgramTest::TearDown();
  }

  // Writes the module, has a program load and play it, and hears `ticks` ticks.
  std::vector<Tick> PlayTicks(const std::vector<uint8_t>& module, const std::string& extension, int ticks) {
    file_ = TempPath("ticks." + extension);
    EXPECT_TRUE(WriteBytes(file_, module));
    EXPECT_TRUE(Run("load music \"" + file_ + "\", 1\nplay music 1\n"));
    EXPECT_EQ(Error(), 0);
    const std::vector<int16_t> heard = Hear(ticks * kTickFrames);
    std::vector<Tick> out;
    for (int t = 0; t < ticks; ++t) out.push_back(Measure(heard, t * kTickFrames + kSettle, (t + 1) * kTickFrames));
    return out;
  }

  std::vector<Tick> PlayModule(const std::string& format, const TestModule& m, int ticks) {
    return PlayTicks(WriteModule(m, format), format, ticks);
  }

  static Tick Measure(const std::vector<int16_t>& stereo, int from, int to) {
    Tick tick;
    double first = -1, last = -1;
    int rises = 0;
    for (int i = from; i < to; ++i) {
      const int a = stereo[static_cast<size_t>(i) * 2];
      tick.peak = std::max(tick.peak, std::abs(a));
      tick.right_peak = std::max(tick.right_peak, std::abs(int{stereo[static_cast<size_t>(i) * 2 + 1]}));
      if (i == from) continue;
      const int before = stereo[static_cast<size_t>(i - 1) * 2];
      if (before <= 0 && a > 0) {
        const double at = i - 1 + static_cast<double>(-before) / (a - before);
        if (first < 0) first = at;
        last = at;
        ++rises;
      }
    }
    if (rises > 1 && tick.peak > 0) tick.hz = (rises - 1) * 44100.0 / (last - first);
    return tick;
  }

  // Each tick against kDue: within 1% of its pitch (a semitone is 6%) when
  // heard, silent when not.
  static void ExpectDue(const std::vector<Tick>& ticks) {
    ASSERT_EQ(ticks.size(), kDue.size());
    for (size_t t = 0; t < ticks.size(); ++t) {
      SCOPED_TRACE("tick " + std::to_string(t));
      if (!kDue[t].heard) {
        EXPECT_EQ(ticks[t].peak, 0);
        continue;
      }
      EXPECT_GT(ticks[t].peak, 500);
      const double due = kBaseHz * std::exp2(kDue[t].semitones / 12.0);
      EXPECT_NEAR(ticks[t].hz, due, due * 0.01);
    }
  }

  MusicService music;
  std::string file_;
};

TEST_F(ModuleTicksTest, XmArpeggioAndTremorTickByTick) {
  // C-4; effect 0 has no memory
  ExpectDue(PlayModule("xm", ArpeggioThenTremor("xm", 49, 0x0, 0x37, 'T' - 'A' + 10), kDueTicks));
}

TEST_F(ModuleTicksTest, ItArpeggioAndTremorTickByTick) {
  // C-5
  ExpectDue(PlayModule("it", ArpeggioThenTremor("it", 60, 'J' - 'A' + 1, 0, 'I' - 'A' + 1), kDueTicks));
}

TEST_F(ModuleTicksTest, S3mArpeggioAndTremorTickByTick) {
  // C-4
  ExpectDue(PlayModule("s3m", ArpeggioThenTremor("s3m", 49, 'J' - 'A' + 1, 0, 'I' - 'A' + 1), kDueTicks));
}

// A tremor whose parameter is 0, first on a fresh note, then after one of
// 21 (three ticks on, two off), at speed 6: 'h' heard, 's' silent. XM's
// memory starts at 0, one tick on and one off; IT takes every parameter as
// it stands; S3M keeps the times it has and a note with none stays silent.
struct ZeroTremor {
  const char* format;
  int note, effect;
  const char* due;  // rows 0 (00), 1 (21) and 2 (00)
};

void PrintTo(const ZeroTremor& c, std::ostream* os) { *os << c.format; }

class ZeroTremorTest : public ModuleTicksTest, public ::testing::WithParamInterface<ZeroTremor> {};

TEST_P(ZeroTremorTest, TickByTick) {
  const ZeroTremor& c = GetParam();
  const std::string format = c.format;
  TestModule m = SquareWaveModule(format);
  TestPattern& p = m.patterns[0];
  p.At(0, 0) = {c.note, 1, -1, c.effect, 0x00};
  p.At(1, 0) = {-1, 0, -1, c.effect, 0x21};
  p.At(2, 0) = {-1, 0, -1, c.effect, 0x00};
  std::string heard;
  for (const Tick& t : PlayModule(format, m, 18)) heard += t.peak > 0 ? 'h' : 's';
  EXPECT_EQ(heard, c.due);
}

INSTANTIATE_TEST_SUITE_P(Formats, ZeroTremorTest,
                         ::testing::Values(ZeroTremor{"xm", 49, 'T' - 'A' + 10, "hshshs" "hhhssh" "hhsshh"},
                                           ZeroTremor{"it", 60, 'I' - 'A' + 1, "hshshs" "hhhssh" "shshsh"},
                                           ZeroTremor{"s3m", 49, 'I' - 'A' + 1, "ssssss" "hhhssh" "hhsshh"}),
                         [](const auto& info) { return std::string(info.param.format); });

// A MOD note under a tremolo (7xy) sends no volume of its own on its first
// tick, so it sounds at the library sample's default volume, which is the
// sample's volume byte: half the level of full volume (64 of 255 against
// 64 x 256 >> 7 = 128), never more. Depth 0 leaves the later ticks at full
// volume, as the plain note on the next row plays throughout.
TEST_F(ModuleTicksTest, ModTremoloNoteStartsAtItsVolumeByte) {
  TestModule m = SquareWaveModule("mod");
  m.patterns[0].At(0, 0) = {49, 1, -1, 0x7, 0x40};
  m.patterns[0].At(1, 0) = {49, 1, -1, 0x0, 0x00};
  const std::vector<Tick> ticks = PlayModule("mod", m, 12);
  const int full = ticks[6].peak;
  ASSERT_GT(full, 500);
  EXPECT_NEAR(ticks[0].peak, full / 2, full / 20);
  for (int t = 1; t < 12; ++t) EXPECT_NEAR(ticks[static_cast<size_t>(t)].peak, full, full / 50) << "tick " << t;
}

// A note delayed by SDx on a channel panned hard right starts there, as the
// undelayed note on the next row does: nothing reaches the left.
TEST_F(ModuleTicksTest, S3mDelayedNoteKeepsTheChannelsPan) {
  TestModule m = SquareWaveModule("s3m");
  m.patterns[0].At(0, 1) = {49, 1, -1, 'S' - 'A' + 1, 0xD2};
  m.patterns[0].At(1, 1) = {49, 1, -1, 0, 0};
  const std::vector<Tick> ticks = PlayModule("s3m", m, 12);
  for (int t = 0; t < 12; ++t) {
    SCOPED_TRACE("tick " + std::to_string(t));
    EXPECT_EQ(ticks[static_cast<size_t>(t)].peak, 0);
    if (t >= 2) {
      EXPECT_GT(ticks[static_cast<size_t>(t)].right_peak, 500);
    }
  }
}

// A MOD retrigger (E9x) starts the sample again as the note sounds: at its
// pitch, level and pan (the library would start it at its own), on every
// tick of the row as before it.
TEST_F(ModuleTicksTest, ModRetriggerKeepsPitchLevelAndPan) {
  TestModule m = SquareWaveModule("mod");
  m.patterns[0].At(0, 1) = {49, 1, -1, 0xE, 0x93};
  const std::vector<Tick> ticks = PlayModule("mod", m, 12);
  for (int t = 0; t < 12; ++t) {
    SCOPED_TRACE("tick " + std::to_string(t));
    const Tick& tick = ticks[static_cast<size_t>(t)];
    EXPECT_NEAR(tick.hz, kBaseHz, kBaseHz * 0.01);
    EXPECT_NEAR(tick.peak, ticks[0].peak, ticks[0].peak / 50);
    EXPECT_NEAR(tick.right_peak, ticks[0].right_peak, ticks[0].right_peak / 50);
  }
  EXPECT_GT(ticks[0].right_peak, 2 * ticks[0].peak);  // the channel's pan, right of centre
}

}  // namespace
}  // namespace zv::test
