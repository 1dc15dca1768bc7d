#include <gtest/gtest.h>

#include <cmath>

#include "audio/library/channel.h"
#include "audio/library/library_state.h"
#include "audio/library/output_driver.h"
#include "audio/library/reverb.h"
#include "audio/library/sample.h"
#include "audio/library/sound3d.h"
#include "audio/library/volume_table.h"
#include "platform/audio3d/openal/openal_backend.h"
#include "tests/audio/library/audio_test_util.h"

namespace zv {
namespace {

// The library on the 3D device driver over a device that renders into
// memory; the software mix stays silent, so what is heard is the voices.
class Audio3DDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CloseAudio();
    SetAudio3DBackend(&device_);
    SetOfflineMixing(true);
    ASSERT_TRUE(SetOutputType(kOutputAuto));
    ASSERT_TRUE(InitAudio(44100, 4, 0)) << GetAudioError();
  }
  void TearDown() override {
    CloseAudio();
    SetMaxHardwareChannels(99999);
    SetAudio3DBackend(nullptr);
    SetOfflineMixing(false);
    SetOutputType(kOutputNoSound);
  }
  // A 3D sample of `frames` frames of one 16-bit value, at 44100 Hz.
  static SampleHandle ConstantSample(int32_t frames, int16_t value) {
    SampleHandle s = AllocSample(-1, frames, sample_mode::kHardware | sample_mode::k16Bit, 44100, 255, 128, 255);
    void *p1 = nullptr, *p2 = nullptr;
    int32_t l1 = 0, l2 = 0;
    if (s && LockSample(s, 0, frames * 2, &p1, &p2, &l1, &l2)) {
      std::fill_n(static_cast<int16_t*>(p1), l1 / 2, value);
      UnlockSample(s, p1, p2, l1, l2);
    }
    return s;
  }
  // The loudest left and right values of the second half of the next
  // `frames` frames (a change of level glides in over the first).
  std::pair<int, int> Loudest(uint32_t frames) {
    const std::vector<int16_t> out = device_.Render(frames);
    int left = 0, right = 0;
    for (size_t i = out.size() / 4 * 2; i + 1 < out.size(); i += 2) {
      left = std::max(left, std::abs(int{out[i]}));
      right = std::max(right, std::abs(int{out[i + 1]}));
    }
    return {left, right};
  }

  platform::LoopbackAudio3DBackend device_;
};

TEST_F(Audio3DDriverTest, TheCardOffersHardwareVoicesAndBothReverbSets) {
  EXPECT_EQ(GetOutputType(), kOutputDirect);  // the automatic choice, with a 3D device
  // 64 voices, one of them given up for the reverb.
  EXPECT_EQ(GetNumHardwareChannels(), 63);
  EXPECT_EQ(GetMaxChannels(), 4 + 63);
  SampleHandle hardware = ConstantSample(100, 1);
  ASSERT_NE(hardware, nullptr);
  EXPECT_NE(hardware->driver_buffer, 0u);
  EXPECT_EQ(hardware->data, nullptr);
  EXPECT_GE(PlaySample(kChooseChannel, hardware) & 0xfff, 4);
  SampleHandle flat = AllocSample(-1, 100, sample_mode::kHardware | sample_mode::k2D, 44100, 255, 128, 255);
  EXPECT_NE(flat->data, nullptr);
  EXPECT_EQ(PlaySample(4, flat), kChooseChannel);  // a software sample on a hardware channel
  EXPECT_EQ(GetAudioError(), audio_error::kNoChannel);

  CloseAudio();
  uint32_t caps = 0;
  ASSERT_TRUE(GetOutputDriverCaps(0, &caps));
  EXPECT_EQ(caps, 1u | 2u | 16u);
  // Kept from using the voices, the driver mixes everything in software.
  SetMaxHardwareChannels(0);
  ASSERT_TRUE(InitAudio(44100, 4, 0));
  EXPECT_EQ(GetNumHardwareChannels(), 0);
  EXPECT_NE(ConstantSample(100, 1)->data, nullptr);
}

TEST_F(Audio3DDriverTest, HardwareChannelsPlayOnTheDevicesVoices) {
  SampleHandle s = ConstantSample(44100, 10000);
  const ChannelHandle h = PlaySample(kChooseChannel, s);
  ASSERT_NE(h, kChooseChannel);
  EXPECT_TRUE(IsChannelPlaying(h));
  // Straight ahead at the listener: equal on both sides.
  const auto [full, full_right] = Loudest(2048);
  EXPECT_GT(full, 5000);
  EXPECT_NEAR(full, full_right, 2);
  EXPECT_EQ(GetChannelPosition(h), 2048u);
  // Volumes go through the volume table; pan does nothing on a voice.
  SetChannelVolume(h, 128);
  SetChannelPan(h, 0);
  const auto [half, half_right] = Loudest(2048);
  EXPECT_NEAR(half, full * MillibelsToGain(-997), 3);
  EXPECT_NEAR(half, half_right, 2);
  EXPECT_EQ(GetChannelVolume(h), 128);
  // The master volume scales what plays, not what the channel keeps.
  SetMasterVolume(128);
  SetMasterVolume(255);
  EXPECT_EQ(GetChannelVolume(h), 128);
  EXPECT_NEAR(Loudest(2048).first, half, 2);
  SetChannelVolume(h, 0);
  EXPECT_EQ(Loudest(2048).first, 0);
  SetChannelVolume(h, 255);
  // Frequencies stay within what a voice can play.
  for (auto [given, kept] : {std::pair{50, 100}, {800000, 705600}, {22050, 22050}}) {
    SetChannelFrequency(h, given);
    EXPECT_EQ(GetChannelFrequency(h), kept) << given;
  }
  // Half speed: half as far through the sample.
  const uint32_t before = GetChannelPosition(h);
  Loudest(2000);
  EXPECT_NEAR(GetChannelPosition(h) - before, 1000u, 1);
  // A paused voice is silent but keeps its sound; it goes on from there.
  ASSERT_TRUE(SetChannelPaused(h, true));
  EXPECT_TRUE(IsChannelPlaying(h));
  EXPECT_EQ(Loudest(1024).first, 0);
  const uint32_t paused_at = GetChannelPosition(h);
  ASSERT_TRUE(SetChannelPaused(h, false));
  EXPECT_TRUE(IsChannelPlaying(h));
  EXPECT_EQ(GetChannelPosition(h), paused_at);
  // Stopped, the voice goes back to the device.
  StopChannel(h);
  EXPECT_FALSE(IsChannelPlaying(h & 0xfff));
  EXPECT_EQ(Loudest(1024).first, 0);
}

// The device's buffers hold what the sample holds, whatever form the data
// came in: 8-bit data unsigned or signed, plain or as differences.
TEST_F(Audio3DDriverTest, UploadedDataKeepsItsLevelAndSign) {
  // The left value at the end of the next 2048 frames, with its sign.
  auto level = [this] { return device_.Render(2048)[2 * 2047]; };
  SampleHandle wide = ConstantSample(4410, 16384);
  PlaySample(kChooseChannel, wide);
  const int expected = level();
  StopChannel(kAllChannels);
  ASSERT_GT(expected, 5000);
  struct Case {
    uint32_t mode;
    uint8_t first, rest;
  };
  for (const Case& c : {Case{sample_mode::kUnsigned, 0xc0, 0xc0}, Case{sample_mode::kSigned, 0x40, 0x40},
                        Case{sample_mode::kDelta, 0x40, 0x00}}) {
    SampleHandle s = AllocSample(-1, 4410, sample_mode::kHardware | sample_mode::k8Bit, 44100, 255, 128, 255);
    std::vector<uint8_t> bytes(4410, c.rest);
    bytes[0] = c.first;
    ASSERT_TRUE(UploadSampleData(s, bytes.data(), bytes.size(), sample_mode::k8Bit | c.mode));
    PlaySample(kChooseChannel, s);
    EXPECT_NEAR(level(), expected, 2) << c.mode;
    StopChannel(kAllChannels);
    FreeSample(s);
  }
}

TEST_F(Audio3DDriverTest, TheDevicePlacesVoicesFromTheListenerAndTheFactors) {
  const float position[3] = {1, 2, 3}, velocity[3] = {0, 0, 1};
  SetListener(position, velocity, 1, 0, 0, 0, 1, 0);
  float p[3], v[3], front[3], top[3];
  Lib().driver->reserved_3d(p, v, front, top);
  EXPECT_EQ(std::vector<float>(p, p + 3), std::vector<float>(position, position + 3));
  EXPECT_EQ(v[2], 1.0f);
  EXPECT_EQ(front[0], 1.0f);
  EXPECT_EQ(top[1], 1.0f);
  const float origin[3] = {0, 0, 0};
  SetListener(origin, origin, 0, 0, 1, 0, 1, 0);

  // Full level to the minimum distance, then minimum / distance stretched
  // by the rolloff factor: 5 / (5 + 0.5 x 5) at 10 units to the right.
  SampleHandle s = ConstantSample(44100, 10000);
  ASSERT_TRUE(SetSampleMinMaxDistance(s, 5.0f, 1000.0f));
  Set3DRolloffFactor(0.5f);
  const float right[3] = {10, 0, 0};
  const ChannelHandle h = PlaySample3D(kChooseChannel, s, right, nullptr);
  float at[3] = {};
  ASSERT_TRUE(GetChannel3DAttributes(h, at, nullptr));
  EXPECT_EQ(at[0], 10.0f);
  auto [left_level, right_level] = Loudest(4096);
  EXPECT_NEAR(right_level, 10000 * 5.0 / 7.5, 30);
  EXPECT_LT(left_level, 30);
  // No quieter past the maximum distance.
  const float beyond[3] = {-5000, 0, 0};
  SetChannel3DAttributes(h, beyond, nullptr);
  std::tie(left_level, right_level) = Loudest(4096);
  EXPECT_NEAR(left_level, 10000 * 5.0 / (5 + 0.5 * 995), 30);
  EXPECT_LT(right_level, 30);
}

TEST_F(Audio3DDriverTest, TheReverbSetsReachTheRoom) {
  EXPECT_FALSE(SetReverbEnvironment(26, 0.5f, 1.0f, 0.5f));
  EXPECT_EQ(GetAudioError(), audio_error::kBadParameter);
  EXPECT_FALSE(SetReverbEnvironment(-1, 0.5f, 1.0f, 0.5f));
  ASSERT_TRUE(SetReverbEnvironment(3, 0.5f, 1.0f, 0.5f));
  ASSERT_TRUE(SetReverbEnvironment(kReverbLeaveUnchanged, 0.25f, kReverbLeaveUnchangedFloat,
                                   kReverbLeaveUnchangedFloat));
  int32_t environment = 0;
  float volume = 0, decay = 0, damping = 0;
  ASSERT_TRUE(GetReverbEnvironment(&environment, &volume, &decay, &damping));
  EXPECT_EQ(environment, 3);
  EXPECT_EQ(volume, 0.25f);
  EXPECT_EQ(decay, 1.0f);
  EXPECT_EQ(damping, 0.5f);

  // The detailed set sees the same room, in its own units.
  ReverbProperties p;
  ASSERT_TRUE(GetReverbProperties(&p));
  EXPECT_EQ(p.environment, 3);
  EXPECT_EQ(p.room, GainToMillibels(0.25f));
  EXPECT_EQ(p.decay_time, 1.0f);
  p.environment = 7;
  p.room = -1000;
  p.decay_time = 5.0f;
  p.environment_size = 20.0f;
  ASSERT_TRUE(SetReverbProperties(p));
  ReverbProperties back;
  ASSERT_TRUE(GetReverbProperties(&back));
  EXPECT_EQ(back.environment, 7);
  EXPECT_EQ(back.room, -1000);
  EXPECT_EQ(back.decay_time, 5.0f);
  EXPECT_EQ(back.environment_size, 20.0f);
  // A value out of range ends the set; those before it hold.
  p.environment = kReverbLeaveUnchanged;
  p.room = -2000;
  p.room_hf = 5;
  p.decay_time = 9.0f;
  EXPECT_FALSE(SetReverbProperties(p));
  EXPECT_EQ(GetAudioError(), audio_error::kPropertyUnsupported);
  ASSERT_TRUE(GetReverbProperties(&back));
  EXPECT_EQ(back.room, -2000);
  EXPECT_EQ(back.decay_time, 5.0f);
}

TEST(VolumeTable, PassesThroughItsTellingRows) {
  for (auto [volume, millibels] : {std::pair{0, -10000}, {1, -7678}, {2, -6830}, {8, -4955}, {16, -3977},
                                    {32, -2988}, {64, -1994}, {128, -997}, {192, -413}, {250, -32}, {254, -5},
                                    {255, 0}})
    EXPECT_EQ(VolumeMillibels(volume), millibels) << volume;
  for (int v = 1; v < 256; ++v) EXPECT_GT(VolumeTable()[v], VolumeTable()[v - 1]) << v;
  // The software reverb sends read the same curve.
  EXPECT_FLOAT_EQ(ReverbSendGain(1.0f / 255.0f + 1e-6f), MillibelsToGain(-7678));
  EXPECT_EQ(ReverbSendGain(0.0f), 0.0f);
  EXPECT_EQ(ReverbSendGain(-1.0f), 1.0f);
}

}  // namespace
}  // namespace zv
