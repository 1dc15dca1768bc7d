#include "platform/audio/sdl/sdl_audio.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "platform/window/sdl/sdl_library.h"

namespace zv::platform {
namespace {

// Frames SDL asks for per callback: about 12 ms at 44100 Hz, well inside one
// 25 ms mixer block, so the play position moves in small steps.
constexpr Uint16 kCallbackFrames = 512;

class SdlAudioOutput final : public AudioOutput {
 public:
  static std::unique_ptr<SdlAudioOutput> Open(const char* name, int rate) {
    auto output = std::unique_ptr<SdlAudioOutput>(new SdlAudioOutput());
    SDL_AudioSpec want{};
    want.freq = rate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = kCallbackFrames;
    want.callback = &SdlAudioOutput::Callback;
    want.userdata = output.get();
    SDL_AudioSpec have{};
    output->device_ = Sdl().SDL_OpenAudioDevice(name, 0, &want, &have, 0);
    if (output->device_ == 0) return nullptr;
    return output;
  }

  ~SdlAudioOutput() override {
    if (device_ != 0) Sdl().SDL_CloseAudioDevice(device_);
  }

  void SetBuffer(const int16_t* frames, uint32_t frame_count) override {
    Sdl().SDL_LockAudioDevice(device_);
    buffer_ = frames;
    frame_count_ = frames ? frame_count : 0;
    read_ = 0;
    played_ = 0;
    Sdl().SDL_UnlockAudioDevice(device_);
  }
  void Start() override { Sdl().SDL_PauseAudioDevice(device_, 0); }
  void Stop() override { Sdl().SDL_PauseAudioDevice(device_, 1); }
  uint32_t FramesPlayed() const override { return played_.load(std::memory_order_acquire); }

 private:
  SdlAudioOutput() = default;

  // Runs on SDL's audio thread with the device lock held.
  static void Callback(void* user, Uint8* stream, int length) {
    auto* self = static_cast<SdlAudioOutput*>(user);
    auto* out = reinterpret_cast<int16_t*>(stream);
    uint32_t frames = static_cast<uint32_t>(length) / 4;
    if (self->buffer_ == nullptr || self->frame_count_ == 0) {
      std::memset(stream, 0, static_cast<size_t>(length));
      return;
    }
    uint32_t done = 0;
    while (done < frames) {
      uint32_t run = std::min(frames - done, self->frame_count_ - self->read_);
      std::memcpy(out + done * 2, self->buffer_ + self->read_ * 2, run * 4);
      done += run;
      self->read_ = (self->read_ + run) % self->frame_count_;
    }
    self->played_.fetch_add(frames, std::memory_order_release);
  }

  SDL_AudioDeviceID device_ = 0;
  const int16_t* buffer_ = nullptr;
  uint32_t frame_count_ = 0;
  uint32_t read_ = 0;
  std::atomic<uint32_t> played_{0};
};

class SdlAudioCapture final : public AudioCapture {
 public:
  static std::unique_ptr<SdlAudioCapture> Open(const char* name, int rate, int bits, int channels,
                                               uint32_t ring_bytes) {
    auto capture = std::unique_ptr<SdlAudioCapture>(new SdlAudioCapture(ring_bytes));
    SDL_AudioSpec want{};
    want.freq = rate;
    want.format = bits == 8 ? AUDIO_U8 : AUDIO_S16SYS;
    want.channels = static_cast<Uint8>(channels);
    want.samples = kCallbackFrames;
    want.callback = &SdlAudioCapture::Callback;
    want.userdata = capture.get();
    SDL_AudioSpec have{};
    capture->device_ = Sdl().SDL_OpenAudioDevice(name, 1, &want, &have, 0);
    if (capture->device_ == 0) return nullptr;
    Sdl().SDL_PauseAudioDevice(capture->device_, 0);
    return capture;
  }

  ~SdlAudioCapture() override {
    if (device_ != 0) Sdl().SDL_CloseAudioDevice(device_);
  }

  const uint8_t* Ring() const override { return ring_.data(); }
  uint32_t RingBytes() const override { return static_cast<uint32_t>(ring_.size()); }
  uint32_t WriteOffset() const override { return write_.load(std::memory_order_acquire); }
  void Stop() override { Sdl().SDL_PauseAudioDevice(device_, 1); }

 private:
  explicit SdlAudioCapture(uint32_t ring_bytes) : ring_(ring_bytes, 0) {}

  static void Callback(void* user, Uint8* stream, int length) {
    auto* self = static_cast<SdlAudioCapture*>(user);
    const uint32_t size = static_cast<uint32_t>(self->ring_.size());
    uint32_t at = self->write_.load(std::memory_order_relaxed);
    uint32_t done = 0;
    const uint32_t total = static_cast<uint32_t>(length);
    while (done < total) {
      uint32_t run = std::min(total - done, size - at);
      std::memcpy(self->ring_.data() + at, stream + done, run);
      done += run;
      at = (at + run) % size;
    }
    self->write_.store(at, std::memory_order_release);
  }

  SDL_AudioDeviceID device_ = 0;
  std::vector<uint8_t> ring_;
  std::atomic<uint32_t> write_{0};
};

class SdlAudioBackend final : public AudioBackend {
 public:
  SdlAudioBackend() { ready_ = Sdl().SDL_InitSubSystem(SDL_INIT_AUDIO) == 0; }
  ~SdlAudioBackend() override {
    if (ready_) Sdl().SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }

  std::vector<std::string> OutputDevices() override { return Devices(0); }
  std::vector<std::string> CaptureDevices() override { return Devices(1); }

  std::unique_ptr<AudioOutput> OpenOutput(int device, int rate) override {
    if (!ready_) return nullptr;
    std::string name;
    if (!DeviceName(0, device, name)) return nullptr;
    return SdlAudioOutput::Open(device < 0 ? nullptr : name.c_str(), rate);
  }

  std::unique_ptr<AudioCapture> OpenCapture(int device, int rate, int bits, int channels,
                                            uint32_t ring_bytes) override {
    if (!ready_ || ring_bytes == 0 || (bits != 8 && bits != 16) || channels < 1 || channels > 2) return nullptr;
    std::string name;
    if (!DeviceName(1, device, name)) return nullptr;
    return SdlAudioCapture::Open(device < 0 ? nullptr : name.c_str(), rate, bits, channels, ring_bytes);
  }

 private:
  std::vector<std::string> Devices(int capture) {
    std::vector<std::string> names;
    if (!ready_) return names;
    int count = Sdl().SDL_GetNumAudioDevices(capture);
    for (int i = 0; i < count; ++i) {
      const char* name = Sdl().SDL_GetAudioDeviceName(i, capture);
      names.emplace_back(name ? name : "");
    }
    return names;
  }

  // The name of device `index`; the default device (negative index) needs
  // none, but only exists when SDL lists at least one device.
  bool DeviceName(int capture, int index, std::string& name) {
    std::vector<std::string> names = Devices(capture);
    if (names.empty()) return false;
    if (index < 0) return true;
    if (static_cast<size_t>(index) >= names.size()) return false;
    name = names[static_cast<size_t>(index)];
    return true;
  }

  bool ready_ = false;
};

}  // namespace

std::unique_ptr<AudioBackend> MakeSdlAudioBackend() { return std::make_unique<SdlAudioBackend>(); }

}  // namespace zv::platform
