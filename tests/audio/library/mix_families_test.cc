#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <random>
#include <tuple>
#include <vector>

#include "audio/library/audio_error.h"
#include "audio/library/channel.h"
#include "audio/library/mix_routines.h"
#include "audio/library/sample.h"
#include "tests/audio/library/audio_test_util.h"
#include "tests/audio/library/mix_reference.h"

namespace zv {
namespace {

using test::AudioLibraryTest;

constexpr int32_t kFloatType = 5;
constexpr int32_t kSaturatingType = 7;

TEST(MixerChoice, TheTypeFollowsTheProcessor) {
  const ProcessorFeatures modern{true, true, true}, pentium{true, true, false}, no_mmx{true, false, true}, none{};
  struct Case {
    int32_t requested;
    ProcessorFeatures processor;
    int32_t runs;
  };
  const Case cases[] = {{4, modern, 7}, {4, pentium, 6}, {4, no_mmx, 5}, {4, none, 5},  {7, pentium, 6},
                        {6, modern, 6}, {6, no_mmx, 5},  {8, modern, 8}, {5, modern, 5}};
  for (const Case& c : cases) {
    ASSERT_TRUE(SelectMixer(c.requested, 44100, c.processor)) << c.requested;
    EXPECT_EQ(SelectedMixerType(), c.runs) << c.requested;
    EXPECT_EQ(WorkFrameBytes(), c.runs == 6 || c.runs == 7 ? 4 : 8) << c.requested;
  }
  EXPECT_FALSE(SelectMixer(3, 44100, modern));
  EXPECT_EQ(GetAudioError(), audio_error::kDeviceSetup);
#if defined(__x86_64__)
  EXPECT_EQ(ResolveMixerType(4, DetectProcessorFeatures()), 7);
#else
  EXPECT_EQ(ResolveMixerType(4, DetectProcessorFeatures()), 5);
#endif
}

// Set-up reports the type it runs, and a type asked for by name runs its
// own family through the whole library.
TEST_F(AudioLibraryTest, SetUpReportsTheTypeItRuns) {
#if defined(__x86_64__)
  EXPECT_EQ(GetMixerType(), 7);
  EXPECT_EQ(WorkFrameBytes(), 4);
#else
  EXPECT_EQ(GetMixerType(), 5);
#endif
  CloseAudio();
  ASSERT_TRUE(SetMixerType(8));
  ASSERT_TRUE(InitAudio(44100, 2, 0));
  EXPECT_EQ(GetMixerType(), 8);
  EXPECT_EQ(WorkFrameBytes(), 8);
  SampleHandle s = AllocSample(-1, 4000, sample_mode::k16Bit | sample_mode::k2D, 44100, 255, 128, 255);
  for (int i = 0; i < 4000; ++i) reinterpret_cast<int16_t*>(s->data)[i] = 10000;
  PadSampleLoop(*s);
  PlaySample(kChooseChannel, s);
  const std::vector<int16_t> out = Mix(1000);
  EXPECT_EQ(out[2 * 500], 4980);  // 10000 x 127 / 255, rounded
  EXPECT_EQ(out[2 * 500 + 1], 5020);
}

// A voice outside the library, with its sample, for the routines alone.
struct LoneVoice {
  SampleRecord sample;
  std::vector<uint8_t> data;
  ChannelRecord channel;

  LoneVoice(int bits, bool stereo, const std::vector<int32_t>& values) {
    sample.bits = static_cast<uint8_t>(bits);
    sample.layout = static_cast<uint8_t>(stereo ? sample_mode::kStereo : sample_mode::kMono);
    sample.length = static_cast<int32_t>(values.size()) / (stereo ? 2 : 1);
    sample.loop_length = sample.length;
    data.assign(values.size() * static_cast<size_t>(bits / 8) + 16, 0);
    for (size_t i = 0; i < values.size(); ++i) {
      if (bits == 16) {
        reinterpret_cast<int16_t*>(data.data())[i] = static_cast<int16_t>(values[i]);
      } else {
        data[i] = static_cast<uint8_t>(values[i]);
      }
    }
    sample.data = data.data();
    channel.voice.sample = &sample;
    channel.voice.loop_mode = kLoopModeOff;
  }
  void SetGains(int32_t volume, int32_t pan) {
    SoftwareVoice& v = channel.voice;
    v.volume = volume;
    v.pan = pan;
    v.left_gain = pan == -1 ? volume : volume * (255 - pan) / 255;
    v.right_gain = pan == -1 ? volume : volume * pan / 255;
    v.half_volume = volume / 2;
  }
  // Settled at its gains: no ramp runs.
  void Settle() {
    channel.voice.ramp_left = channel.voice.left_gain * 256;
    channel.voice.ramp_right = channel.voice.right_gain * 256;
  }
};

// What one frame of work buffer turns into at output, in either family.
std::pair<int, int> Output(const std::vector<uint8_t>& work, int frame) {
  int16_t out[2];
  ClipCopyFrames(out, work.data() + static_cast<size_t>(frame) * WorkFrameBytes(), 1);
  return {out[0], out[1]};
}

// The sums each family's arithmetic gives: float accumulation rounded at
// output, or a 16-bit factor of gain x 256 and saturating adds in list order.
TEST(MixFamilies, EachKeepsItsOwnArithmetic) {
  struct Case {
    const char* what;
    int bits;
    std::vector<int32_t> voices;  // one constant voice each, hard left at full volume
    int float_left;
    int saturating_left;
  };
  const Case cases[] = {
      {"full scale", 16, {32767}, 32767, 32639},
      {"two up, one down", 16, {25000, 25000, -25000}, 25000, 7864},
      {"down first", 16, {-25000, 25000, 25000}, 25000, 24901},
      {"8-bit 127", 8, {127}, 32767, 32385},
      {"8-bit -128", 8, {-128}, -32768, -32640},
  };
  for (int32_t type : {kFloatType, kSaturatingType}) {
    ASSERT_TRUE(SelectMixer(type, 44100));
    for (const Case& c : cases) {
      std::vector<std::unique_ptr<LoneVoice>> voices;
      VoiceLink list;
      for (int32_t value : c.voices) {
        voices.push_back(std::make_unique<LoneVoice>(c.bits, false, std::vector<int32_t>(64, value)));
        voices.back()->SetGains(255, 0);
        voices.back()->Settle();
        voices.back()->channel.AppendTo(list);
      }
      std::vector<uint8_t> work(static_cast<size_t>(32) * WorkFrameBytes(), 0);
      MixVoices(work.data(), list, 32);
      EXPECT_EQ(Output(work, 10), std::make_pair(type == kFloatType ? c.float_left : c.saturating_left, 0))
          << c.what << " type " << type;
      for (auto& v : voices) v->channel.Unlink();
    }
    // What other units add joins the work frames the family's way, and
    // the output is clipped either way.
    std::vector<uint8_t> work(static_cast<size_t>(2) * WorkFrameBytes(), 0);
    const float loud[] = {40000.0f, -40000.0f, 1.5f, -2.5f};
    AddFloatFrames(work.data(), loud, 2);
    EXPECT_EQ(Output(work, 0), std::make_pair(32767, -32768)) << type;
    EXPECT_EQ(Output(work, 1), std::make_pair(2, -2)) << type;  // to nearest, ties to even
  }
}

// Random voices of every format, loop kind, speed and gain, mixed in
// blocks of random length with their gains changed between blocks: the
// output and the voices' state must follow the frame-by-frame reference.
// The saturating family must match it exactly. The float family rounds
// its ramp values to 24.8 wherever a run ends (a loop boundary), which
// the reference cannot know, so while a ramp runs its output may stray by
// that rounding; elsewhere it is within a rounding of a float.
TEST(MixFamilies, MatchTheFrameByFrameReference) {
  std::mt19937 rng(20240611);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int32_t type : {kFloatType, kSaturatingType}) {
    const bool saturating = type == kSaturatingType;
    for (int trial = 0; trial < 60; ++trial) {
      const int32_t rate = trial % 3 == 0 ? 22050 : 44100;
      ASSERT_TRUE(SelectMixer(type, rate));
      const test::ReferenceMixer reference(saturating, RampLength());
      std::vector<std::unique_ptr<LoneVoice>> mixed, expected;
      VoiceLink list;
      const int count = pick(1, 4);
      for (int n = 0; n < count; ++n) {
        const int bits = pick(0, 1) ? 16 : 8;
        const bool stereo = pick(0, 3) == 0;
        std::vector<int32_t> values(static_cast<size_t>(pick(2, 900)) * (stereo ? 2 : 1));
        for (int32_t& x : values) x = bits == 16 ? pick(-32768, 32767) : pick(0, 255);
        for (auto* side : {&mixed, &expected}) side->push_back(std::make_unique<LoneVoice>(bits, stereo, values));
        SampleRecord& s = mixed.back()->sample;
        const uint8_t loop = static_cast<uint8_t>(std::array{kLoopModeOff, kLoopModeNormal, kLoopModeBidi}[pick(0, 2)]);
        s.loop_start = loop == kLoopModeOff ? 0 : pick(0, s.length - 1);
        s.loop_length = loop == kLoopModeOff ? s.length : pick(1, s.length - s.loop_start);
        SoftwareVoice& v = mixed.back()->channel.voice;
        v.loop_mode = loop;
        // From barely moving to many frames a step, often past a whole
        // loop; whole and half frames land exactly on the boundaries.
        const uint64_t step =
            pick(0, 2) == 0 ? (uint64_t{1} << 31) * static_cast<uint64_t>(pick(1, 6))
                            : static_cast<uint64_t>(pick(10000000, 2000000000)) * static_cast<uint64_t>(pick(1, 32));
        v.step_int = static_cast<uint32_t>(step >> 32);
        v.step_frac = static_cast<uint32_t>(step);
        v.position = static_cast<uint32_t>(pick(0, s.loop_start + s.loop_length - 1));
        v.fraction = pick(0, 2) == 0 ? 0 : static_cast<uint32_t>(pick(0, 1 << 30)) * 4;
        v.surround = pick(0, 4) == 0;
        v.mute = pick(0, 9) == 0;
        mixed.back()->SetGains(pick(0, 3) == 0 ? 0 : pick(1, 255), pick(0, 5) == 0 ? -1 : pick(0, 255));
        if (pick(0, 1)) mixed.back()->Settle();
        expected.back()->sample.loop_start = s.loop_start;
        expected.back()->sample.loop_length = s.loop_length;
        expected.back()->channel.voice = v;
        expected.back()->channel.voice.sample = &expected.back()->sample;
        mixed.back()->channel.AppendTo(list);
      }
      for (int block = 0; block < 6; ++block) {
        const int32_t frames = pick(1, 700);
        std::vector<uint8_t> got(static_cast<size_t>(frames) * WorkFrameBytes(), 0);
        std::vector<uint8_t> want(got.size(), 0);
        std::vector<uint8_t> ramped(static_cast<size_t>(frames), 0);
        MixVoices(got.data(), list, frames);
        for (auto& v : expected) reference.MixVoice(want.data(), v->channel, frames, ramped.data());
        for (int32_t i = 0; i < 2 * frames; ++i) {
          if (saturating) {
            ASSERT_EQ(reinterpret_cast<int16_t*>(got.data())[i], reinterpret_cast<int16_t*>(want.data())[i])
                << "trial " << trial << " block " << block << " value " << i;
          } else {
            // At most half a 24.8 unit per run of a ramp, 128 runs, each voice.
            const float tolerance = ramped[static_cast<size_t>(i / 2)] ? 32.0f * static_cast<float>(count) : 0.5f;
            ASSERT_NEAR(reinterpret_cast<float*>(got.data())[i], reinterpret_cast<float*>(want.data())[i], tolerance)
                << "trial " << trial << " block " << block << " value " << i;
          }
        }
        for (size_t n = 0; n < mixed.size(); ++n) {
          auto state = [](const SoftwareVoice& v) {
            return std::tuple(v.sample != nullptr, v.position, v.fraction, v.direction, v.ramp_count);
          };
          ASSERT_EQ(state(mixed[n]->channel.voice), state(expected[n]->channel.voice))
              << "trial " << trial << " voice " << n;
        }
        // A program changes a voice between blocks; its gains ramp anew.
        const size_t n = static_cast<size_t>(pick(0, count - 1));
        const int32_t volume = pick(0, 255), pan = pick(0, 255);
        mixed[n]->SetGains(volume, pan);
        expected[n]->SetGains(volume, pan);
      }
      for (auto& v : mixed) v->channel.Unlink();
    }
  }
}

}  // namespace
}  // namespace zv
