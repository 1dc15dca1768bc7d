#include <gtest/gtest.h>

#include "audio/library/cd_audio.h"
#include "audio/library/timing.h"
#include "platform/audio/cdrom/fake_cd_drive.h"
#include "platform/clock/clock.h"

namespace zv {
namespace {

// A disc of twelve tracks of 10 s to 21 s, played on a manual clock.
class CdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<int> tracks;
    for (int i = 0; i < 12; ++i) tracks.push_back(10000 + i * 1000);
    auto drive = std::make_unique<platform::FakeCdDrive>(tracks);
    drive_ = drive.get();
    SetCdDrive(std::move(drive));
    SetAudioClock(&clock_);
  }
  void TearDown() override {
    SetCdDrive(nullptr);
    SetAudioClock(nullptr);
  }
  // Lets `ms` of play go by, the frame pump looking every 25 ms.
  void Play(int ms) {
    for (int t = 0; t < ms; t += 25) {
      clock_.Advance(25);
      drive_->Advance(25);
      PumpCdEvents();
    }
  }

  platform::ManualClock clock_{1000};
  platform::FakeCdDrive* drive_ = nullptr;
};

TEST(CdNoDrive, EveryOperationFails) {
  SetCdDrive(std::make_unique<platform::FakeCdDrive>(std::vector<int>{}, false));
  EXPECT_FALSE(PlayCdTrack(1));
  EXPECT_FALSE(StopCd());
  EXPECT_EQ(GetCdTrackCount(), 0);
  EXPECT_EQ(GetCdVolume(), -1);
  EXPECT_EQ(GetCdCurrentTrack(), 0);
  EXPECT_FALSE(CloseCdAudio());
  SetCdDrive(nullptr);
}

TEST(CdNoDrive, ThisMachinesDriveIsAbsent) {
  SetCdDrive(platform::MakeLinuxCdDrive("/nonexistent/cdrom"));
  EXPECT_FALSE(PlayCdTrack(1));
  EXPECT_EQ(GetCdTrackCount(), 0);
  SetCdDrive(nullptr);
}

TEST_F(CdTest, TracksAndLengthsComeFromTheDisc) {
  EXPECT_EQ(GetCdCurrentTrack(), 0);  // nothing opened yet
  EXPECT_EQ(GetCdTrackCount(), 12);
  EXPECT_EQ(GetCdTrackLength(0), 0);
  EXPECT_EQ(GetCdTrackLength(13), 0);
  EXPECT_EQ(GetCdTrackLength(12), 21000);
  EXPECT_EQ(GetCdTrackLength(1), 10000);
}

TEST_F(CdTest, PlayPauseResumeAndStop) {
  ASSERT_TRUE(PlayCdTrack(3));
  EXPECT_EQ(GetCdCurrentTrack(), 3);
  EXPECT_TRUE(drive_->Playing());
  Play(2000);
  EXPECT_NEAR(GetCdPosition(), 2000, 30);
  ASSERT_TRUE(PauseCd(true));
  EXPECT_TRUE(IsCdPaused());
  EXPECT_FALSE(drive_->Playing());
  ASSERT_TRUE(PauseCd(false));
  EXPECT_FALSE(IsCdPaused());
  ASSERT_TRUE(StopCd());
  EXPECT_FALSE(drive_->Playing());
  EXPECT_TRUE(CloseCdAudio());
}

TEST_F(CdTest, StopModeStopsAtTheEndOfTheTrack) {
  SetCdPlayMode(kCdPlayStop);
  ASSERT_TRUE(PlayCdTrack(1));
  Play(10500);
  EXPECT_FALSE(drive_->Playing());
}

TEST_F(CdTest, RepeatModePlaysTheTrackAgain) {
  SetCdPlayMode(kCdPlayRepeat);
  ASSERT_TRUE(PlayCdTrack(2));
  const int starts = drive_->PlayCount();
  Play(11500);
  EXPECT_GT(drive_->PlayCount(), starts);
  EXPECT_EQ(drive_->LastPlayedTrack(), 2);
  EXPECT_EQ(GetCdCurrentTrack(), 2);
}

TEST_F(CdTest, NextModePlaysOnAndStopsAfterTheLastTrack) {
  SetCdPlayMode(kCdPlayNext);
  ASSERT_TRUE(PlayCdTrack(11));
  Play(21000);
  EXPECT_EQ(GetCdCurrentTrack(), 12);
  EXPECT_TRUE(drive_->Playing());
  Play(21000);
  EXPECT_FALSE(drive_->Playing());
}

std::vector<int> ShuffledTracks(platform::FakeCdDrive*& drive, platform::ManualClock& clock, int count) {
  std::vector<int> order;
  SetCdPlayMode(kCdPlayShuffle);
  PlayCdTrack(1);
  int last = drive->PlayCount();
  for (int step = 0; step < 6000 && static_cast<int>(order.size()) < count; ++step) {
    clock.Advance(25);
    drive->Advance(25);
    PumpCdEvents();
    if (drive->PlayCount() != last) {
      last = drive->PlayCount();
      order.push_back(drive->LastPlayedTrack());
    }
  }
  return order;
}

TEST_F(CdTest, ShuffleFollowsAFixedOrderWithinTheDisc) {
  const std::vector<int> first = ShuffledTracks(drive_, clock_, 4);
  ASSERT_EQ(first.size(), 4u);
  for (int track : first) {
    EXPECT_GE(track, 1);
    EXPECT_LE(track, 12);
  }
  // Again from the start: the same order.
  TearDown();
  SetUp();
  EXPECT_EQ(ShuffledTracks(drive_, clock_, 4), first);
}

TEST_F(CdTest, VolumeIsClampedToTheDrivesRange) {
  SetCdVolume(300);
  EXPECT_EQ(drive_->Volume(), 255);
  EXPECT_EQ(GetCdVolume(), 255);
  SetCdVolume(-5);
  EXPECT_EQ(drive_->Volume(), 0);
}

TEST_F(CdTest, DoorOpensOnAFullDriveAndClosesOnAnEmptyOne) {
  ASSERT_TRUE(PlayCdTrack(1));
  ASSERT_TRUE(ToggleCdDoor());
  EXPECT_FALSE(drive_->Playing());
  EXPECT_FALSE(PlayCdTrack(1));  // the door is open
  ASSERT_TRUE(ToggleCdDoor());
  EXPECT_EQ(GetCdTrackCount(), 0);  // as last read
  EXPECT_TRUE(PlayCdTrack(1));
  EXPECT_EQ(GetCdTrackCount(), 12);
}

TEST_F(CdTest, AFrame74CountsAsAWholeSecond) {
  ASSERT_TRUE(PlayCdTrack(1));
  ASSERT_TRUE(PauseCd(true));
  // 74 frames of 1/75 s into the second second.
  drive_->Resume();
  drive_->Advance(1000 + 74 * 1000 / 75 + 1);
  drive_->Pause();
  EXPECT_EQ(GetCdPosition(), 2000);
}

}  // namespace
}  // namespace zv
