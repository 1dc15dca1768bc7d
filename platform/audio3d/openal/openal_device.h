#pragma once

#include <AL/al.h>
#include <AL/alc.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "platform/audio3d/audio3d_device.h"
#include "platform/clock/stop_flag.h"

namespace zv::platform {

// The stream of the software mix: a source that plays a queue of small
// buffers, each refilled from the owner's looping buffer once played.
class OpenAlMixStream final : public AudioOutput {
 public:
  OpenAlMixStream(int rate, int buffer_count, int buffer_frames);
  ~OpenAlMixStream() override;
  bool Ready() const { return source_ != 0; }

  void SetBuffer(const int16_t* frames, uint32_t frame_count) override;
  void Start() override;
  void Stop() override;
  uint32_t FramesPlayed() const override { return played_.load(std::memory_order_acquire); }

  // Refills what has played and keeps the source going.
  void Pump();

 private:
  void Halt();    // mutex held
  void Refill();  // mutex held

  const int rate_;
  const int buffer_frames_;
  std::mutex mutex_;
  ALuint source_ = 0;
  std::vector<ALuint> buffers_;
  std::vector<ALuint> free_;
  std::vector<int16_t> chunk_;
  const int16_t* ring_ = nullptr;
  uint32_t ring_frames_ = 0;
  uint32_t read_ = 0;
  bool started_ = false;
  std::atomic<uint32_t> played_{0};
};

// One OpenAL device and its context as an Audio3DDevice: voices are sources,
// the listener is the context's, the room an auxiliary effect slot with a
// reverb effect. The context is made current for the whole process, so one
// such device is open at a time.
class OpenAlDevice final : public Audio3DDevice {
 public:
  struct Options {
    bool loopback = false;       // the device renders only when asked (no pump thread)
    int stream_buffers = 4;      // the mix stream's queue
    int stream_buffer_frames = 512;
    std::function<void(OpenAlDevice*)> on_close;  // called as the device goes
  };

  // Takes `device` and makes a context mixing at `rate`; null (with the
  // device closed) when that fails.
  static std::unique_ptr<OpenAlDevice> Create(ALCdevice* device, int rate, Options options);
  ~OpenAlDevice() override;

  int VoiceCapacity() const override { return capacity_; }
  int FreeVoices() const override;
  std::unique_ptr<VoiceBuffer> CreateBuffer() override;
  std::unique_ptr<Voice3D> CreateVoice(VoiceBuffer& buffer) override;

  void SetListener(const float* position, const float* velocity, const float* front, const float* top) override;
  void GetListener(float* position, float* velocity, float* front, float* top) const override;
  void SetDopplerFactor(float factor) override;
  void SetMetersPerUnit(float meters) override;
  void SetRolloffFactor(float factor) override;

  RoomSupport Room() const override { return room_support_; }
  RoomReverb EnvironmentRoom(int environment) const override;
  bool SetRoom(const RoomReverb& room) override;

  AudioOutput& MixStream() override { return *stream_; }

  ALCdevice* Handle() const { return device_; }
  void PumpStream() { stream_->Pump(); }

  // For the voices: leaving the device, and their send into the room.
  void ForgetVoice(ALuint source);
  bool SendToRoom(ALuint source, float gain);

 private:
  OpenAlDevice(ALCdevice* device, Options options) : device_(device), options_(std::move(options)) {}
  bool MakeContext(int rate);
  void MakeRoom();

  ALCdevice* device_ = nullptr;
  ALCcontext* context_ = nullptr;
  Options options_;
  int capacity_ = 0;
  std::unique_ptr<OpenAlMixStream> stream_;
  mutable std::mutex voices_mutex_;
  std::set<ALuint> voices_;  // the sources of the live voices
  float rolloff_ = 1.0f;
  RoomSupport room_support_ = RoomSupport::kNone;
  ALuint slot_ = 0;
  ALuint effect_ = 0;
  ALuint send_filter_ = 0;
  StopFlag stop_pump_;
  std::thread pump_;
};

}  // namespace zv::platform
