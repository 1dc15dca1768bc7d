// The 3D device driver (output type 2, the default): the software mix plays
// through the device's mix stream like the wave-out driver's buffer, and
// when the device offers 3D voices the channels above the software ones
// are hardware channels, each a voice of the device (audio3d_channels.cc),
// with the device's listener and room (audio3d_reverb.cc). Samples loaded
// for hardware keep their data in a buffer of the device, in one channel.
#include "audio/library/audio3d_driver.h"

#include <cstring>
#include <new>
#include <vector>

#include "audio/library/audio_error.h"
#include "audio/library/library.h"
#include "audio/library/library_state.h"
#include "audio/library/output_stream.h"

namespace zv {
namespace {

// A device counts as offering 3D voices when it has some, but no more than
// any sound card had: a count beyond these says the voices are not the
// card's own.
constexpr int kMostVoicesAtStart = 200;
constexpr int kMostVoicesForCaps = 128;

// Capability bits of GetDriverCaps.
constexpr uint32_t kCapsHardware3D = 1;
constexpr uint32_t kCapsReverb = 2;
constexpr uint32_t kCapsDetailedReverb = 16;

void EnumerateDevices() {
  std::vector<std::string> names = GetAudio3DBackend()->Devices();
  for (size_t i = 0; i < names.size() && i < 256; ++i) Lib().driver_names.push_back(names[i]);
}

bool InitDevice(int32_t mix_rate) {
  AudioLibraryState& lib = Lib();
  Audio3DDriverState& d = Audio3D();
  Audio3DGuard guard(d.lock);
  if (!RefreshDriverList() || lib.driver_names.empty()) {
    SetAudioError(audio_error::kDeviceSetup);
    return false;
  }
  d.device = GetAudio3DBackend()->Open(lib.driver_index, mix_rate);
  if (!d.device) {
    SetAudioError(audio_error::kDeviceSetup);
    return false;
  }
  const int capacity = d.device->VoiceCapacity();
  if (capacity == 0 || capacity > kMostVoicesAtStart) Audio3DDriver().hardware_available = 0;
  lib.hardware_channels = Audio3DDriver().hardware_available ? d.device->FreeVoices() : 0;
  d.reverb_version = 0;
  SetStreamOutput(&d.device->MixStream());
  return true;
}

void CloseDevice() {
  Audio3DDriverState& d = Audio3D();
  Audio3DGuard guard(d.lock);
  CloseDeviceRecording();
  if (d.device) {
    SilenceAudio3DReverb();
    SetStreamOutput(nullptr);
    d.device.reset();
  }
  d.reverb_version = 0;
  Audio3DDriver().hardware_available = 0;
}

// Opens the device of `driver` for a moment and tells what it offers.
void GetDeviceCaps(uint32_t* caps, int32_t driver) {
  std::unique_ptr<platform::Audio3DDevice> device = GetAudio3DBackend()->Open(driver, 44100);
  if (!device) return;
  const int capacity = device->VoiceCapacity();
  if (capacity == 0 || capacity > kMostVoicesForCaps || device->FreeVoices() == 0) return;
  *caps |= kCapsHardware3D;
  if (device->Room() != platform::RoomSupport::kNone) *caps |= kCapsReverb;
  if (device->Room() == platform::RoomSupport::kExtended) *caps |= kCapsDetailedReverb;
}

// ---- Samples in the device's buffers -------------------------------------------

template <typename T>
void MixSides(const uint8_t* stereo, size_t frames, uint8_t* mono) {
  for (size_t i = 0; i < frames; ++i) {
    T sides[2];
    std::memcpy(sides, stereo + i * sizeof sides, sizeof sides);
    const T both = static_cast<T>((sides[0] + sides[1]) / 2);
    std::memcpy(mono + i * sizeof both, &both, sizeof both);
  }
}

// Hands the data to the device's buffer. A voice has one place, so the
// device is given one channel: a stereo sample's two sides mixed, which
// the device can then place like any other.
bool FillDeviceBuffer(SampleRecord& s, VoiceSample& data) {
  const platform::PcmFormat mono{s.bits, 1, s.default_frequency};
  bool filled = false;
  if (s.layout != sample_mode::kStereo) {
    filled = data.buffer->Fill(data.bytes.data(), data.bytes.size(), mono);
  } else {
    const size_t frames = data.bytes.size() / (s.bits == 16 ? 4 : 2);
    std::vector<uint8_t> mixed;
    try {
      mixed.resize(data.bytes.size() / 2);
    } catch (...) {
      SetAudioError(audio_error::kOutOfMemory);
      return false;
    }
    if (s.bits == 16) {
      MixSides<int16_t>(data.bytes.data(), frames, mixed.data());
    } else {
      MixSides<int8_t>(data.bytes.data(), frames, mixed.data());
    }
    filled = data.buffer->Fill(mixed.data(), mixed.size(), mono);
  }
  if (filled) return true;
  SetAudioError(audio_error::kDriverCall);
  return false;
}

void ReleaseVoiceSample(SampleRecord& s) {
  Audio3DGuard guard(Audio3D().lock);
  delete VoiceSampleOf(s);
  s.driver_data = nullptr;
  s.driver_buffer = 0;
}

bool CreateVoiceSample(SampleRecord& s) {
  Audio3DGuard guard(Audio3D().lock);
  ReleaseVoiceSample(s);
  auto data = std::unique_ptr<VoiceSample>(new (std::nothrow) VoiceSample());
  if (data == nullptr) {
    SetAudioError(audio_error::kOutOfMemory);
    return false;
  }
  try {
    data->bytes.assign(static_cast<size_t>(SampleByteSize(s)), 0);
  } catch (...) {
    SetAudioError(audio_error::kOutOfMemory);
    return false;
  }
  if (Audio3D().device) data->buffer = Audio3D().device->CreateBuffer();
  if (data->buffer == nullptr || !FillDeviceBuffer(s, *data)) {
    SetAudioError(audio_error::kDriverCall);
    return false;
  }
  s.driver_data = data.release();
  s.driver_buffer = 1;
  return true;
}

template <typename T>
void UndoDelta(T* values, size_t count) {
  T sum = 0;
  for (size_t i = 0; i < count; ++i) values[i] = sum = static_cast<T>(sum + values[i]);
}

// The data is kept signed, as the library writes it into every sample; the
// source is converted to that once, and the device's buffer made from it.
bool UploadVoiceSample(SampleRecord& s, const void* source, size_t source_bytes, uint32_t mode) {
  Audio3DGuard guard(Audio3D().lock);
  VoiceSample* data = VoiceSampleOf(s);
  if (data == nullptr || source == nullptr) {
    SetAudioError(data ? audio_error::kBadParameter : audio_error::kOutOfMemory);
    return false;
  }
  std::vector<uint8_t>& bytes = data->bytes;
  const size_t n = std::min(bytes.size(), source_bytes);
  std::copy_n(static_cast<const uint8_t*>(source), n, bytes.begin());
  std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(n), bytes.end(), 0);
  const bool wide = s.bits == 16;
  const size_t values = bytes.size() / (wide ? 2 : 1);
  auto* words = reinterpret_cast<uint16_t*>(bytes.data());
  if (mode & sample_mode::kDelta) {
    if (wide) {
      UndoDelta(reinterpret_cast<int16_t*>(bytes.data()), values);
    } else {
      UndoDelta(reinterpret_cast<int8_t*>(bytes.data()), values);
    }
  }
  if (mode & sample_mode::kUnsigned) {
    for (size_t i = 0; i < values; ++i) {
      if (wide) {
        words[i] ^= 0x8000;
      } else {
        bytes[i] ^= 0x80;
      }
    }
  }
  return FillDeviceBuffer(s, *data);
}

bool LockVoiceSample(SampleRecord& s, int32_t offset, int32_t length, void** p1, void** p2, int32_t* l1,
                     int32_t* l2) {
  VoiceSample* data = VoiceSampleOf(s);
  if (data && LockLoopingBytes(data->bytes.data(), static_cast<int64_t>(data->bytes.size()), offset, length, p1, p2,
                               l1, l2))
    return true;
  if (data == nullptr) *p1 = *p2 = nullptr, *l1 = *l2 = 0;
  SetAudioError(audio_error::kOutOfMemory);
  return false;
}

bool UnlockVoiceSample(SampleRecord& s, void*, void*, int32_t, int32_t) {
  Audio3DGuard guard(Audio3D().lock);
  VoiceSample* data = VoiceSampleOf(s);
  if (data == nullptr) {
    SetAudioError(audio_error::kOutOfMemory);
    return false;
  }
  return FillDeviceBuffer(s, *data);
}

// The output buffer plays through the mix stream; every other sample given
// to the driver lives in a buffer of the device.
void AttachSampleOps(SampleRecord& s) {
  if (s.driver_created) {
    AttachStreamSampleOps(s);
  } else {
    s.ops = SampleOps{CreateVoiceSample, ReleaseVoiceSample, UploadVoiceSample, LockVoiceSample, UnlockVoiceSample};
  }
}

void AttachChannelOps(ChannelRecord& c) {
  if (c.index == kMixerChannel) {
    AttachStreamChannelOps(c);
  } else {
    AttachHardwareChannelOps(c);
  }
}

OutputDriver MakeDriver() {
  OutputDriver d;
  d.enumerate_drivers = EnumerateDevices;
  d.init = InitDevice;
  d.close = CloseDevice;
  d.attach_sample_ops = AttachSampleOps;
  d.attach_channel_ops = AttachChannelOps;
  d.get_driver_caps = GetDeviceCaps;
  FillAudio3DListenerSlots(d);
  FillAudio3DReverbSlots(d);
  FillReservedSlots(d);
  FillDeviceRecordingSlots(d);
  return d;
}

}  // namespace

Audio3DDriverState& Audio3D() {
  // Never destroyed: the library may close at exit, after other statics.
  static auto* state = new Audio3DDriverState();
  return *state;
}

VoiceSample* VoiceSampleOf(SampleRecord& s) { return s.driver_buffer ? static_cast<VoiceSample*>(s.driver_data) : nullptr; }

OutputDriver& Audio3DDriver() {
  static OutputDriver driver = MakeDriver();
  return driver;
}

}  // namespace zv
