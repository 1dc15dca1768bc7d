#include "audio/library/cd_audio.h"

#include <array>
#include <utility>

#include "audio/library/timing.h"
#include "platform/audio/cdrom/cd_drive.h"

namespace zv {
namespace {

constexpr int kMaxTracks = 256;

struct CdState {
  std::unique_ptr<platform::CdDrive> drive;
  bool open = false;
  int32_t current_track = 0;
  int32_t track_count = 0;
  int64_t disc_length = 0;  // 0: no disc
  std::array<int32_t, kMaxTracks> track_ms{};
  int32_t play_mode = kCdPlayNext;
  bool paused = false;
  // The end-of-track timer: its deadline on the library clock.
  bool timer_armed = false;
  uint32_t timer_deadline = 0;
  // Going on into the next track: the track awaited and the looks left.
  int32_t awaited_track = 0;
  int32_t await_looks = 0;
  std::array<uint16_t, kMaxTracks> shuffle{};
  int32_t shuffle_index = 0;
  int32_t shuffle_start = 0;
  bool in_shuffle_step = false;
  int32_t level = -1;  // the last volume set, -1 none
};

CdState& Cd() {
  static CdState state;
  return state;
}

platform::CdDrive& Drive() {
  CdState& cd = Cd();
  if (!cd.drive) cd.drive = platform::MakeLinuxCdDrive();
  return *cd.drive;
}

// A fixed order of 1..256: the same generator and seed every time.
void Shuffle() {
  CdState& cd = Cd();
  uint32_t state = 0;
  auto draw = [&state] {
    state = state * 214013u + 2531011u;
    return (state >> 16) & 0x7fff;
  };
  for (int i = 0; i < kMaxTracks; ++i) cd.shuffle[static_cast<size_t>(i)] = static_cast<uint16_t>(i + 1);
  for (int i = 0; i < kMaxTracks; ++i) std::swap(cd.shuffle[static_cast<size_t>(i)], cd.shuffle[draw() % kMaxTracks]);
  cd.shuffle_index = 0;
}

void ReadCurrentTrack() {
  platform::CdPlace place;
  Cd().current_track = Drive().ReadPlace(place) ? place.track : 0;
}

void ReadTrackCount() {
  CdState& cd = Cd();
  platform::CdDisc disc;
  if (!Drive().ReadDisc(disc)) {
    cd.track_count = 0;
    cd.disc_length = 0;
    return;
  }
  cd.track_count = static_cast<int32_t>(disc.track_lengths.size());
  cd.disc_length = disc.length.TotalFrames();
  for (int32_t t = 1; t <= cd.track_count && t < kMaxTracks; ++t) {
    const platform::CdTime& len = disc.track_lengths[static_cast<size_t>(t - 1)];
    cd.track_ms[static_cast<size_t>(t)] = len.minutes * 60000 + len.seconds * 1000;
  }
}

bool OpenCdDevice() {
  CdState& cd = Cd();
  if (!Drive().Open()) return false;
  cd.open = true;
  ReadCurrentTrack();
  ReadTrackCount();
  Shuffle();
  cd.level = -1;
  return true;
}

bool OpenIfNeeded() { return Cd().open || OpenCdDevice(); }

// Milliseconds left in the current track (frames ignored); 0 when unknown.
int32_t TimeLeft() {
  CdState& cd = Cd();
  platform::CdPlace place;
  if (!Drive().ReadPlace(place) || cd.current_track < 1 || cd.current_track >= kMaxTracks) return 0;
  const int32_t length = cd.track_ms[static_cast<size_t>(cd.current_track)];
  return length - (place.in_track.minutes * 60000 + place.in_track.seconds * 1000);
}

void StopCdTimer() {
  Cd().timer_armed = false;
  Cd().awaited_track = 0;
}

void StartCdTimer() {
  const int32_t wait = TimeLeft() - 100;
  if (wait <= 0) return;
  StopCdTimer();
  Cd().timer_deadline = GetClockMs() + static_cast<uint32_t>(wait);
  Cd().timer_armed = true;
}

void ArmAfter(uint32_t ms) {
  Cd().timer_deadline = GetClockMs() + ms;
  Cd().timer_armed = true;
}

void OnTrackEnd() {
  CdState& cd = Cd();
  switch (cd.play_mode) {
    case kCdPlayStop:
      StopCd();
      break;
    case kCdPlayRepeat:
      PlayCdTrack(cd.current_track);
      StartCdTimer();
      break;
    case kCdPlayShuffle: {
      ReadTrackCount();
      if (cd.track_count == 0) break;
      for (int steps = 0; steps < 4 * kMaxTracks; ++steps) {
        cd.shuffle_index = cd.shuffle_index == kMaxTracks - 1 ? 0 : cd.shuffle_index + 1;
        if (cd.shuffle_index == cd.shuffle_start) Shuffle();
        if (cd.shuffle[static_cast<size_t>(cd.shuffle_index)] <= cd.track_count) break;
      }
      cd.in_shuffle_step = true;
      PlayCdTrack(cd.shuffle[static_cast<size_t>(cd.shuffle_index)]);
      cd.in_shuffle_step = false;
      ReadCurrentTrack();
      StartCdTimer();
      break;
    }
    default: {
      const int32_t next = cd.current_track + 1;
      ReadTrackCount();
      if (next > cd.track_count) {
        StopCd();
        break;
      }
      // The disc plays on into the next track by itself; look again every
      // 500 ms (twice at most) until the drive reports it.
      cd.awaited_track = next;
      cd.await_looks = 2;
      ReadCurrentTrack();
      if (cd.current_track == next) {
        cd.awaited_track = 0;
        StartCdTimer();
      } else {
        ArmAfter(500);
      }
      break;
    }
  }
}

}  // namespace

void SetCdDrive(std::unique_ptr<platform::CdDrive> drive) {
  CloseCdAudio();
  CdState& cd = Cd();
  cd = CdState{};
  cd.drive = std::move(drive);
}

bool PlayCdTrack(int32_t track) {
  CdState& cd = Cd();
  if (!OpenIfNeeded()) return false;
  if (!Drive().PlayTrack(track)) return false;
  cd.current_track = track;
  if (!cd.paused && !cd.in_shuffle_step && track >= 1 && track <= kMaxTracks) {
    for (int steps = 0; steps < kMaxTracks && cd.shuffle[static_cast<size_t>(cd.shuffle_index)] != track; ++steps)
      cd.shuffle_index = cd.shuffle_index == kMaxTracks - 1 ? 0 : cd.shuffle_index + 1;
    cd.shuffle_start = cd.shuffle_index;
  }
  PauseCd(false);
  ReadTrackCount();
  return true;
}

bool StopCd() {
  if (!OpenIfNeeded()) return false;
  StopCdTimer();
  Cd().paused = false;
  const bool stopped = Drive().Stop();
  if (stopped) ReadTrackCount();
  return stopped;
}

bool PauseCd(bool paused) {
  CdState& cd = Cd();
  if (!OpenIfNeeded()) return false;
  if (!paused) {
    if (Drive().Resume()) {
      StartCdTimer();
      cd.paused = false;
    }
  } else if (Drive().Pause()) {
    StopCdTimer();
    cd.paused = true;
  }
  ReadTrackCount();
  return true;
}

void SetCdPlayMode(int8_t mode) { Cd().play_mode = mode; }

bool SetCdVolume(int32_t level) {
  if (!OpenIfNeeded()) return false;
  level = level < 0 ? 0 : level > 255 ? 255 : level;
  Drive().SetVolume(level);
  Cd().level = level;
  return false;
}

int32_t GetCdVolume() {
  if (!OpenIfNeeded()) return -1;
  if (Cd().level != -1) return Cd().level;
  int value = 0;
  return Drive().GetVolume(value) ? value : 0;
}

int32_t GetCdCurrentTrack() { return Cd().current_track; }

int32_t GetCdTrackCount() {
  if (!OpenIfNeeded()) return 0;
  return Cd().track_count;
}

int32_t GetCdTrackLength(int32_t track) {
  const CdState& cd = Cd();
  if (track < 1 || track > cd.track_count || track >= kMaxTracks) return 0;
  return cd.track_ms[static_cast<size_t>(track)];
}

int32_t GetCdPosition() {
  platform::CdPlace place;
  if (!Cd().open || !Drive().ReadPlace(place)) return 0;
  const uint32_t raw = static_cast<uint32_t>(place.track & 0xff) | static_cast<uint32_t>(place.in_track.minutes & 0xff) << 8 |
                       static_cast<uint32_t>(place.in_track.seconds & 0xff) << 16 |
                       static_cast<uint32_t>(place.in_track.frames & 0xff) << 24;
  if (raw < 0x201) return 0;
  // Frame 74 counts as a whole second.
  int32_t ms = place.in_track.minutes * 60000 + place.in_track.seconds * 1000 + place.in_track.frames * 1000 / 74;
  const int32_t length = GetCdTrackLength(Cd().current_track);
  if (length < ms) ms = length;
  return ms;
}

bool IsCdPaused() { return Cd().paused; }

bool ToggleCdDoor() {
  if (!OpenIfNeeded()) return false;
  ReadTrackCount();
  if (Cd().disc_length == 0) {
    Drive().SetDoorOpen(false);
  } else {
    StopCd();
    Drive().SetDoorOpen(true);
  }
  return true;
}

bool CloseCdAudio() {
  CdState& cd = Cd();
  if (!cd.open) return false;
  StopCd();
  StopCdTimer();
  Drive().Close();
  cd.open = false;
  return true;
}

void PumpCdEvents() {
  CdState& cd = Cd();
  if (!cd.open || !cd.timer_armed) return;
  if (static_cast<int32_t>(GetClockMs() - cd.timer_deadline) < 0) return;
  cd.timer_armed = false;
  if (cd.awaited_track != 0) {
    ReadCurrentTrack();
    if (cd.current_track != cd.awaited_track && --cd.await_looks > 0) {
      ArmAfter(500);
      return;
    }
    cd.awaited_track = 0;
    StartCdTimer();
    return;
  }
  OnTrackEnd();
}

}  // namespace zv
