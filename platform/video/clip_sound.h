#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace zv::platform {

// The sound track of a video clip, or a sound file's one track (music in a
// compressed format), decoded as it is read: 16-bit stereo frames (left,
// right) at the rate the caller asked for, whatever the file holds. Reads
// and rewinds must come from one thread at a time.
class ClipSound {
 public:
  virtual ~ClipSound() = default;

  // Up to `frames` frames into `out`; fewer only at the end of the track
  // (or where it cannot be decoded any further).
  virtual int32_t Read(int16_t* out, int32_t frames) = 0;
  // Back to the first frame; false when the track cannot be read from its
  // start again (it then stays at its end).
  virtual bool Rewind() = 0;
  // The track's length in milliseconds as the file states it (-1 when it
  // states none). Only a hint: the track may end a little before or after.
  virtual int64_t StatedLengthMs() const = 0;
};

// Opens the sound track of the file at `path` for reading at `rate` frames
// a second (8000 to 192000); null when the file holds no sound that decodes.
std::unique_ptr<ClipSound> OpenClipSound(const std::string& path, int32_t rate);

}  // namespace zv::platform
