#include "platform/audio/cdrom/fake_cd_drive.h"

#include "platform/clock/clock.h"

namespace zv::platform {

FakeCdDrive::FakeCdDrive(std::vector<int> track_ms, bool drive_present, Clock* clock)
    : drive_present_(drive_present), clock_(clock) {
  for (int ms : track_ms) tracks_.push_back(CdTime::FromFrames(static_cast<int64_t>(ms) * 75 / 1000));
  if (clock_) last_look_ms_ = clock_->NowMs();
}

void FakeCdDrive::FollowClock() {
  if (!clock_) return;
  const uint32_t now = clock_->NowMs();
  const uint32_t elapsed = ElapsedMs(last_look_ms_, now);
  last_look_ms_ = now;
  // Longer than the longest disc: it has played to its end either way.
  Advance(elapsed > 24u * 3600 * 1000 ? 24 * 3600 * 1000 : static_cast<int>(elapsed));
}

bool FakeCdDrive::Open() {
  FollowClock();
  open_ = drive_present_;
  return open_;
}

int64_t FakeCdDrive::TrackStartFrames(int track) const {
  int64_t start = 0;
  for (int i = 1; i < track && i <= static_cast<int>(tracks_.size()); ++i) start += tracks_[i - 1].TotalFrames();
  return start;
}

int64_t FakeCdDrive::DiscFrames() const { return TrackStartFrames(static_cast<int>(tracks_.size()) + 1); }

bool FakeCdDrive::ReadDisc(CdDisc& disc) {
  FollowClock();
  disc = CdDisc{};
  if (!open_ || door_open_ || tracks_.empty()) return false;
  disc.track_lengths = tracks_;
  disc.length = CdTime::FromFrames(DiscFrames());
  return true;
}

bool FakeCdDrive::PlayTrack(int track) {
  FollowClock();
  if (!open_ || door_open_ || track < 1 || track > static_cast<int>(tracks_.size())) return false;
  position_ = TrackStartFrames(track);
  frame_carry_ms_ = 0;
  playing_ = true;
  paused_ = false;
  ++play_count_;
  last_played_ = track;
  return true;
}

bool FakeCdDrive::Stop() {
  FollowClock();
  if (!open_) return false;
  playing_ = false;
  paused_ = false;
  return true;
}

bool FakeCdDrive::Pause() {
  FollowClock();
  if (!open_ || !playing_) return false;
  paused_ = true;
  return true;
}

bool FakeCdDrive::Resume() {
  FollowClock();
  if (!open_ || !playing_) return false;
  paused_ = false;
  return true;
}

bool FakeCdDrive::ReadPlace(CdPlace& place) {
  FollowClock();
  place = CdPlace{};
  if (!open_ || door_open_ || tracks_.empty()) return false;
  int track = 1;
  while (track < static_cast<int>(tracks_.size()) && position_ >= TrackStartFrames(track + 1)) ++track;
  place.track = track;
  place.in_track = CdTime::FromFrames(position_ - TrackStartFrames(track));
  place.playing = playing_ && !paused_;
  place.paused = playing_ && paused_;
  return true;
}

bool FakeCdDrive::SetDoorOpen(bool open) {
  FollowClock();
  if (!open_) return false;
  door_open_ = open;
  if (open) playing_ = paused_ = false;
  return true;
}

bool FakeCdDrive::SetVolume(int level) {
  if (!open_) return false;
  volume_ = level < 0 ? 0 : level > 255 ? 255 : level;
  return true;
}

bool FakeCdDrive::GetVolume(int& level) {
  if (!open_) return false;
  level = volume_;
  return true;
}

void FakeCdDrive::Advance(int ms) {
  if (!playing_ || paused_ || ms <= 0) return;
  frame_carry_ms_ += static_cast<int64_t>(ms) * 75;
  position_ += frame_carry_ms_ / 1000;
  frame_carry_ms_ %= 1000;
  if (position_ >= DiscFrames()) {
    position_ = DiscFrames();
    playing_ = false;
  }
}

std::unique_ptr<CdDrive> MakeHeadlessCdDrive(Clock& clock) {
  return std::make_unique<FakeCdDrive>(std::vector<int>{185000, 242000, 167000, 310000}, true, &clock);
}

}  // namespace zv::platform
