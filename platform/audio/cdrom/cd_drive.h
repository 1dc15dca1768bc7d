#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zv::platform {

// A time on an audio CD: minutes, seconds and frames (75 a second).
struct CdTime {
  int minutes = 0;
  int seconds = 0;
  int frames = 0;

  int64_t Milliseconds() const { return minutes * 60000LL + seconds * 1000LL + frames * 1000LL / 75; }
  static CdTime FromFrames(int64_t frames);
  int64_t TotalFrames() const { return (minutes * 60LL + seconds) * 75 + frames; }
};

// What the drive reports while a disc is in it.
struct CdDisc {
  std::vector<CdTime> track_lengths;  // entry 0 is track 1
  CdTime length;                      // the whole disc
};

// Where the drive is now.
struct CdPlace {
  int track = 0;       // current track, 0 when unknown
  CdTime in_track;     // position within that track
  bool playing = false;
  bool paused = false;
};

// An audio CD drive: plays tracks through the drive's own audio output.
// Every call returns false when the drive or the disc cannot do it.
class CdDrive {
 public:
  virtual ~CdDrive() = default;

  // False when there is no drive ("no drive").
  virtual bool Open() = 0;
  virtual void Close() = 0;
  // False when the drive holds no audio disc.
  virtual bool ReadDisc(CdDisc& disc) = 0;
  // Plays from the start of `track` on to the end of the disc.
  virtual bool PlayTrack(int track) = 0;
  virtual bool Stop() = 0;
  virtual bool Pause() = 0;
  // Goes on from a pause; true as well while the drive plays already.
  virtual bool Resume() = 0;
  virtual bool ReadPlace(CdPlace& place) = 0;
  virtual bool SetDoorOpen(bool open) = 0;
  // The drive's output level, 0..255.
  virtual bool SetVolume(int level) = 0;
  virtual bool GetVolume(int& level) = 0;
};

// The drive of this machine at `device` (Linux cdrom ioctls).
std::unique_ptr<CdDrive> MakeLinuxCdDrive(std::string device = "/dev/cdrom");

}  // namespace zv::platform
