#include <gtest/gtest.h>

#include "audio/library/channel.h"
#include "audio/library/output_driver.h"
#include "audio/library/sample.h"
#include "platform/clock/clock.h"
#include "tests/audio/library/audio_test_util.h"

namespace zv {
namespace {

using test::AudioLibraryTest;

// Settings made before the library starts; each test starts closed.
class FrameSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    CloseAudio();
    SetAudioBackend(nullptr);
  }
  void TearDown() override {
    CloseAudio();
    SetOfflineMixing(false);
  }
};

TEST_F(FrameSettings, BufferLengthIsRoundedToBlocksAndDoubled) {
  EXPECT_TRUE(SetBufferSizeMs(40));
  EXPECT_EQ(GetBufferSetting(), 100);
  EXPECT_TRUE(SetBufferSizeMs(149));
  EXPECT_EQ(GetBufferSetting(), 250);
}

TEST_F(FrameSettings, MixerTypeBelowFourIsStoredAsFourAndNineIsRefused) {
  EXPECT_TRUE(SetMixerType(0));
  EXPECT_EQ(GetMixerType(), 4);
  EXPECT_FALSE(SetMixerType(9));
  EXPECT_EQ(GetAudioError(), audio_error::kBadParameter);
  EXPECT_TRUE(SetMixerType(7));
  EXPECT_EQ(GetMixerType(), 7);
}

TEST_F(FrameSettings, PanSeparationIsBoundedToTheUnitRange) {
  SetPanSeparation(2.0f);
  EXPECT_EQ(GetPanSeparation(), 1.0f);
  SetPanSeparation(-0.5f);
  EXPECT_EQ(GetPanSeparation(), 0.0f);
  SetPanSeparation(1.0f);
}

TEST_F(FrameSettings, DriverIndexBeyondTheListSelectsNoSound) {
  ASSERT_TRUE(SetOutputType(kOutputDirect));
  EXPECT_EQ(GetNumDrivers(), 0);  // the headless machine has no device
  EXPECT_TRUE(SetDriver(0));
  EXPECT_EQ(GetOutputType(), kOutputNoSound);
  EXPECT_EQ(GetNumDrivers(), 1);
  EXPECT_STREQ(GetDriverName(0), "No Sound Driver");
  EXPECT_EQ(GetDriverName(1), nullptr);
  EXPECT_EQ(GetAudioError(), audio_error::kBadParameter);
}

TEST_F(FrameSettings, WithoutA3DDeviceTheAutomaticOutputTypeIsWaveOut) {
  ASSERT_TRUE(SetOutputType(kOutputAuto));
  EXPECT_EQ(GetOutputType(), kOutputWave);
}

TEST_F(FrameSettings, ZeroSoftwareChannelsFailBeforeAnythingOpens) {
  EXPECT_FALSE(InitAudio(44100, 0, 0));
  EXPECT_EQ(GetAudioError(), audio_error::kBadParameter);
  EXPECT_FALSE(AudioInitialised());
}

TEST_F(FrameSettings, WithoutADeviceTheDeviceDriverFailsToStart) {
  SetOutputType(kOutputDirect);
  EXPECT_FALSE(InitAudio(44100, 4, 0));
  EXPECT_EQ(GetAudioError(), audio_error::kDeviceSetup);
  EXPECT_FALSE(AudioInitialised());
}

TEST_F(FrameSettings, PreInitSettingsAreRefusedWhileInitialised) {
  SetOutputType(kOutputNoSound);
  SetOfflineMixing(true);
  ASSERT_TRUE(InitAudio(44100, 4, 0));
  EXPECT_FALSE(SetBufferSizeMs(100));
  EXPECT_EQ(GetAudioError(), audio_error::kInitialised);
  EXPECT_FALSE(SetOutputType(kOutputWave));
  uint32_t caps = 7;
  EXPECT_FALSE(GetOutputDriverCaps(0, &caps));
  EXPECT_EQ(GetAudioError(), audio_error::kInitialised);
  CloseAudio();
  EXPECT_EQ(GetBufferSetting(), -1);  // back to the default after a close
}

TEST_F(AudioLibraryTest, NoSoundDriverHasOnlySoftwareChannels) {
  EXPECT_EQ(GetNumHardwareChannels(), 0);
  EXPECT_EQ(NoSoundDriver().hardware_available, 0u);
  EXPECT_EQ(GetMaxChannels(), 8);
  EXPECT_EQ(GetMaxSamples(), 256);
  EXPECT_EQ(GetLibraryVersion(), 3.33f);
  // A hardware sample is made in software all the same.
  SampleHandle s = AllocSample(-1, 100, sample_mode::kHardware | sample_mode::k16Bit, 44100, 255, 128, 255);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->hardware, 0);
  EXPECT_NE(s->data, nullptr);
}

TEST_F(AudioLibraryTest, OutputChannelOfNoSoundFollowsTheClockAtTheMixRate) {
  platform::ManualClock clock(1000);
  SetAudioClock(&clock);
  const uint32_t before = GetChannelPosition(kMixerChannel);
  EXPECT_EQ(before, 44100u);
  clock.Advance(500);
  EXPECT_EQ(GetChannelPosition(kMixerChannel), 44100u + 22050u);
  // Past the point where a 32-bit product of milliseconds and rate wraps.
  clock.Set(100000);
  EXPECT_EQ(GetChannelPosition(kMixerChannel), 4410000u);
}

TEST_F(AudioLibraryTest, FourValueReverbReplacesTheDetailedEnvironment) {
  ReverbProperties detailed;
  detailed.environment = 3;
  detailed.room = -100;
  detailed.decay_time = 2.5f;
  detailed.air_absorption_hf = -5.0f;
  ASSERT_TRUE(SetReverbProperties(detailed));
  ASSERT_TRUE(SetReverbEnvironment(7, 0.5f, 1.25f, 0.75f));
  ReverbProperties read;
  ASSERT_TRUE(GetReverbProperties(&read));
  EXPECT_EQ(read.environment, 7);
  EXPECT_EQ(read.room, -100);
  EXPECT_EQ(read.decay_time, 2.5f);
  EXPECT_EQ(read.air_absorption_hf, -5.0f);
  // Only the pointers given are written.
  float volume = 0, damping = 0;
  EXPECT_TRUE(GetReverbEnvironment(nullptr, &volume, nullptr, &damping));
  EXPECT_EQ(volume, 0.5f);
  EXPECT_EQ(damping, 0.75f);
}

TEST_F(AudioLibraryTest, ReverbNeedsAnInitialisedLibrary) {
  CloseAudio();
  EXPECT_FALSE(SetReverbEnvironment(0, 0, 0, 0));
  EXPECT_EQ(GetAudioError(), audio_error::kNotInitialised);
}

TEST_F(AudioLibraryTest, InitialisingAgainReinitialises) {
  SampleHandle s = AllocSample(-1, 10, sample_mode::k8Bit, 44100, 255, 128, 255);
  ASSERT_NE(s, nullptr);
  ASSERT_TRUE(InitAudio(22050, 4, 0));
  EXPECT_EQ(GetOutputRate(), 22050);
  EXPECT_EQ(GetMaxChannels(), 4);
  EXPECT_EQ(GetSample(0), nullptr);  // the old table went with the close
}

TEST_F(AudioLibraryTest, MasterVolumeReachesPlayingChannels) {
  SampleHandle s = AllocSample(-1, 1000, sample_mode::k16Bit | sample_mode::kLoopNormal, 44100, 200, 128, 255);
  ASSERT_NE(s, nullptr);
  const ChannelHandle h = PlaySample(kChooseChannel, s);
  ASSERT_NE(h, kChooseChannel);
  SetMasterVolume(128);
  ChannelRecord* c = LookupChannel(h);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->voice.volume, 200 * 128 / 255);
  EXPECT_EQ(GetChannelVolume(h), 200);
}

}  // namespace
}  // namespace zv
