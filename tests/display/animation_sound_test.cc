#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "audio/commands/sound_commands_service.h"
#include "audio/library/mixer.h"
#include "tests/display/animation_fixture.h"

namespace zv::test {
namespace {

namespace op = animation_opcode;

// with_sound.avi: six frames at ten a second over 0.6 s of a 440 Hz tone.
// The sound system runs on the no-sound driver and mixes offline, one
// 25 ms block for every 25 ms frame, so the test hears what a run would.
class AnimationSound : public AnimationTest {
 protected:
  AnimationSound() : sound(SoundSystemOptions{nullptr, true}) { vm.sound = &sound; }
  void SetUp() override {
    sound.StartSoundSystem();
    ASSERT_TRUE(sound.Slots().Running());
    AnimationTest::SetUp();
  }
  void TearDown() override {
    clips.ReleaseAllAnimations();
    sound.StopSoundSystem();
    SetOfflineMixing(false);
  }

  // One frame of pictures and the block of sound mixed with it.
  std::vector<int16_t> Step() {
    Frame(25);
    std::vector<int16_t> block(static_cast<size_t>(GetMixBlockLength()) * 2);
    EXPECT_TRUE(MixOffline(block.data(), GetMixBlockLength()));
    return block;
  }
  // `frames` frames of pictures and what was heard with them.
  std::vector<int16_t> Steps(int frames) {
    std::vector<int16_t> all;
    for (int i = 0; i < frames; ++i) {
      const std::vector<int16_t> block = Step();
      all.insert(all.end(), block.begin(), block.end());
    }
    return all;
  }
  static int Peak(const std::vector<int16_t>& out) {
    int peak = 0;
    for (int16_t v : out) peak = std::max(peak, std::abs(static_cast<int>(v)));
    return peak;
  }
  // Stereo frames that are not silent.
  static size_t Sounding(const std::vector<int16_t>& out) {
    size_t n = 0;
    for (size_t i = 0; i + 1 < out.size(); i += 2) n += out[i] != 0 || out[i + 1] != 0;
    return n;
  }
  // Rising zero crossings of the left side, scaled to a second.
  static double Frequency(const std::vector<int16_t>& out) {
    int rising = 0;
    for (size_t i = 2; i < out.size(); i += 2) rising += out[i - 2] < 0 && out[i] >= 0;
    return rising * 44100.0 / static_cast<double>(out.size() / 2);
  }

  SoundCommandsService sound;
};

TEST_F(AnimationSound, TheSoundTrackPlaysPausesAndEndsWithThePictures) {
  ASSERT_EQ(Load(ClipPath("with_sound.avi"), 1), 0);
  EXPECT_EQ(Peak(Steps(4)), 0) << "loading plays nothing";

  ASSERT_EQ(Do(op::kPlayAnimation, {1}), 0);
  const std::vector<int16_t> start = Steps(8);
  EXPECT_GT(Peak(start), 2000);
  EXPECT_NEAR(Frequency(start), 440.0, 10.0);
  EXPECT_GT(Sounding(start), start.size() / 2 * 99 / 100) << "it plays from the first block on";

  ASSERT_EQ(Do(op::kPauseAnimation, {1}), 0);
  EXPECT_EQ(Peak(Steps(10)), 0) << "a paused clip is silent";
  ASSERT_EQ(Do(op::kResumeAnimation, {1}), 0);
  const std::vector<int16_t> rest = Steps(30);
  EXPECT_EQ(Ask(op::kAnimationPlaying, 1), 0);
  // Nothing was lost or heard twice across the pause: the whole track, give
  // or take the block in which the pictures ended.
  EXPECT_NEAR(static_cast<double>(Sounding(start) + Sounding(rest)), 0.6 * 44100, 1200.0);
  EXPECT_EQ(Peak(Steps(4)), 0) << "an ended clip is silent";

  // Played again, it starts from the beginning; stopped, it falls silent.
  ASSERT_EQ(Do(op::kPlayAnimation, {1}), 0);
  const std::vector<int16_t> again = Steps(8);
  EXPECT_EQ(again, start);
  ASSERT_EQ(Do(op::kStopAnimation, {1}), 0);
  EXPECT_EQ(Peak(Steps(4)), 0);
}

TEST_F(AnimationSound, ALoopingClipsSoundStartsAgainWithItsPictures) {
  ASSERT_EQ(Load(ClipPath("with_sound.avi"), 2), 0);
  ASSERT_EQ(Do(op::kLoopAnimation, {2}), 0);
  const std::vector<int16_t> first = Steps(24);  // 0.6 s: one pass
  const std::vector<int16_t> later = Steps(56);  // 1.4 s more: two passes and a bit
  EXPECT_EQ(Ask(op::kAnimationPlaying, 2), 1);
  // Every pass is heard: sound in the last tenth of a second as in the first.
  EXPECT_GT(Peak(std::vector<int16_t>(later.end() - 2 * 4410, later.end())), 2000);
  EXPECT_GT(Sounding(later), static_cast<size_t>(1.2 * 44100));
  // The sound system going first leaves the clip harmless to stop.
  sound.StopSoundSystem();
  Frame(25);
  EXPECT_EQ(Do(op::kStopAnimation, {2}), 0);
  EXPECT_EQ(Ask(op::kAnimationPlaying, 2), 0);
}

TEST_F(AnimationSound, ClipsWithoutASoundTrackOrASoundSystemPlaySilently) {
  ASSERT_EQ(Load(ClipPath("mjpeg.avi"), 3), 0);
  ASSERT_EQ(Do(op::kPlayAnimation, {3}), 0);
  EXPECT_EQ(Peak(Steps(8)), 0);
  EXPECT_EQ(clips.Slot(3).sound, nullptr);
  NullSound none;
  vm.sound = &none;
  ASSERT_EQ(Load(ClipPath("with_sound.avi"), 4), 0);
  ASSERT_EQ(Do(op::kPlayAnimation, {4}), 0);
  EXPECT_EQ(clips.Slot(4).sound, nullptr);
  Frame(25);
  vm.sound = &sound;
}

}  // namespace
}  // namespace zv::test
