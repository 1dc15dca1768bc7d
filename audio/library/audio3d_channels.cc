// The 3D device driver's hardware channels and listener. A hardware channel
// plays its sample on a voice of the device: the voice is taken when a
// sample is put on the channel and given back when the channel stops. The
// device places the voice in 3D itself, from the listener, the voice's
// position and velocity, its sample's distances and the rolloff factor;
// the software 3D update leaves these channels alone.
#include <algorithm>

#include "audio/library/audio3d_driver.h"
#include "audio/library/audio_error.h"
#include "audio/library/volume_table.h"

namespace zv {
namespace {

constexpr int32_t kLowestFrequency = 100;
constexpr int32_t kHighestFrequency = 705600;

platform::Voice3D* VoiceOf(ChannelRecord& c) { return static_cast<platform::Voice3D*>(c.driver_data); }

// The voice, or null with last error 14.
platform::Voice3D* NeedVoice(ChannelRecord& c) {
  platform::Voice3D* voice = VoiceOf(c);
  if (voice == nullptr) SetAudioError(audio_error::kBadParameter);
  return voice;
}

bool Looping(const ChannelRecord& c) { return (c.loop_mode & (kLoopModeNormal | kLoopModeBidi)) != 0; }

void HwStop(ChannelRecord& c) {
  Audio3DGuard guard(Audio3D().lock);
  delete VoiceOf(c);
  c.driver_data = nullptr;
}

bool HwPrepare(ChannelRecord& c, SampleRecord* sample) {
  Audio3DGuard guard(Audio3D().lock);
  VoiceSample* data = sample ? VoiceSampleOf(*sample) : nullptr;
  if (data == nullptr || data->buffer == nullptr) {
    SetAudioError(audio_error::kBadParameter);
    return false;
  }
  HwStop(c);
  std::unique_ptr<platform::Voice3D> voice;
  if (Audio3D().device) voice = Audio3D().device->CreateVoice(*data->buffer);
  if (voice == nullptr) {
    SetAudioError(audio_error::kChannelStart);
    return false;
  }
  voice->SetDistances(sample->min_distance, sample->max_distance);
  voice->SetConeAngles(0.0f, 0.0f);
  c.driver_data = voice.release();
  return true;
}

bool HwStart(DspUnit*, ChannelRecord& c, SampleRecord*) {
  Audio3DGuard guard(Audio3D().lock);
  platform::Voice3D* voice = NeedVoice(c);
  if (voice == nullptr) return false;
  if (!c.paused) voice->Play(Looping(c));
  return true;
}

void HwSetFrequency(ChannelRecord& c, int32_t hz) {
  Audio3DGuard guard(Audio3D().lock);
  c.frequency = std::clamp(hz, kLowestFrequency, kHighestFrequency);
  if (platform::Voice3D* voice = VoiceOf(c)) voice->SetRate(static_cast<float>(c.frequency));
}

// The channel keeps the volume the program gave; what arrives here may be
// scaled by the master volume or be 0 for a muted channel, and is only
// played.
void HwSetVolume(ChannelRecord& c, int32_t volume) {
  Audio3DGuard guard(Audio3D().lock);
  if (platform::Voice3D* voice = VoiceOf(c)) voice->SetGain(MillibelsToGain(VolumeMillibels(volume)));
}

// The voices have no pan: where they stand places them.
void HwSetPan(ChannelRecord&, int32_t) {}

bool HwSetPaused(ChannelRecord& c, bool paused) {
  Audio3DGuard guard(Audio3D().lock);
  platform::Voice3D* voice = NeedVoice(c);
  if (voice == nullptr) return false;
  if (paused) {
    voice->Pause();
  } else if (c.paused) {
    voice->Play(Looping(c));
  }
  return true;
}

uint32_t HwGetPosition(ChannelRecord& c) {
  Audio3DGuard guard(Audio3D().lock);
  if (c.sample == nullptr) return 0;
  platform::Voice3D* voice = NeedVoice(c);
  return voice ? voice->Position() : 0;
}

float HwGetLevel(ChannelRecord&) { return 0.0f; }

// A paused voice still holds its sound, as a paused software channel does:
// the sound reads as playing, and no other sound takes its channel.
bool HwIsPlaying(ChannelRecord& c) {
  Audio3DGuard guard(Audio3D().lock);
  platform::Voice3D* voice = VoiceOf(c);
  return voice && (voice->Playing() || voice->Held());
}

void HwSet3D(ChannelRecord& c, const float* position, const float* velocity) {
  Audio3DGuard guard(Audio3D().lock);
  platform::Voice3D* voice = NeedVoice(c);
  if (voice == nullptr) return;
  if (position) voice->SetPosition(position);
  if (velocity) voice->SetVelocity(velocity);
}

bool HwGet3D(ChannelRecord& c, float* position, float* velocity) {
  Audio3DGuard guard(Audio3D().lock);
  platform::Voice3D* voice = NeedVoice(c);
  if (voice == nullptr) return false;
  if (position) voice->GetPosition(position);
  if (velocity) voice->GetVelocity(velocity);
  return true;
}

// ---- The listener ------------------------------------------------------------

platform::Audio3DDevice* TheDevice() { return Audio3D().device.get(); }

// The device applies every value as it comes: nothing waits for a commit.
void CommitListener() {}

void PlaceListener(const float* position, const float* velocity, const float* front, const float* top) {
  Audio3DGuard guard(Audio3D().lock);
  if (TheDevice()) TheDevice()->SetListener(position, velocity, front, top);
}

void ReadListener(float* position, float* velocity, float* front, float* top) {
  Audio3DGuard guard(Audio3D().lock);
  if (TheDevice()) TheDevice()->GetListener(position, velocity, front, top);
}

void SetDeviceDoppler(float factor) {
  Audio3DGuard guard(Audio3D().lock);
  if (TheDevice()) TheDevice()->SetDopplerFactor(factor);
}

// The library's factor is units per metre; the device counts metres per unit.
void SetDeviceDistanceFactor(float factor) {
  Audio3DGuard guard(Audio3D().lock);
  if (TheDevice()) TheDevice()->SetMetersPerUnit(1.0f / factor);
}

void SetDeviceRolloff(float factor) {
  Audio3DGuard guard(Audio3D().lock);
  if (TheDevice()) TheDevice()->SetRolloffFactor(factor);
}

}  // namespace

void AttachHardwareChannelOps(ChannelRecord& c) {
  c.ops = ChannelOps{HwPrepare,     HwStart,    HwStop,      HwSetFrequency, HwSetVolume, HwSetPan,
                     HwSetPaused,   HwGetPosition, HwGetLevel, HwIsPlaying, HwSet3D, HwGet3D,
                     SetHardwareChannelReverbMix};
}

void FillAudio3DListenerSlots(OutputDriver& d) {
  d.commit_3d = CommitListener;
  d.set_listener_3d = PlaceListener;
  d.reserved_3d = ReadListener;
  d.set_doppler_factor_3d = SetDeviceDoppler;
  d.set_distance_factor_3d = SetDeviceDistanceFactor;
  d.set_rolloff_factor_3d = SetDeviceRolloff;
}

}  // namespace zv
