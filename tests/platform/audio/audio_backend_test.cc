#include <gtest/gtest.h>

#include "platform/audio/cdrom/fake_cd_drive.h"
#include "platform/audio/headless/headless_audio.h"
#include "platform/clock/clock.h"

namespace zv::platform {
namespace {

TEST(HeadlessAudio, HasNoDevices) {
  HeadlessAudioBackend backend;
  EXPECT_TRUE(backend.OutputDevices().empty());
  EXPECT_TRUE(backend.CaptureDevices().empty());
  EXPECT_EQ(backend.OpenOutput(-1, 44100), nullptr);
  EXPECT_EQ(backend.OpenCapture(-1, 44100, 16, 1, 1000), nullptr);
}

TEST(MemoryAudio, PlaysTheLoopingBufferRoundAndRound) {
  MemoryAudioBackend backend;
  std::unique_ptr<AudioOutput> out = backend.OpenOutput(-1, 22050);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(backend.OpenOutput(-1, 22050), nullptr);  // one at a time
  const int16_t frames[6] = {1, -1, 2, -2, 3, -3};
  out->SetBuffer(frames, 3);
  ASSERT_TRUE(backend.Play(2));
  EXPECT_TRUE(backend.Played().empty());  // not started
  out->Start();
  ASSERT_TRUE(backend.Play(4));
  EXPECT_EQ(backend.Played(), (std::vector<int16_t>{1, -1, 2, -2, 3, -3, 1, -1}));
  EXPECT_EQ(out->FramesPlayed(), 4u);
  out->SetBuffer(nullptr, 0);
  out.reset();
  EXPECT_FALSE(backend.Play(1));
  EXPECT_EQ(backend.OutputRate(), 22050);
}

TEST(MemoryAudio, CaptureWritesRoundItsRing) {
  MemoryAudioBackend backend;
  EXPECT_EQ(backend.OpenCapture(-1, 8000, 12, 1, 8), nullptr);
  std::unique_ptr<AudioCapture> in = backend.OpenCapture(-1, 8000, 16, 1, 8);
  ASSERT_NE(in, nullptr);
  ASSERT_TRUE(backend.Feed(std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(in->WriteOffset(), 6u);
  ASSERT_TRUE(backend.Feed(std::vector<uint8_t>{7, 8, 9, 10}));
  EXPECT_EQ(in->WriteOffset(), 2u);
  EXPECT_EQ(in->Ring()[0], 9);
  EXPECT_EQ(in->Ring()[7], 8);
  in->Stop();
  ASSERT_TRUE(backend.Feed(std::vector<uint8_t>{99}));
  EXPECT_EQ(in->WriteOffset(), 2u);
}

TEST(CdTime, FramesAreSeventyFiveASecond) {
  const CdTime t = CdTime::FromFrames(75 * 61 + 10);
  EXPECT_EQ(t.minutes, 1);
  EXPECT_EQ(t.seconds, 1);
  EXPECT_EQ(t.frames, 10);
  EXPECT_EQ(t.TotalFrames(), 75 * 61 + 10);
  EXPECT_EQ(t.Milliseconds(), 61000 + 133);
}

TEST(FakeCdDrive, PlaysThroughTheTracksToTheEndOfTheDisc) {
  FakeCdDrive drive({2000, 3000});
  EXPECT_FALSE(drive.PlayTrack(1));  // not open
  ASSERT_TRUE(drive.Open());
  CdDisc disc;
  ASSERT_TRUE(drive.ReadDisc(disc));
  ASSERT_EQ(disc.track_lengths.size(), 2u);
  EXPECT_EQ(disc.length.TotalFrames(), 375);
  ASSERT_TRUE(drive.PlayTrack(1));
  drive.Advance(2500);
  CdPlace place;
  ASSERT_TRUE(drive.ReadPlace(place));
  EXPECT_EQ(place.track, 2);
  EXPECT_EQ(place.in_track.seconds, 0);
  EXPECT_TRUE(place.playing);
  drive.Advance(5000);
  EXPECT_FALSE(drive.Playing());
  EXPECT_FALSE(drive.PlayTrack(3));
}

TEST(FakeCdDrive, GivenAClockPlaysOnByItsTimeOnly) {
  ManualClock clock(5000);
  FakeCdDrive drive({2000, 3000}, true, &clock);
  ASSERT_TRUE(drive.Open());
  clock.Advance(700);  // before any play: nothing moves
  ASSERT_TRUE(drive.PlayTrack(1));
  clock.Advance(2400);
  CdPlace place;
  ASSERT_TRUE(drive.ReadPlace(place));
  EXPECT_EQ(place.track, 2);
  EXPECT_EQ(place.in_track.seconds, 0);
  EXPECT_EQ(place.in_track.frames, 30);
  // Paused, the clock goes on without the disc.
  ASSERT_TRUE(drive.Pause());
  clock.Advance(60000);
  ASSERT_TRUE(drive.Resume());
  ASSERT_TRUE(drive.ReadPlace(place));
  EXPECT_EQ(place.track, 2);
  EXPECT_EQ(place.in_track.frames, 30);
  clock.Advance(2700);
  ASSERT_TRUE(drive.ReadPlace(place));
  EXPECT_FALSE(place.playing);
}

TEST(FakeCdDrive, NoDriveOpensNothing) {
  FakeCdDrive drive({1000}, false);
  EXPECT_FALSE(drive.Open());
  CdPlace place;
  EXPECT_FALSE(drive.ReadPlace(place));
}

TEST(LinuxCdDrive, AMissingDeviceIsNoDrive) {
  std::unique_ptr<CdDrive> drive = MakeLinuxCdDrive("/nonexistent/cdrom");
  EXPECT_FALSE(drive->Open());
  CdDisc disc;
  EXPECT_FALSE(drive->ReadDisc(disc));
  EXPECT_FALSE(drive->PlayTrack(1));
}

}  // namespace
}  // namespace zv::platform
