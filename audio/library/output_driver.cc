#include "audio/library/output_driver.h"

#include <bit>
#include <cstring>

#include "audio/library/audio_error.h"
#include "audio/library/library_state.h"
#include "audio/library/mixer.h"
#include "audio/library/timing.h"

namespace zv {
namespace {

// Seventeen words: 0 the environment of both sets, 1-3 the rest of the
// four-value set, 4-15 the rest of the thirteen-value set.
uint32_t g_reverb_words[17] = {};

uint32_t Word(float v) { return std::bit_cast<uint32_t>(v); }
uint32_t Word(int32_t v) { return static_cast<uint32_t>(v); }
float AsFloat(uint32_t w) { return std::bit_cast<float>(w); }
int32_t AsInt(uint32_t w) { return static_cast<int32_t>(w); }

// ---- Reserved slots 18-28, alike in every driver --------------------------

uint32_t g_private_word = 0;

intptr_t Reserved18(void*) { return 0; }
intptr_t ReservedTrue(void*) { return 1; }
intptr_t Reserved24(void*) { return 0; }
intptr_t Reserved25(void*) { return reinterpret_cast<intptr_t>(&g_private_word); }

// ---- The no-sound driver ---------------------------------------------------

void NoSoundEnumerate() { Lib().driver_names.emplace_back("No Sound Driver"); }

bool NoSoundInit(int32_t) {
  Lib().driver_names.clear();
  NoSoundEnumerate();
  Lib().driver_list_current = true;
  Lib().hardware_channels = 0;
  return true;
}

void Nothing() {}
void NothingFloat(float) {}
void NoListener(const float*, const float*, const float*, const float*) {}
void NoListenerRead(float*, float*, float*, float*) {}
void NoCaps(uint32_t*, int32_t) {}
bool True() { return true; }

bool NsPrepare(ChannelRecord&, SampleRecord*) { return true; }
bool NsStart(DspUnit*, ChannelRecord&, SampleRecord*) { return true; }
void NsStop(ChannelRecord&) {}
void NsSetInt(ChannelRecord&, int32_t) {}
bool NsSetPaused(ChannelRecord&, bool) { return true; }
// Advances with the clock at the mix rate, so the mixer thread runs at real
// time without a device. Worked out in 64 bits: a 32-bit product would
// jump back every 97 seconds at 44100 Hz.
uint32_t NsGetPosition(ChannelRecord&) {
  return static_cast<uint32_t>(static_cast<uint64_t>(GetClockMs()) * static_cast<uint64_t>(Lib().mix_rate) / 1000);
}
float NsGetLevel(ChannelRecord&) { return 0.0f; }
bool NsIsPlaying(ChannelRecord&) { return true; }
void NsSet3D(ChannelRecord&, const float*, const float*) {}
bool NsGet3D(ChannelRecord&, float*, float*) { return true; }
bool NsSetLevelScale(ChannelRecord&, float) { return true; }

void NoSoundAttachChannelOps(ChannelRecord& c) {
  c.ops = ChannelOps{NsPrepare,     NsStart,    NsStop,      NsSetInt, NsSetInt, NsSetInt,       NsSetPaused,
                     NsGetPosition, NsGetLevel, NsIsPlaying, NsSet3D,  NsGet3D,  NsSetLevelScale};
}

void NoSoundEnumerateRecord() { Lib().record_driver_names.emplace_back("No Sound Driver"); }
bool NoSoundOpenRecord(int32_t) {
  SetAudioError(audio_error::kNotSupported);
  return false;
}
bool NoSoundStartCapture(int32_t, int32_t, int32_t, int32_t) {
  SetAudioError(audio_error::kNotSupported);
  return false;
}
int32_t NoSoundCapturePosition() { return -1; }
bool NoSoundLockCapture(int32_t, int32_t length, void** p1, void** p2, int32_t* l1, int32_t* l2) {
  *p1 = *p2 = nullptr;
  *l1 = length;
  *l2 = 0;
  return true;
}
bool NoSoundUnlockCapture(void*, void*, int32_t, int32_t) { return true; }

OutputDriver MakeNoSoundDriver() {
  OutputDriver d;
  d.enumerate_drivers = NoSoundEnumerate;
  d.init = NoSoundInit;
  d.close = Nothing;
  d.attach_sample_ops = AttachSoftwareSampleOps;
  d.attach_channel_ops = NoSoundAttachChannelOps;
  d.probe_reverb_support = True;
  FillSoftwareOnlySlots(d);
  FillNoSoundRecordingSlots(d);
  return d;
}

}  // namespace

bool StoreReverb(int32_t environment, float volume, float decay_time, float damping) {
  g_reverb_words[0] = Word(environment);
  g_reverb_words[1] = Word(volume);
  g_reverb_words[2] = Word(decay_time);
  g_reverb_words[3] = Word(damping);
  return true;
}

bool StoreAndPlayReverb(int32_t environment, float volume, float decay_time, float damping) {
  StoreReverb(environment, volume, decay_time, damping);
  SetMixerReverb(environment, volume, decay_time, damping);
  return true;
}

bool StoreReverbDetailed(const ReverbProperties& p) {
  g_reverb_words[0] = Word(p.environment);
  const uint32_t rest[12] = {Word(p.room),
                             Word(p.room_hf),
                             Word(p.room_rolloff),
                             Word(p.decay_time),
                             Word(p.decay_hf_ratio),
                             Word(p.reflections),
                             Word(p.reflections_delay),
                             Word(p.reverb),
                             Word(p.reverb_delay),
                             Word(p.environment_size),
                             Word(p.environment_diffusion),
                             Word(p.air_absorption_hf)};
  std::memcpy(g_reverb_words + 4, rest, sizeof rest);
  return true;
}

bool ReadStoredReverb(int32_t* environment, float* volume, float* decay_time, float* damping) {
  if (environment) *environment = AsInt(g_reverb_words[0]);
  if (volume) *volume = AsFloat(g_reverb_words[1]);
  if (decay_time) *decay_time = AsFloat(g_reverb_words[2]);
  if (damping) *damping = AsFloat(g_reverb_words[3]);
  return true;
}

bool ReadStoredReverbDetailed(ReverbProperties* p) {
  if (p == nullptr) return true;
  const uint32_t* w = g_reverb_words;
  *p = ReverbProperties{AsInt(w[0]),   AsInt(w[4]),   AsInt(w[5]),   AsFloat(w[6]), AsFloat(w[7]),
                        AsFloat(w[8]), AsInt(w[9]),   AsFloat(w[10]), AsInt(w[11]), AsFloat(w[12]),
                        AsFloat(w[13]), AsFloat(w[14]), AsFloat(w[15])};
  return true;
}

void FillReservedSlots(OutputDriver& d) {
  d.reserved[0] = Reserved18;
  for (int i = 1; i <= 5; ++i) d.reserved[i] = ReservedTrue;  // 19-23
  d.reserved[6] = Reserved24;
  d.reserved[7] = Reserved25;
  for (int i = 8; i <= 10; ++i) d.reserved[i] = ReservedTrue;  // 26-28
}

void FillSoftwareOnlySlots(OutputDriver& d) {
  d.get_driver_caps = NoCaps;  // no hardware 3D, no reverb of its own: the word stays 0
  d.commit_3d = Nothing;
  d.set_listener_3d = NoListener;
  d.reserved_3d = NoListenerRead;
  d.set_doppler_factor_3d = NothingFloat;
  d.set_distance_factor_3d = NothingFloat;
  d.set_rolloff_factor_3d = NothingFloat;
  d.set_reverb = StoreAndPlayReverb;
  d.set_reverb_detailed = StoreReverbDetailed;
  d.get_reverb = ReadStoredReverb;
  d.get_reverb_detailed = ReadStoredReverbDetailed;
  FillReservedSlots(d);
}

void FillNoSoundRecordingSlots(OutputDriver& d) {
  d.enumerate_record_drivers = NoSoundEnumerateRecord;
  d.open_record_driver = NoSoundOpenRecord;
  d.start_capture = NoSoundStartCapture;
  d.stop_capture = True;
  d.get_capture_position = NoSoundCapturePosition;
  d.lock_capture = NoSoundLockCapture;
  d.unlock_capture = NoSoundUnlockCapture;
}

OutputDriver& NoSoundDriver() {
  static OutputDriver driver = MakeNoSoundDriver();
  return driver;
}

}  // namespace zv
