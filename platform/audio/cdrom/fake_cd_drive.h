#pragma once

#include "platform/audio/cdrom/cd_drive.h"

namespace zv::platform {

// A drive with a disc of given track lengths whose play position moves only
// when Advance() is called, as a real drive would play on: through the
// tracks to the end of the disc. For tests.
class FakeCdDrive final : public CdDrive {
 public:
  // Track lengths in milliseconds; an empty list is a drive without a disc.
  explicit FakeCdDrive(std::vector<int> track_ms = {}, bool drive_present = true);

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
};

}  // namespace zv::platform
