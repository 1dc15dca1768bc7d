#include <gtest/gtest.h>

#include "audio/library/channel.h"
#include "audio/library/sample.h"
#include "audio/library/sound3d.h"
#include "tests/audio/library/audio_test_util.h"

namespace zv {
namespace {

class Sound3DTest : public test::AudioLibraryTest {
 protected:
  void SetUp() override {
    AudioLibraryTest::SetUp();
    ResetListener();
    sample_ = AllocSample(-1, 1000, sample_mode::k16Bit | sample_mode::kLoopNormal, 44100, 255, 128, 255);
    handle_ = PlaySample(kChooseChannel, sample_);
    channel_ = LookupChannel(handle_);
  }
  void TearDown() override {
    ResetListener();
    AudioLibraryTest::TearDown();
  }
  // Places the channel and runs the update.
  void At(float x, float y, float z, float vx = 0, float vy = 0, float vz = 0) {
    const float p[3] = {x, y, z};
    const float v[3] = {vx, vy, vz};
    SetChannel3DAttributes(handle_, p, v);
    UpdateChannel3D(*channel_);
  }
  const SoftwareVoice& Voice() const { return channel_->voice; }

  SampleHandle sample_ = nullptr;
  ChannelHandle handle_ = 0;
  ChannelRecord* channel_ = nullptr;
};

TEST_F(Sound3DTest, PanFollowsTheListenersRightHand) {
  At(10, 0, 0);
  EXPECT_EQ(Voice().pan, 255);
  At(-10, 0, 0);
  EXPECT_EQ(Voice().pan, 0);
  At(0, 0, 10);
  EXPECT_EQ(Voice().pan, 128);
  // At the listener: centre and full volume.
  At(0, 0, 0);
  EXPECT_EQ(Voice().pan, 128);
  EXPECT_EQ(Voice().volume, 255);
}

TEST_F(Sound3DTest, DistanceAttenuatesBetweenMinimumAndMaximum) {
  At(0, 0, 4);
  EXPECT_EQ(Voice().volume, 63);
  Set3DRolloffFactor(0.002f);
  At(0, 0, 101);
  EXPECT_EQ(Voice().volume, 212);
  // The channel's own volume stays; each update starts from it again.
  EXPECT_EQ(GetChannelVolume(handle_), 255);
}

TEST_F(Sound3DTest, MovingAwayLowersTheFrequency) {
  At(100, 0, 0, 10, 0, 0);
  EXPECT_EQ(Voice().frequency, 42802);
  EXPECT_EQ(GetChannelFrequency(handle_), 44100);
  // Very fast: the frequency is held at 100 Hz.
  At(100000, 0, 0, 99990, 0, 0);
  EXPECT_EQ(Voice().frequency, 100);
}

TEST_F(Sound3DTest, FactorsAreBounded) {
  Set3DRolloffFactor(50.0f);
  EXPECT_EQ(Get3DRolloffFactor(), 10.0f);
  Set3DDistanceFactor(0.0f);
  EXPECT_FLOAT_EQ(Get3DInverseDistanceFactor(), 10000.0f);
  Set3DDopplerFactor(2.0f);
  EXPECT_EQ(Get3DDopplerFactor(), 2.0f);
}

TEST_F(Sound3DTest, TurningTheListenerTurnsThePan) {
  // Facing +x with the top up: right is -z.
  SetListener(nullptr, nullptr, 1, 0, 0, 0, 1, 0);
  At(0, 0, -10);
  EXPECT_EQ(Voice().pan, 255);
}

TEST_F(Sound3DTest, TwoDimensionalSamplesAreLeftAlone) {
  SampleHandle flat = AllocSample(-1, 1000, sample_mode::k16Bit | sample_mode::k2D, 44100, 255, 128, 255);
  const ChannelHandle h = PlaySample(kChooseChannel, flat);
  const float far[3] = {0, 0, 1000};
  SetChannel3DAttributes(h, far, nullptr);
  Update3D();
  EXPECT_EQ(LookupChannel(h)->voice.volume, 255);
}

}  // namespace
}  // namespace zv
