#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "audio/library/formats/midi_file.h"
#include "audio/library/formats/midi_song.h"
#include "platform/midi/midi_synth.h"
#include "tests/audio/library/formats/songs/song_fixture.h"

namespace zv::test {
namespace {

constexpr int kRate = 44100;

// Two notes a tempo change apart: the first at 0 for 250 ms (then all sound
// off), the tempo halves at 500 ms, the second note starts at 1000 ms (750 ms
// without the change) and the song ends at 1500 ms.
std::vector<uint8_t> TwoNoteSong() {
  return WriteMidi({
      {0, {0xC0, 0}},
      {0, {0x90, 60, 110}},
      {48, {0x80, 60, 0}},
      {0, {0xB0, 120, 0}},
      {48, {0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40}},  // 1,000,000 us a beat
      {48, {0x90, 67, 110}},
      {48, {0x80, 67, 0}},
  });
}

// Frames from `from` on until the sound first gets loud.
int64_t Onset(const std::vector<int16_t>& pcm, size_t from_frame, int threshold = 300) {
  for (size_t f = from_frame; f * 2 + 1 < pcm.size(); ++f) {
    if (std::abs(pcm[2 * f]) > threshold || std::abs(pcm[2 * f + 1]) > threshold) return static_cast<int64_t>(f);
  }
  return -1;
}

int64_t LoudFrames(const std::vector<int16_t>& pcm, size_t from_frame, size_t to_frame) {
  int64_t loud = 0;
  for (size_t f = from_frame; f < to_frame && f * 2 + 1 < pcm.size(); ++f)
    loud += std::abs(pcm[2 * f]) > 100 || std::abs(pcm[2 * f + 1]) > 100;
  return loud;
}

TEST(MidiFileTest, TempoChangesMoveTheEvents) {
  MidiSequence sequence;
  ASSERT_TRUE(ParseMidiFile(TwoNoteSong(), sequence));
  std::vector<uint64_t> note_ons;
  for (const MidiEvent& e : sequence.events) {
    if ((e.status & 0xF0) == 0x90) note_ons.push_back(e.time_us);
  }
  EXPECT_EQ(note_ons, (std::vector<uint64_t>{0, 1000000}));
  EXPECT_EQ(sequence.length_us, 1500000u);
  EXPECT_EQ(sequence.initial_bpm, 120);
}

TEST(MidiFileTest, RunningStatusAndTracksMerge) {
  // Format 1: a tempo track and a note track with running status.
  std::vector<uint8_t> bytes = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 2, 0, 96};
  const std::vector<uint8_t> tempo = {0, 0xFF, 0x51, 3, 0x03, 0x0D, 0x40, 0, 0xFF, 0x2F, 0};  // 200,000 us
  const std::vector<uint8_t> notes = {0, 0x90, 60, 100, 96, 62, 100, 96, 0x80, 60, 0, 0, 0xFF, 0x2F, 0};
  for (const auto* track : {&tempo, &notes}) {
    bytes.insert(bytes.end(), {'M', 'T', 'r', 'k', 0, 0, 0, static_cast<uint8_t>(track->size())});
    bytes.insert(bytes.end(), track->begin(), track->end());
  }
  MidiSequence sequence;
  ASSERT_TRUE(ParseMidiFile(bytes, sequence));
  ASSERT_EQ(sequence.events.size(), 3u);
  EXPECT_EQ(sequence.events[1].data1, 62);
  EXPECT_EQ(sequence.events[1].time_us, 200000u);
  EXPECT_EQ(sequence.events[2].time_us, 400000u);
}

TEST(MidiFileTest, RiffMidiHoldsAStandardFile) {
  const std::vector<uint8_t> smf = TwoNoteSong();
  const std::vector<uint8_t> rmi = WrapRmi(smf);
  const auto found = FindStandardMidiFile(rmi);
  ASSERT_EQ(found.size(), smf.size());
  EXPECT_EQ(found[0], 'M');
  std::vector<uint8_t> wave = rmi;
  std::copy_n("WAVEfmt ", 8, wave.begin() + 8);
  EXPECT_TRUE(FindStandardMidiFile(wave).empty());
}

TEST(MidiFileTest, DamagedFilesParseAsFarAsTheyGo) {
  MidiSequence sequence;
  const auto cut = [&] { return std::pair(sequence.cut.count[SongCutParts::kTrack], sequence.cut.missing_bytes); };
  // Cut inside its track: what came plays, and the track lacks the rest.
  std::vector<uint8_t> bytes = TwoNoteSong();
  bytes.resize(bytes.size() - 9);
  EXPECT_TRUE(ParseMidiFile(bytes, sequence));
  EXPECT_FALSE(sequence.events.empty());
  EXPECT_EQ(cut(), std::pair(1, uint64_t{9}));
  // Counting a second track: one whose header the file ends inside is cut;
  // one the file ends before may never have been written.
  std::vector<uint8_t> two = TwoNoteSong();
  two[11] = 2;
  ASSERT_TRUE(ParseMidiFile(two, sequence));
  EXPECT_EQ(cut(), std::pair(0, uint64_t{0}));
  two.insert(two.end(), {'M', 'T', 'r', 'k'});
  ASSERT_TRUE(ParseMidiFile(two, sequence));
  EXPECT_EQ(cut(), std::pair(1, uint64_t{4}));
  EXPECT_FALSE(ParseMidiFile(std::vector<uint8_t>{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 0}, sequence));
}

// The MIDI synthesiser is made once: loading the SoundFont takes a moment.
MidiSynthesizer& SharedSynthesizer() {
  static auto* synth = new MidiSynthesizer;
  return *synth;
}

class MidiSongTest : public SongTest {
 protected:
  MidiSongTest() { engine.SetMidiSynthesizer(&SharedSynthesizer()); }
};

TEST_F(MidiSongTest, RiffWaveAndAviAreRefused) {
  std::vector<uint8_t> rmi = WrapRmi(TwoNoteSong());
  std::vector<uint8_t> wave = rmi;
  std::copy_n("WAVEfmt ", 8, wave.begin() + 8);
  EXPECT_EQ(Load(wave), nullptr);
  EXPECT_EQ(host.Error(), song_error::kBadFormat);
  std::vector<uint8_t> avi = rmi;
  std::copy_n("AVI LIST", 8, avi.begin() + 8);
  EXPECT_EQ(Load(avi), nullptr);
  Song* song = Load(rmi);
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->format, SongFormat::kMidi);
  EXPECT_EQ(song->initial_tempo, 125);
}

TEST_F(MidiSongTest, RendersThroughTheSynthesiserWithItsTempo) {
  Song* song = LoadAndPlay(TwoNoteSong());
  ASSERT_NE(song, nullptr);
  const int blocks = 2 * kRate / host.BlockFrames();  // two seconds
  const std::vector<int16_t> pcm = host.Render(engine, blocks);
  EXPECT_GT(LoudFrames(pcm, 0, kRate / 4), kRate / 10);
  // Silent after the first note's all-sound-off, until the second note.
  EXPECT_EQ(LoudFrames(pcm, kRate * 3 / 10, kRate * 9 / 10), 0);
  const int64_t second = Onset(pcm, kRate / 2);
  EXPECT_GE(second, kRate * 99 / 100);
  EXPECT_LE(second, kRate * 103 / 100);
  EXPECT_TRUE(engine.IsSongFinished(song));
  EXPECT_EQ(engine.GetSongTime(song), 1500);
}

TEST_F(MidiSongTest, SongTimeFollowsPlayAndPause) {
  Song* song = LoadAndPlay(TwoNoteSong());
  ASSERT_NE(song, nullptr);
  host.Render(engine, 24);  // 600 ms
  EXPECT_FALSE(engine.IsSongFinished(song));
  const int32_t at_pause = engine.GetSongTime(song);
  EXPECT_NEAR(at_pause, 600, 10);
  engine.SetSongPaused(song, 1);
  const std::vector<int16_t> paused = host.Render(engine, 20);
  EXPECT_EQ(LoudFrames(paused, 0, paused.size() / 2), 0);
  EXPECT_EQ(engine.GetSongTime(song), at_pause);
  engine.SetSongPaused(song, 0);
  const std::vector<int16_t> resumed = host.Render(engine, 24);
  // The second note is 400 ms after the pause point.
  const int64_t onset = Onset(resumed, 0);
  EXPECT_NEAR(static_cast<double>(onset), 0.4 * kRate, 0.03 * kRate);
  EXPECT_GT(engine.GetSongTime(song), at_pause + 500);
}

TEST_F(MidiSongTest, MasterVolumeZeroIsSilence) {
  EXPECT_EQ(VolumeToHundredthsDb(0), -10000);
  EXPECT_EQ(VolumeToHundredthsDb(255), 0);
  EXPECT_NEAR(VolumeToHundredthsDb(128), -997, 10);
  Song* song = Load(TwoNoteSong());
  ASSERT_NE(song, nullptr);
  engine.SetSongMasterVolume(song, 0);
  ASSERT_TRUE(engine.PlaySong(song));
  const std::vector<int16_t> pcm = host.Render(engine, 8);
  // The synthesiser ramps a change of gain over its first few frames.
  EXPECT_LT(LoudFrames(pcm, 0, pcm.size() / 2), 64);
  EXPECT_EQ(LoudFrames(pcm, 256, pcm.size() / 2), 0);
  engine.SetSongMasterVolume(song, 256);
}

TEST_F(MidiSongTest, StopAndReplayStartFromTheBeginning) {
  Song* song = LoadAndPlay(TwoNoteSong());
  ASSERT_NE(song, nullptr);
  host.Render(engine, 30);
  ASSERT_TRUE(engine.StopSong(song));
  EXPECT_FALSE(engine.IsSongPlaying(song));
  ASSERT_TRUE(engine.PlaySong(song));
  EXPECT_TRUE(engine.IsSongPlaying(song));
  const std::vector<int16_t> pcm = host.Render(engine, 4);
  EXPECT_GT(LoudFrames(pcm, 0, pcm.size() / 2), 1000);
  EXPECT_LT(engine.GetSongTime(song), 150);
}

TEST(FluidMidiSynthTest, TheSoundFontLoads) {
  std::string error;
  auto synth = platform::CreateFluidMidiSynth(kRate, platform::DefaultSoundFontPath(), &error);
  ASSERT_NE(synth, nullptr) << error;
  synth->NoteOn(0, 60, 100);
  std::vector<float> out(2 * 4410);
  synth->Render(out.data(), 4410);
  float peak = 0;
  for (float v : out) peak = std::max(peak, std::fabs(v));
  EXPECT_GT(peak, 0.01f);
  auto missing = platform::CreateFluidMidiSynth(kRate, "/nonexistent.sf2", &error);
  EXPECT_EQ(missing, nullptr);
  EXPECT_FALSE(error.empty());
}

TEST(ToneMidiSynthTest, RendersNotesWithoutASoundFont) {
  auto synth = platform::CreateToneMidiSynth(kRate);
  std::vector<float> out(2 * 1000);
  synth->Render(out.data(), 1000);
  for (float v : out) ASSERT_EQ(v, 0.0f);
  synth->NoteOn(0, 69, 127);
  synth->Render(out.data(), 1000);
  float peak = 0;
  for (float v : out) peak = std::max(peak, std::fabs(v));
  EXPECT_GT(peak, 0.05f);
  synth->AllSoundOff();
  synth->Render(out.data(), 1000);
  for (float v : out) ASSERT_EQ(v, 0.0f);
}

}  // namespace
}  // namespace zv::test
