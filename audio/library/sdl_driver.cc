// The output driver over the platform's sound devices (SDL in a real run).
// It stands for both device drivers of the library: output type 1 (the
// wave-out kind, which keeps reverb settings in the shared store) and type
// 2 (the default, which checks the environment number and reports what the
// room plays). Neither offers hardware channels: every channel is mixed in
// software, the mixer's reverb is the room of both, and the mixer writes one
// looping buffer behind the play position.
#include <algorithm>
#include <cstring>
#include <memory>

#include "audio/library/audio_error.h"
#include "audio/library/library.h"
#include "audio/library/library_state.h"
#include "audio/library/mixer.h"
#include "audio/library/output_driver.h"
#include "audio/library/reverb.h"
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

void EnumerateOutputs(size_t limit) {
  std::vector<std::string> names = GetAudioBackend()->OutputDevices();
  for (size_t i = 0; i < names.size() && i < limit; ++i) Lib().driver_names.push_back(names[i]);
}

void EnumerateWave() { EnumerateOutputs(255); }
void EnumerateDirect() { EnumerateOutputs(256); }

bool Init(int32_t mix_rate) {
  AudioLibraryState& lib = Lib();
  if (!lib.driver_list_current || lib.driver_names.empty()) {
    lib.driver_names.clear();
    lib.driver->enumerate_drivers();
    lib.driver_list_current = true;
  }
  if (lib.driver_names.empty()) {
    SetAudioError(audio_error::kDeviceSetup);
    return false;
  }
  State().output = GetAudioBackend()->OpenOutput(lib.driver_index, mix_rate);
  if (!State().output) {
    SetAudioError(audio_error::kDeviceSetup);
    return false;
  }
  lib.driver->hardware_available = 0;
  lib.hardware_channels = 0;
  return true;
}

void Close() {
  State().capture.reset();
  State().output.reset();
  State().record_device = -2;
}

// ---- The output buffer sample: memory the device loops over ----------------

int64_t BufferBytes(const SampleRecord& s) { return static_cast<int64_t>(s.length) * 4; }

bool BufferCreate(SampleRecord& s) {
  delete[] static_cast<uint8_t*>(s.driver_data);
  s.driver_data = new (std::nothrow) uint8_t[static_cast<size_t>(BufferBytes(s)) + 16]();
  if (s.driver_data == nullptr) {
    SetAudioError(audio_error::kOutOfMemory);
    return false;
  }
  if (State().output) State().output->SetBuffer(static_cast<const int16_t*>(s.driver_data), static_cast<uint32_t>(s.length));
  s.hardware = 1;
  return true;
}

void BufferRelease(SampleRecord& s) {
  if (State().output) State().output->SetBuffer(nullptr, 0);
  delete[] static_cast<uint8_t*>(s.driver_data);
  s.driver_data = nullptr;
  s.hardware = 0;
}

bool BufferUpload(SampleRecord&, const void*, size_t, uint32_t) { return true; }

bool BufferLock(SampleRecord& s, int32_t offset, int32_t length, void** p1, void** p2, int32_t* l1, int32_t* l2) {
  const int64_t size = BufferBytes(s);
  auto* base = static_cast<uint8_t*>(s.driver_data);
  if (base == nullptr || size <= 0 || length < 0) {
    *p1 = *p2 = nullptr;
    *l1 = *l2 = 0;
    SetAudioError(audio_error::kOutOfMemory);
    return false;
  }
  const int64_t at = ((offset % size) + size) % size;
  const int64_t want = std::min<int64_t>(length, size);
  *p1 = base + at;
  if (at + want <= size) {
    *l1 = static_cast<int32_t>(want);
    *p2 = nullptr;
    *l2 = 0;
  } else {
    *l1 = static_cast<int32_t>(size - at);
    *p2 = base;
    *l2 = static_cast<int32_t>(want - *l1);
  }
  return true;
}

bool BufferUnlock(SampleRecord&, void*, void*, int32_t, int32_t) { return true; }

void AttachSampleOps(SampleRecord& s) {
  s.ops = SampleOps{BufferCreate, BufferRelease, BufferUpload, BufferLock, BufferUnlock};
}

// ---- The output channel -----------------------------------------------------

bool OutPrepare(ChannelRecord&, SampleRecord*) { return true; }
bool OutStart(DspUnit*, ChannelRecord&, SampleRecord*) {
  if (State().output) State().output->Start();
  return true;
}
void OutStop(ChannelRecord&) {
  if (State().output) State().output->Stop();
}
void OutSetInt(ChannelRecord&, int32_t) {}
bool OutSetPaused(ChannelRecord&, bool) { return true; }
uint32_t OutGetPosition(ChannelRecord& c) {
  if (c.sample == nullptr || !State().output) return 0;
  return State().output->FramesPlayed();
}
float OutGetLevel(ChannelRecord&) { return 0.0f; }
bool OutIsPlaying(ChannelRecord&) { return false; }
void OutSet3D(ChannelRecord&, const float*, const float*) {}
bool OutGet3D(ChannelRecord&, float*, float*) { return true; }
bool OutSetLevelScale(ChannelRecord&, float) { return true; }

void AttachChannelOps(ChannelRecord& c) {
  c.ops = ChannelOps{OutPrepare,     OutStart,    OutStop,      OutSetInt, OutSetInt, OutSetInt,       OutSetPaused,
                     OutGetPosition, OutGetLevel, OutIsPlaying, OutSet3D,  OutGet3D,  OutSetLevelScale};
}

void Nothing() {}
void NothingFloat(float) {}
void NoListener(const float*, const float*, const float*, const float*) {}
void NoCaps(uint32_t*, int32_t) {}  // no hardware 3D, no reverb: the word stays 0
bool ProbeReverb() { return true; }  // the mixer's room serves both kinds

// ---- Reverb of the default type: the mixer's room, with its four values ------------
// (the detailed set is beyond it)

bool DirectSetReverb(int32_t environment, float volume, float decay_time, float damping) {
  if ((environment < 0 || environment > 25) && environment != kReverbLeaveUnchanged) {
    SetAudioError(audio_error::kBadParameter);
    return false;
  }
  SetMixerReverb(environment, volume, decay_time, damping);
  return true;
}

bool DirectGetReverb(int32_t* environment, float* volume, float* decay_time, float* damping) {
  GetMixerReverb(environment, volume, decay_time, damping);
  return true;
}

bool DirectSetReverbDetailed(const ReverbProperties&) {
  SetAudioError(audio_error::kPropertyUnsupported);
  return false;
}

bool DirectGetReverbDetailed(ReverbProperties*) {
  SetAudioError(audio_error::kPropertyUnsupported);
  return false;
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

OutputDriver MakeDriver(bool wave) {
  OutputDriver d;
  d.enumerate_drivers = wave ? EnumerateWave : EnumerateDirect;
  d.init = Init;
  d.close = Close;
  d.attach_sample_ops = AttachSampleOps;
  d.attach_channel_ops = AttachChannelOps;
  d.get_driver_caps = NoCaps;
  d.commit_3d = Nothing;
  d.set_listener_3d = NoListener;
  d.reserved_3d = Nothing;
  d.set_doppler_factor_3d = NothingFloat;
  d.set_distance_factor_3d = NothingFloat;
  d.set_rolloff_factor_3d = NothingFloat;
  d.probe_reverb_support = ProbeReverb;
  d.set_reverb = wave ? StoreAndPlayReverb : DirectSetReverb;
  d.set_reverb_detailed = wave ? StoreReverbDetailed : DirectSetReverbDetailed;
  d.get_reverb = wave ? ReadStoredReverb : DirectGetReverb;
  d.get_reverb_detailed = wave ? ReadStoredReverbDetailed : DirectGetReverbDetailed;
  FillReservedSlots(d);
  d.enumerate_record_drivers = EnumerateRecord;
  d.open_record_driver = OpenRecord;
  d.start_capture = StartCapture;
  d.stop_capture = StopCapture;
  d.get_capture_position = CapturePosition;
  d.lock_capture = LockCapture;
  d.unlock_capture = UnlockCapture;
  return d;
}

}  // namespace

OutputDriver& SdlWaveDriver() {
  static OutputDriver driver = MakeDriver(true);
  return driver;
}

OutputDriver& SdlDirectDriver() {
  static OutputDriver driver = MakeDriver(false);
  return driver;
}

}  // namespace zv
