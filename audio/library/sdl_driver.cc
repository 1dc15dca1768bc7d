// The wave-out driver (output type 1) over the platform's sound devices (SDL
// in a real run). It offers no hardware channels: every channel is mixed in
// software into one looping buffer that the device plays, written behind
// the play position, and the reverb settings are kept and played by the
// mixer's room. Its recording slots, over the same devices, serve the 3D
// device driver too.
#include <algorithm>
#include <cstring>
#include <memory>

#include "audio/library/audio_error.h"
#include "audio/library/library.h"
#include "audio/library/library_state.h"
#include "audio/library/mixer.h"
#include "audio/library/output_driver.h"
#include "audio/library/output_stream.h"
#include "platform/audio/audio_device.h"

namespace zv {
namespace {

struct SdlDriverState {
  std::unique_ptr<platform::AudioOutput> output;
  std::unique_ptr<platform::AudioCapture> capture;
  int32_t record_device = -2;  // -2 none opened; -1 the default device
  int32_t capture_align = 0;
};

SdlDriverState& State() {
  static SdlDriverState state;
  return state;
}

void EnumerateWave() {
  std::vector<std::string> names = GetAudioBackend()->OutputDevices();
  for (size_t i = 0; i < names.size() && i < 255; ++i) Lib().driver_names.push_back(names[i]);
}

bool Init(int32_t mix_rate) {
  AudioLibraryState& lib = Lib();
  if (!RefreshDriverList() || lib.driver_names.empty()) {
    SetAudioError(audio_error::kDeviceSetup);
    return false;
  }
  State().output = GetAudioBackend()->OpenOutput(lib.driver_index, mix_rate);
  if (!State().output) {
    SetAudioError(audio_error::kDeviceSetup);
    return false;
  }
  SetStreamOutput(State().output.get());
  lib.driver->hardware_available = 0;
  lib.hardware_channels = 0;
  return true;
}

void Close() {
  CloseDeviceRecording();
  SetStreamOutput(nullptr);
  State().output.reset();
}

// ---- Recording through the platform's capture devices ---------------------------

void EnumerateRecord() {
  std::vector<std::string> names = GetAudioBackend()->CaptureDevices();
  for (size_t i = 0; i < names.size() && i < 256; ++i) Lib().record_driver_names.push_back(names[i]);
}

bool OpenRecord(int32_t index) {
  const size_t count = GetAudioBackend()->CaptureDevices().size();
  if (count == 0 || index < 0 || static_cast<size_t>(index) >= count) {
    SetAudioError(audio_error::kNotSupported);
    return false;
  }
  State().record_device = index > 0 ? index : -1;
  return true;
}

bool StartCapture(int32_t ring_length, int32_t bits, int32_t layout, int32_t rate) {
  SdlDriverState& st = State();
  if (st.record_device == -2 || ring_length <= 0 || (bits != 8 && bits != 16)) {
    SetAudioError(audio_error::kNotSupported);
    return false;
  }
  const int channels = layout == 32 ? 1 : 2;
  st.capture_align = channels * bits / 8;
  st.capture = GetAudioBackend()->OpenCapture(st.record_device, rate, bits, channels,
                                              static_cast<uint32_t>(ring_length) * st.capture_align);
  if (!st.capture) {
    SetAudioError(audio_error::kNotSupported);
    return false;
  }
  return true;
}

bool StopCapture() {
  State().capture.reset();
  return true;
}

int32_t CapturePosition() {
  SdlDriverState& st = State();
  if (!st.capture) return 0;
  if (st.capture_align == 0) return -1;
  return static_cast<int32_t>(st.capture->WriteOffset() / static_cast<uint32_t>(st.capture_align));
}

bool LockCapture(int32_t offset, int32_t length, void** p1, void** p2, int32_t* l1, int32_t* l2) {
  *p1 = *p2 = nullptr;
  *l1 = *l2 = 0;
  SdlDriverState& st = State();
  if (!st.capture) return true;
  const int64_t size = st.capture->RingBytes();
  if (size <= 0 || offset < 0 || length < 0) {
    SetAudioError(audio_error::kNotSupported);
    return false;
  }
  auto* ring = const_cast<uint8_t*>(st.capture->Ring());
  const int64_t at = offset % size;
  const int64_t want = std::min<int64_t>(length, size);
  *p1 = ring + at;
  if (at + want <= size) {
    *l1 = static_cast<int32_t>(want);
  } else {
    *l1 = static_cast<int32_t>(size - at);
    *p2 = ring;
    *l2 = static_cast<int32_t>(want - *l1);
  }
  return true;
}

bool UnlockCapture(void*, void*, int32_t, int32_t) { return true; }

bool ProbeReverb() { return true; }

OutputDriver MakeWaveDriver() {
  OutputDriver d;
  d.enumerate_drivers = EnumerateWave;
  d.init = Init;
  d.close = Close;
  d.attach_sample_ops = AttachStreamSampleOps;
  d.attach_channel_ops = AttachStreamChannelOps;
  d.probe_reverb_support = ProbeReverb;
  FillSoftwareOnlySlots(d);
  FillDeviceRecordingSlots(d);
  return d;
}

}  // namespace

void FillDeviceRecordingSlots(OutputDriver& d) {
  d.enumerate_record_drivers = EnumerateRecord;
  d.open_record_driver = OpenRecord;
  d.start_capture = StartCapture;
  d.stop_capture = StopCapture;
  d.get_capture_position = CapturePosition;
  d.lock_capture = LockCapture;
  d.unlock_capture = UnlockCapture;
}

void CloseDeviceRecording() {
  State().capture.reset();
  State().record_device = -2;
}

OutputDriver& SdlWaveDriver() {
  static OutputDriver driver = MakeWaveDriver();
  return driver;
}

}  // namespace zv
