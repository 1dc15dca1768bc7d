#pragma once

#include "platform/audio/cdrom/cd_drive.h"

namespace zv::platform {

class Clock;

// A drive with a disc of given track lengths that plays on as a real drive
// would: through the tracks to the end of the disc. Its play position moves
// when Advance() is called and, given a clock, by the time that clock has
// gone on between one call and the next. For tests and headless runs.
class FakeCdDrive final : public CdDrive {
 public:
  // Track lengths in milliseconds; an empty list is a drive without a disc.
  explicit FakeCdDrive(std::vector<int> track_ms = {}, bool drive_present = true, Clock* clock = nullptr);

  bool Open() override;
  void Close() override { open_ = false; }
  bool ReadDisc(CdDisc& disc) override;
  bool PlayTrack(int track) override;
  bool Stop() override;
  bool Pause() override;
  bool Resume() override;
  bool ReadPlace(CdPlace& place) override;
  bool SetDoorOpen(bool open) override;
  bool SetVolume(int level) override;
  bool GetVolume(int& level) override;

  // Plays on for `ms` milliseconds when playing.
  void Advance(int ms);
  bool Playing() const { return playing_ && !paused_; }
  int Volume() const { return volume_; }
  // Number of PlayTrack calls that started a track, and the last one.
  int PlayCount() const { return play_count_; }
  int LastPlayedTrack() const { return last_played_; }

 private:
  int64_t TrackStartFrames(int track) const;  // 1-based
  int64_t DiscFrames() const;
  // Plays on by the clock's time since the last call.
  void FollowClock();

  std::vector<CdTime> tracks_;
  bool drive_present_;
  bool open_ = false;
  bool door_open_ = false;
  bool playing_ = false;
  bool paused_ = false;
  int64_t position_ = 0;      // frames from the start of the disc
  int64_t frame_carry_ms_ = 0;
  int volume_ = 255;
  int play_count_ = 0;
  int last_played_ = 0;
  Clock* clock_;
  uint32_t last_look_ms_ = 0;
};

// The disc that headless runs find in their drive: a few audio tracks of
// fixed lengths, played on `clock`.
std::unique_ptr<CdDrive> MakeHeadlessCdDrive(Clock& clock);

}  // namespace zv::platform
