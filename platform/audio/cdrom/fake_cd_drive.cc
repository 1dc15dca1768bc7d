#include "platform/audio/cdrom/fake_cd_drive.h"

namespace zv::platform {

FakeCdDrive::FakeCdDrive(std::vector<int> track_ms, bool drive_present) : drive_present_(drive_present) {
  for (int ms : track_ms) tracks_.push_back(CdTime::FromFrames(static_cast<int64_t>(ms) * 75 / 1000));
}

bool FakeCdDrive::Open() {
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
  disc = CdDisc{};
  if (!open_ || door_open_ || tracks_.empty()) return false;
  disc.track_lengths = tracks_;
  disc.length = CdTime::FromFrames(DiscFrames());
  return true;
}

bool FakeCdDrive::PlayTrack(int track) {
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
  if (!open_) return false;
  playing_ = false;
  paused_ = false;
  return true;
}

bool FakeCdDrive::Pause() {
  if (!open_ || !playing_) return false;
  paused_ = true;
  return true;
}

bool FakeCdDrive::Resume() {
  if (!open_ || !playing_) return false;
  paused_ = false;
  return true;
}

bool FakeCdDrive::ReadPlace(CdPlace& place) {
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

}  // namespace zv::platform
