#include <gtest/gtest.h>

#include <cstdlib>

#include "audio/commands/sound_slots.h"
#include "audio/library/channel.h"
#include "audio/library/library.h"
#include "audio/library/sample.h"
#include "platform/audio3d/openal/openal_backend.h"
#include "tests/audio/library/audio_test_util.h"

namespace zv {
namespace {

// The sound system as a real run starts it, over OpenAL's null output (a
// device that plays at a sound card's pace without hardware).
class OpenAlOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("ALSOFT_DRIVERS", "null", 1);
    backend_ = platform::MakeOpenAlBackend();
    if (backend_->Devices().empty()) GTEST_SKIP() << "no OpenAL output";
    ASSERT_TRUE(slots_.StartSoundSystem(SoundSystemOptions{nullptr, false, backend_.get()}, 0));
  }
  void TearDown() override {
    slots_.StopSoundSystem();
    SetAudio3DBackend(nullptr);
  }

  std::unique_ptr<platform::Audio3DBackend> backend_;
  SoundSlots slots_;
};

TEST_F(OpenAlOutputTest, TheMixStreamAndTheVoicesPlayInRealTime) {
  EXPECT_EQ(GetOutputType(), kOutputDirect);
  EXPECT_GT(GetNumHardwareChannels(), 0);
  const uint32_t start = GetChannelPosition(kMixerChannel);
  ASSERT_TRUE(test::WaitFor([&] { return GetChannelPosition(kMixerChannel) - start > 8820; }));
  // Short sounds play to their end, in software and on a voice.
  for (uint32_t mode : {sample_mode::k2D, sample_mode::kHardware}) {
    SampleHandle s = AllocSample(-1, 2205, sample_mode::k16Bit | mode, 44100, 255, 128, 255);
    const ChannelHandle h = PlaySample(kChooseChannel, s);
    ASSERT_NE(h, kChooseChannel);
    EXPECT_EQ((h & 0xfff) >= 32, mode == sample_mode::kHardware);
    EXPECT_TRUE(test::WaitFor([&] { return !IsChannelPlaying(h); }));
  }
}

}  // namespace
}  // namespace zv
