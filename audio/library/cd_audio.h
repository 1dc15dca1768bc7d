#pragma once

#include <cstdint>
#include <memory>

namespace zv::platform {
class CdDrive;
}

namespace zv {

// Audio CD playback through the machine's drive. The device opens on the
// first operation that needs it; with no drive every operation fails (or
// reports 0). The end of each track is followed on the main thread:
// PumpCdEvents, called once per frame, acts on it by the play mode.

// The drive to use from the next open on (the machine's own by default;
// a fake disc in tests). Closes an open device first.
void SetCdDrive(std::unique_ptr<platform::CdDrive> drive);

// Play modes: what happens at the end of a track.
inline constexpr int32_t kCdPlayNext = 0;
inline constexpr int32_t kCdPlayStop = 1;
inline constexpr int32_t kCdPlayRepeat = 2;
inline constexpr int32_t kCdPlayShuffle = 3;

bool PlayCdTrack(int32_t track);
bool StopCd();
bool PauseCd(bool paused);
void SetCdPlayMode(int8_t mode);
bool SetCdVolume(int32_t level);
int32_t GetCdVolume();
int32_t GetCdCurrentTrack();
int32_t GetCdTrackCount();
int32_t GetCdTrackLength(int32_t track);
int32_t GetCdPosition();
bool IsCdPaused();
bool ToggleCdDoor();
// Library shutdown: true when the device was open.
bool CloseCdAudio();

// Handles a track's end once its time has come (main thread, every frame).
void PumpCdEvents();

}  // namespace zv
