#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/audio3d/audio3d_device.h"

namespace zv::platform {

class OpenAlDevice;

// The machine's sound devices through OpenAL: each plays the mix stream and
// the 3D voices, kept going by a pump of its own.
std::unique_ptr<Audio3DBackend> MakeOpenAlBackend();

// One OpenAL device that renders into memory, and only when asked: tests
// and runs without a sound card hear exactly what a device would play.
class LoopbackAudio3DBackend final : public Audio3DBackend {
 public:
  ~LoopbackAudio3DBackend() override;
  std::vector<std::string> Devices() override { return {"OpenAL Loopback"}; }
  std::unique_ptr<Audio3DDevice> Open(int device, int rate) override;

  // The next `frames` frames of what the open device plays, 16-bit stereo
  // (left, right); empty when no device is open.
  std::vector<int16_t> Render(uint32_t frames);
  bool DeviceOpen() const;

 private:
  mutable std::mutex mutex_;
  OpenAlDevice* device_ = nullptr;
};

}  // namespace zv::platform
