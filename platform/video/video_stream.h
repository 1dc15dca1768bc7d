#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/surface/surface.h"

namespace zv::platform {

// What one update of a running clip gives.
enum class VideoUpdate {
  kFrame,  // the frame due now is in the target
  kEnd,    // the clip has no frame left; the target keeps the last one
  kError,  // the clip cannot be decoded (any more)
};

// An open video clip that plays on a millisecond clock: it runs and stops
// (keeping its position), seeks back to its start and, on each update,
// decodes up to the frame due at the given time and writes that frame into
// a caller's pixels, converted to their format (an 8-bit target receives
// indices of the 3-3-2 colour ramp) and stretched to their size. Frames fall
// due at the clip's frame rate counted from its start, so the same clock
// gives the same frames every time. Only the video is decoded here; the
// sound track is read apart (clip_sound.h).
class VideoStream {
 public:
  virtual ~VideoStream() = default;

  // True when the clip has a video stream that decodes; the size and rate
  // below mean something only then.
  virtual bool HasVideo() const = 0;
  virtual int32_t Width() const = 0;
  virtual int32_t Height() const = 0;
  // Frames per second.
  virtual double FrameRate() const = 0;

  // Starts or stops the clip's time at `now_ms`; a stopped clip holds its
  // position, and running again goes on from there.
  virtual void Run(uint32_t now_ms) = 0;
  virtual void Stop(uint32_t now_ms) = 0;
  virtual bool Running() const = 0;
  // Puts the position back to the first frame (the clip keeps running or
  // stays stopped). False when the clip cannot be read from its start again.
  virtual bool SeekToStart(uint32_t now_ms) = 0;

  // Decodes up to the frame due at `now_ms` and writes it into `target`.
  virtual VideoUpdate Update(uint32_t now_ms, const LockedRegion& target) = 0;
};

// Opens the clip at `path` (any container and codec that the decoder
// library knows, AVI and MPG among them); null when the file cannot be
// opened or read as media at all. A file that opens but holds no decodable
// video gives a stream whose HasVideo() is false.
std::unique_ptr<VideoStream> OpenVideoStream(const std::string& path);

}  // namespace zv::platform
