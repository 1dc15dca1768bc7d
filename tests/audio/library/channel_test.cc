#include <gtest/gtest.h>

#include "audio/library/channel.h"
#include "audio/library/sample.h"
#include "tests/audio/library/audio_test_util.h"

namespace zv {
namespace {

class ChannelTest : public test::AudioLibraryTest {
 protected:
  ChannelTest() { channels_ = 32; }
  SampleHandle Looping(int32_t priority = 255) {
    return AllocSample(-1, 1000, sample_mode::k16Bit | sample_mode::kLoopNormal, 44100, 255, 128, priority);
  }
};

TEST_F(ChannelTest, HandlesCarryAReferenceThatMovesOn) {
  EXPECT_EQ(MakeChannelHandle(5), 0x1005);
  EXPECT_EQ(MakeChannelHandle(5), 0x2005);
  EXPECT_NE(LookupChannel(0x2005), nullptr);
  EXPECT_EQ(LookupChannel(0x1005), nullptr);  // stale
  EXPECT_EQ(GetAudioError(), audio_error::kBadParameter);
  EXPECT_NE(LookupChannel(5), nullptr);  // a plain index reaches it whatever it plays
  EXPECT_EQ(LookupChannel(40), nullptr);
  EXPECT_EQ(MakeChannelHandle(32), kChooseChannel);
  ChannelRecord* c = ChannelAt(5);
  c->reference = 0x7ffff;
  EXPECT_EQ(MakeChannelHandle(5), 0x7ffff005);
  EXPECT_EQ(MakeChannelHandle(5), 0x1005);
}

TEST_F(ChannelTest, ChoiceTakesTheFirstFreeChannelFromTheNextPosition) {
  SampleHandle s = Looping();
  SoftwareChannelRange().next = 2;
  const ChannelHandle h = PlaySample(kChooseChannel, s);
  EXPECT_EQ(h & 0xfff, 2);
  EXPECT_EQ(SoftwareChannelRange().next, 3);
}

TEST_F(ChannelTest, WhenAllPlayTheLowestPriorityFirstVisitedIsTaken) {
  SampleHandle s = Looping(0);
  for (int i = 0; i < 32; ++i) ASSERT_NE(PlaySample(i, s), kChooseChannel);
  SoftwareChannelRange().next = 7;
  const ChannelHandle h = PlaySample(kChooseChannel, s);
  EXPECT_EQ(h & 0xfff, 7);
  EXPECT_EQ(SoftwareChannelRange().next, 8);
  // A higher-priority channel is passed over for a lower one.
  SetChannelPriority(8, 10);
  SetChannelPriority(9, 5);
  for (int i = 10; i < 32; ++i) SetChannelPriority(i, 20);
  for (int i = 0; i < 8; ++i) SetChannelPriority(i, 20);
  EXPECT_EQ(PlaySample(kChooseChannel, s) & 0xfff, 9);
}

TEST_F(ChannelTest, ReservedChannelsAreNeverChosen) {
  SampleHandle s = Looping();
  for (int i = 0; i < 32; ++i) SetChannelReserved(i, true);
  EXPECT_EQ(PlaySample(kChooseChannel, s), kChooseChannel);
  EXPECT_EQ(GetAudioError(), audio_error::kNoChannel);
  SetChannelReserved(20, false);
  EXPECT_EQ(PlaySample(kChooseChannel, s) & 0xfff, 20);
}

TEST_F(ChannelTest, DriverBufferSamplesNeedHardwareChannels) {
  SampleHandle s = Looping();
  s->driver_buffer = 1;
  EXPECT_EQ(PlaySample(3, s), kChooseChannel);
  EXPECT_EQ(GetAudioError(), audio_error::kNoChannel);
  EXPECT_EQ(PlaySample(kChooseChannel, s), kChooseChannel);  // no hardware range at all
  EXPECT_EQ(GetAudioError(), audio_error::kNoChannel);
  s->driver_buffer = 0;
}

TEST_F(ChannelTest, VolumeIsClampedAndScaledByTheMasterVolume) {
  const ChannelHandle h = PlaySample(kChooseChannel, Looping());
  ASSERT_TRUE(SetChannelVolume(h, 300));
  EXPECT_EQ(GetChannelVolume(h), 255);
  SetMasterVolume(128);
  ASSERT_TRUE(SetChannelVolume(h, 255));
  EXPECT_EQ(LookupChannel(h)->voice.volume, 128);
  ASSERT_TRUE(SetChannelVolumeAbsolute(h, 255));
  EXPECT_EQ(LookupChannel(h)->voice.volume, 255);
  // Muted, the voice gets nothing; unmuted, the stored volume again.
  ASSERT_TRUE(SetChannelMute(h, true));
  EXPECT_EQ(LookupChannel(h)->voice.left_gain, 0);
  EXPECT_TRUE(GetChannelMute(h));
  ASSERT_TRUE(SetChannelMute(h, false));
  EXPECT_EQ(LookupChannel(h)->voice.volume, 255);
}

TEST_F(ChannelTest, PanSeparationNarrowsThePan) {
  const ChannelHandle h = PlaySample(kChooseChannel, Looping());
  SetPanSeparation(0.5f);
  ASSERT_TRUE(SetChannelPan(h, 0));
  EXPECT_EQ(GetChannelPan(h), 64);
  ASSERT_TRUE(SetChannelPanDirect(h, 0));
  EXPECT_EQ(GetChannelPan(h), 0);
  SetPanSeparation(1.0f);
  ASSERT_TRUE(SetChannelPan(h, -1));
  EXPECT_EQ(GetChannelPan(h), -1);
  EXPECT_EQ(LookupChannel(h)->voice.left_gain, LookupChannel(h)->voice.right_gain);
}

TEST_F(ChannelTest, PlaySoundExKeepsTheSamplePanForMinusOne) {
  SampleHandle s = AllocSample(-1, 100, sample_mode::k16Bit, 22050, 200, 40, 255);
  const ChannelHandle h = PlaySoundEx(kChooseChannel, s, -1, -1, -1, nullptr, nullptr);
  ASSERT_NE(h, kChooseChannel);
  EXPECT_EQ(GetChannelPan(h), 40);
  EXPECT_EQ(GetChannelFrequency(h), 22050);
  EXPECT_EQ(GetChannelVolume(h), 200);
  EXPECT_FALSE(GetChannelPaused(h));
  const ChannelHandle g = PlaySoundEx(kChooseChannel, s, 11025, 50, 255, nullptr, nullptr);
  EXPECT_EQ(GetChannelPan(g), 255);
  EXPECT_EQ(GetChannelFrequency(g), 11025);
  EXPECT_EQ(GetChannelVolume(g), 50);
}

TEST_F(ChannelTest, AllChannelsTakeASettingAtOnce) {
  SampleHandle s = Looping();
  PlaySample(0, s);
  PlaySample(1, s);
  ASSERT_TRUE(SetChannelPaused(kAllChannels, true));
  EXPECT_TRUE(GetChannelPaused(0));
  EXPECT_TRUE(GetChannelPaused(31));
  ASSERT_TRUE(StopChannel(kAllChannels));
  EXPECT_EQ(GetChannelsPlaying(), 0);
}

TEST_F(ChannelTest, ChannelFunctionsNeedTheLibrary) {
  CloseAudio();
  EXPECT_FALSE(SetChannelVolume(0, 10));
  EXPECT_EQ(GetAudioError(), audio_error::kNotInitialised);
  EXPECT_EQ(GetChannelFrequency(0), 0);
  EXPECT_EQ(PlaySample(kChooseChannel, nullptr), kChooseChannel);
  EXPECT_EQ(GetAudioError(), audio_error::kNotInitialised);
}

TEST_F(ChannelTest, NullSampleIsABadParameter) {
  EXPECT_EQ(PlaySample(kChooseChannel, nullptr), kChooseChannel);
  EXPECT_EQ(GetAudioError(), audio_error::kBadParameter);
  EXPECT_EQ(PlaySample(-7, Looping()), kChooseChannel);
  EXPECT_EQ(GetAudioError(), audio_error::kBadParameter);
}

TEST_F(ChannelTest, LevelScaleIsCappedAtOne) {
  const ChannelHandle h = PlaySample(kChooseChannel, Looping());
  float scale = 0;
  ASSERT_TRUE(SetChannelLevelScale(h, 3.0f));
  ASSERT_TRUE(GetChannelLevelScale(h, &scale));
  EXPECT_EQ(scale, 1.0f);
  EXPECT_FALSE(GetChannelLevelScale(h, nullptr));
}

}  // namespace
}  // namespace zv
