#pragma once

#include <atomic>
#include <mutex>
#include <span>

#include "platform/audio/audio_device.h"

namespace zv::platform {

// No sound device at all: lists nothing and opens nothing. What headless
// runs and machines without sound get.
class HeadlessAudioBackend final : public AudioBackend {
 public:
  std::vector<std::string> OutputDevices() override { return {}; }
  std::vector<std::string> CaptureDevices() override { return {}; }
  std::unique_ptr<AudioOutput> OpenOutput(int, int) override { return nullptr; }
  std::unique_ptr<AudioCapture> OpenCapture(int, int, int, int, uint32_t) override { return nullptr; }
};

// One output and one capture device in memory that move only when told to:
// Play() takes frames from the looping buffer as a sound card would and keeps
// them, Feed() records bytes into the capture ring. Lets tests run the whole
// output and recording path offline and look at what would have been heard.
class MemoryAudioBackend final : public AudioBackend {
 public:
  std::vector<std::string> OutputDevices() override { return {"Memory Output"}; }
  std::vector<std::string> CaptureDevices() override { return {"Memory Capture"}; }
  std::unique_ptr<AudioOutput> OpenOutput(int device, int rate) override;
  std::unique_ptr<AudioCapture> OpenCapture(int device, int rate, int bits, int channels,
                                            uint32_t ring_bytes) override;

  // Takes `frames` frames from the open output's buffer (when it is started)
  // and appends them to Played(); false when no output is open.
  bool Play(uint32_t frames);
  // Appends bytes to the open capture's ring; false when none is open.
  bool Feed(std::span<const uint8_t> bytes);

  std::vector<int16_t> Played() const;
  int OutputRate() const { return output_rate_; }
  bool OutputOpen() const;
  bool CaptureOpen() const;

 private:
  class Output;
  class Capture;
  friend class Output;
  friend class Capture;

  mutable std::mutex mutex_;
  Output* output_ = nullptr;
  Capture* capture_ = nullptr;
  int output_rate_ = 0;
  std::vector<int16_t> played_;
};

}  // namespace zv::platform
