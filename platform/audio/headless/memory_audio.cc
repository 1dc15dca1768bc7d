#include <algorithm>
#include <cstring>

#include "platform/audio/headless/headless_audio.h"

namespace zv::platform {

class MemoryAudioBackend::Output final : public AudioOutput {
 public:
  explicit Output(MemoryAudioBackend& owner) : owner_(owner) {}
  ~Output() override {
    std::lock_guard lock(owner_.mutex_);
    if (owner_.output_ == this) owner_.output_ = nullptr;
  }
  void SetBuffer(const int16_t* frames, uint32_t frame_count) override {
    std::lock_guard lock(owner_.mutex_);
    buffer_ = frames;
    frame_count_ = frames ? frame_count : 0;
    read_ = 0;
    played_ = 0;
  }
  void Start() override { running_ = true; }
  void Stop() override { running_ = false; }
  uint32_t FramesPlayed() const override { return played_.load(); }

  // Called with the owner's mutex held.
  void Take(uint32_t frames, std::vector<int16_t>& out) {
    if (!running_ || buffer_ == nullptr || frame_count_ == 0) return;
    for (uint32_t i = 0; i < frames; ++i) {
      out.push_back(buffer_[read_ * 2]);
      out.push_back(buffer_[read_ * 2 + 1]);
      read_ = (read_ + 1) % frame_count_;
    }
    played_ += frames;
  }

 private:
  MemoryAudioBackend& owner_;
  const int16_t* buffer_ = nullptr;
  uint32_t frame_count_ = 0;
  uint32_t read_ = 0;
  std::atomic<uint32_t> played_{0};
  std::atomic<bool> running_{false};
};

class MemoryAudioBackend::Capture final : public AudioCapture {
 public:
  Capture(MemoryAudioBackend& owner, uint32_t ring_bytes) : owner_(owner), ring_(ring_bytes, 0) {}
  ~Capture() override {
    std::lock_guard lock(owner_.mutex_);
    if (owner_.capture_ == this) owner_.capture_ = nullptr;
  }
  const uint8_t* Ring() const override { return ring_.data(); }
  uint32_t RingBytes() const override { return static_cast<uint32_t>(ring_.size()); }
  uint32_t WriteOffset() const override { return write_.load(); }
  void Stop() override { stopped_ = true; }

  // Called with the owner's mutex held.
  void Put(std::span<const uint8_t> bytes) {
    if (stopped_ || ring_.empty()) return;
    uint32_t at = write_.load();
    for (uint8_t b : bytes) {
      ring_[at] = b;
      at = (at + 1) % static_cast<uint32_t>(ring_.size());
    }
    write_ = at;
  }

 private:
  MemoryAudioBackend& owner_;
  std::vector<uint8_t> ring_;
  std::atomic<uint32_t> write_{0};
  bool stopped_ = false;
};

std::unique_ptr<AudioOutput> MemoryAudioBackend::OpenOutput(int device, int rate) {
  if (device > 0) return nullptr;
  std::lock_guard lock(mutex_);
  if (output_) return nullptr;  // one at a time, as a real card
  auto output = std::make_unique<Output>(*this);
  output_ = output.get();
  output_rate_ = rate;
  return output;
}

std::unique_ptr<AudioCapture> MemoryAudioBackend::OpenCapture(int device, int, int bits, int channels,
                                                              uint32_t ring_bytes) {
  if (device > 0 || ring_bytes == 0 || (bits != 8 && bits != 16) || channels < 1 || channels > 2) return nullptr;
  std::lock_guard lock(mutex_);
  if (capture_) return nullptr;
  auto capture = std::make_unique<Capture>(*this, ring_bytes);
  capture_ = capture.get();
  return capture;
}

bool MemoryAudioBackend::Play(uint32_t frames) {
  std::lock_guard lock(mutex_);
  if (!output_) return false;
  output_->Take(frames, played_);
  return true;
}

bool MemoryAudioBackend::Feed(std::span<const uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  if (!capture_) return false;
  capture_->Put(bytes);
  return true;
}

std::vector<int16_t> MemoryAudioBackend::Played() const {
  std::lock_guard lock(mutex_);
  return played_;
}

bool MemoryAudioBackend::OutputOpen() const {
  std::lock_guard lock(mutex_);
  return output_ != nullptr;
}

bool MemoryAudioBackend::CaptureOpen() const {
  std::lock_guard lock(mutex_);
  return capture_ != nullptr;
}

}  // namespace zv::platform
