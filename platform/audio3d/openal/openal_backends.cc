#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/audio3d/openal/openal_backend.h"
#include "platform/audio3d/openal/openal_device.h"
#include "platform/audio3d/openal/openal_library.h"

namespace zv::platform {
namespace {

// Frames rendered at a time: the loopback stream keeps two such buffers
// queued, refilled before each piece.
constexpr uint32_t kRenderPiece = 256;

// A list of names as ALC gives them: each ends with a zero, the list with
// another.
std::vector<std::string> NameList(const ALCchar* names) {
  std::vector<std::string> out;
  for (const ALCchar* at = names; at && *at; at += std::strlen(at) + 1) out.emplace_back(at);
  return out;
}

// Opens a device with standard error sent nowhere: on a machine without a
// sound card the libraries under OpenAL write lines of complaint there,
// which are no fault of the program (the sound system then does without
// the device).
ALCdevice* OpenQuietly(const char* name) {
  std::fflush(stderr);
  const int saved = dup(STDERR_FILENO);
  const int nowhere = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (saved >= 0 && nowhere >= 0) dup2(nowhere, STDERR_FILENO);
  ALCdevice* device = OpenAl().alcOpenDevice(name);
  if (saved >= 0) {
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
  }
  if (nowhere >= 0) close(nowhere);
  return device;
}

class OpenAlBackend final : public Audio3DBackend {
 public:
  // A machine without OpenAL has no such devices: its sound goes out
  // through the wave-out driver, as on a machine without a sound card.
  std::vector<std::string> Devices() override {
    const OpenAlLibrary* library = nullptr;
    try {
      library = &OpenAl();
    } catch (const LibraryMissing&) {
      return {};
    }
    const bool all = library->alcIsExtensionPresent(nullptr, "ALC_ENUMERATE_ALL_EXT");
    return NameList(library->alcGetString(nullptr, all ? ALC_ALL_DEVICES_SPECIFIER : ALC_DEVICE_SPECIFIER));
  }

  std::unique_ptr<Audio3DDevice> Open(int device, int rate) override {
    const std::vector<std::string> names = Devices();
    const bool named = device >= 0 && static_cast<size_t>(device) < names.size();
    ALCdevice* handle = OpenQuietly(named ? names[static_cast<size_t>(device)].c_str() : nullptr);
    return OpenAlDevice::Create(handle, rate, OpenAlDevice::Options{});
  }
};

}  // namespace

std::unique_ptr<Audio3DBackend> MakeOpenAlBackend() { return std::make_unique<OpenAlBackend>(); }

LoopbackAudio3DBackend::~LoopbackAudio3DBackend() {
  std::lock_guard lock(mutex_);
  device_ = nullptr;
}

std::unique_ptr<Audio3DDevice> LoopbackAudio3DBackend::Open(int, int rate) {
  OpenAlDevice::Options options;
  options.loopback = true;
  options.stream_buffers = 2;
  options.stream_buffer_frames = kRenderPiece;
  options.on_close = [this](OpenAlDevice* closing) {
    std::lock_guard lock(mutex_);
    if (device_ == closing) device_ = nullptr;
  };
  std::unique_ptr<OpenAlDevice> device =
      OpenAlDevice::Create(OpenAl().alcLoopbackOpenDeviceSOFT(nullptr), rate, std::move(options));
  std::lock_guard lock(mutex_);
  if (device) device_ = device.get();
  return device;
}

std::vector<int16_t> LoopbackAudio3DBackend::Render(uint32_t frames) {
  std::lock_guard lock(mutex_);
  std::vector<int16_t> out;
  if (device_ == nullptr) return out;
  out.reserve(static_cast<size_t>(frames) * 2);
  float rendered[kRenderPiece * 2];
  for (uint32_t done = 0; done < frames;) {
    const uint32_t piece = std::min(frames - done, kRenderPiece);
    device_->PumpStream();
    OpenAl().alcRenderSamplesSOFT(device_->Handle(), rendered, static_cast<ALCsizei>(piece));
    for (uint32_t i = 0; i < piece * 2; ++i)
      out.push_back(static_cast<int16_t>(std::lround(std::clamp(rendered[i] * 32768.0f, -32768.0f, 32767.0f))));
    done += piece;
  }
  return out;
}

bool LoopbackAudio3DBackend::DeviceOpen() const {
  std::lock_guard lock(mutex_);
  return device_ != nullptr;
}

}  // namespace zv::platform
