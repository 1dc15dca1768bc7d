#include <gtest/gtest.h>

#include <cstdlib>

#include "audio/commands/sound_slots.h"
#include "audio/library/channel.h"
#include "audio/library/library.h"
#include "audio/library/recording.h"
#include "platform/audio/sdl/sdl_audio.h"
#include "tests/audio/library/audio_test_util.h"

namespace zv {
namespace {

// The sound system as a real run starts it, over SDL's dummy driver (a
// device that plays and records at real pace without hardware).
class SdlOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    backend_ = platform::MakeSdlAudioBackend();
    if (backend_->OutputDevices().empty()) GTEST_SKIP() << "no SDL audio driver";
    ASSERT_TRUE(slots_.StartSoundSystem(SoundSystemOptions{backend_.get(), false}, 0));
  }
  void TearDown() override {
    slots_.StopSoundSystem();
    SetAudioBackend(nullptr);
  }

  std::unique_ptr<platform::AudioBackend> backend_;
  SoundSlots slots_;
};

TEST_F(SdlOutputTest, TheDeviceDriverPlaysThroughTheMixerThread) {
  EXPECT_EQ(GetOutputType(), kOutputWave);
  EXPECT_EQ(GetNumHardwareChannels(), 0);
  const uint32_t start = GetChannelPosition(kMixerChannel);
  ASSERT_TRUE(test::WaitFor([&] { return GetChannelPosition(kMixerChannel) - start > 8820; }));
  // A short sound plays to its end as the device takes the output.
  SampleHandle s = AllocSample(-1, 2205, sample_mode::k16Bit | sample_mode::k2D, 44100, 255, 128, 255);
  const ChannelHandle h = PlaySample(kChooseChannel, s);
  ASSERT_NE(h, kChooseChannel);
  EXPECT_TRUE(test::WaitFor([&] { return !IsChannelPlaying(h); }));
}

TEST_F(SdlOutputTest, RecordingSilenceKeepsNothing) {
  if (backend_->CaptureDevices().empty()) GTEST_SKIP() << "no capture on this driver";
  ASSERT_TRUE(slots_.StartRecordingSound(1, 1));
  ASSERT_TRUE(test::WaitFor([] { return GetRecordPosition() > 800; }));
  EXPECT_EQ(slots_.StopRecordingSound(), 0);
  EXPECT_FALSE(slots_.Slot(1).loaded);
}

}  // namespace
}  // namespace zv
