#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zv::platform {

// A device that plays 16-bit stereo frames (left, right) from one looping
// buffer that its owner keeps filled just behind the play position.
class AudioOutput {
 public:
  virtual ~AudioOutput() = default;

  // Hands the device the looping buffer, or takes it away (null). The
  // buffer stays the caller's; the device only reads it, and never after
  // this call has taken it away.
  virtual void SetBuffer(const int16_t* frames, uint32_t frame_count) = 0;
  // Starts or stops taking frames from the buffer.
  virtual void Start() = 0;
  virtual void Stop() = 0;
  // Frames taken from the buffer since it was set; wraps at 2^32, so the
  // caller takes it modulo its buffer length.
  virtual uint32_t FramesPlayed() const = 0;
};

// A device that records PCM into a ring of bytes, round and round.
class AudioCapture {
 public:
  virtual ~AudioCapture() = default;

  virtual const uint8_t* Ring() const = 0;
  virtual uint32_t RingBytes() const = 0;
  // The byte offset in the ring where the next captured byte goes: the
  // bytes before it (round the ring) are complete.
  virtual uint32_t WriteOffset() const = 0;
  virtual void Stop() = 0;
};

// The audio devices of the machine. Device index -1 is the system default.
class AudioBackend {
 public:
  virtual ~AudioBackend() = default;

  virtual std::vector<std::string> OutputDevices() = 0;
  virtual std::vector<std::string> CaptureDevices() = 0;
  // A device playing 16-bit stereo at `rate` Hz; null when none opens.
  virtual std::unique_ptr<AudioOutput> OpenOutput(int device, int rate) = 0;
  // A running capture of `channels` channels of `bits` (8 unsigned or 16
  // signed) at `rate` Hz into a ring of `ring_bytes`; null when none opens.
  virtual std::unique_ptr<AudioCapture> OpenCapture(int device, int rate, int bits, int channels,
                                                    uint32_t ring_bytes) = 0;
};

}  // namespace zv::platform
